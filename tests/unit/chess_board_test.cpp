// The board: layout, attack test, generator order, castling, en passant,
// make/take-back, and the guards that keep a board out of step from crashing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chess/board.h"
#include "chess/fen.h"

namespace lantrel {
namespace {

using enum PieceColour;

std::string SquareName(int cell) {
    return std::string(1, static_cast<char>('a' + FileOf(cell) - 1)) +
           static_cast<char>('0' + RankOf(cell));
}

int Cell(const char* name) {
    return CellOf(9 - (name[1] - '0'), name[0] - 'a' + 1);
}

// "e2e4", with the kind appended as "/k" when it is not a normal move.
std::string Name(const MoveRecord& m) {
    std::string s = SquareName(m.from) + SquareName(m.to);
    if (m.kind != kNormalMove) s += "/" + std::to_string(m.kind);
    return s;
}

std::vector<std::string> Names(const MoveList& list) {
    std::vector<std::string> names;
    for (int n = 1; n <= list.count; ++n)
        names.push_back(Name(list[n]));
    return names;
}

Board FromFen(const char* fen) {
    Board board;
    EXPECT_TRUE(LoadFen(board, fen)) << fen;
    return board;
}

std::vector<std::string> Moves(const char* fen, bool skipLegality = false) {
    Board board = FromFen(fen);
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, skipLegality);
    return Names(list);
}

bool Has(const std::vector<std::string>& moves, const std::string& name) {
    for (const auto& m : moves) {
        if (m == name) return true;
    }
    return false;
}

// Everything a take-back must restore (the undo stack itself is scratch).
void ExpectSamePosition(const Board& a, const Board& b, const std::string& context) {
    EXPECT_EQ(a.cells, b.cells) << context;
    EXPECT_EQ(a.whiteKingSquare, b.whiteKingSquare) << context;
    EXPECT_EQ(a.blackKingSquare, b.blackKingSquare) << context;
    EXPECT_EQ(a.halfmoveClock, b.halfmoveClock) << context;
    EXPECT_EQ(a.searchPly, b.searchPly) << context;
    EXPECT_EQ(a.sideToMove, b.sideToMove) << context;
}

void Play(Board& board, const char* from, const char* to, std::int32_t kind = kNormalMove) {
    MakeMove(board, Cell(from), Cell(to), kind, board.searchPly);
    board.searchPly = 1;  // at rest between game moves, as the matcher leaves it
}

TEST(ChessBoardLayout, CellIndexesAndTheStartPosition) {
    EXPECT_EQ(Cell("a8"), 22);
    EXPECT_EQ(Cell("e8"), 26);
    EXPECT_EQ(Cell("h8"), 29);
    EXPECT_EQ(Cell("a1"), 92);
    EXPECT_EQ(Cell("e1"), 96);
    EXPECT_EQ(Cell("h1"), 99);
    for (int cell = 22; cell <= 99; ++cell) {
        if (!IsSquare(cell)) continue;
        EXPECT_EQ(CellOf(RowOf(cell), FileOf(cell)), cell);
    }

    const Cells start = StartCells();
    EXPECT_EQ(start[0], 0);
    for (int cell : {1, 21, 30, 31, 40, 41, 50, 51, 60, 61, 70, 71, 80, 81, 90, 91, 100, 120}) {
        EXPECT_EQ(start[cell], kOffBoard) << cell;
    }
    for (int cell = 121; cell <= 130; ++cell)
        EXPECT_EQ(start[cell], 0) << cell;
    EXPECT_EQ(FenText(Board{}), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
    const Board board;
    EXPECT_EQ(board.whiteKingSquare, 96);
    EXPECT_EQ(board.blackKingSquare, 26);
    EXPECT_EQ(board.searchPly, 1);
    EXPECT_EQ(board.sideToMove, kWhite);
}

TEST(ChessAttacks, EachPieceAttacksAlongItsOwnLines) {
    struct Row {
        const char* fen;
        const char* square;
        PieceColour bySide;
        bool expected;
    };
    const Row rows[] = {
        {"4k3/8/8/8/8/8/8/R3K3 w - -", "a8", kWhite, true},    // rook along the file
        {"4k3/8/8/8/8/8/8/R3K3 w - -", "h1", kWhite, false},   // the king blocks the rank
        {"4k3/8/8/8/8/8/8/R3K3 w - -", "d2", kWhite, true},    // king next to it
        {"4k3/8/8/8/8/8/8/R3K3 w - -", "b3", kWhite, false},   // not on the rook's lines
        {"4k3/8/8/8/8/8/8/4K3 w - -", "e3", kWhite, false},    // king reaches one step only
        {"4k3/8/8/8/8/8/p7/R3K3 w - -", "a8", kWhite, false},  // a pawn of the other side blocks
        {"4k3/8/8/8/8/8/P7/R3K3 w - -", "a8", kWhite, false},  // an own pawn blocks too
        {"4k3/8/8/8/8/8/8/B3K3 w - -", "h8", kWhite, true},    // bishop diagonal
        {"4k3/8/8/8/8/8/8/B3K3 w - -", "a8", kWhite, false},   // bishop not on files
        {"4k3/8/8/8/8/8/8/Q3K3 w - -", "h8", kWhite, true},    // queen both ways
        {"4k3/8/8/8/8/8/8/Q3K3 w - -", "a7", kWhite, true},
        {"4k3/8/8/8/8/8/8/1N2K3 w - -", "c3", kWhite, true},  // knight
        {"4k3/8/8/8/8/8/8/1N2K3 w - -", "b3", kWhite, false},
        {"4k3/8/8/8/8/8/3P4/4K3 w - -", "e3", kWhite, true},  // White pawn attacks upward
        {"4k3/8/8/8/8/8/3P4/4K3 w - -", "d3", kWhite, false},
        {"4k3/3p4/8/8/8/8/8/4K3 w - -", "c6", kBlack, true},  // Black pawn attacks downward
        {"4k3/3p4/8/8/8/8/8/4K3 w - -", "c8", kBlack, false},
        {"4k3/8/8/8/8/8/8/4K3 w - -", "d8", kBlack, true},
    };
    for (const Row& r : rows) {
        const Board board = FromFen(r.fen);
        EXPECT_EQ(IsAttacked(board, Cell(r.square), r.bySide), r.expected)
            << r.fen << " " << r.square;
    }
}

TEST(ChessAttacks, NoSquareMeansNotAttacked) {
    // A king square of 0 (the king was taken) must not reach before cell 0.
    Board board = FromFen("8/8/8/8/8/8/pppppppp/8 w - -");
    for (int square : {0, 1, 10, 21, 30, 100, 120, 130, -5, 500}) {
        EXPECT_FALSE(IsAttacked(board, square, kBlack)) << square;
        EXPECT_FALSE(IsAttacked(board, square, kWhite)) << square;
    }
}

TEST(ChessMoveOrder, WhiteFromTheStartPosition) {
    Board board;
    MoveList list;
    GenerateMoves(board, list, kWhite, false);
    const std::vector<std::string> expected = {
        "a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4",
        "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1c3", "b1a3", "g1h3", "g1f3"};
    EXPECT_EQ(Names(list), expected);
    for (int n = 1; n <= list.count; ++n)
        EXPECT_EQ(list[n].captured, 0);
}

TEST(ChessMoveOrder, BlackAfterKingsPawn) {
    Board board;
    Play(board, "e2", "e4");
    EXPECT_EQ(board.sideToMove, kBlack);
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, false);
    const std::vector<std::string> expected = {
        "b8c6", "b8a6", "g8h6", "g8f6", "a7a6", "a7a5", "b7b6", "b7b5", "c7c6", "c7c5",
        "d7d6", "d7d5", "e7e6", "e7e5", "f7f6", "f7f5", "g7g6", "g7g5", "h7h6", "h7h5"};
    EXPECT_EQ(Names(list), expected);
}

TEST(ChessMoveOrder, PromotionsQueenFirstAndCapturesTowardTheAFileFirst) {
    EXPECT_EQ(Moves("n1n4k/1P6/8/8/8/8/8/K7 w - -"),
              (std::vector<std::string>{"b7b8/6", "b7b8/5", "b7b8/4", "b7b8/3", "b7a8/6", "b7a8/5",
                                        "b7a8/4", "b7a8/3", "b7c8/6", "b7c8/5", "b7c8/4", "b7c8/3",
                                        "a1b2", "a1a2", "a1b1"}));
    // Black mirrors: single step, then +9 (toward the a-file), then +11.
    EXPECT_EQ(Moves("7k/8/8/8/8/8/1p6/N1N4K b - -"),
              (std::vector<std::string>{"h8g7", "h8h7", "h8g8", "b2b1/6", "b2b1/5", "b2b1/4",
                                        "b2b1/3", "b2a1/6", "b2a1/5", "b2a1/4", "b2a1/3", "b2c1/6",
                                        "b2c1/5", "b2c1/4", "b2c1/3"}));
}

TEST(ChessMoveOrder, SlidersWalkEachDirectionInTableOrder) {
    // Rook directions: toward rank 8 (a capture ends it), the h-file (the own
    // king ends it), rank 1 (off the board), the a-file. Then the king: the
    // four diagonals from h8's side round, then the four lines.
    EXPECT_EQ(Moves("7k/8/8/8/8/8/1p6/1R5K w - -"),
              (std::vector<std::string>{"b1b2", "b1c1", "b1d1", "b1e1", "b1f1", "b1g1", "b1a1",
                                        "h1g2", "h1h2", "h1g1"}));
}

TEST(ChessCastling, OfferedAfterTheKingsOtherMovesKingSideFirst) {
    EXPECT_EQ(Moves("4k3/8/8/8/8/8/8/R3K2R w KQ -"),
              (std::vector<std::string>{"a1a2", "a1a3",   "a1a4",   "a1a5", "a1a6", "a1a7", "a1a8",
                                        "a1b1", "a1c1",   "a1d1",   "e1f2", "e1d2", "e1e2", "e1f1",
                                        "e1d1", "e1g1/1", "e1c1/2", "h1h2", "h1h3", "h1h4", "h1h5",
                                        "h1h6", "h1h7",   "h1h8",   "h1g1", "h1f1"}));
    EXPECT_EQ(Moves("r3k2r/8/8/8/8/8/8/4K3 b kq -"),
              (std::vector<std::string>{"a8b8", "a8c8",   "a8d8",   "a8a7", "a8a6", "a8a5", "a8a4",
                                        "a8a3", "a8a2",   "a8a1",   "e8f7", "e8d7", "e8f8", "e8e7",
                                        "e8d8", "e8g8/1", "e8c8/2", "h8h7", "h8h6", "h8h5", "h8h4",
                                        "h8h3", "h8h2",   "h8h1",   "h8g8", "h8f8"}));
}

TEST(ChessCastling, Refusals) {
    struct Row {
        const char* why;
        const char* fen;
        bool kingSide;
        bool queenSide;
    };
    const Row rows[] = {
        {"king in check", "4k3/4r3/8/8/8/8/8/R3K2R w KQ -", false, false},
        {"f1 attacked", "4k3/5r2/8/8/8/8/8/R3K2R w KQ -", false, true},
        {"g1 attacked", "4k3/6r1/8/8/8/8/8/R3K2R w KQ -", false, true},
        {"d1 attacked", "4k3/3r4/8/8/8/8/8/R3K2R w KQ -", true, false},
        {"c1 attacked", "4k3/2r5/8/8/8/8/8/R3K2R w KQ -", true, false},
        {"b1 attacked is fine", "4k3/1r6/8/8/8/8/8/R3K2R w KQ -", true, true},
        {"b1 occupied", "4k3/8/8/8/8/8/8/RN2K2R w KQ -", true, false},
        {"g1 occupied", "4k3/8/8/8/8/8/8/R3K1NR w KQ -", false, true},
        {"rook missing, state still open", "4k3/8/8/8/8/8/8/4K3 w KQ -", false, false},
        {"wrong piece in the corner", "4k3/8/8/8/8/8/8/Q3K2B w KQ -", false, false},
        {"states lost", "4k3/8/8/8/8/8/8/R3K2R w - -", false, false},
        {"only the king side open", "4k3/8/8/8/8/8/8/R3K2R w K -", true, false},
    };
    for (const Row& r : rows) {
        const auto moves = Moves(r.fen);
        EXPECT_EQ(Has(moves, "e1g1/1"), r.kingSide) << r.why;
        EXPECT_EQ(Has(moves, "e1c1/2"), r.queenSide) << r.why;
    }
    // Black: the squares the king crosses, and the knight square may be attacked.
    const auto black = Moves("r3k2r/8/8/8/8/8/1R3R2/4K3 b kq -");
    EXPECT_FALSE(Has(black, "e8g8/1"));
    EXPECT_TRUE(Has(black, "e8c8/2"));
}

TEST(ChessCastling, RookTakenOnItsCornerKeepsTheStateButBlocksCastling) {
    // The state of a wing changes only when its king or rook moves; what
    // refuses castling after a rook was taken in its corner is the empty corner.
    Board board = FromFen("4k3/8/8/7R/8/8/6b1/R3K2R b KQ - 0 1");
    Play(board, "g2", "h1");  // the bishop takes the rook in its corner
    EXPECT_EQ(board.cells[kWhiteKingSide], kCastlingOpen);
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, false);
    EXPECT_FALSE(Has(Names(list), "e1g1/1"));
    EXPECT_TRUE(Has(Names(list), "e1c1/2"));
    // The other rook takes back on h1: the corner holds a White rook again,
    // and with the state still open this board offers castling there.
    Play(board, "h5", "h1");
    Play(board, "e8", "d8");
    GenerateMoves(board, list, board.sideToMove, false);
    EXPECT_TRUE(Has(Names(list), "e1g1/1"));
}

