// Move texts that name one move in one notation and another move in another.
// Found by fuzz/chess_move_text, which checks that the text of every legal move
// plays exactly that move.
#include <gtest/gtest.h>

#include <string>

#include "app/server.h"
#include "chess/fen.h"
#include "chess/move_query.h"
#include "feed/feed.h"
#include "support/fake_server.h"

namespace lantrel {
namespace {

using testing::FakeServer;

// Black bishops on a6 and a4 (one of them promoted) can both go to b5, so the
// SAN of each carries its rank: "B6b5", "B4b5". In capitals "B6b5" is also the
// coordinate text of the pawn move b6-b5.
constexpr const char* kTwoBishops = "r7/4P3/bp2p3/k2PP3/b1p5/P1K1B3/8/3B4 b - - 0 1";
constexpr int kA6 = CellOf(3, 1);
constexpr int kB6 = CellOf(3, 2);
constexpr int kB5 = CellOf(4, 2);
constexpr int kA4 = CellOf(5, 1);

TEST(ChessHostileMoveText, SanWithTheRankIsNotReadAsAPawnMove) {
    struct Row {
        const char* text;
        int from;
        const char* san;  // as broadcast
    };
    const Row rows[] = {
        {"B6b5", kA6, "B6b5"},  {"B4b5", kA4, "B4b5"},   {"B6b5+", kA6, "B6b5"},
        {"Ba6b5", kA6, "B6b5"}, {"Ba6-b5", kA6, "B6b5"}, {"b6b5", kB6, "b5"},
        {"B6B5", kB6, "b5"},    {"b6-b5", kB6, "b5"},    {"b5", kB6, "b5"},
    };
    for (const Row& row : rows) {
        FakeServer f;
        Server& s = *f;
        InitialiseChess(s.feed.chess);
        ASSERT_TRUE(LoadFen(s.feed.chess, kTwoBishops));
        s.config.delayAfterMove = 0;
        const int piece = s.feed.chess.cells[row.from];

        std::string text = row.text;
        PlayMoveText(s.feed, text);
        EXPECT_EQ(s.feed.game.moveErrorCount, 0) << row.text;
        EXPECT_EQ(s.feed.chess.cells[kB5], piece) << row.text;
        EXPECT_EQ(s.feed.chess.cells[row.from], 0) << row.text;
        EXPECT_EQ(MoveMessage(*s.feed.game.lastMove), std::string("BMOVE: 1. ") + row.san)
            << row.text;
    }
}

// The matcher that only asks (the feed uses it to recognise moves it has
// already played) names the same move.
TEST(ChessHostileMoveText, MatchMoveTextAgreesWithPlayMoveText) {
    Board board;
    ASSERT_TRUE(LoadFen(board, kTwoBishops));
    EXPECT_EQ(MatchMoveText(board, "B6b5").move.from, kA6);
    EXPECT_EQ(MatchMoveText(board, "B4b5").move.from, kA4);
    EXPECT_EQ(MatchMoveText(board, "b6b5").move.from, kB6);
    EXPECT_TRUE(IsLegalMoveText(board, "B6b5"));
}

}  // namespace
}  // namespace lantrel
