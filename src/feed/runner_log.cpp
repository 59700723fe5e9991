// What the runners' lines mean, written in WinBoard's shapes (see runner_log.h).
#include "feed/runner_log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

#include "chess/fen.h"
#include "chess/move_query.h"
#include "feed/parsing.h"
#include "text/text.h"

namespace lantrel {

namespace {

using Kind = RunnerLine::Kind;

constexpr std::size_t kMostEngines = 1024;

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

bool HasWord(const std::vector<std::string>& words, std::string_view word) {
    return std::find(words.begin(), words.end(), word) != words.end();
}

// The number after `key` among the words, or nothing.
std::optional<std::int64_t> ValueAfter(const std::vector<std::string>& words,
                                       std::string_view key) {
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == key) return ReadSignedNumber<std::int64_t>(words[i + 1]);
    }
    return std::nullopt;
}

// A UCI "position startpos|fen FEN [moves ...]": its start ("startpos" or the
// FEN) and its moves.
struct UciPosition {
    std::string start = "startpos";
    std::vector<std::string> moves;
};

UciPosition ReadUciPosition(const std::vector<std::string>& words) {
    UciPosition position;
    std::size_t at = 2;
    if (words.size() > 1 && words[1] == "fen") {
        position.start.clear();
        for (; at < words.size() && words[at] != "moves"; ++at)
            position.start += (position.start.empty() ? "" : " ") + words[at];
    }
    if (at < words.size() && words[at] == "moves")
        position.moves.assign(words.begin() + static_cast<std::ptrdiff_t>(at) + 1, words.end());
    return position;
}

bool WhiteToMoveAt(const std::string& start, std::size_t plies) {
    const bool whiteStarts = start == "startpos" || GetWord(start, 2) != "b";
    return whiteStarts == (plies % 2 == 0);
}

// A UCI "info" line as xboard thinking output: depth, score (mate scores on
// xboard's scale, 100000 and more), time in centiseconds, nodes, the PV.
// Its words; none for lines that are no search result of the main line.
std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::vector<std::string> ThinkingOf(const std::vector<std::string>& words) {
    const auto pv = std::find(words.begin(), words.end(), "pv");
    const auto depth = ValueAfter(words, "depth");
    const auto multipv = ValueAfter(words, "multipv");
    if (pv == words.end() || pv + 1 == words.end() || !depth || (multipv && *multipv != 1))
        return {};
    std::int64_t score = 0;
    if (const auto cp = ValueAfter(words, "cp")) {
        score = *cp;
    } else if (const auto mate = ValueAfter(words, "mate")) {
        const std::int64_t moves = std::clamp<std::int64_t>(*mate, -10000, 10000);
        score = moves >= 0 ? 100000 + moves : -100000 + moves;
    } else {
        return {};
    }
    std::vector<std::string> line = {std::to_string(*depth), std::to_string(score),
                                     std::to_string(ValueAfter(words, "time").value_or(0) / 10),
                                     std::to_string(ValueAfter(words, "nodes").value_or(0))};
    line.insert(line.end(), pv + 1, words.end());
    return line;
}

// fastchess's words for an engine's failure, with the colour of the side it played.
std::string FailureReason(Kind kind, const std::string& text, const std::string& colour) {
    if (kind == Kind::kIllegalMove) return colour + " makes an illegal move: " + text;
    if (StartsWith(text, "loses on time by ")) {
        std::string overrun = text.substr(17);
        if (overrun.size() > 2 && overrun.substr(overrun.size() - 2) == "ms")
            overrun.resize(overrun.size() - 2);
        return colour + " loses on time (" + overrun + "ms overrun)";
    }
    if (text == "stalls") return colour + "'s connection stalls";
    return colour + " " + text;
}

bool InsufficientMaterial(const Board& board) {
    int minors = 0;
    int bishopSquareColours[2] = {0, 0};
    bool knight = false;
    for (int cell = 21; cell <= 98; ++cell) {
        const std::int32_t piece = std::abs(board.cells[cell]);
        if (piece == kOffBoard || piece == 0 || piece == kKing) continue;
        if (piece != kKnight && piece != kBishop) return false;
        ++minors;
        if (piece == kKnight) knight = true;
        if (piece == kBishop) ++bishopSquareColours[(RowOf(cell) + FileOf(cell)) % 2];
    }
    if (minors <= 1) return true;
    // Bishops alone, all on squares of one colour.
    return !knight && (bishopSquareColours[0] == 0 || bishopSquareColours[1] == 0);
}

}  // namespace