TEST(ChessEnPassant, TargetLivesForOneMove) {
    Board board;
    Play(board, "e2", "e4");
    EXPECT_EQ(board.cells[kEnPassantCell], Cell("e3"));
    Play(board, "g8", "f6");
    EXPECT_EQ(board.cells[kEnPassantCell], 0);
    Play(board, "e4", "e5");
    EXPECT_EQ(board.cells[kEnPassantCell], 0);
    Play(board, "d7", "d5");
    EXPECT_EQ(board.cells[kEnPassantCell], Cell("d6"));
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, false);
    ASSERT_TRUE(Has(Names(list), "e5d6/7"));
    for (int n = 1; n <= list.count; ++n) {
        if (list[n].kind == kEnPassant) {
            EXPECT_EQ(list[n].captured, 0);
        }
    }
    board.halfmoveClock = 9;
    Play(board, "e5", "d6", kEnPassant);
    EXPECT_EQ(board.cells[Cell("d5")], 0);
    EXPECT_EQ(board.cells[Cell("d6")], 1);
    EXPECT_EQ(board.halfmoveClock, 0);
}

TEST(ChessEnPassant, CaptureThatOpensTheRankToTheKingIsDropped) {
    const char* fen = "8/8/8/K2pP2r/8/8/8/7k w - d6 0 1";
    EXPECT_TRUE(Has(Moves(fen, 1), "e5d6/7"));
    EXPECT_FALSE(Has(Moves(fen, 0), "e5d6/7"));
    // The same capture is legal when nothing waits behind the pawns.
    EXPECT_TRUE(Has(Moves("8/8/8/K2pP3/8/8/8/7k w - d6 0 1", 0), "e5d6/7"));
}

