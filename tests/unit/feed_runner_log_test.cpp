// The runners' log lines as read, and what their translation does where the
// recorded tournaments (tests/fixtures/cutechess, fastchess) cannot show it.
#include <gtest/gtest.h>

#include "feed/runner_log.h"

namespace lantrel {
namespace {

using Kind = RunnerLine::Kind;

TEST(RunnerLogTest, ReadsTheDialectsLines) {
    struct Case {
        const char* line;
        bool fastchess;
        Kind kind;
        const char* engine;
        const char* text;
    };
    const Case cases[] = {
        {"216 >Stockfish 15.1(0): go wtime 510", false, Kind::kToEngine, "0", "go wtime 510"},
        // A name with parentheses of its own; text with "): " in it.
        {"9 <Foo (x) 2(12): info string a(1): b", false, Kind::kFromEngine, "12",
         "info string a(1): b"},
        {"otim 49", false, Kind::kContinuation, "", "otim 49"},
        {"Score of A vs B: 1 - 0 - 0", false, Kind::kOther, "", ""},
        {"Terminating process of engine crashing(6)", false, Kind::kEngineGone, "6", ""},
        {"Finished game 2 (A (x) vs B): 0-1 {Black mates}", false, Kind::kGameFinished, "",
         "0-1 {Black mates}"},
        {"12 >(0): x", false, Kind::kOther, "", ""},
        {"[Engine] [13:47:10.773008] <     140594415654592>  Stockfish <--- uci", true,
         Kind::kToEngine, "Stockfish", "uci"},
        {"[Engine] [13:47:10.9] <  1>  A B ---> bestmove e2e4 ponder e7e5", true, Kind::kFromEngine,
         "A B", "bestmove e2e4 ponder e7e5"},
        {"[Engine] [13:51:13.6] <  1>  <stderr> crashing ---> exited", true, Kind::kOther, "", ""},
        {"[TRACE ] [13:47:12.9] <  1> fastchess --- Game 1 finished with result 1/2-1/2", true,
         Kind::kGameFinished, "", "1/2-1/2"},
        {"[WARN  ] [13:51:17.5] <  1> fastchess --- Engine late loses on time by 104ms", true,
         Kind::kEngineFailed, "late", "loses on time by 104ms"},
        {"[WARN  ] [13:51:12.9] <  > fastchess --- Warning; Illegal move h8h4 played by x", true,
         Kind::kIllegalMove, "x", "h8h4"},
        {"[TRACE ] [13:47:12.9] <", true, Kind::kOther, "", ""},
    };
    for (const Case& c : cases) {
        const RunnerLine read = c.fastchess ? ReadFastchessLine(c.line) : ReadCutechessLine(c.line);
        EXPECT_EQ(read.kind, c.kind) << c.line;
        EXPECT_EQ(read.engine, c.engine) << c.line;
        EXPECT_EQ(read.text, c.text) << c.line;
    }
    const RunnerLine started =
        ReadCutechessLine("Started game 3 of 15 (Toga II 3.0 vs Fairy-Max 5.0b)");
    EXPECT_EQ(started.game, 3);
    EXPECT_EQ(started.white + "|" + started.black, "Toga II 3.0|Fairy-Max 5.0b");
}

TEST(RunnerLogTest, RecognisesARunnersLogAndNoGuisOne) {
    EXPECT_EQ(RunnerDialectOf("10 >UciEngine(0): uci"), LogDialect::kCutechess);
    EXPECT_EQ(RunnerDialectOf("Started game 1 of 2 (A vs B)"), LogDialect::kCutechess);
    EXPECT_EQ(RunnerDialectOf("[INFO  ] [13:47:10.769771] <   > fastchess --- fastchess 1.8"),
              LogDialect::kFastchess);
    for (const char* gui : {"123 >first : xboard", "123 <first : tellics x(1): y",
                            "2021-03-28 20:19:25.113-->1:go", "[White \"x\"]", ""})
        EXPECT_FALSE(RunnerDialectOf(gui).has_value()) << gui;
}

// The lines of one cutechess game between a UCI engine (0, White) and an
// xboard one (1), then `tail`; what the translation gave.
std::vector<std::string> CutechessGame(const std::vector<std::string>& tail) {
    RunnerLog log(LogDialect::kCutechess);
    std::vector<std::string> lines = {"1 >UciEngine(0): uci", "1 >XboardEngine(1): xboard",
                                      "2 <A(0): uciok", "2 >B(1): new",
                                      "Started game 1 of 1 (A vs B)"};
    lines.insert(lines.end(), tail.begin(), tail.end());
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const RunnerTranslation t = log.Translate(line);
        out.insert(out.end(), t.lines.begin(), t.lines.end());
    }
    return out;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(RunnerLogTest, MovesTheRunnerDidNotTakeAreNoMoves) {
    // The answer to "stop" while pondering; a move the runner refused as
    // illegal; a move after the runner told the result.
    const auto lines = CutechessGame(
        {"3 >A(0): position startpos", "3 >A(0): go wtime 1000 btime 900",
         "4 <A(0): info depth 3 score mate 2 time 25 nodes 9 pv e2e4 e7e5",
         "4 <A(0): bestmove e2e4 ponder e7e5", "4 >B(1): e2e4",
         "4 >A(0): position startpos moves e2e4 e7e5", "4 >A(0): go ponder wtime 1 btime 1",
         "5 <B(1): move d7d5", "5 >A(0): stop", "5 <A(0): bestmove g1f3",
         "5 >A(0): position startpos moves e2e4 d7d5", "5 >A(0): go wtime 990 btime 880",
         "6 <A(0): bestmove e1e8", "6 >B(1): force",
         "6 >B(1): result 0-1 {White makes an illegal move: e1e8}", "6 <B(1): move g8f6",
         "Finished game 1 (A vs B): 0-1 {White makes an illegal move: e1e8}"});
    EXPECT_TRUE(Has(lines, "3 >first : time 100"));  // White to move: its clock, centiseconds
    EXPECT_TRUE(Has(lines, "3 >first : otim 90"));
    EXPECT_TRUE(Has(lines, "4 <first : 3 100002 2 9 e2e4 e7e5"));
    EXPECT_TRUE(Has(lines, "4 <first : move e2e4"));
    EXPECT_TRUE(Has(lines, "5 <second: move d7d5"));
    for (const std::string& line : lines) {
        for (const char* refused : {"move g1f3", "move e1e8", "move g8f6"})
            EXPECT_EQ(line.find(refused), std::string::npos) << line;
    }
    EXPECT_EQ(lines.back(), "6 >first : result 0-1 {White makes an illegal move: e1e8}");
}

TEST(RunnerLogTest, FastchessReasonsFromTheBoard) {
    struct Case {
        const char* moves;
        const char* score;
        const char* reason;
    };
    const Case cases[] = {
        {"f2f3 e7e5 g2g4 d8h4", "0-1", "Black mates"},
        {"e2e4 e7e5", "1-0", "White wins by adjudication"},
        {"g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8", "1/2-1/2", "Draw by 3-fold repetition"},
    };
    for (const Case& c : cases) {
        RunnerLog log(LogDialect::kFastchess);
        const std::string head = "[Engine] [12:00:00.1] <  7>  ";
        log.Translate("[TRACE ] [12:00:00.0] <  7> fastchess --- Game 1 between A and B starting");
        log.Translate(head + "A <--- position startpos moves " + c.moves);
        log.Translate(head + "A <--- go wtime 1 btime 1");
        const RunnerTranslation t = log.Translate(
            std::string("[TRACE ] [12:00:01.0] <  7> fastchess --- Game 1 finished with result ") +
            c.score);
        ASSERT_FALSE(t.lines.empty());
        EXPECT_EQ(t.lines.back(),
                  std::string("12:00:01.0 >first : result ") + c.score + " {" + c.reason + "}");
    }
    // An engine that fails: the side to move, in fastchess's words; its last move does not count.
    RunnerLog log(LogDialect::kFastchess);
    log.Translate("[TRACE ] [1:00:00.0] <  7> fastchess --- Game 2 between A and B starting");
    log.Translate("[Engine] [12:00:00.1] <  7>  A <--- position startpos");
    log.Translate("[Engine] [12:00:00.1] <  7>  A <--- go wtime 1 btime 1");
    EXPECT_TRUE(log.Translate("[Engine] [12:00:00.2] <  7>  A ---> bestmove e2e4").lines.empty());
    log.Translate("[WARN  ] [12:00:00.3] <  7> fastchess --- Engine A loses on time by 12ms");
    const RunnerTranslation t =
        log.Translate("[TRACE ] [12:00:00.4] <  7> fastchess --- Game 2 finished with result 0-1");
    ASSERT_EQ(t.lines.size(), 1u);
    EXPECT_EQ(t.lines[0], "12:00:00.4 >first : result 0-1 {White loses on time (12ms overrun)}");
}

}  // namespace
}  // namespace lantrel
