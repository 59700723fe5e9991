// Questions about move texts that leave the position alone: the move a text
// names (as PlayMoveText would find it) and whether it is legal, the shapes of
// move texts, and the UCI text of a move.
#include <gtest/gtest.h>

#include "chess/fen.h"
#include "chess/move_query.h"

namespace lantrel {
namespace {

Board FromFen(const char* fen) {
    Board board;
    EXPECT_TRUE(LoadFen(board, fen)) << fen;
    return board;
}

TEST(ChessMoveQuery, FindsTheMoveWithoutTouchingTheBoard) {
    Board board;
    const Board before = board;
    for (const char* text : {"e2e4", "E2E4", "e2-e4", "Pe2e4", "e4", "e4+", "e2e4 {book}"}) {
        const MoveTextMatch m = MatchMoveText(board, text);
        EXPECT_TRUE(m.legal) << text;
        EXPECT_EQ(UciMoveText(m.move), "e2e4") << text;
        EXPECT_EQ(m.entry, 10) << text;  // the entry PlayMoveText would play and log
    }
    for (const char* text : {"e2e5", "e7e5", "Nf6", "nf3", "O-O", "", "   "}) {
        EXPECT_FALSE(IsLegalMoveText(board, text)) << text;
    }
    EXPECT_EQ(board.cells, before.cells);
    EXPECT_EQ(board.sideToMove, before.sideToMove);
    EXPECT_EQ(board.searchPly, before.searchPly);
}

TEST(ChessMoveQuery, PseudoLegalMatchesAreNotLegal) {
    // The f3 knight is pinned by the bishop on h5... against the king on d1.
    const Board pinned = FromFen("4k3/8/8/7b/8/5N2/8/1N1K4 w - - 0 1");
    EXPECT_FALSE(IsLegalMoveText(pinned, "f3d2"));  // found among the pseudo-legal moves
    EXPECT_EQ(MatchMoveText(pinned, "f3d2").entry != 0, true);
    EXPECT_TRUE(IsLegalMoveText(pinned, "b1d2"));
    EXPECT_TRUE(IsLegalMoveText(pinned, "Nd2"));  // only one knight may go: the legal pass
    // Castling out of check, a king walking into check.
    const Board check = FromFen("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1");
    EXPECT_FALSE(IsLegalMoveText(check, "e1g1"));
    EXPECT_FALSE(IsLegalMoveText(check, "e1f2"));
    EXPECT_TRUE(IsLegalMoveText(check, "e1e2"));
}

TEST(ChessMoveQuery, PromotionsAndCastlingInUciText) {
    const Board board = FromFen("4k3/1P6/8/8/8/8/8/R3K2R w KQ - 0 1");
    EXPECT_EQ(UciMoveText(MatchMoveText(board, "b7b8q").move), "b7b8q");
    EXPECT_EQ(UciMoveText(MatchMoveText(board, "b7b8").move), "b7b8q");
    EXPECT_EQ(UciMoveText(MatchMoveText(board, "b8=N").move), "b7b8n");
    EXPECT_EQ(UciMoveText(MatchMoveText(board, "O-O").move), "e1g1");
    EXPECT_EQ(UciMoveText(MatchMoveText(board, "0-0-0").move), "e1c1");
}

// Chess960 castling in every notation engines and GUIs use; a king step
// that is also a castling's king move stays a king step.
TEST(ChessMoveQuery, Chess960CastlingTexts) {
    const Board board = ReadFen("1r4kr/8/8/8/8/8/8/1R4KR w HBhb - 0 1").board;
    for (const char* text : {"O-O", "0-0", "o-o", "g1h1"})
        EXPECT_EQ(MatchMoveText(board, text).move.kind, kCastleKingSide) << text;
    for (const char* text : {"O-O-O", "0-0-0", "g1b1", "g1c1"})
        EXPECT_EQ(MatchMoveText(board, text).move.kind, kCastleQueenSide) << text;
    EXPECT_EQ(MatchMoveText(board, "g1f1").move.kind, kNormalMove);
    Board played = board;
    const MoveRecord castle = MatchMoveText(board, "O-O-O").move;
    MakeMove(played, castle.from, castle.to, castle.kind, played.searchPly);
    EXPECT_EQ(FenText(played), "1r4kr/8/8/8/8/8/8/2KR3R b kq");
}

TEST(ChessMoveQuery, MoveShapes) {
    for (const char* move : {"e2e4", "e7e8q", "b7b8Q", "e2-e4", "e4xd5", "Ng1f3",   "Ng1-f3", "Nf3",
                             "Nbd2", "N1d2",  "Qh4e1", "exd5",  "e8=Q",  "bxa8=N+", "Qxf7#",  "e4",
                             "O-O",  "O-O-O", "o-o",   "0-0-0", "O-O+",  "Pe4"}) {
        EXPECT_TRUE(LooksLikeMoveText(move)) << move;
    }
    // Every one-word command XBoard, Arena or the protocol sends an engine.
    for (const char* word :
         {"new",    "force",  "go",       "white", "black",      "post",   "nopost",    "hard",
          "easy",   "random", "computer", "draw",  "undo",       "remove", "hint",      "bk",
          "?",      ".",      "c",        "#",     "edit",       "exit",   "analyze",   "playother",
          "xboard", "quit",   "isready",  "uci",   "ucinewgame", "stop",   "ponderhit", "",
          "e9",     "i2i4",   "e2e4e5",   "Zf3",   "O-O-O-O",    "e2e4k"}) {
        EXPECT_FALSE(LooksLikeMoveText(word)) << word;
    }
}

}  // namespace
}  // namespace lantrel
