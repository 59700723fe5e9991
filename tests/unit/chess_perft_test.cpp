// Perft: leaf counts of the legal move tree against the published figures.
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
    std::vector<std::uint64_t> counts;  // depth 1, 2, ...
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
};

// Counts up to `maxNodes` leaves run in every build, the deeper ones only in
// ChessPerftDeep (seconds in an optimised build, minutes under the sanitizers).
constexpr std::uint64_t kQuickLimit = 500000;

void CheckCounts(bool deep) {
    for (const PerftCase& c : kCases) {
        Board board;
        ASSERT_TRUE(LoadFen(board, c.fen)) << c.name;
        const Board before = board;
        for (std::size_t depth = 1; depth <= c.counts.size(); ++depth) {
            const std::uint64_t expected = c.counts[depth - 1];
            if ((expected > kQuickLimit) != deep) continue;
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
