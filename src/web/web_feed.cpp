#include "web/web_feed.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "text/text.h"
#include "web/live_pgn.h"

namespace lantrel {

using Json = nlohmann::ordered_json;

namespace {

constexpr const char* kStandardStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";

int Index(PieceColour side) {
    return side == PieceColour::kWhite ? 0 : 1;
}

// The game's texts are Latin-1 bytes; JSON is UTF-8.
std::string Utf8(const std::string& latin1) {
    return Latin1ToUtf8(latin1);
}

void AddThinking(Json& j, const ThinkingLine& t, bool withTime) {
    j["depth"] = t.depth;
    j["score"] = t.score;
    if (withTime) j["time"] = t.centiseconds;
    j["nodes"] = t.nodes;
    j["pv"] = Utf8(t.pv);
}

Json PlyJson(const RecordedPly& ply) {
    Json j = Json::object();
    j["san"] = Utf8(ply.pgnSan);
    j["fen"] = Utf8(ply.fen);
    j["clock"] = ply.clockAfter ? Json(*ply.clockAfter) : Json(nullptr);
    if (ply.moverThinking) AddThinking(j, *ply.moverThinking, false);
    return j;
}

// "level 40 5 0 " -> "40 5 0": the GUI's words without the keyword.
std::string LevelText(const std::string& level) {
    std::string text = TrimBlanks(level);
    return StartsWith(text, "level ") ? TrimBlanks(text.substr(6)) : text;
}

void AddGame(Json& j, const RecordedGame& game) {
    j["game"] = game.number;
    j["white"] = Utf8(game.white);
    j["black"] = Utf8(game.black);
    j["level"] = Utf8(LevelText(game.level.text));
    j["timeControl"] = PgnTimeControl(game.level);
    j["startFen"] = game.startFen.empty() ? std::string(kStandardStart) : Utf8(game.startFen);
    j["result"] = game.result;
    j["reason"] = Utf8(game.reason);
    Json moves = Json::array();
    for (const RecordedPly& ply : game.plies)
        moves.push_back(PlyJson(ply));
    j["moves"] = std::move(moves);
}

Json Message(const char* type) {
    Json j = Json::object();
    j["type"] = type;
    j["version"] = 0;  // set when it is sent
    return j;
}

// "20261209063000": the local start time, which a client sends back to resume.
std::string RunName(const LocalDateTime& t) {
    char text[24];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return text;
}

// Code points a browser may not put in a chat name or line: C0 and C1 controls
// (C1 bytes are Latin-1 and reach the UDP viewers' terminals as such) and the
// invisible format characters that reorder or hide text (bidi overrides,
// zero-width joiners, the byte order mark) and would let one name pass for another.
bool Unprintable(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// Characters of a UTF-8 text holding no unprintable one; -1 when it holds one
// (or is not UTF-8).
int PrintableLength(const std::string& utf8) {
    int characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++characters) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length > utf8.size()) return -1;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if (Unprintable(c)) return -1;
        i += static_cast<std::size_t>(length);
    }
    return characters;
}

// Names the server writes chat lines under itself ("[SERVER] Users=3", the
// lines of a viewer it lost), which nobody else may take; compared without case.
bool ReservedName(const std::string& name) {
    const std::string upper = UpperAscii(TrimBlanks(name));
    return upper == "SERVER" || upper == "PHANTOM USER";
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

constexpr int kMaxNameLength = 20;
constexpr int kMaxChatLength = 200;
constexpr const char* kNotTaken = "Not a message this server takes.";

}  // namespace

ClientMessage ReadClientMessage(std::string_view message, bool chatAllowed) {
    // Invalid UTF-8 fails the parse as well. Every value's type is checked
    // before it is read: a browser may send any JSON at all.
    const nlohmann::json j = nlohmann::json::parse(message, nullptr, false);
    auto text = [&j](const char* key) -> const std::string* {
        const auto it = j.find(key);
        return it != j.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
    };
    if (!j.is_object()) return {std::nullopt, kNotTaken};
    const std::string* type = text("type");
    const std::string* name = text("name");
    const std::string* line = text("text");
    if (!type || *type != "chat" || !name || !line) return {std::nullopt, kNotTaken};
    if (!chatAllowed) return {std::nullopt, "Chat from browsers is off on this server."};
    const int nameLength = PrintableLength(*name);
    const int textLength = PrintableLength(*line);
    if (nameLength < 1 || nameLength > kMaxNameLength)
        return {std::nullopt, "A name is 1 to 20 characters, none of them a control character."};
    // Brackets would let a name end the "[name]" of the relayed line early.
    if (name->find_first_of("[]") != std::string::npos || ReservedName(*name))
        return {std::nullopt, "A name holds no [ or ] and is none the server uses."};
    if (textLength < 1 || textLength > kMaxChatLength)
        return {std::nullopt,
                "A chat line is 1 to 200 characters, none of them a control character."};
    return {WebChatLine{*name, *line}, {}};
}

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
      run_(RunName(clock.Now())) {}

void WebFeed::AddListener(FeedListener& listener) {
    listeners_.push_back(&listener);
    listener.Snapshot({version_, std::make_shared<const std::string>(SnapshotJson())});
}

