// Opening names: the built-in table plays out, and positions are named by
// where they stand, whatever the move order.
#include <gtest/gtest.h>

#include "web/openings.h"

namespace lantrel {
namespace {

TEST(Openings, EveryLineOfTheBuiltInTablePlaysOut) {
    const OpeningTable& table = BuiltInOpenings();
    EXPECT_TRUE(table.unreadable.empty()) << table.unreadable.front();
    EXPECT_GT(table.byPosition.size(), 150u);
}

TEST(Openings, PositionsNamedAsTheFeedWritesThem) {
    struct Row {
        const char* what;
        const char* fen;
        const char* eco;  // null: no name
        const char* name;
    } rows[] = {
        {"1. e4 c5", "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq", "B20",
         "Sicilian Defense"},
        {"1. c4 Nf6 2. Nc3 e6 3. d4 Bb4: the Nimzo-Indian by another order",
         "rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N5/PP2PPPP/R1BQKBNR w KQkq", "E20",
         "Nimzo-Indian Defense"},
        {"after White castled", "r1bqkb1r/1ppp1ppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 b kq",
         "C78", "Ruy Lopez: Morphy Defense"},
        {"a name beyond ASCII, in Latin-1",
         "rnbqkb1r/ppp1pp1p/5np1/3p4/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq", "D80",
         "Gr\xfcnfeld Defense"},
        {"the start position", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", nullptr, ""},
        {"1. e4 e5 2. Qh5 Nc6 3. Qxf7+", "r1bqkbnr/pppp1Qpp/2n5/4p3/4P3/8/PPPP1PPP/RNB1KBNR b KQkq",
         nullptr, ""},
    };
    for (const Row& row : rows) {
        const OpeningName* opening = OpeningAt(row.fen);
        if (!row.eco) {
            EXPECT_EQ(opening, nullptr) << row.what;
            continue;
        }
        ASSERT_NE(opening, nullptr) << row.what;
        EXPECT_EQ(opening->eco, row.eco) << row.what;
        EXPECT_EQ(opening->name, row.name) << row.what;
    }
}

TEST(Openings, LinesThatDoNotPlayOutAreSetAside) {
    const OpeningTable table = ReadOpeningTable(
        "eco\tname\tpgn\r\n"
        "B00\tKing's Pawn Game\t1. e4\r\n"
        "X00\tIllegal\t1. e4 e4\r\n"
        "X01\tNo moves column\r\n"
        "\r\n");
    EXPECT_EQ(table.byPosition.size(), 1u);
    ASSERT_EQ(table.unreadable.size(), 2u);
    EXPECT_EQ(table.unreadable[0], "X00\tIllegal\t1. e4 e4");
}

}  // namespace
}  // namespace lantrel