TEST(ChessMakeMove, CastlingMovesTheRookAndMarksTheStates) {
    Board board = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    Play(board, "e1", "g1", kCastleKingSide);
    EXPECT_EQ(board.cells[Cell("g1")], kKing);
    EXPECT_EQ(board.cells[Cell("f1")], kRook);
    EXPECT_EQ(board.cells[Cell("h1")], 0);
    EXPECT_EQ(board.cells[kWhiteKingSide], kCastled);
    EXPECT_EQ(board.cells[kWhiteQueenSide], kCastlingLost);
    EXPECT_EQ(board.whiteKingSquare, Cell("g1"));
    Play(board, "e8", "c8", kCastleQueenSide);
    EXPECT_EQ(board.cells[Cell("c8")], -kKing);
    EXPECT_EQ(board.cells[Cell("d8")], -kRook);
    EXPECT_EQ(board.cells[Cell("a8")], 0);
    EXPECT_EQ(board.cells[kBlackQueenSide], kCastled);
    EXPECT_EQ(board.cells[kBlackKingSide], kCastlingLost);
    EXPECT_EQ(board.blackKingSquare, Cell("c8"));
    // A king move after castling keeps the "castled" mark.
    Play(board, "g1", "h1");
    EXPECT_EQ(board.cells[kWhiteKingSide], kCastled);
}

