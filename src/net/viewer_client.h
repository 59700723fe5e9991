// ViewerClient: the viewer's side of the datagram protocol, used by the reference
// viewer (lantrel-viewer), by the end-to-end tests and by the benchmarks.
//
// It logs on, acknowledges every framed message, acts on each number once, sends
// its own commands framed and re-sends them until the server acknowledges them,
// pings the server regularly, and keeps a picture of the game from the messages.
// For tests it can also lose a share of what it receives and of the ACKs it sends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "net/framing.h"
#include "platform/platform.h"

namespace lantrel {

// What a viewer knows of the game and the room.
struct GamePicture {
    bool loggedOn = false;     // "LOGON SUCCESSFUL" arrived
    bool pingFeature = false;  // the server announced "FEATURE: PING"
    std::string whitePlayer, blackPlayer, site;
    std::string previousFen, fen;  // the position before the last move, and the current one
    std::string lastMove;          // "WMOVE:" / "BMOVE:" message as received
    std::string fiftyMoves;        // "FMR: " payload
    std::string whiteTime, blackTime;
    std::string whitePv, blackPv;
    std::string level;                     // the whole "level ..." message
    std::string result;                    // "1-0", "0-1", "1/2-1/2", ...
    std::vector<std::string> users;        // names, trailing blanks removed, in arrival order
    std::vector<std::string> chat;         // chat lines, the text after "CHAT:"
    std::vector<std::string> notices;      // "MSG:" texts
    std::vector<std::string> menu;         // "MENU " lines
    std::vector<std::string> secUsers;     // "SECUSER: " payloads
    std::vector<std::string> resultTable;  // "CT:" payloads since the last "CTRESET"
    std::vector<std::string> gameList;     // "GL:" payloads
    int pongs = 0;

    // Numbers of the messages that last set each part of the picture. A message
    // re-sent after a loss may arrive after a newer one; the newer one stands.
    std::map<std::string, SequenceNumber> partSeq;
};

// Applies one message text (frame already removed, `seq` its number or 0 when it
// came unframed) to the picture. Returns false when the keyword is not one a
// viewer knows.
bool ApplyMessage(GamePicture& picture, std::string_view text, SequenceNumber seq = 0);

// The board of a FEN placement as eight text rows, rank 8 first, with file and
// rank labels; "." for an empty square. Empty when the placement is unreadable.
std::vector<std::string> BoardDiagram(std::string_view fen);

// What a line typed into the viewer sends: a command ("/who", "/name NEW", ...)
// or, for any other text, a chat line.
struct TypedLine {
    std::string message;   // the text to send; empty: nothing
    bool quit = false;     // "/quit": log off and end
    bool unknown = false;  // an unknown "/" command
};
TypedLine TranslateTypedLine(std::string_view line);

// The commands TranslateTypedLine knows, for the viewer's help text.
extern const char* const kViewerCommandHelp;

struct ViewerSettings {
    IpAddress server = 0;
    std::uint16_t port = 16000;
    std::string name;
    bool frameOwnMessages = true;   // commands go framed and are re-sent until acknowledged
    bool acknowledge = true;        // false: a viewer that has stopped answering
    double pingEverySeconds = 20;   // 0: never ping
    double resendAfterSeconds = 2;  // for the viewer's own framed messages
    int maxSends = 6;               // of one own framed message
    double dropReceivedShare = 0;   // simulated loss of incoming datagrams (0..1)
    double dropAckShare = 0;        // simulated loss of outgoing ACKs (0..1)
    std::uint32_t lossSeed = 1;
    bool recordActedOn = false;  // keep actedOn() (grows with every message)
};

class ViewerClient {
  public:
    ViewerClient(DatagramSocket& socket, Clock& clock, ViewerSettings settings);

    // Sends "LOGONv15:" and the name (unframed: a logon that got lost is simply
    // sent again by Tick until "LOGON SUCCESSFUL" arrives).
    void Logon();
    // Sends "LOGOFF".
    void Logoff();
    // Sends a command or chat text, framed and kept for re-sending when the
    // settings say so.
    void Send(std::string_view text);
    // Sends a text once, as it stands.
    void SendRaw(std::string_view text);
    // A chat line: "CHAT:" + text.
    void Chat(std::string_view text) { Send("CHAT:" + std::string(text)); }

    // Receives for up to `waitMs` (the first datagram waits, the rest that are
    // already there are taken at once), then does what is due (Tick). Returns the
    // number of datagrams taken.
    int Poll(int waitMs);
    // Polls until `done` returns true or `seconds` have passed. Returns `done()`.
    bool PollUntil(const std::function<bool()>& done, double seconds, int waitMs = 20);
    // Re-sends own unacknowledged messages, retries the logon, pings.
    void Tick();

    const GamePicture& picture() const { return picture_; }
    GamePicture& picture() { return picture_; }
    const ViewerSettings& settings() const { return settings_; }
    ViewerSettings& settings() { return settings_; }

    // Called with every datagram as it arrives (before loss simulation).
    std::function<void(const std::string&)> onDatagram;
    // Called with every message acted upon (frame removed).
    std::function<void(const std::string&)> onMessage;
    // The same, with the message's number (0 when it came unframed).
    std::function<void(SequenceNumber, const std::string&)> onNumberedMessage;
    // What the viewer did of its own accord, for its user ("logging on again").
    std::function<void(const std::string&)> onNotice;

    // Statistics for tests.
    struct Stats {
        long datagrams = 0;  // arrived from the server
        long lost = 0;       // of them thrown away by the loss simulation
        long framed = 0;     // framed ones kept
        long repeats = 0;    // framed ones already acted upon
        long acksSent = 0;
        long acksLost = 0;
        long ownResends = 0;
        long ownGivenUp = 0;
    };
    const Stats& stats() const { return stats_; }
    // How often each server number was acted upon (should be once each).
    const std::map<SequenceNumber, int>& actedOn() const { return actedOn_; }
    // Own framed messages not yet acknowledged.
    std::size_t unacknowledged() const { return pending_.size(); }

  private:
    struct Pending {
        std::string text;
        double lastSent = 0;
        int sends = 0;
    };

    void Transmit(std::string_view text);
    void HandleDatagram(const std::string& datagram);
    bool Lose(double share);

    DatagramSocket& socket_;
    Clock& clock_;
    ViewerSettings settings_;
    GamePicture picture_;
    std::mt19937 random_;
    SequenceNumber nextOwnSeq_;
    std::map<SequenceNumber, Pending> pending_;
    std::set<SequenceNumber> seen_;  // numbers acted upon lately, the lowest dropped first
    std::map<SequenceNumber, int> actedOn_;
    double lastPing_ = 0;
    double lastNumbered_ = 0;  // monotonic time of the last numbered datagram
    double lastLogon_ = -1;    // < 0: not logging on
    Stats stats_;
};

}  // namespace lantrel