std::string WebFeed::SnapshotJson() const {
    Json j = Message("snapshot");
    j["run"] = run_;
    j["version"] = version_;
    j["site"] = Utf8(site_);
    AddGame(j, record_.current());
    if (clocks_) {
        j["clock"] = {{"white", clocks_->white}, {"black", clocks_->black}};
    } else {
        j["clock"] = nullptr;
    }
    Json pv = Json::object();
    for (PieceColour side : {PieceColour::kWhite, PieceColour::kBlack}) {
        const auto& latest = pv_[Index(side)].latest;
        Json& line = pv[side == PieceColour::kWhite ? "white" : "black"];
        if (latest) {
            line = Json::object();
            AddThinking(line, *latest, true);
        } else {
            line = nullptr;
        }
    }
    j["pv"] = std::move(pv);
    Json users = Json::array();
    for (const std::string& name : users_)
        users.push_back(Utf8(name));
    j["users"] = std::move(users);
    j["webViewers"] = webViewers_;
    Json chat = Json::array();
    for (const std::string& line : chat_)
        chat.push_back(Utf8(line));
    j["chat"] = std::move(chat);
    j["chatAllowed"] = settings_.webChat;
    return j.dump();
}

void WebFeed::Send(Json message) {
    // A delta that depends on the game as a whole comes after it.
    if (message["type"] != "game") SendGameIfChanged();
    message["version"] = ++version_;
    const FeedMessage delta{version_, std::make_shared<const std::string>(message.dump())};
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
    Json j = Message("game");
    AddGame(j, record_.current());
    Send(std::move(j));
}

void WebFeed::SendPv(PieceColour side) {
    PvState& pv = pv_[Index(side)];
    pv.held = false;
    pv.sentAt = clock_.Monotonic();
    Json j = Message("pv");
    j["side"] = side == PieceColour::kWhite ? "white" : "black";
    AddThinking(j, *pv.latest, true);
    Send(std::move(j));
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
    Json j = Message("users");
    Json names = Json::array();
    for (const std::string& name : users_)
        names.push_back(Utf8(name));
    j["users"] = std::move(names);
    j["webViewers"] = webViewers_;
    Send(std::move(j));
}

void WebFeed::PublishSnapshot() {
    snapshotVersion_ = version_;
    const FeedMessage snapshot{version_, std::make_shared<const std::string>(SnapshotJson())};
    for (FeedListener* listener : listeners_)
        listener->Snapshot(snapshot);
}

void WebFeed::ChatLine(const std::string& line) {
    chat_.push_back(line);
    if (chat_.size() > kChatLines) chat_.pop_front();
    Json j = Message("chat");
    j["line"] = Utf8(line);
    Send(std::move(j));
}

void WebFeed::PlayerNamed(PieceColour, const std::string&) {
    gameChanged_ = true;
}

void WebFeed::NewGameStarted(std::int32_t) {
    gameChanged_ = true;
    clocks_.reset();
    pv_[0] = {};
    pv_[1] = {};
}

void WebFeed::PositionSet(const std::string&) {
    gameChanged_ = true;
}

void WebFeed::MovePlayed(const PlayedMove& move, const std::string&, std::int32_t, bool live) {
    // The move carries the mover's last thinking: a line held back is spent.
    pv_[Index(move.side)].held = false;
    if (!live) {
        catchingUp_ = true;
        gameChanged_ = true;
        return;
    }
    if (gameChanged_) return SendGameIfChanged();  // the game as a whole holds the move
    const auto& plies = record_.current().plies;
    Json j = Message("move");
    j["ply"] = plies.size();
    j.update(PlyJson(plies.back()));
    Send(std::move(j));
}

void WebFeed::MoveTakenBack(const PlayedMove&, const std::string& fen, bool live) {
    if (!live) {
        catchingUp_ = true;
        gameChanged_ = true;
        return;
    }
    if (gameChanged_) return SendGameIfChanged();  // the game as a whole is without the move
    Json j = Message("takeback");
    j["ply"] = record_.current().plies.size() + 1;
    j["fen"] = Utf8(fen);
    Send(std::move(j));
}

void WebFeed::ClocksTold(const ClockReading& clocks) {
    // Browsers are shown clocks that still run: a time below zero (a flag fell
    // and play went on) leaves them as they were.
    const auto& own = clocks.own;
    const auto& other = clocks.opponent;
    if (!clocks.side || !own || !other || *own < 0 || *other < 0) return;
    clocks_ = *clocks.side == PieceColour::kWhite ? Clocks{*own, *other} : Clocks{*other, *own};
    if (catchingUp_) return;
    Json j = Message("clock");
    j["white"] = clocks_->white;
    j["black"] = clocks_->black;
    Send(std::move(j));
}

void WebFeed::Thinking(PieceColour side, const EngineThinking& thinking) {
    if (!thinking.values) return;
    PvState& pv = pv_[Index(side)];
    pv.latest = thinking.values;
    if (catchingUp_) return;
    if (clock_.Monotonic() - pv.sentAt >= 1 / kPvPerSecond) {
        SendPv(side);
    } else {
        pv.held = true;
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
    Json j = Message("result");
    j["result"] = game.result;
    j["reason"] = Utf8(game.reason);
    Send(std::move(j));
}

void WebFeed::CaughtUp(const GameSnapshot&) {
    catchingUp_ = false;
    gameChanged_ = true;
}

void WebFeed::Serve(int /*waitMs*/) {
    if (catchingUp_) return;
    SendGameIfChanged();
    const double now = clock_.Monotonic();
    for (PieceColour side : {PieceColour::kWhite, PieceColour::kBlack}) {
        const PvState& pv = pv_[Index(side)];
        if (pv.held && now - pv.sentAt >= 1 / kPvPerSecond) SendPv(side);
    }
    SendUsersIfChanged();
    if (version_ != snapshotVersion_) PublishSnapshot();
}

}  // namespace lantrel
