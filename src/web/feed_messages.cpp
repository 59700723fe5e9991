#include "web/feed_messages.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "text/text.h"
#include "web/live_pgn.h"

namespace lantrel {

namespace {

// Keys stay in the order they are written.
using Json = nlohmann::ordered_json;

constexpr const char* kStandardStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";

// The game's texts are the GUI's bytes; JSON is UTF-8.
std::string Utf8(const std::string& text) {
    return TextToUtf8(text);
}

Json Utf8List(const std::vector<std::string>& texts) {
    Json list = Json::array();
    for (const std::string& text : texts)
        list.push_back(Utf8(text));
    return list;
}

const char* SideName(PieceColour side) {
    return side == PieceColour::kWhite ? "white" : "black";
}

// "level 40 5 0 " -> "40 5 0": the GUI's words without the keyword.
std::string LevelText(const std::string& level) {
    std::string text = TrimBlanks(level);
    return StartsWith(text, "level ") ? TrimBlanks(text.substr(6)) : text;
}

// "12." or "12...": a move number, which engines that write SAN put between
// the moves of a line.
bool MoveNumber(std::string_view word) {
    const std::size_t dots = word.find_first_not_of("0123456789");
    return dots > 0 && dots != std::string_view::npos &&
           word.find_first_not_of('.', dots) == std::string_view::npos;
}

// A move carries the mover's thinking without its time; a "pv" message with it.
void AddThinking(Json& j, const ThinkingLine& t, bool withTime) {
    j["depth"] = t.depth;
    j["score"] = t.score;
    if (withTime) j["time"] = t.centiseconds;
    j["nodes"] = t.nodes;
    j["pv"] = FeedPvText(Utf8(t.pv));
}

Json ThinkingOrNull(const std::optional<ThinkingLine>& thinking) {
    if (!thinking) return nullptr;
    Json j = Json::object();
    AddThinking(j, *thinking, true);
    return j;
}

// One ply of a game, in a "move" message and in a game's "moves".
void AddPly(Json& j, const RecordedPly& ply) {
    j["san"] = Utf8(ply.pgnSan);
    j["uci"] = ply.move.uci;
    j["from"] = ply.move.from;
    j["to"] = ply.move.to;
    j["fen"] = Utf8(ply.fen);
    j["clock"] = ply.clockAfter ? Json(*ply.clockAfter) : Json(nullptr);
    if (ply.moverThinking) AddThinking(j, *ply.moverThinking, false);
    if (ply.opening) {
        j["eco"] = ply.opening->eco;
        j["opening"] = Utf8(ply.opening->name);
    }
}

// ---- Each message's fields after "type" and "version" --------------------------------

void AddFields(Json& j, const RecordedGame& game) {
    j["game"] = game.number;
    j["white"] = Utf8(game.white);
    j["black"] = Utf8(game.black);
    j["level"] = Utf8(LevelText(game.level.text));
    j["timeControl"] = PgnTimeControl(game.level);
    j["startFen"] = game.startFen.empty() ? std::string(kStandardStart) : Utf8(game.startFen);
    if (game.chess960) j["variant"] = "chess960";
    j["result"] = game.result;
    j["reason"] = Utf8(game.reason);
    Json moves = Json::array();
    for (const RecordedPly& ply : game.plies) {
        Json move = Json::object();
        AddPly(move, ply);
        moves.push_back(std::move(move));
    }
    j["moves"] = std::move(moves);
}

void AddFields(Json& j, const GameDelta& m) {
    AddFields(j, m.game);
}

void AddFields(Json& j, const MoveDelta& m) {
    j["ply"] = m.ply;
    AddPly(j, m.move);
}

void AddFields(Json& j, const TakebackDelta& m) {
    j["ply"] = m.ply;
    j["fen"] = Utf8(m.fen);
}

void AddFields(Json& j, const ClockDelta& m) {
    j["white"] = m.white;
    j["black"] = m.black;
}

void AddFields(Json& j, const PvDelta& m) {
    j["side"] = SideName(m.side);
    AddThinking(j, m.thinking, true);
}

void AddFields(Json& j, const ResultDelta& m) {
    j["result"] = m.result;
    j["reason"] = Utf8(m.reason);
}

void AddFields(Json& j, const ChatDelta& m) {
    j["line"] = Utf8(m.line);
}

void AddFields(Json& j, const UsersDelta& m) {
    j["users"] = Utf8List(m.users);
    j["webViewers"] = m.webViewers;
}

void AddFields(Json& j, const SnapshotMessage& m) {
    j["run"] = m.run;
    j["site"] = Utf8(m.site);
    AddFields(j, m.game);
    j["clock"] =
        m.clock ? Json{{"white", m.clock->white}, {"black", m.clock->black}} : Json(nullptr);
    j["pv"] = {{"white", ThinkingOrNull(m.whitePv)}, {"black", ThinkingOrNull(m.blackPv)}};
    AddFields(j, m.users);
    j["chat"] = Utf8List(m.chat);
    j["chatAllowed"] = m.chatAllowed;
}

template <typename Message>
std::string Text(const Message& message, std::int64_t version) {
    Json j = Json::object();
    j["type"] = Message::kType;
    j["version"] = version;
    AddFields(j, message);
    return j.dump();
}

// ---- Reading a client's message -----------------------------------------------------

constexpr int kMaxNameLength = 20;
constexpr int kMaxChatLength = 200;
constexpr const char* kNotTaken = "Not a message this server takes.";

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

}  // namespace

std::string FeedPvText(const std::string& utf8Pv) {
    constexpr const char* kBlanks = " \t";
    std::size_t moves = 0;
    std::size_t kept = 0;  // the bytes up to the end of the last word kept
    for (std::size_t at = 0;;) {
        const std::size_t start = utf8Pv.find_first_not_of(kBlanks, at);
        // Every word fits: the line as it is, but for blanks beyond the bytes.
        if (start == std::string::npos)
            return utf8Pv.size() <= kFeedPvBytes ? utf8Pv : utf8Pv.substr(0, kept);
        const std::size_t end = std::min(utf8Pv.find_first_of(kBlanks, start), utf8Pv.size());
        const bool move = !MoveNumber(std::string_view(utf8Pv).substr(start, end - start));
        if (end > kFeedPvBytes || (move && moves == kFeedPvMoves)) break;
        at = end;
        // A move number is kept with the move after it.
        if (move) {
            ++moves;
            kept = end;
        }
    }
    // A first word too long for the bytes leaves the mark alone.
    return kept == 0 ? std::string(kPvCutMark + 1) : utf8Pv.substr(0, kept) + kPvCutMark;
}

std::string MessageText(const FeedDelta& delta, std::int64_t version) {
    return std::visit([version](const auto& message) { return Text(message, version); }, delta);
}

std::string MessageText(const SnapshotMessage& snapshot, std::int64_t version) {
    return Text(snapshot, version);
}

std::string MessageText(const ErrorMessage& error) {
    // "text" first: the order this answer has always had.
    Json j = Json::object();
    j["text"] = error.text;
    j["type"] = "error";
    return j.dump();
}

std::string DocumentText(const NatsServerList& list) {
    return Json{{"servers", list.servers}}.dump();
}

std::string DocumentText(const RecordedGame& game) {
    Json j = Json::object();
    AddFields(j, game);
    return j.dump();
}

std::string DocumentText(const TourneyDocument& document) {
    Json standings = Json::array();
    for (std::size_t i = 0; i < document.standings.size(); ++i) {
        const Standing& player = document.standings[i];
        standings.push_back({{"rank", i + 1},
                             {"name", Utf8(player.name)},
                             {"score", player.points},
                             {"games", player.games},
                             {"firstGame", player.firstGame},
                             {"results", document.crossResults.at(i)}});
    }
    Json games = Json::array();
    for (const ListedGame& game : document.games) {
        Json entry = {{"number", game.number},
                      {"white", Utf8(game.white)},
                      {"black", Utf8(game.black)},
                      {"result", Utf8(game.result)}};
        if (game.runGame) entry["game"] = game.runGame;
        games.push_back(std::move(entry));
    }
    Json earlier = Json::array();
    for (const RunGame& game : document.earlierGames)
        earlier.push_back({{"game", game.number},
                           {"white", Utf8(game.white)},
                           {"black", Utf8(game.black)},
                           {"result", Utf8(game.result)}});
    return Json{{"event", Utf8(document.event)},
                {"standings", std::move(standings)},
                {"games", std::move(games)},
                {"earlierGames", std::move(earlier)}}
        .dump();
}

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

}  // namespace lantrel
