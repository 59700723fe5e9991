#include <gtest/gtest.h>

#include "viewer/screen_text.h"

namespace lantrel {
namespace {

TEST(ViewerScoreTextTest, PawnsAndEachEnginesMates) {
    // The mates are scores the recorded games hold, with the line that came with them.
    struct Case {
        std::int64_t centipawns;
        const char* shown;
    } cases[] = {
        {202, "+2.02"},
        {-35, "-0.35"},
        {0, "0.00"},
        {-5, "-0.05"},
        {100007, "#7"},    // Stockfish through the GUI: "Nf6+ Kh8 ... Qh7#", 13 plies
        {-100001, "-#1"},  // Fairy-Max: "h5f6 e4a8"
        {100004, "#4"},    // Fairy-Max: seven plies
        {99993, "#4"},     // HoiChess: seven plies to the mate
        {-99992, "-#4"},   // HoiChess: eight plies
        {29993, "#4"},     // Phalanx: seven plies
        {-29994, "-#3"},   // Phalanx: six plies
        {31999, "#1"},
        {9995, "#3"},        // GNU Chess: "Qh3+ Kg1 Nxf3+ Kh1 Qxh2#"
        {999998, "#1"},      // Sjeng: "Qh2#"
        {-999995, "-#2"},    // Sjeng: "Kh2 Rg2+ Kh1 Qh2#"
        {999992, "#4"},      // Sjeng: seven plies
        {29744, "+297.44"},  // Toga: a won game, not a mate
        {10154, "+101.54"},
        {9067, "+90.67"},
        {999500, "+9995.00"},  // Sjeng's bound after a fail high
        {INT64_MIN, "-92233720368547758.08"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScoreText(c.centipawns), c.shown) << c.centipawns;
}

TEST(ViewerScreenTextTest, TimesNodesAndClocks) {
    EXPECT_EQ(ThinkingTimeText(11), "0.11 s");
    EXPECT_EQ(ThinkingTimeText(5999), "59.99 s");
    EXPECT_EQ(ThinkingTimeText(12550), "2 min 05 s");
    EXPECT_EQ(GroupedNumber(78149), "78,149");
    EXPECT_EQ(GroupedNumber(999), "999");
    EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
    struct Case {
        const char* message;
        const char* shown;
    } clocks[] = {
        {"WTIME: 29800   otim 30000", "White 0:04:58  Black 0:05:00"},
        {"BTIME: 29800   otim 30000", "White 0:05:00  Black 0:04:58"},
        {"WTIME: 540099   otim 99", "White 1:30:00  Black 0:00:00"},
        {"BTIME: -500   otim 12000", "White 0:02:00  Black -0:00:05"},
        {"WTIME: 1:30   otim x", "White 1:30  Black x"},  // shown as they came
    };
    for (const auto& c : clocks)
        EXPECT_EQ(ClocksText(c.message), c.shown) << c.message;
}

TEST(ViewerScreenTextTest, ThinkingLineReadOrShownAsItCame) {
    ThinkingText t = ReadThinkingText("14 +202 11 78149 16 730 0\tNf3 Nf6  c4");
    EXPECT_EQ(t.summary, "depth 14, +2.02, 0.11 s, 78,149 nodes");
    EXPECT_EQ(t.moves, "Nf3 Nf6 c4");
    t = ReadThinkingText("9 -99994 6 137681 24. Kf2 Rf8+");
    EXPECT_EQ(t.summary, "depth 9, -#3, 0.06 s, 137,681 nodes");
    EXPECT_EQ(t.moves, "24. Kf2 Rf8+");
    // Not four whole numbers, or one out of range: all of it is the line.
    for (const char* line :
         {"5 +0.35 1:23 1234 e4", "Nf3 Nf6", "1 2 3", "1 99999999999999999999 3 4 e4"}) {
        t = ReadThinkingText(line);
        EXPECT_EQ(t.summary, "") << line;
        EXPECT_EQ(t.moves, line) << line;
    }
}

TEST(ViewerScreenTextTest, LinesBreakBetweenMovesOnly) {
    struct Case {
        const char* text;
        std::size_t columns;
        std::vector<std::string> lines;
    } cases[] = {
        {"e2e4 e7e5 g1f3", 80, {"  e2e4 e7e5 g1f3"}},
        {"e2e4 e7e5 g1f3", 11, {"  e2e4 e7e5", "  g1f3"}},
        // A move number stays with its move, "..." with the move after it.
        {"61. Rb3+ Bd3 62. Rxd3+", 12, {"  61. Rb3+", "  Bd3", "  62. Rxd3+"}},
        {"61. ... Bd3 62. Rxd3+", 13, {"  61. ... Bd3", "  62. Rxd3+"}},
        // A word longer than a line is not cut.
        {"Nf3 Qxh7#verylongword g6", 8, {"  Nf3", "  Qxh7#verylongword", "  g6"}},
        {"", 80, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WrapMoves(c.text, c.columns, "  "), c.lines) << c.text << " in " << c.columns;
}

}  // namespace
}  // namespace lantrel