TEST(ChessMakeMove, RookLeavingItsCornerLosesItsWingOnly) {
    struct Row {
        const char* from;
        const char* to;
        int lostCell;
    };
    const Row rows[] = {{"a1", "a2", kWhiteQueenSide},
                        {"h1", "h2", kWhiteKingSide},
                        {"a8", "a7", kBlackQueenSide},
                        {"h8", "h7", kBlackKingSide}};
    for (const Row& r : rows) {
        Board board = FromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
        Play(board, r.from, r.to);
        for (int cell = kWhiteKingSide; cell <= kBlackQueenSide; ++cell) {
            EXPECT_EQ(board.cells[cell], cell == r.lostCell ? kCastlingLost : kCastlingOpen)
                << r.from << " cell " << cell;
        }
    }
}

TEST(ChessMakeMove, HalfmoveClockCountsQuietPieceMoves) {
    Board board;
    Play(board, "g1", "f3");
    Play(board, "g8", "f6");
    EXPECT_EQ(board.halfmoveClock, 2);
    Play(board, "e2", "e4");  // pawn move
    EXPECT_EQ(board.halfmoveClock, 0);
    Play(board, "b8", "c6");
    Play(board, "f1", "b5");
    EXPECT_EQ(board.halfmoveClock, 2);
    Play(board, "f6", "e4");  // capture
    EXPECT_EQ(board.halfmoveClock, 0);
}

