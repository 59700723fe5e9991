// The broadcast server: the datagram channel with its sequence frame, the table of
// logged-on viewers, the reliable send queue and the dispatcher of viewer commands.
//
// Everything runs on the server's one thread inside `ServiceNetwork` (or inside the
// feed's work between two log lines). The client table, the receipts and the ban
// list are fixed-size tables built once, numbered 1..N so that slot 0 is unused; the
// re-send queue grows and shrinks with what is in flight.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "events/game_output.h"
#include "net/framing.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace lantrel {

constexpr int kReceiptCount = 100;  // repeat suppression window, all viewers together
constexpr int kBanCount = 100;
constexpr int kClientSlots = 500;
// Unacknowledged messages kept for one viewer; past this the oldest is given up.
// Above the largest burst a viewer gets at once: its welcome, a user list of a
// full table and the menu lines, about 520 messages.
constexpr int kMaxWaitingPerViewer = 1024;
// Logons from new addresses: at most this many a second, in bursts of as many.
constexpr double kNewLogonsPerSecond = 10;
constexpr std::size_t kIpTextWidth = 20;
constexpr std::size_t kNameWidth = 30;
constexpr std::size_t kEmailWidth = 50;
// The most an IPv4 UDP datagram carries. A longer text is cut to this when sent.
constexpr std::size_t kMaxDatagramBytes = 65507;
// At most this much waits for out.dat while the disk is full.
constexpr std::size_t kOutboxBacklogBytes = 1 << 20;

// A framed viewer message seen lately: its number and its sender.
struct Receipt {
    SequenceNumber seq = 0;
    IpAddress ip = 0;
};

// One viewer request: who sent it, its text without the frame, and whether it is
// a line of in.dat (the local viewer) rather than a datagram. Handlers answer
// `sender`; a handler that empties `text` stops the checks after it.
struct Request {
    IpAddress sender = 0;
    std::string text;
    bool fromInbox = false;
};

// A viewer command that the app adds to the dispatcher's own (the tournament
// services). Added commands are tried after the dispatcher's, in the order they
// were added; like those, each is tried on the text as the ones before left it.
struct Command {
    std::function<bool(const std::string& text)> matches;
    std::function<void(Request& request)> act;
};

// Channel state: repeat suppression, the ban list and the local viewer's inbox
// position.
struct Channel {
    std::array<Receipt, kReceiptCount + 1> recentReceipts{};  // 1..100, ring
    std::int32_t receiptCursor = 0;                           // entry written last

    std::array<IpAddress, kBanCount + 1> banList{};  // 1..100, 0 = empty
    std::int32_t banCursor = 0;                      // entry written last (ring)

    // What each address that is not logged on has sent us, in bytes, less what
    // we have sent it: such an address is never sent more than it sent, so a
    // datagram with a forged source address cannot make us an amplifier.
    std::unordered_map<IpAddress, std::int64_t> strangerCredit;
    // Logons from addresses not logged on yet are taken at a limited rate: a
    // token bucket, refilled with the monotonic clock.
    double logonAllowance = kNewLogonsPerSecond;
    double logonAllowanceAt = 0;

    std::int64_t inboxPos = 0;     // bytes of in.dat consumed
    FileIdentity inboxIdentity;    // the in.dat those bytes came from
    std::string inboxPartial;      // a line of in.dat whose LF has not arrived yet
    std::string inboxOpenFailure;  // the system's reason, once written to server.log
    double inboxLookedAt = -1e9;   // monotonic seconds
    // What out.dat could not take yet (a full disk), CR LF lines, oldest first:
    // it goes out before anything newer, and the local viewer stays logged on.
    std::string outboxBacklog;
};

// One logged-on viewer. The text fields are fixed width, blank-padded.
struct ClientRecord {
    std::string ipText = std::string(kIpTextWidth, ' ');
    IpAddress ip = 0;  // 0 = empty slot
    std::string name = std::string(kNameWidth, ' ');
    std::string email = std::string(kEmailWidth, ' ');
    std::int64_t lastHeard = 0;  // whole monotonic seconds of the last datagram
    // The name the other viewers hear of at this viewer's first ACK, which
    // proves the address is its own; empty once they have (a logon from a
    // forged address is never announced).
    std::string arrivalToAnnounce;
    // Monotonic seconds of its last answered tournament request (the app's).
    std::optional<double> lastTourneyRequest;
};

// Slots 1..500, always occupied from slot 1 without gaps, in logon order.
struct ClientTable {
    std::array<ClientRecord, kClientSlots + 1> slots{};
    // The slot of each address in the table, so that a viewer is found by its
    // address in one step: set by the logon, made anew by CompactClientTable,
    // which runs after every change of the slots' addresses.
    std::unordered_map<IpAddress, int> slotOf;