std::optional<LogDialect> RunnerDialectOf(std::string_view line) {
    if (!line.empty() && line[0] == '[') {
        if (!ReadFastchessLine(line).stamp.empty()) return LogDialect::kFastchess;
        return std::nullopt;
    }
    if (StartsWith(line, "Started game ")) return LogDialect::kCutechess;
    if (line.empty() || line[0] < '0' || line[0] > '9') return std::nullopt;
    const RunnerLine read = ReadCutechessLine(line);
    // WinBoard's own markers read as no engine name.
    if ((read.kind == Kind::kToEngine || read.kind == Kind::kFromEngine) &&
        !StartsWith(read.name, "first") && !StartsWith(read.name, "second"))
        return LogDialect::kCutechess;
    return std::nullopt;
}

RunnerTranslation RunnerLog::Translate(std::string_view line) {
    RunnerLine in =
        dialect_ == LogDialect::kCutechess ? ReadCutechessLine(line) : ReadFastchessLine(line);
    if (!in.stamp.empty()) stamp_ = in.stamp;
    const int continuationSeat = continuationSeat_;
    continuationSeat_ = 0;
    RunnerTranslation out;
    switch (in.kind) {
        case Kind::kGameStarted:
            GameStarted(in, out);
            break;
        case Kind::kGameFinished:
            GameFinished(in, out);
            break;
        case Kind::kToEngine:
        case Kind::kFromEngine:
            EngineLine(in, out);
            break;
        case Kind::kContinuation:
            if (continuationSeat > 0) ToEngine(continuationSeat, in, out);
            continuationSeat_ = continuationSeat;
            break;
        case Kind::kEngineFailed:
        case Kind::kIllegalMove:
            EngineFailed(in);
            break;
        case Kind::kEngineGone:
            // One that plays the followed game goes once the game is over.
            if (const auto gone = engines_.find(in.engine); gone != engines_.end()) {
                if (SeatOf(in.engine) == 0) {
                    engines_.erase(gone);
                } else {
                    gone->second.gone = true;
                }
            }
            break;
        case Kind::kOther:
            break;
    }
    return out;
}

std::string RunnerLog::Marker(int seat, bool toEngine) const {
    return (stamp_.empty() ? "0" : stamp_) + (toEngine ? " >" : " <") +
           (seat == 1 ? "first : " : "second: ");
}

std::string RunnerLog::KeyOf(const RunnerLine& in) const {
    return dialect_ == LogDialect::kFastchess ? in.thread + "/" + in.engine : in.engine;
}

int RunnerLog::SeatOf(const std::string& key) const {
    if (followed_ == 0) return 0;
    for (int seat = 1; seat <= 2; ++seat) {
        if (seats_[seat].key == key) return seat;
    }
    return 0;
}

bool RunnerLog::WhiteToMove() const {
    return WhiteToMoveAt(start_, moves_.size());
}

void RunnerLog::EngineLine(const RunnerLine& in, RunnerTranslation& out) {
    const std::string key = KeyOf(in);
    const bool toEngine = in.kind == Kind::kToEngine;
    if (toEngine) continuationSeat_ = -1;
    auto entry = engines_.find(key);
    if (entry == engines_.end()) {
        // cutechess starts an engine with "uci" or "xboard"; anything else from
        // an engine it does not run (one that quit) is no game's.
        if (dialect_ != LogDialect::kCutechess || !toEngine ||
            (in.text != "uci" && in.text != "xboard"))
            return;
        // A log that starts engines and never ends them (a damaged one) keeps
        // the latest: no runner plays this many games at once.
        if (engines_.size() >= kMostEngines) {
            const auto oldest = std::min_element(
                engines_.begin(), engines_.end(), [](const auto& a, const auto& b) {
                    return (a.second.game == 0 ? a.second.order : INT64_MAX) <
                           (b.second.game == 0 ? b.second.order : INT64_MAX);
                });
            if (oldest->second.game == 0) engines_.erase(oldest);
        }
        entry = engines_.emplace(key, Engine{in.name, 0, nextOrder_++, false}).first;
    }
    Engine& engine = entry->second;
    if (!in.name.empty()) engine.name = in.name;
    const int seat = SeatOf(key);
    if (toEngine && seat > 0) continuationSeat_ = seat;
    if (toEngine && in.text == "quit" && seat == 0) {
        engines_.erase(entry);  // what it says from now on is no game's
        return;
    }
    if (seat == 0) return;
    if (toEngine) {
        ToEngine(seat, in, out);
    } else {
        FromEngine(seat, in, out);
    }
}

