// The browser feed's messages, one struct each, and their JSON texts: what the
// feed sends (a snapshot, then deltas), what the web listener answers a client
// itself, and what a client may send. Pages read the keys in the order
// feed_messages.cpp writes them; docs/WEB.md describes each one.
//
// The feed's texts are held as the game has them (the GUI's bytes) and written
// as UTF-8 (TextToUtf8); the listener's own and a client's texts are UTF-8 already.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "events/game_output.h"
#include "tourney/tourney.h"
#include "web/game_record.h"

namespace lantrel {

// ---- What the feed sends ------------------------------------------------------------
//
// Every message is a JSON object: "type", then "version", then its fields. A
// snapshot first, then the deltas, each one version after the one before.

// The game as a whole: a new game, new names, a new time control or a set-up
// position. It replaces the game the client has.
struct GameDelta {
    static constexpr const char* kType = "game";
    RecordedGame game;
};

// A move played: the game's `ply`-th (1 = the game's first move).
struct MoveDelta {
    static constexpr const char* kType = "move";
    std::size_t ply = 0;
    RecordedPly move;
};

// The GUI refused the game's last move, ply `ply`: the game is back at `fen`.
struct TakebackDelta {
    static constexpr const char* kType = "takeback";
    std::size_t ply = 0;
    std::string fen;
};

// Each side's time left, in centiseconds, as the GUI last told the engine on move.
struct ClockDelta {
    static constexpr const char* kType = "clock";
    std::int64_t white = 0;
    std::int64_t black = 0;
};

// One side's latest thinking.
struct PvDelta {
    static constexpr const char* kType = "pv";
    PieceColour side = PieceColour::kWhite;
    ThinkingLine thinking;
};

struct ResultDelta {
    static constexpr const char* kType = "result";
    std::string result;  // "1-0", "0-1", "1/2-1/2"
    std::string reason;  // the GUI's words for it; empty when it gave none
};

// A chat line as the UDP viewers get it after "CHAT: " ("[Ann] - hello").
struct ChatDelta {
    static constexpr const char* kType = "chat";
    std::string line;
};

// The names of the UDP viewers logged on, and how many browsers follow the feed.
struct UsersDelta {
    static constexpr const char* kType = "users";
    std::vector<std::string> users;
    int webViewers = 0;
};

using FeedDelta = std::variant<GameDelta, MoveDelta, TakebackDelta, ClockDelta, PvDelta,
                               ResultDelta, ChatDelta, UsersDelta>;

// Everything a client needs to follow the feed from here on: it holds every
// delta up to its version.
struct SnapshotMessage {
    static constexpr const char* kType = "snapshot";
    std::string run;  // names this run of the server
    std::string site;
    RecordedGame game;
    std::optional<ClockDelta> clock;  // as the last "clock" delta; none before the GUI told any
    std::optional<ThinkingLine> whitePv;
    std::optional<ThinkingLine> blackPv;
    UsersDelta users;               // as the last "users" delta
    std::vector<std::string> chat;  // the last chat lines, oldest first
    bool chatAllowed = false;
};

std::string MessageText(const FeedDelta& delta, std::int64_t version);
std::string MessageText(const SnapshotMessage& snapshot, std::int64_t version);

// An engine's line as the feed sends it (a "pv" in any message): its first
// kFeedPvMoves moves, in at most kFeedPvBytes bytes of UTF-8, cut after a
// whole word. A longer line ends in kPvCutMark after its last word kept. The
// UDP viewers get the engine's words in full.
inline constexpr std::size_t kFeedPvMoves = 64;
inline constexpr std::size_t kFeedPvBytes = 512;
inline constexpr const char* kPvCutMark = " \xE2\x80\xA6";  // " …" (U+2026)
std::string FeedPvText(const std::string& utf8Pv);

// ---- What the web listener answers itself -------------------------------------------

// Why a client's message was refused: sent on its connection only, with no version.
struct ErrorMessage {
    std::string text;
};
std::string MessageText(const ErrorMessage& error);

// /nats.json: the NATS servers the page may follow the feed on.
struct NatsServerList {
    std::vector<std::string> servers;
};
std::string DocumentText(const NatsServerList& list);

// /games/N.json: an earlier game of this run, as a "game" delta holds it.
std::string DocumentText(const RecordedGame& game);

// /tourney.json: the standings with each player's results against the others,
// the tournament's games, and this run's earlier games.
struct TourneyDocument {
    std::string event;  // the tournament PGN's; empty when it has none
    std::vector<Standing> standings;
    std::vector<std::vector<std::string>> crossResults;  // as CrossResults gives them
    std::vector<ListedGame> games;                       // in the order played
    std::vector<RunGame> earlierGames;                   // this run's, oldest first
};
std::string DocumentText(const TourneyDocument& document);

// ---- What a client sends ----------------------------------------------------------

// A chat line a client sent, checked: UTF-8, a name of 1 to 20 characters and
// a text of 1 to 200, neither holding control characters (C0, C1) or invisible
// format characters; the name holds no "[" or "]" and is none the server
// writes chat lines under ("SERVER").
struct WebChatLine {
    std::string name;
    std::string text;
};

// A client's message read: the chat line it holds, or the text of the error
// that refuses it (`chatAllowed` false refuses every chat line). Any bytes at
// all are read without an exception.
struct ClientMessage {
    std::optional<WebChatLine> chat;
    std::string refusal;
};
ClientMessage ReadClientMessage(std::string_view message, bool chatAllowed);

}  // namespace lantrel
