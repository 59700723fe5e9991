#include <gtest/gtest.h>

#include "feed/parsing.h"

namespace lantrel {
namespace {

std::string Arena(std::string_view line) {
    return TidyEngineLine(TranslateArenaLine(line));
}

TEST(TranslateArenaLineTest, WinBoardLinesComeBackByteForByte) {
    for (const char* line : {
             "1234 >first : time 30000",
             "1234 <first : move e2e4",
             "StartChildProcess (dir=.) stockfish",
             "5678 <second: 12 -31 456 890 e7e5 g1f3",
             "",
             "info currmove e2e4 at the very start",
         }) {
        EXPECT_EQ(TranslateArenaLine(line), line) << line;
    }
}

TEST(TranslateArenaLineTest, ProgressNoiseIsDropped) {
    EXPECT_EQ(TranslateArenaLine("20:19:25.113<--1:info currmove e2e4 currmovenumber 1"), "");
    EXPECT_EQ(TranslateArenaLine("20:19:25.113<--1:info nps 123456"), "");
}

TEST(TranslateArenaLineTest, MarkersBecomeWinBoardMarkers) {
    EXPECT_EQ(TranslateArenaLine("t-->1:go"), "t >first : go");
    EXPECT_EQ(TranslateArenaLine("t-->2:go"), "t >second: go");
    EXPECT_EQ(TranslateArenaLine("t<--2:bestmove e7e5"), "t <second: bestmove e7e5");
    EXPECT_EQ(TranslateArenaLine("t>1:quit"), "t >first : quit");
    EXPECT_EQ(TranslateArenaLine("t<2:readyok"), "t <second: readyok");
}

TEST(TranslateArenaLineTest, InfoLineBecomesThinkingOutput) {
    EXPECT_EQ(TranslateArenaLine("12:00:01.5<--1:info depth 12 score cp 31 time 4567 nodes 890 "
                                 "pv e2e4 e7e5 g1f3"),
              "12:00:01.5 <first :  12 31 456 890 e2e4");
    EXPECT_EQ(Arena("12:00:01.5<--1:info depth 12 score cp 31 time 4567 nodes 890 pv e2e4 e7e5"),
              "12:00:01.5 <first : 12 31 456 890 e2e4");
}

TEST(TranslateArenaLineTest, KeywordsAreWholeWords) {
    // A modern UCI line: seldepth before depth, multipv before pv.
    EXPECT_EQ(Arena("t<--2:info depth 22 seldepth 33 multipv 1 score cp -34 nodes 12953759 nps "
                    "1662656 hashfull 999 tbhits 0 time 7791 pv g8f6 c2c4 e7e6"),
              "t <second: 22 -34 779 12953759 g8f6");
}

TEST(TranslateArenaLineTest, InfoLinesThatAreDroppedOrPassed) {
    // The only PV move ends the line: no blank after it.
    EXPECT_EQ(TranslateArenaLine("t<--1:info depth 3 score cp 5 time 10 nodes 7 pv e2e4"), "");
    EXPECT_EQ(TranslateArenaLine("t<--1:info depth 3 score cp 5 time 10 nodes 7"), "");
    // A mate score is not converted.
    EXPECT_EQ(TranslateArenaLine("t<--1:info depth 3 score mate 2 pv e2e4 e7e5"),
              "t <first : info depth 3 score mate 2 pv e2e4 e7e5");
    // No blank after the time: it stays 0.
    EXPECT_EQ(TranslateArenaLine("t<--1:info depth 3 score cp 5 pv e2e4 e7e5 time 10"),
              "t <first :  3 5 0 0 e2e4");
}

TEST(TranslateArenaLineTest, LongLineKeepsItsMove) {
    std::string line = std::string(260, 'x') + "<1:move e2e4";
    EXPECT_EQ(TranslateArenaLine(line), "12345678 <first : move e2e4");
    std::string shortish = std::string(240, 'x') + "<1:move e2e4";  // 252 bytes, ":move " too early
    EXPECT_EQ(TranslateArenaLine(shortish), std::string(240, 'x') + " <first : move e2e4");
}

TEST(TranslateArenaLineTest, FoundMoveLines) {
    EXPECT_EQ(TranslateArenaLine("t*1*Found move:Ng1-f3"), "t <first : move g1-f3");
    EXPECT_EQ(TranslateArenaLine("t*2*Found move:e7-e5"), "t <second: move e7-e5");
    EXPECT_EQ(TranslateArenaLine("t*1*Coup trouv\xe9:Ng1-f3"), "t <first : move g1-f3");
    EXPECT_EQ(TranslateArenaLine("t*2*Coup trouv\xe9:e7-e5"), "t <second: move e7-e5");
    EXPECT_EQ(TranslateArenaLine("t*1*Found move:0-0"), "t <first : move 0-0");
    EXPECT_EQ(TranslateArenaLine("t*1*Found move:o-o-o"), "t <first : move o-o-o");
    // Castling written with the capital O keeps its text.
    EXPECT_EQ(TranslateArenaLine("t*1*Found move:O-O"), "t <first : move O-O");
    EXPECT_EQ(TranslateArenaLine("t*2*Coup trouv\xe9:O-O-O"), "t <second: move O-O-O");
    // The piece letter goes everywhere in the line.
    EXPECT_EQ(TranslateArenaLine("Nt*1*Found move:Nb1-c3"), "t <first : move b1-c3");
}

TEST(TranslateArenaLineTest, NewGameAndEngineName) {
    EXPECT_EQ(TranslateArenaLine("t-->1:ucinewgame"), "t >first : new");
    EXPECT_EQ(TranslateArenaLine("t-->1:ucinewgame extra"), "t >first : new");
    EXPECT_EQ(TranslateArenaLine("t<1:id name Sample 2.1"), "t <first : myname=\"Sample 2.1\"");
}

TEST(TranslateArenaLineTest, EngineStartNotes) {
    EXPECT_EQ(TranslateArenaLine("t Starting engine 1 Sample 2.1 - more"),
              "StartChildProcess (dir=) Sample 2.1 ");
    EXPECT_EQ(TranslateArenaLine("t Starting engine 2 Other"), "StartChildProcess (dir=) Other");
    EXPECT_EQ(TranslateArenaLine("t D\xe9marre module 1 Moteur - x"),
              "StartChildProcess (dir=) Moteur ");
    EXPECT_EQ(TranslateArenaLine("t Starting engine 1- x"), "StartChildProcess (dir=)");
    // At the very start of the line the note does not count.
    EXPECT_EQ(TranslateArenaLine("Starting engine 1 X"), "Starting engine 1 X");
}

TEST(TidyEngineLineTest, BlanksAfterEngineMarkersGo) {
    EXPECT_EQ(TidyEngineLine("t <first :   \tmove e2e4"), "t <first : move e2e4");
    EXPECT_EQ(TidyEngineLine("t >first :   go"), "t >first :   go");
    EXPECT_EQ(TidyEngineLine("a\tb"), "a b");
    EXPECT_EQ(TidyEngineLine("t <second:  x"), "t <second: x");
}

TEST(SplitEngineTrafficTest, MarkersAfterTheStartOnly) {
    EngineTraffic t = SplitEngineTraffic("12 >first : time 300 ");
    EXPECT_EQ(t.toEngine, "time 300 ");
    EXPECT_EQ(t.fromEngine, "");
    t = SplitEngineTraffic("12 <second: move e7e5 ");
    EXPECT_EQ(t.fromEngine, "move e7e5 ");
    t = SplitEngineTraffic(">first : go ");
    EXPECT_EQ(t.toEngine, "");
    // The later marker of the same direction wins.
    t = SplitEngineTraffic("12 >first : a >second: b ");
    EXPECT_EQ(t.toEngine, "b ");
}

TEST(IsThinkingLineTest, Shapes) {
    struct Case {
        const char* text;
        bool thinking;
    } cases[] = {
        {"12 -31 456 890 e2e4 ", true},
        {"12 31 456 890 e2e4", true},
        {"  8\t+25 61 40312 e2e4 ", true},
        {"12 abc", false},
        {"12 31 456 890", false},  // no blank after the fourth number
        {"12 31 456 890 ", true},
        {"12 31 1:30 890 x", true},
        {"12 31 4.5 890 x", true},
        {"move e2e4 ", false},
        {"", false},
        {"   ", false},
        {"12  31  456  890 ", true},  // runs of blanks end one field each
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsThinkingLine(c.text), c.thinking) << c.text;
}

TEST(ProgramNameTest, TheProgramNotItsCommandLine) {
    const struct {
        const char* commandLine;
        const char* program;
    } cases[] = {
        {"gnuchess --xboard ", "gnuchess"},
        {"polyglot -noini -ec \"glaurung\" -ed \".\" -uci NalimovCache=4", "glaurung"},
        {"polyglot -ec \"/opt/engines/toga2.exe -x\" -ed .", "toga2"},
        {"polyglot toga2.ini", "toga2"},
        {"C:\\Engines\\Rybka\\Rybka4.exe -x", "Rybka4"},
        {"\"C:\\Program Files\\Komodo\\komodo-14.EXE\"", "komodo-14"},
        {"UCI2WB debug stockfish.exe C:\\sf", "stockfish"},
        {"./fairy-stockfish-1.0 -x", "fairy-stockfish-1.0"},
        {"polyglot", "polyglot"},
        {" \x01\t ", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgramName(c.commandLine), c.program) << c.commandLine;
}

TEST(ReadClocksTest, CentisecondsOfBothTexts) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> centiseconds;
    } cases[] = {
        {"30000 ", 30000},
        {" 29850", 29850},
        {"-150", -150},  // the flag fell and play went on
        {"+5", 5},
        {"1234567890123", 1234567890123},
        {"99999999999999999999", std::nullopt},
        {"30000 x", std::nullopt},
        {"12.5", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const ClockReading clocks = ReadClocks(PieceColour::kBlack, c.text, c.text);
        EXPECT_EQ(clocks.ownText, c.text);
        EXPECT_EQ(clocks.own, c.centiseconds) << c.text;
        EXPECT_EQ(clocks.opponent, c.centiseconds) << c.text;
    }
}

TEST(ReadThinkingTest, FourNumbersThenThePv) {
    struct Case {
        const char* line;
        std::optional<ThinkingLine> values;
    } cases[] = {
        {" 12  -35 103 456789 e7e5 g1f3", ThinkingLine{12, -35, 103, 456789, "e7e5 g1f3"}},
        // A plus sign, and the extra numbers some engines give before a tab.
        {"1 +18 0 20  1   10 0 e4 e5", ThinkingLine{1, 18, 0, 20, "e4 e5"}},
        {"1\t18\t0\t20\te4", ThinkingLine{1, 18, 0, 20, "\te4"}},
        {"9 -3 12 40 12. Nf3 Nc6", ThinkingLine{9, -3, 12, 40, "12. Nf3 Nc6"}},
        {"9 -3 12 40 ", ThinkingLine{9, -3, 12, 40, ""}},
        // A number too large for its field ends the line's numbers.
        {"2147483648 5 1 1 e4", std::nullopt},
        {"9 5 1 1 99999999999999999999 e4", ThinkingLine{9, 5, 1, 1, "99999999999999999999 e4"}},
        {"12 35 103", std::nullopt},
        {"12 +-35 103 4 e4", std::nullopt},
        {"12 35x 103 4 e4", std::nullopt},
        {"Nodes 12 35 103 4", std::nullopt},
    };
    for (const auto& c : cases) {
        const EngineThinking thinking = ReadThinking(c.line);
        EXPECT_EQ(thinking.text, c.line);
        EXPECT_EQ(thinking.values, c.values) << c.line;
    }
}

TEST(ReadResultTest, ScoreAndReason) {
    struct Case {
        const char* announcement;
        std::optional<ResultScore> score;
        const char* reason;
    } cases[] = {
        {"1-0 {White mates}", ResultScore::kWhiteWins, "White mates"},
        {"0-1 { Black wins on time } ", ResultScore::kBlackWins, "Black wins on time"},
        {"1/2-1/2", ResultScore::kDraw, ""},
        {"* {Game aborted}", ResultScore::kUnfinished, "Game aborted"},
        {"1-0{No blank}", std::nullopt, "No blank"},
        {"2-0 {Nonsense}", std::nullopt, "Nonsense"},
        {"1-0 {Unclosed", ResultScore::kWhiteWins, ""},
        {"", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const GameResult result = ReadResult("word", c.announcement);
        EXPECT_EQ(result.text, "word");
        EXPECT_EQ(result.score, c.score) << c.announcement;
        EXPECT_EQ(result.reason, c.reason) << c.announcement;
    }
}

TEST(ResultWordsTest, LoserOnTime) {
    // XBoard names the winner.
    EXPECT_EQ(LoserOnTime("1-0 {White wins on time}"), PieceColour::kBlack);
    EXPECT_EQ(LoserOnTime("0-1 {White forfeits on time}"), PieceColour::kWhite);
    EXPECT_EQ(LoserOnTime("0-1 {White ran out of time}"), PieceColour::kWhite);
    EXPECT_EQ(LoserOnTime("1/2-1/2 {Both players ran out of time}"), std::nullopt);
    EXPECT_EQ(LoserOnTime("1-0 {White mates}"), std::nullopt);
    EXPECT_EQ(LoserOnTime("1-0 {Xboard adjudication}"), std::nullopt);
}

}  // namespace
}  // namespace lantrel