void RunnerLog::Flush(RunnerTranslation& out) {
    // A move held back goes out before anything that follows it, and so do
    // the relays of moves after it.
    if (held_) Release(out);
    for (int seat = 1; seat <= 2; ++seat) {
        if (!seats_[seat].relay.empty()) out.lines.push_back(std::move(seats_[seat].relay));
        seats_[seat].relay.clear();
    }
}

void RunnerLog::Emit(RunnerTranslation& out, std::string line) {
    Flush(out);
    out.lines.push_back(std::move(line));
}

void RunnerLog::Release(RunnerTranslation& out) {
    if (!held_) return;
    out.lines.push_back(std::move(held_->line));
    moves_.push_back(held_->move);
    held_.reset();
    if (concurrencyDue_) {
        concurrencyDue_ = false;
        out.notice = ConcurrencyNotice();
    }
}

std::string RunnerLog::ConcurrencyNotice() const {
    return "This log holds " + std::to_string(concurrencyTold_) +
           " games at once: following game " + std::to_string(followed_);
}

void RunnerLog::ToEngine(int seat, const RunnerLine& in, RunnerTranslation& out) {
    Seat& s = seats_[seat];
    const std::vector<std::string> words = Words(in.text);
    if (words.empty()) return;
    const std::string& command = words[0];
    // What the game shows; the rest sets the engines up or answers them. A
    // game's start and result come from the runner's own lines.
    static const char* const kShown[] = {
        "position", "go",    "time",  "otim",      "level", "st",        "variant", "setboard",
        "usermove", "white", "black", "setoption", "stop",  "ponderhit", "edit",    "result"};
    const bool shown = std::any_of(std::begin(kShown), std::end(kShown),
                                   [&](const char* word) { return command == word; });
    // An old-style set-up, "edit" then a piece a line, "c" and ".", goes
    // through whole.
    if (s.editing) {
        s.editing = command != ".";
        return Emit(out, Marker(seat, true) + in.text);
    }
    s.editing = command == "edit";
    const bool move = words.size() == 1 && LooksLikeMoveText(command);
    if (!shown && !move) return;
    // A move to an xboard engine waits for the next line: right before "edit"
    // it only gives Black the move in the position set up, which WinBoard
    // writes "a2a3".
    if (move) {
        Flush(out);
        s.relay = Marker(seat, true) + in.text;
        return;
    }
    if (s.editing && !s.relay.empty()) s.relay = Marker(seat, true) + "a2a3";
    if (command == "result") {
        // The game is over for the runner: what the engines send now is no move of it.
        over_ = true;
        if (held_ && Contains(in.text, "illegal move: " + held_->move)) held_.reset();
        return;
    }
    if (command == "setoption" && !Contains(in.text, "name UCI_Chess960 value ")) return;
    if (command == "setoption") chess960_ = Contains(in.text, "value true");
    if (command == "stop") {
        if (s.pondering) s.dropBestmove = true;
        s.pondering = false;
        return;
    }
    if (command == "ponderhit") {
        s.pondering = false;
        return;
    }
    if (command == "level" || command == "st") {
        // The time control once a game, for whichever engine is told it.
        if (levelTold_) return;
        levelTold_ = true;
        return Emit(out, Marker(1, true) + in.text);
    }
    if (command == "position") {
        s.position = in.text;
        Emit(out, Marker(seat, true) + in.text);
        // A start position before the game's first move is told at once, as
        // xboard's "setboard": it has the castling rights and the en-passant
        // square that an "edit" set-up of the other engine leaves to guessing.
        if (moves_.empty() && !held_ && words.size() > 2 && words[1] == "fen" &&
            !HasWord(words, "moves"))
            out.lines.push_back(Marker(seat, true) + "setboard " + ReadUciPosition(words).start);
        return;
    }
    Emit(out, Marker(seat, true) + in.text);
    if (command != "go" || s.position.empty()) return;
    if (HasWord(words, "ponder")) {
        s.pondering = true;
        return;
    }
    // A search of the game's position: that position is the game so far.
    const UciPosition position = ReadUciPosition(Words(s.position));
    s.position.clear();
    start_ = position.start;
    moves_ = position.moves;
    const auto white = ValueAfter(words, "wtime");
    const auto black = ValueAfter(words, "btime");
    if (!white || !black) return;
    // UCI clocks in milliseconds, for the engine to move; xboard's in centiseconds.
    const bool whiteMoves = WhiteToMove();
    out.lines.push_back(Marker(seat, true) + "time " +
                        std::to_string((whiteMoves ? *white : *black) / 10));
    out.lines.push_back(Marker(seat, true) + "otim " +
                        std::to_string((whiteMoves ? *black : *white) / 10));
}