    // Number of occupied slots (they are contiguous from slot 1).
    int Count() const;
};

// One reliable message to one viewer, awaiting its acknowledgement.
struct ResendEntry {
    SequenceNumber seq = 0;
    // The whole message without its frame; a broadcast's entries share one copy.
    std::shared_ptr<const std::string> text;
    std::int64_t stamp = 0;  // whole monotonic seconds: last send, or not re-sent before
    std::int16_t tries = 0;  // sends so far; 0 = held until the viewer's first ACK
};

// What one viewer has in flight. Numbers rise with every message, so `waiting`
// is ordered by number and an acknowledgement finds its entry by a binary search.
struct ViewerQueue {
    std::deque<ResendEntry> waiting;  // unacknowledged, oldest first
    std::int32_t resending = 0;       // of those, the ones sent more than once
    std::int64_t firstSent = 0;       // whole monotonic seconds of the first numbered send
    bool acknowledgedAny = false;
    // Set once the logon has sent its welcome. From then until the viewer's
    // first ACK, what is sent to it waits here unsent (tries 0): a logon with a
    // forged address draws no more than the welcome and its re-sends.
    bool welcomed = false;
    // As of the last count (at the start of every network turn): the backlog that
    // decides whether this viewer gets numbered messages, thinking and clock lines.
    std::int32_t countedResends = 0;
    bool congested = false;  // countedResends > 20: reliable sends go raw
};

// The reliable messages of every viewer and their counters.
struct ResendQueue {
    std::unordered_map<IpAddress, ViewerQueue> viewers;  // logged-on viewers with numbered sends
    SequenceNumber nextSeq = 0;  // last number given; never reset or wrapped
    // Kept up to date as entries come and go.
    std::int32_t waitingNow = 0;    // entries not yet acknowledged
    std::int32_t resendingNow = 0;  // of those, the ones sent more than once
    // The same as of the last count: shown on the console and reported to viewers.
    std::int32_t pendingCount = 0;
    std::int32_t resendCount = 0;
    std::int32_t congestedViewers = 0;
    std::int32_t droppedCount = 0;  // messages given up
    std::int32_t idlePolls = 0;     // ServiceNetwork calls since the last re-send pass
};

// Counters reported to viewers ("CHAT: <stats>") and shown on the console.
struct Counters {
    std::int32_t chatRelayCount = 0;
    std::int32_t resultTableRequests = 0;
    std::int32_t emailCount = 0;
    std::int32_t connectCount = 0;
};

// What the broadcast server takes from server.ini.
struct NetSettings {
    std::int32_t port = 16000;
    std::string site = "Lantrel viewer";
    std::int32_t delay = 100;               // ms one network receive waits; paces the main loop
    std::array<std::string, 11> menuLines;  // 1..10 used: sent to every newcomer
    std::string serverStartTime;            // "MM-DD-YYYY - hh:mm:ss"
    std::vector<IpAddress> adminAddresses;  // ADMIN=: may use the administration commands
};

// The operator's screen as the broadcast server reports to it.
class NetScreen {
  public:
    virtual ~NetScreen() = default;
    virtual void ShowClientTable(const ClientTable& table) = 0;
    virtual void ShowConnects(std::int32_t count) = 0;
    virtual void ShowChatRelays(std::int32_t count) = 0;
    virtual void ShowDropped(std::int32_t count) = 0;
    // The re-send and message queue totals, and whether any viewer is congested;
    // redrawn only when they change.
    virtual void ShowQueue(std::int32_t resendCount, std::int32_t pendingCount, bool congested) = 0;
    // Every logon.
    virtual void Beep() = 0;
};

// The broadcast server: its records and what it reaches of the rest.
struct NetServer {
    NetServer(Platform& platform, const NetSettings& netSettings, NetScreen& netScreen,
              const Journal& serverLog)
        : os(platform), settings(netSettings), screen(netScreen), journal(serverLog) {}
    NetServer(const NetServer&) = delete;
    NetServer& operator=(const NetServer&) = delete;

    Platform& os;
    const NetSettings& settings;
    NetScreen& screen;
    const Journal& journal;  // server.log
    // The game as a newcomer is welcomed with it.
    std::function<GameSnapshot()> currentGame = [] { return GameSnapshot{}; };
    // Each chat line relayed, as it follows "CHAT: " ("[Ann] - hello").
    std::function<void(const std::string& line)> chatRelayed = [](const std::string&) {};

    Channel channel;
    ClientTable clients;
    ResendQueue queue;
    Counters counters;
    std::vector<Command> addedCommands;  // viewer commands beside the dispatcher's own

    // A working file's full name (in.dat, out.dat).
    std::string File(const std::string& name) const { return ResolvePath(os.workDir, name); }
};

// ---- Used by the rest of the server -------------------------------------------

