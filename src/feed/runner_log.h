// The logs of the tournament runners cutechess-cli and fastchess, translated
// line by line into the shapes of WinBoard's debug log, which the log parser
// follows: engine traffic behind ">first :" and "<second:" markers, the
// engines' start notes, "new", moves, clocks as "time" and "otim", thinking
// lines and "result 1-0 {reason}".
//
// A runner may play several games at once, each with engines of its own. One
// game is followed at a time: the lowest-numbered one that starts while no
// other is followed. Its engines are "first" (White at the start) and
// "second"; every line of the other games translates to nothing.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

enum class LogDialect { kWinBoard, kCutechess, kFastchess };

// The dialect of a runner's log line, or nothing for any other line.
std::optional<LogDialect> RunnerDialectOf(std::string_view line);

// One line of a runner's log, as its dialect writes it.
struct RunnerLine {
    enum class Kind {
        kOther,         // the runner's own notes, or anything unread
        kToEngine,      // the runner sent `text` to `engine`
        kFromEngine,    // `engine` sent `text`
        kContinuation,  // more of the runner's last message to an engine
        kGameStarted,   // game `game` between `white` and `black` begins
        kGameFinished,  // game `game` ended: `text` is "1-0 {reason}" or "1-0"
        kEngineFailed,  // `engine` failed: `text` says how ("disconnects", ...)
        kIllegalMove,   // `engine` played the illegal move `text`
        kEngineGone,    // the runner ended `engine` (it died or hung)
    };
    Kind kind = Kind::kOther;
    std::string stamp;   // the line's time stamp as written; empty: none
    std::string engine;  // cutechess: the instance number; fastchess: the name
    std::string name;    // cutechess: the engine's name as the line writes it
    std::string thread;  // fastchess: the thread playing the game
    std::string text;
    std::int32_t game = 0;
    std::string white, black;
};

// "216 >Stockfish 15.1(0): go wtime 510 btime 510", "Started game 1 of 15
// (Stockfish 15.1 vs Sjeng 11.2)", "Finished game 1 (...): 0-1 {Black mates}".
RunnerLine ReadCutechessLine(std::string_view line);

// "[Engine] [13:47:10.773008] <  140594415654592>  Stockfish <--- uci" and the
// runner's "[TRACE ] [...] <  ...> fastchess --- Game 1 between A and B starting".
RunnerLine ReadFastchessLine(std::string_view line);

// What one line of a runner's log becomes.
struct RunnerTranslation {
    std::vector<std::string> lines;  // WinBoard lines, in order
    std::string notice;              // a word for the operator
    bool noticeLogged = true;        // for server.log too, not only the screen
};

class RunnerLog {
  public:
    explicit RunnerLog(LogDialect dialect) : dialect_(dialect) {}
    RunnerTranslation Translate(std::string_view line);

  private:
    struct Engine {
        std::string name;
        std::int32_t game = 0;   // the game it plays; 0: none
        std::int64_t order = 0;  // when it was first seen
        bool gone = false;       // the runner ended it
    };
    // An engine of the followed game.
    struct Seat {
        std::string key;  // its key in engines_
        bool pondering = false;
        bool dropBestmove = false;  // its next bestmove answers "stop" while pondering
        std::string position;       // the UCI position it was given last, until its "go"
        bool editing = false;       // between xboard's "edit" and "."
        // Its last thinking line, and the depth a later UCI "info" line went
        // on to without a result: the runner takes that depth with the
        // line's score for the move's evaluation.
        std::vector<std::string> thinking;
        std::int64_t laterDepth = 0;
        std::string relay;  // a move the runner passed to it, still to go out
    };
    // The move an engine sent, held until the next line that means anything
    // shows whether the runner took it: one it refused is dropped.
    struct HeldMove {
        std::string line;
        std::string move;
        int seat = 0;
    };

    void EngineLine(const RunnerLine& in, RunnerTranslation& out);
    void ToEngine(int seat, const RunnerLine& in, RunnerTranslation& out);
    void FromEngine(int seat, const RunnerLine& in, RunnerTranslation& out);
    void GameStarted(const RunnerLine& in, RunnerTranslation& out);
    void GameFinished(const RunnerLine& in, RunnerTranslation& out);
    void EngineFailed(const RunnerLine& in);
    // Adds a line to the translation, after what Flush gives out first.
    void Emit(RunnerTranslation& out, std::string line);
    void Flush(RunnerTranslation& out);
    void Release(RunnerTranslation& out);
    std::string Marker(int seat, bool toEngine) const;
    std::string KeyOf(const RunnerLine& in) const;
    int SeatOf(const std::string& key) const;  // 1 or 2 in the followed game, else 0
    bool WhiteToMove() const;
    std::string ConcurrencyNotice() const;
    // fastchess's words for how a game ended that its log does not give.
    std::string ReasonFromBoard(const std::string& score) const;

    LogDialect dialect_;
    std::string stamp_;  // the last stamp seen
    // cutechess: by instance number; fastchess: by thread and name.
    std::map<std::string, Engine> engines_;
    std::int64_t nextOrder_ = 0;
    std::set<std::int32_t> games_;  // the games in progress, by number
    std::int32_t followed_ = 0;     // 0: none
    Seat seats_[3];                 // 1 and 2
    std::optional<HeldMove> held_;
    // The seat of the runner's last message when the line before was one to
    // an engine: -1 for an engine not followed.
    int continuationSeat_ = 0;
    bool over_ = false;  // the runner told an engine the followed game's result
    bool levelTold_ = false;
    bool chess960_ = false;
    std::size_t concurrencyTold_ = 1;
    bool concurrencyDue_ = false;
    // The followed game as the runner gave it to its engines: its start
    // ("startpos" or a FEN) and the moves since, with the moves sent after.
    std::string start_ = "startpos";
    std::vector<std::string> moves_;
    std::string failure_;  // how the side to move failed, in fastchess's words
};

}  // namespace lantrel