void RunnerLog::FromEngine(int seat, const RunnerLine& in, RunnerTranslation& out) {
    Seat& s = seats_[seat];
    const std::vector<std::string> words = Words(in.text);
    if (words.empty()) return;
    const std::string& word = words[0];
    if (over_) return;
    if (word == "bestmove" || word == "move") {
        if (word == "bestmove" && s.dropBestmove) {
            s.dropBestmove = false;  // the answer to "stop" while pondering: no move
            return;
        }
        if (words.size() < 2 || words[1] == "(none)" || words[1] == "0000") return;
        if (!s.thinking.empty() &&
            s.laterDepth > ReadSignedNumber<std::int64_t>(s.thinking[0]).value_or(0)) {
            s.thinking[0] = std::to_string(s.laterDepth);
            Emit(out, Marker(seat, false) + JoinWords(s.thinking));
        }
        s.thinking.clear();
        s.laterDepth = 0;
        Release(out);
        held_ = HeldMove{Marker(seat, false) + "move " + words[1], words[1], seat};
        return;
    }
    if (word == "info") {
        // fastchess takes a move's evaluation from exact scores only.
        const bool bound = HasWord(words, "lowerbound") || HasWord(words, "upperbound");
        std::vector<std::string> thinking;
        if (!bound || dialect_ != LogDialect::kFastchess) thinking = ThinkingOf(words);
        if (!thinking.empty()) {
            s.laterDepth = 0;
            s.thinking = thinking;
            Emit(out, Marker(seat, false) + JoinWords(thinking));
        } else if (const auto depth = ValueAfter(words, "depth");
                   depth && !s.thinking.empty() && dialect_ == LogDialect::kCutechess &&
                   ValueAfter(words, "multipv").value_or(1) == 1) {
            s.laterDepth = *depth;
        }
        return;
    }
    // xboard thinking output; the rest (UCI's answers, xboard's features and
    // chatter) the runner's names and lines make up for.
    if (IsThinkingLine(in.text)) Emit(out, Marker(seat, false) + in.text);
}

void RunnerLog::GameStarted(const RunnerLine& in, RunnerTranslation& out) {
    // Games that never finish (a damaged log) give way to new ones.
    if (games_.size() >= kMostEngines / 2) {
        auto oldest = games_.begin();
        if (*oldest == followed_) ++oldest;
        if (oldest != games_.end()) games_.erase(oldest);
    }
    games_.insert(in.game);
    // The engines that play it: fastchess names them; cutechess started them
    // before, and they are the earliest started that carry the names.
    std::string keys[3];
    if (dialect_ == LogDialect::kFastchess) {
        keys[1] = in.thread + "/" + in.white;
        keys[2] = in.thread + "/" + in.black;
        for (int seat = 1; seat <= 2; ++seat) {
            Engine& engine = engines_[keys[seat]];
            engine.name = seat == 1 ? in.white : in.black;
            engine.game = in.game;
        }
    } else {
        std::vector<std::pair<std::int64_t, std::string>> unpaired;
        for (const auto& [key, engine] : engines_) {
            if (engine.game == 0 && !engine.gone) unpaired.emplace_back(engine.order, key);
        }
        std::sort(unpaired.begin(), unpaired.end());
        for (int seat = 1; seat <= 2; ++seat) {
            const std::string& name = seat == 1 ? in.white : in.black;
            auto taken = [&](const std::string& key) { return keys[1] == key; };
            for (const auto& [order, key] : unpaired) {
                if (engines_[key].name == name && !taken(key)) {
                    keys[seat] = key;
                    break;
                }
            }
            for (const auto& [order, key] : unpaired) {
                if (keys[seat].empty() && !taken(key)) keys[seat] = key;
            }
            if (!keys[seat].empty()) engines_[keys[seat]].game = in.game;
        }
    }
    if (games_.size() > concurrencyTold_) {
        concurrencyTold_ = games_.size();
        concurrencyDue_ = true;
    }
    if (followed_ != 0) return;
    followed_ = in.game;
    // The screen keeps saying which game it shows; server.log said it once.
    if (concurrencyTold_ > 1 && !concurrencyDue_) {
        out.notice = ConcurrencyNotice();
        out.noticeLogged = false;
    }
    for (int seat = 1; seat <= 2; ++seat)
        seats_[seat] = Seat{keys[seat], false, false, {}, false, {}, 0, {}};
    held_.reset();
    over_ = false;
    levelTold_ = false;
    chess960_ = false;
    start_ = "startpos";
    moves_.clear();
    failure_.clear();
    // The engines of the game before leave; these two come, White first.
    out.lines.push_back(Marker(1, true) + "quit");
    out.lines.push_back(Marker(2, true) + "quit");
    out.lines.push_back("StartChildProcess (dir=) " + in.white);
    out.lines.push_back("StartChildProcess (dir=) " + in.black);
    // The names as the runner gives them, blanks and all.
    out.lines.push_back(Marker(1, false) + "feature myname=\"" + in.white + "\"");
    out.lines.push_back(Marker(2, false) + "feature myname=\"" + in.black + "\"");
    out.lines.push_back(Marker(1, true) + "new");
}