TEST(ChessMakeMove, TakeBackRestoresEverythingForEveryMoveOfManyPositions) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/Pp2P3/2N2Q1p/1PPBBPPP/R3K2R b KQkq a3 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    };
    for (const char* fen : fens) {
        Board board = FromFen(fen);
        MoveList outer;
        GenerateMoves(board, outer, board.sideToMove, true);
        for (int i = 1; i <= outer.count; ++i) {
            const Board before = board;
            MakeMove(board, outer[i].from, outer[i].to, outer[i].kind, board.searchPly);
            EXPECT_EQ(board.searchPly, 2);
            EXPECT_NE(board.sideToMove, before.sideToMove);
            // One ply deeper too, so two stacked undo records are exercised.
            MoveList inner;
            GenerateMoves(board, inner, board.sideToMove, true);
            for (int j = 1; j <= inner.count; ++j) {
                const Board middle = board;
                MakeMove(board, inner[j].from, inner[j].to, inner[j].kind, board.searchPly);
                UnmakeMove(board);
                ExpectSamePosition(board, middle,
                                   std::string(fen) + " " + Name(outer[i]) + " " + Name(inner[j]));
            }
            UnmakeMove(board);
            ExpectSamePosition(board, before, std::string(fen) + " " + Name(outer[i]));
        }
    }
}

