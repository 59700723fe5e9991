#include "web/web_feed.h"

#include <cstdio>
#include <variant>

#include "text/text.h"

namespace lantrel {

namespace {

int Index(PieceColour side) {
    return side == PieceColour::kWhite ? 0 : 1;
}

// "20261209063000-5321887", which a client sends back to resume: the local
// start time and the monotonic clock's milliseconds. The time alone names two
// runs alike when a supervisor restarts the server within the second, or the
// clock repeats an hour (summer time ends): a client would then resume the old
// run's versions on the new run's deltas, and show a position that never was.
std::string RunName(const LocalDateTime& t, double monotonicSeconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d-%lld", t.year, t.month, t.day,
                  t.hour, t.minute, t.second,
                  static_cast<long long>(monotonicSeconds * 1000) % 1000000000000LL);
    return text;
}

// The value of `name` in the query of a request target ("/feed?run=1&since=5").
std::string QueryValue(std::string_view target, std::string_view name) {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) return {};
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name && equals != std::string_view::npos)
            return std::string(pair.substr(equals + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

}  // namespace

ResumePoint ReadResumePoint(std::string_view target) {
    ResumePoint point{QueryValue(target, "run"), std::nullopt};
    point.since = ReadNumber<std::int64_t>(QueryValue(target, "since"));
    return point;
}

void FeedHistory::Add(const FeedMessage& delta) {
    deltas_.push_back(delta);
    last_ = delta.version;
    if (deltas_.size() > kCapacity) deltas_.pop_front();
}

std::optional<std::vector<FeedMessage>> FeedHistory::After(std::int64_t version) const {
    if (version > last_) return std::nullopt;
    const std::int64_t oldest = deltas_.empty() ? last_ + 1 : deltas_.front().version;
    if (version + 1 < oldest) return std::nullopt;
    return std::vector<FeedMessage>(deltas_.end() - (last_ - version), deltas_.end());
}

WebFeed::WebFeed(Clock& clock, const GameRecorder& record, const std::string& site,
                 const WebSettings& settings)
    : clock_(clock),
      record_(record),
      site_(site),
      settings_(settings),
      run_(RunName(clock.Now(), clock.Monotonic())) {}

void WebFeed::AddListener(FeedListener& listener) {
    listeners_.push_back(&listener);
    listener.Snapshot({version_, std::make_shared<const std::string>(SnapshotJson()), true});
    listener.HandOver();
}

std::string WebFeed::SnapshotJson() const {
    const SnapshotMessage snapshot{
        .run = run_,
        .site = site_,
        .game = record_.current(),
        .clock = clocks_,
        .whitePv = pv_[Index(PieceColour::kWhite)].latest,
        .blackPv = pv_[Index(PieceColour::kBlack)].latest,
        .users = {.users = users_, .webViewers = webViewers_},
        .chat = {chat_.begin(), chat_.end()},
        .chatAllowed = settings_.webChat,
    };
    return MessageText(snapshot, version_);
}

void WebFeed::Send(const FeedDelta& message) {
    // A delta that depends on the game as a whole comes after it.
    if (!std::holds_alternative<GameDelta>(message)) SendGameIfChanged();
    ++version_;
    const FeedMessage delta{version_,
                            std::make_shared<const std::string>(MessageText(message, version_)),
                            std::holds_alternative<GameDelta>(message)};
    for (FeedListener* listener : listeners_)
        listener->Delta(delta);
    // A newcomer gets the snapshot and the deltas after it: the history must
    // reach back to the snapshot.
    if (version_ - snapshotVersion_ >= static_cast<std::int64_t>(FeedHistory::kCapacity / 2))
        PublishSnapshot();
}

void WebFeed::SendGameIfChanged() {
    if (!gameChanged_ || catchingUp_) return;
    gameChanged_ = false;
    Send(GameDelta{record_.current()});
}

void WebFeed::SendPv(PieceColour side) {
    PvState& pv = pv_[Index(side)];
    pv.held = false;
    pv.sentAt = clock_.Monotonic();
    Send(PvDelta{side, *pv.latest});
}

void WebFeed::SendUsersIfChanged() {
    std::vector<std::string> users = audience.userNames();
    const int webViewers = audience.webViewers();
    if (users == users_ && webViewers == webViewers_) return;
    const double now = clock_.Monotonic();
    if (now - usersSentAt_ < kUsersInterval) return;
    users_ = std::move(users);
    webViewers_ = webViewers;
    usersSentAt_ = now;
    Send(UsersDelta{users_, webViewers_});
}

void WebFeed::PublishSnapshot() {
    snapshotVersion_ = version_;
    const FeedMessage snapshot{version_, std::make_shared<const std::string>(SnapshotJson()), true};
    for (FeedListener* listener : listeners_)
        listener->Snapshot(snapshot);
}

void WebFeed::ChatLine(const std::string& line) {
    chat_.push_back(line);
    if (chat_.size() > kChatLines) chat_.pop_front();
    Send(ChatDelta{line});
}

void WebFeed::PlayerNamed(PieceColour, const PlayerName&) {
    gameChanged_ = true;
}

void WebFeed::NewGameStarted(std::int32_t) {
    gameChanged_ = true;
    clocks_.reset();
    clocksDue_ = false;
    pv_[0] = {};
    pv_[1] = {};
}

void WebFeed::ReadingLogAgain() {
    NewGameStarted(0);
}

void WebFeed::PositionSet(const std::string&) {
    gameChanged_ = true;
}

void WebFeed::MovePlayed(const PlayedMove& move, const std::string&, std::int32_t, bool live) {
    // The move carries the mover's last thinking: a line held back is spent.
    pv_[Index(move.side)].held = false;
    // A move after the result (an engine that plays on) the record leaves out.
    const RecordedGame& game = record_.current();
    if (!game.result.empty() || game.plies.empty()) return;
    if (!live) {
        catchingUp_ = true;
        gameChanged_ = true;
        return;
    }
    if (gameChanged_) return SendGameIfChanged();  // the game as a whole holds the move
    Send(MoveDelta{game.plies.size(), game.plies.back()});
}

void WebFeed::MoveTakenBack(const PlayedMove&, const std::string& fen, bool live) {
    if (!record_.current().result.empty()) return;  // as the record, which keeps the game
    if (!live) {
        catchingUp_ = true;
        gameChanged_ = true;
        return;
    }
    if (gameChanged_) return SendGameIfChanged();  // the game as a whole is without the move
    Send(TakebackDelta{record_.current().plies.size() + 1, fen});
}

void WebFeed::ClocksTold(const ClockReading& clocks, bool live) {
    // Browsers are shown clocks that still run: a time below zero (a flag fell
    // and play went on) leaves them as they were.
    const auto& own = clocks.own;
    const auto& other = clocks.opponent;
    if (!clocks.side || !own || !other || *own < 0 || *other < 0) return;
    clocks_ = *clocks.side == PieceColour::kWhite ? Clocks{*own, *other} : Clocks{*other, *own};
    clocksDue_ = !live || catchingUp_;
    if (clocksDue_) return;
    Send(*clocks_);
}

void WebFeed::Thinking(PieceColour side, const EngineThinking& thinking) {
    if (!thinking.values) return;
    PvState& pv = pv_[Index(side)];
    pv.latest = thinking.values;
    if (catchingUp_) return;
    const double now = clock_.Monotonic();
    if (now - pv.sentAt >= 1 / kPvPerSecond) {
        SendPv(side);
    } else if (!pv.held) {
        pv.held = true;
        pv.heldAt = now;
    }
}

void WebFeed::LevelSet(const Level&) {
    gameChanged_ = true;
}

void WebFeed::ResultAnnounced(const GameResult&) {
    const RecordedGame& game = record_.current();
    if (game.result.empty()) return;
    if (catchingUp_) {
        gameChanged_ = true;
        return;
    }
    Send(ResultDelta{game.result, game.reason});
}

void WebFeed::CaughtUp(const GameSnapshot&) {
    catchingUp_ = false;
    gameChanged_ = true;
}

void WebFeed::TurnEnded() {
    const double now = clock_.Monotonic();
    if (!catchingUp_) {
        SendGameIfChanged();
        if (clocksDue_ && clocks_) {
            clocksDue_ = false;
            Send(*clocks_);
        }
        SendUsersIfChanged();
        const bool othersGoOut = version_ != handedOverVersion_;
        for (PieceColour side : {PieceColour::kWhite, PieceColour::kBlack}) {
            const PvState& pv = pv_[Index(side)];
            if (pv.held && now - pv.sentAt >= 1 / kPvPerSecond &&
                (othersGoOut || now - pv.heldAt >= kLongestPvHold))
                SendPv(side);
        }
        if (version_ != snapshotVersion_) PublishSnapshot();
    }
    handedOverVersion_ = version_;
    for (FeedListener* listener : listeners_)
        listener->HandOver();
}

void WebFeed::Serve(int waitMs) {
    // A turn begins after each wait (the outputs before this one waited).
    const double now = clock_.Monotonic();
    if (waitMs != 0 || now - turnStartedAt_ >= kLongestTurn) {
        if (waitMs == 0) TurnEnded();
        turnStartedAt_ = now;
    }
}

}  // namespace lantrel
