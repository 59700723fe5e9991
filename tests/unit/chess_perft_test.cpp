// Perft: leaf counts of the legal move tree against the published figures,
// of the standard game and of Chess960 (positions of the public Chess960
// perft suite, read as X-FEN / Shredder-FEN).
//
// The castling rules of this board differ from the textbook in one respect: a
// rook taken on its corner does not clear its castling state (castling still
// needs a rook standing there). None of the positions below reaches a
// position within these depths where that changes a count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chess/fen.h"
#include "chess/perft.h"

namespace lantrel {
namespace {

struct PerftCase {
    const char* name;
    const char* fen;
    std::vector<std::uint64_t> counts;  // depth 1, 2, ...; 0 where none is checked
    bool chess960 = false;
};

const PerftCase kCases[] = {
    {"start",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     {20, 400, 8902, 197281, 4865609}},
    {"kiwipete",
     "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
     {48, 2039, 97862, 4085603}},
    {"rook_endgame", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {14, 191, 2812, 43238, 674624}},
    {"promotions",
     "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
     {6, 264, 9467, 422333}},
    {"discovered_checks",
     "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
     {44, 1486, 62379, 2103487}},
    {"middlegame",
     "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
     {46, 2079, 89890, 3894594}},
    {"960_king_g1",
     "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9",
     {21, 528, 12189, 326672, 8146062},
     true},
    {"960_rooks_e_h",
     "2nnrbkr/p1qppppp/8/1ppb4/6PP/3PP3/PPP2P2/BQNNRBKR w HEhe - 1 9",
     {0, 0, 0, 0, 16253601},
     true},
    {"960_white_only",
     "b1q1rrkb/pppppppp/3nn3/8/P7/1PPP4/4PPPP/BQNNRKRB w GE - 1 9",
     {20, 479, 10471, 273318, 6417013},
     true},
    {"960_black_only",
     "qbbnnrkr/2pp2pp/p7/1p2pp2/8/P3PP2/1PPP1KPP/QBBNNR1R w hf - 0 9",
     {0, 0, 0, 0, 9183776},
     true},
    {"960_queens_out",
     "1nbbnrkr/p1p1ppp1/3p4/1p3P1p/3Pq2P/8/PPP1P1P1/QNBBNRKR w HFhf - 0 9",
     {28, 1120, 31058, 1171749, 34030312},
     true},
    {"960_rooks_d_g",
     "bqnr1kr1/pppppp1p/6p1/5n2/4B3/3N2PP/PbPPPP2/BQNR1KR1 w GDgd - 2 9",
     {31, 1132, 36559, 1261476, 43256823},
     true},
};

// Counts up to `maxNodes` leaves run in every build, the deeper ones only in
// ChessPerftDeep (seconds in an optimised build, minutes under the sanitizers).
constexpr std::uint64_t kQuickLimit = 500000;

void CheckCounts(bool deep) {
    for (const PerftCase& c : kCases) {
        Board board;
        if (c.chess960) {
            const FenReading reading = ReadFen(c.fen, true);
            ASSERT_TRUE(reading.ok()) << c.name << ": " << reading.error;
            board = reading.board;
        } else {
            ASSERT_TRUE(LoadFen(board, c.fen)) << c.name;
        }
        const Board before = board;
        for (std::size_t depth = 1; depth <= c.counts.size(); ++depth) {
            const std::uint64_t expected = c.counts[depth - 1];
            if (expected == 0 || (expected > kQuickLimit) != deep) continue;
            EXPECT_EQ(Perft(board, static_cast<int>(depth)), expected)
                << c.name << " depth " << depth;
            EXPECT_EQ(board.cells, before.cells)
                << c.name << ": the tree walk left the board changed";
            EXPECT_EQ(board.searchPly, 1);
        }
    }
}

TEST(ChessPerft, PublishedCountsUpToHalfAMillionNodes) {
    CheckCounts(false);
}

TEST(ChessPerftDeep, PublishedCountsOfTheDeepestLevels) {
    CheckCounts(true);
}

}  // namespace
}  // namespace lantrel