// Adds a command to the viewer command table.
void AddCommand(NetServer& net, Command command);

// One network turn: takes every waiting datagram and acts on it, then every
// eleventh call runs the re-send pass. `waitMs` < 0 means the configured `delay`.
void ServiceNetwork(NetServer& net, int waitMs = -1);
// Sends `text` once to `to` (to out.dat for the local viewer). A viewer that
// cannot be reached is logged off.
void SendDatagram(NetServer& net, IpAddress to, std::string_view text);
// Appends what waits for out.dat (Channel::outboxBacklog) to it, when the disk
// takes it now; each network turn tries.
FileResult WriteOutbox(NetServer& net);
// Unnumbered send to every logged-on viewer; with `backlogLimit`, only to those
// with fewer messages than that awaiting a re-send (as of the last count): a
// viewer that is behind needs the moves before thinking and clock lines.
constexpr std::int32_t kNoBacklogLimit = std::numeric_limits<std::int32_t>::max();
void BroadcastRaw(NetServer& net, std::string_view text,
                  std::int32_t backlogLimit = kNoBacklogLimit);
// Numbered, re-sent send to every logged-on viewer.
void Broadcast(NetServer& net, std::string_view text);
// The same for several messages, in this order, sent together: a move's
// position, move and counter wake each viewer once.
void Broadcast(NetServer& net, std::initializer_list<std::string_view> texts);
// Numbered, re-sent send to one logged-on viewer; unnumbered to any other
// address, to the local viewer and to a congested viewer.
void SendToViewer(NetServer& net, std::string_view text, IpAddress to);
// Relays a chat line from somebody who is not a UDP viewer (a browser) to every
// viewer as "CHAT: [name] - chat", counted like any other.
void RelayChatFrom(NetServer& net, const std::string& name, const std::string& chat);
// The e-mail address stored for the viewer at `ip` (trailing blanks removed), or empty.
std::string EmailOfViewer(const NetServer& net, IpAddress ip);

// ---- The broadcast server's own steps (also driven directly by its tests) -----

// One receive step: the request to act upon (its text empty if none came, or for
// a repeat or a banned sender); acknowledges framed messages at once.
Request ReceiveDatagram(NetServer& net, int waitMs);
// The next complete line of in.dat, or empty.
std::string ReadLocalInbox(NetServer& net);

// "LOGONv15:" + name: slot, welcome, user list, arrival notices.
void LogonViewer(NetServer& net, Request& request);
// Tells the other viewers of the newcomer at `ip` (ADDUSER and arrival chat),
// unless they have heard of it already.
void AnnounceArrival(NetServer& net, IpAddress ip);
// Removes the viewer at `leaver`, purges its receipts and queued messages and
// tells the others, when they had heard of it. Returns whether they had.
bool LogoffViewer(NetServer& net, IpAddress leaver);
// The same for several viewers at once: all leave, then the others hear of
// each. Returns how many the others had heard of.
int LogoffViewers(NetServer& net, const std::vector<IpAddress>& leavers);
// "CHANGE:" + name.
void ChangeAlias(NetServer& net, Request& request);
// True when a viewer at another address than `asker` already has `name`.
bool NameInUse(const NetServer& net, IpAddress asker, std::string_view name);
// Moves the occupied slots to the front, keeping their order.
void CompactClientTable(ClientTable& table);
// Slot number of the first viewer at `ip` (1..500), or 0.
int FindClientSlot(const ClientTable& table, IpAddress ip);

// "ACK:" + number: ends the re-sending of that message, if it was sent to the sender.
void HandleAck(NetServer& net, Request& request);
// Takes the count of the queue: each viewer's backlog and congestion, and the
// totals the console shows.
void UpdateQueueStatus(NetServer& net);
// For each viewer: re-sends what is due (at most six), gives up what has been
// sent often enough, and drops a viewer that has gone silent or has never
// acknowledged anything.
void ResendPass(NetServer& net);
// Forgets everything in flight to `ip` (the viewer has left).
void ForgetViewerQueue(NetServer& net, IpAddress ip);
// Whether the logon of `ip` has sent its welcome: from then until the viewer's
// first ACK, what is sent to it waits. A logon starts with false (a repeated
// logon's welcome goes out), and ends with true.
void SetWelcomed(NetServer& net, IpAddress ip, bool welcomed);
// Whether the viewer at `ip` has acknowledged a numbered message.
bool HasAcknowledged(const NetServer& net, IpAddress ip);

// True when the request being handled may use SECURITY, BOOT: and SRBOOT:: a
// line of in.dat (only users of this machine with access to the server's
// folder can write it), or a datagram from an ADMIN= address of server.ini. A
// datagram from 127.0.0.1 does not count as the local viewer here: any local
// program can send one.
bool IsAdministrator(const NetServer& net, const Request& request);

}  // namespace lantrel