void RunnerLog::EngineFailed(const RunnerLine& in) {
    int seat = 0;
    for (int s = 1; s <= 2 && followed_ != 0; ++s) {
        const auto engine = engines_.find(seats_[s].key);
        if (engine != engines_.end() && engine->second.name == in.engine) seat = s;
    }
    if (seat == 0 || !failure_.empty()) return;
    // fastchess names the side to move: the move the engine sent did not count.
    if (held_ && held_->seat == seat) held_.reset();
    failure_ = FailureReason(in.kind, in.text, WhiteToMove() ? "White" : "Black");
}

void RunnerLog::GameFinished(const RunnerLine& in, RunnerTranslation& out) {
    games_.erase(in.game);
    // Its engines are free again: cutechess may give them the next game.
    std::erase_if(engines_, [&](const auto& entry) {
        return entry.second.game == in.game && entry.second.gone;
    });
    for (auto& [key, engine] : engines_) {
        if (engine.game == in.game) engine.game = 0;
    }
    if (in.game != followed_) return;
    std::string result = in.text;
    if (held_ && Contains(result, "illegal move: " + held_->move))
        held_.reset();  // the runner refused it: no move of the game
    // A move the runner passes on after the game was decided is no move of it.
    Release(out);
    if (dialect_ == LogDialect::kFastchess)
        result += " {" + (failure_.empty() ? ReasonFromBoard(result) : failure_) + "}";
    out.lines.push_back(Marker(1, true) + "result " + result);
    followed_ = 0;
    seats_[1] = seats_[2] = Seat{};
}

std::string RunnerLog::ReasonFromBoard(const std::string& score) const {
    Board board;
    if (start_ != "startpos") board = ReadFen(start_, chess960_).board;
    std::map<std::string, int> seen;
    int repeated = ++seen[FenText(board)];
    for (const std::string& text : moves_) {
        const MoveTextMatch match = MatchMoveText(board, text);
        if (!match.legal) break;
        MakeMove(board, match.move.from, match.move.to, match.move.kind, board.searchPly);
        board.searchPly = 1;
        repeated = ++seen[FenText(board)];
    }
    MoveList legal;
    GenerateMoves(board, legal, board.sideToMove, false);
    const bool white = board.sideToMove == PieceColour::kWhite;
    const std::int32_t king = white ? board.whiteKingSquare : board.blackKingSquare;
    const bool inCheck = IsAttacked(board, king, Opponent(board.sideToMove));
    if (legal.count == 0 && inCheck) return std::string(white ? "Black" : "White") + " mates";
    if (board.halfmoveClock >= 100) return "Draw by fifty moves rule";
    if (InsufficientMaterial(board)) return "Draw by insufficient mating material";
    if (repeated >= 3) return "Draw by 3-fold repetition";
    if (legal.count == 0) return "Draw by stalemate";
    if (StartsWith(score, "1-0")) return "White wins by adjudication";
    if (StartsWith(score, "0-1")) return "Black wins by adjudication";
    return "Draw by adjudication";
}

}  // namespace lantrel
