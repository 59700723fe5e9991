// The live PGN: the current game and this run's finished games as one
// multi-game PGN, with each move's clock and the mover's evaluation, the shape
// that broadcast tools poll.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "events/game_output.h"
#include "web/game_record.h"

namespace lantrel {

// WEBMAXPERADDRESS= unless set: forty browsers behind one address, each
// loading the page over six connections at once, with room.
constexpr int kWebMaxPerAddress = 256;

// What the browser side takes from server.ini.
struct WebSettings {
    bool livePgn = false;      // LIVEPGN=1: keep live.pgn in the working folder
    std::int32_t webPort = 0;  // WEBPORT=: the web listener's TCP port; 0 = none, -1 = unreadable
    std::string webBind;       // WEBBIND=: the address it listens on; empty = all
    bool webChat = false;      // WEBCHAT=1: browsers may send chat lines
    std::string webRoot;       // WEBROOT=: the page's folder; empty = where it was installed
    // WEBMAXPERADDRESS=: page connections at once from one address, and as
    // many feeds besides (WebListenerSetup::maxPerAddress).
    int webMaxPerAddress = kWebMaxPerAddress;
    // WEBORIGINS=: pages of other sites that may post chat.
    std::vector<std::string> webChatOrigins;
    // WEBFRAMEANCESTORS=: sites that may show the page in a frame.
    std::vector<std::string> webFrameAncestors;
    // WEBNATS=: NATS servers the page may follow the feed on.
    std::vector<std::string> webNatsServers;
    // WEBEVENTFEEDS=: origins of the other servers' feeds that the event page
    // (and the board it opens) may connect to; the words that are no origin.
    std::vector<std::string> webEventFeeds;
    std::vector<std::string> webEventFeedsRefused;
};

// "TimeControl" of the GUI's time control ("level 40 5 0" -> "40/300",
// "level 0 2 12" -> "120+12", "level 0 0:30 0" -> "30"); empty when unreadable.
std::string PgnTimeControl(const Level& level);

// One game in PGN export form, its texts in UTF-8: the tag roster (unknown
// values "?"), TimeControl when known, ECO and Opening of the last position
// the opening table names,
// SetUp and FEN for a game from a set-up position, the moves with
// "{[%clk h:mm:ss] [%eval x.xx]}" where known, and the result ("*" while the
// game goes on) after the GUI's words for it, "{White mates} 1-0". LF line
// ends, lines of at most 80 characters.
std::string PgnOfGame(const RecordedGame& game, const std::string& event, const std::string& site);

// The finished games, then the current one (when it has begun or has its
// players), blank-line separated.
std::string LivePgn(const GameRecorder& record, const std::string& event, const std::string& site);

// Rewrites live.pgn (in UTF-8) when LIVEPGN=1: at the end of a turn whose
// events changed the record, as a new file renamed over the old one, so a reader never
// sees half a file, and hands each new text to `published` when it is set (the
// web listener). A text that could not be written (a full disk) is written at
// the next turn that can. While the feed catches up with an old log it waits
// for the end of the catch-up.
class LivePgnFile final : public GameOutput {
  public:
    LivePgnFile(const GameRecorder& record, const std::string& site, const WebSettings& settings,
                std::string path)
        : record_(record), site_(site), settings_(settings), path_(std::move(path)) {}

    void PlayerNamed(PieceColour, const PlayerName&) override { changed_ = true; }
    void NewGameStarted(std::int32_t) override { changed_ = true; }
    void PositionSet(const std::string&) override { changed_ = true; }
    void StartPositionInFull(const std::string&) override { changed_ = true; }
    void MovePlayed(const PlayedMove&, const std::string&, std::int32_t, bool live) override {
        changed_ = true;
        catchingUp_ = !live;
    }
    void MoveTakenBack(const PlayedMove&, const std::string&, bool) override { changed_ = true; }
    void ClocksTold(const ClockReading&, bool) override {
        changed_ = true;  // the clock of the move before
    }
    void Thinking(PieceColour, const EngineThinking&) override {}
    void LevelSet(const Level&) override { changed_ = true; }
    void VariantSet(bool) override { changed_ = true; }
    void ResultAnnounced(const GameResult&) override { changed_ = true; }
    void CaughtUp(const GameSnapshot&) override {
        catchingUp_ = false;
        changed_ = true;
    }
    void ReadingLogAgain() override { changed_ = true; }
    void TurnEnded() override;
    void Serve(int /*waitMs*/) override {}

    // The [Event] of the tournament PGN that TOURNEYPGN= names: the games'
    // event; without one, SITE= is.
    void TourneyEvent(std::string event);

    std::function<void(const std::string& utf8Pgn)> published;

  private:
    bool WriteFile() const;

    const GameRecorder& record_;
    const std::string& site_;
    const WebSettings& settings_;
    std::string path_;
    std::string tourneyEvent_;
    std::string text_;        // the latest text
    bool unwritten_ = false;  // live.pgn does not hold it yet
    bool changed_ = false;
    bool catchingUp_ = false;
};

}  // namespace lantrel