TEST(ChessGenerator, TakingAKingCutsTheListToThatMove) {
    // Black's king stands in check with White to move (a board out of step).
    for (bool skip : {false, true}) {
        Board board = FromFen("4k3/8/8/8/8/8/4R3/K7 w - -");
        MoveList list;
        GenerateMoves(board, list, kWhite, skip);
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(Name(list[1]), "e2e8");
        EXPECT_EQ(list[1].captured, kKing);
    }
}

TEST(ChessGenerator, PositionsWithoutAKingStillGenerate) {
    // After a king capture was accepted as a game move, the king square is 0.
    Board board = FromFen("4R3/8/8/8/8/8/8/K7 b - -");
    EXPECT_EQ(board.blackKingSquare, 0);
    MoveList list;
    GenerateMoves(board, list, kBlack, false);
    EXPECT_EQ(list.count, 0);
    GenerateMoves(board, list, kWhite, false);
    EXPECT_GT(list.count, 0);
    // And a king taken during play comes back on take-back.
    Board game = FromFen("4k3/8/8/8/8/8/4R3/K7 w - -");
    MakeMove(game, Cell("e2"), Cell("e8"), kNormalMove, game.searchPly);
    EXPECT_EQ(game.blackKingSquare, 0);
    MoveList after;
    GenerateMoves(game, after, game.sideToMove, false);
    UnmakeMove(game);
    EXPECT_EQ(game.blackKingSquare, Cell("e8"));
}

TEST(ChessGenerator, ListNeverRunsPastItsLastEntry) {
    // The well-known 218-move position with more queens and no Black king
    // offers more than 220 moves: the list fills up and the h1 queen's moves,
    // generated last, find no room.
    Board board = FromFen("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/1BQQQKQQ w - -");
    MoveList list;
    for (bool skip : {true, false}) {
        GenerateMoves(board, list, kWhite, skip);
        EXPECT_EQ(list.count, kMaxMoves);
        EXPECT_EQ(SquareName(list[kMaxMoves].from), "g1");
    }
    // The unaltered position has exactly 218.
    Board known = FromFen("R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1");
    GenerateMoves(known, list, kWhite, false);
    EXPECT_EQ(list.count, 218);
    for (int n = 1; n <= list.count; ++n)
        EXPECT_TRUE(IsSquare(list[n].to));
}

TEST(ChessUndo, SlotsOutsideTheStackAreRefused) {
    Board board;
    const Board before = board;
    UnmakeMove(board);  // nothing made
    ExpectSamePosition(board, before, "take-back with nothing made");
    for (std::int32_t slot : {-1, kUndoSlots, 1000}) {
        MakeMove(board, Cell("e2"), Cell("e4"), kNormalMove, slot);
        ExpectSamePosition(board, before, "slot " + std::to_string(slot));
    }
    // A move from or to a cell that is no square is refused too.
    MakeMove(board, 0, Cell("e4"), kNormalMove, 1);
    MakeMove(board, Cell("e2"), 126, kNormalMove, 1);
    ExpectSamePosition(board, before, "bad cells");
    // Forty plies deep: thirty fit the stack, the rest are refused; taking
    // everything back ends where it began.
    Board deep = FromFen("4k3/8/8/8/8/8/8/R3K3 w - -");
    const Board start = deep;
    for (int i = 0; i < 40; ++i) {
        int from = deep.blackKingSquare, to = from == Cell("e8") ? Cell("d8") : Cell("e8");
        if (deep.sideToMove == kWhite) {
            from = deep.cells[Cell("a1")] == kRook ? Cell("a1") : Cell("a2");
            to = from == Cell("a1") ? Cell("a2") : Cell("a1");
        }
        MakeMove(deep, from, to, kNormalMove, deep.searchPly);
    }
    EXPECT_EQ(deep.searchPly, kUndoSlots);
    for (int i = 0; i < 50; ++i)
        UnmakeMove(deep);
    EXPECT_EQ(deep.searchPly, 1);
    EXPECT_EQ(deep.cells, start.cells);
}

}  // namespace
}  // namespace lantrel
