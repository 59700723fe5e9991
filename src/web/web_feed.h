// The browser feed: the game as JSON messages, a snapshot for whoever comes in
// and versioned deltas after it. The messages do not depend on how they travel:
// the web listener sends them over WebSocket, a relay may publish the very same
// texts elsewhere. Each message is a struct of web/feed_messages.h, which
// writes its JSON; the feed decides when which one goes out.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "events/game_output.h"
#include "platform/platform.h"
#include "web/feed_messages.h"
#include "web/game_record.h"
#include "web/live_pgn.h"

namespace lantrel {

// One message of the feed: a snapshot (holding every delta up to `version`) or
// a delta (`version` one more than the message before it).
struct FeedMessage {
    std::int64_t version = 0;
    std::shared_ptr<const std::string> json;
    // It holds the game as a whole, every move (a snapshot, a "game" delta):
    // as long as the game is, which nothing bounds.
    bool wholeGame = false;
};

// ---- What a client sends ----------------------------------------------------------
//
// Its messages are read by ReadClientMessage (web/feed_messages.h).

// Where a client resumes: "/feed?run=R&since=V" (either may be missing).
struct ResumePoint {
    std::string run;
    std::optional<std::int64_t> since;
};
ResumePoint ReadResumePoint(std::string_view target);

// ---- What the feed sends ------------------------------------------------------------

// Who carries the feed's messages out. Called on the server's thread: the
// messages of a turn, then HandOver, after which they may all go out together.
class FeedListener {
  public:
    virtual ~FeedListener() = default;
    virtual void Delta(const FeedMessage& delta) = 0;
    virtual void Snapshot(const FeedMessage& snapshot) = 0;
    virtual void HandOver() = 0;
};

// The last deltas, for clients that come back after a lost connection.
class FeedHistory {
  public:
    static constexpr std::size_t kCapacity = 1024;

    void Add(const FeedMessage& delta);
    // Every delta after `version`, or nullopt when the history no longer reaches
    // back that far (or `version` is ahead of it).
    std::optional<std::vector<FeedMessage>> After(std::int64_t version) const;
    std::int64_t LastVersion() const { return last_; }

  private:
    std::deque<FeedMessage> deltas_;
    std::int64_t last_ = 0;
};

// What the feed shows besides the game: set by the server that owns it.
struct FeedAudience {
    std::function<std::vector<std::string>()> userNames = [] { return std::vector<std::string>{}; };
    std::function<int()> webViewers = [] { return 0; };
};

// The game events turned into feed messages. Attach after the GameRecorder it
// reads the moves from.
class WebFeed final : public GameOutput {
  public:
    // At most this many thinking lines a second go out for each side. A line
    // held back goes out with the next other messages once it may (so that a
    // ply stays one write), or on its own once it has waited kLongestPvHold.
    static constexpr double kPvPerSecond = 4;
    static constexpr double kLongestPvHold = 0.5;
    // Viewers coming and going are told at most once a second.
    static constexpr double kUsersInterval = 1;
    static constexpr std::size_t kChatLines = 20;

    WebFeed(Clock& clock, const GameRecorder& record, const std::string& site,
            const WebSettings& settings);

    // The listener gets the snapshot as of now, then every message.
    void AddListener(FeedListener& listener);
    FeedAudience audience;

    // A chat line as the UDP viewers get it after "CHAT: " ("[Ann] - hello").
    void ChatLine(const std::string& line);
    // The snapshot as of now.
    std::string SnapshotJson() const;
    // Names this run of the server (its start time): versions start again with a new run.
    const std::string& run() const { return run_; }
    std::int64_t version() const { return version_; }

    void PlayerNamed(PieceColour side, const PlayerName& name) override;
    void NewGameStarted(std::int32_t gameNumber) override;
    void PositionSet(const std::string& fen) override;
    void StartPositionInFull(const std::string&) override {}  // the record keeps it
    void MovePlayed(const PlayedMove& move, const std::string& fen, std::int32_t fiftyMoveCount,
                    bool live) override;
    void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) override;
    void ClocksTold(const ClockReading& clocks, bool live) override;
    void Thinking(PieceColour side, const EngineThinking& thinking) override;
    void LevelSet(const Level& level) override;
    void VariantSet(bool) override { gameChanged_ = true; }
    void ResultAnnounced(const GameResult& result) override;
    void CaughtUp(const GameSnapshot& game) override;
    void ReadingLogAgain() override;
    // Sends the thinking lines held back, the game when it changed as a whole,
    // the viewers when they changed and a fresh snapshot if anything went out,
    // then hands the turn's messages over.
    void TurnEnded() override;
    // In the middle of a long read (thousands of lines at once) ends the turn
    // all the same when it has lasted kLongestTurn since the last wait.
    void Serve(int waitMs) override;
    static constexpr double kLongestTurn = 0.05;

  private:
    struct PvState {
        std::optional<ThinkingLine> latest;
        bool held = false;     // `latest` not sent yet: it came too soon after the last
        double sentAt = -1e9;  // monotonic seconds of the last one sent
        double heldAt = 0;     // since when a line has been held
    };
    using Clocks = ClockDelta;  // as last told: what a "clock" delta sends

    void Send(const FeedDelta& message);
    void SendGameIfChanged();
    void SendPv(PieceColour side);
    void SendUsersIfChanged();
    void PublishSnapshot();

    Clock& clock_;
    const GameRecorder& record_;
    const std::string& site_;
    const WebSettings& settings_;
    const std::string run_;
    std::vector<FeedListener*> listeners_;

    std::int64_t version_ = 0;
    std::int64_t snapshotVersion_ = 0;
    bool gameChanged_ = false;  // a "game" delta is due
    bool clocksDue_ = false;    // a "clock" delta is due: the clocks read while catching up
    bool catchingUp_ = false;
    std::optional<Clocks> clocks_;
    PvState pv_[2];  // White, Black
    std::deque<std::string> chat_;
    std::vector<std::string> users_;
    int webViewers_ = 0;
    double usersSentAt_ = -1e9;
    double turnStartedAt_ = 0;  // monotonic seconds
    std::int64_t handedOverVersion_ = 0;
};

}  // namespace lantrel
