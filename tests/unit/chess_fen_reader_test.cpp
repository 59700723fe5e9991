// The FEN reader for positions the GUI sets up (setboard, UCI "position fen"):
// every field read into the board, every kind of bad text refused.
#include <gtest/gtest.h>

#include <string>

#include "chess/fen.h"

namespace lantrel {
namespace {

int Cell(const char* name) {
    return CellOf(9 - (name[1] - '0'), name[0] - 'a' + 1);
}

TEST(ChessFenReader, ReadsAllSixFields) {
    const FenReading r =
        ReadFen("r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 4 12");
    ASSERT_TRUE(r.ok()) << r.error;
    const Board& b = r.board;
    EXPECT_EQ(FenText(b), "r1bqk1nr/pppp1ppp/2n5/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq");
    EXPECT_EQ(b.sideToMove, PieceColour::kBlack);
    EXPECT_EQ(b.cells[Cell("c4")], kBishop);
    EXPECT_EQ(b.cells[Cell("c6")], -kKnight);
    EXPECT_EQ(b.whiteKingSquare, Cell("e1"));
    EXPECT_EQ(b.blackKingSquare, Cell("e8"));
    EXPECT_EQ(b.halfmoveClock, 4);
    EXPECT_EQ(b.searchPly, 1);
    for (int cell : {kWhiteKingSide, kWhiteQueenSide, kBlackKingSide, kBlackQueenSide})
        EXPECT_EQ(b.cells[cell], kCastlingOpen) << cell;
    EXPECT_EQ(b.cells[kEnPassantCell], 0);
    // The border and the spare cells are those of every board.
    const Cells start = StartCells();
    for (int i = 0; i < kBoardCells; ++i) {
        if (IsSquare(i) || (i >= kWhiteKingSide && i <= kEnPassantCell)) continue;
        EXPECT_EQ(b.cells[i], start[i]) << i;
    }
}

TEST(ChessFenReader, CastlingAndEnPassantFields) {
    struct Row {
        const char* fen;
        std::int32_t k, q, bk, bq;  // cells 122..125
        const char* enPassant;      // "" = none
    };
    const Row rows[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 0, 0, 0, 0, ""},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1", 0, 1, 1, 0, ""},
        {"r3k2r/8/8/8/8/8/8/R3K2R w qkQK - 0 1", 0, 0, 0, 0, ""},  // any order
        {"r3k2r/8/8/8/8/8/8/R3K2R b - - 0 1", 1, 1, 1, 1, ""},
        // A right whose rook or king is not at home cannot be used: dropped.
        {"r3k3/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1", 1, 0, 1, 0, ""},
        {"r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", 1, 1, 0, 0, ""},
        // The pawn that passed stands beyond the target square.
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 40", 1, 1, 1, 1, "d6"},
        {"4k3/8/8/8/4Pp2/8/8/4K3 b - e3 0 40", 1, 1, 1, 1, "e3"},
        // A target without that pawn is dropped.
        {"4k3/8/8/4P3/8/8/8/4K3 w - d6 0 40", 1, 1, 1, 1, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fen);
        const FenReading r = ReadFen(row.fen);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.board.cells[kWhiteKingSide], row.k);
        EXPECT_EQ(r.board.cells[kWhiteQueenSide], row.q);
        EXPECT_EQ(r.board.cells[kBlackKingSide], row.bk);
        EXPECT_EQ(r.board.cells[kBlackQueenSide], row.bq);
        EXPECT_EQ(r.board.cells[kEnPassantCell], *row.enPassant ? Cell(row.enPassant) : 0);
    }
}

TEST(ChessFenReader, ClocksMayBeLeftOut) {
    const FenReading r = ReadFen("4k3/8/8/8/8/8/8/4K3 w - -");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.board.halfmoveClock, 0);
    EXPECT_TRUE(ReadFen("4k3/8/8/8/8/8/8/4K3 w - - 17").ok());
    EXPECT_TRUE(ReadFen("  4k3/8/8/8/8/8/8/4K3   w  -  -  0  1 ").ok());  // blanks around fields
}

TEST(ChessFenReader, RefusesTextsThatAreNoPosition) {
    struct Row {
        const char* name;
        const char* fen;
        const char* error;
    };
    const Row rows[] = {
        {"empty", "", "placement, side, castling and en passant are needed"},
        {"no castling field", "4k3/8/8/8/8/8/8/4K3 w",
         "placement, side, castling and en passant are needed"},
        {"seven fields", "4k3/8/8/8/8/8/8/4K3 w - - 0 1 x", "more than six fields"},
        {"seven ranks", "4k3/8/8/8/8/8/4K3 w - - 0 1", "7 ranks instead of 8"},
        {"nine ranks", "4k3/8/8/8/8/8/8/8/4K3 w - - 0 1", "more than 8 ranks"},
        {"long rank", "4k4/8/8/8/8/8/8/4K3 w - - 0 1", "rank 8 is not 8 squares"},
        {"short rank", "4k3/8/8/7/8/8/8/4K3 w - - 0 1", "rank 5 is not 8 squares"},
        {"short last rank", "4k3/8/8/8/8/8/8/4K2 w - - 0 1", "rank 1 is not 8 squares"},
        {"bad letter", "4k3/8/8/8/8/8/8/4K2X w - - 0 1", "bad letter 'X'"},
        {"digit 9", "4k3/9/8/8/8/8/8/4K3 w - - 0 1", "bad letter '9'"},
        {"no White king", "4k3/8/8/8/8/8/8/8 w - - 0 1", "0 White and 1 Black kings"},
        {"two Black kings", "3kk3/8/8/8/8/8/8/4K3 w - - 0 1", "1 White and 2 Black kings"},
        {"pawn on rank 8", "P3k3/8/8/8/8/8/8/4K3 w - - 0 1", "a pawn on the first or last rank"},
        {"pawn on rank 1", "4k3/8/8/8/8/8/8/p3K3 b - - 0 1", "a pawn on the first or last rank"},
        {"side x", "4k3/8/8/8/8/8/8/4K3 x - - 0 1", "side to move 'x'"},
        {"side W", "4k3/8/8/8/8/8/8/4K3 W - - 0 1", "side to move 'W'"},
        {"castling letter", "4k3/8/8/8/8/8/8/4K3 w KX - 0 1", "castling 'KX'"},
        {"castling twice", "4k3/8/8/8/8/8/8/4K3 w KK - 0 1", "castling 'KK'"},
        {"en passant rank", "4k3/8/8/3pP3/8/8/8/4K3 w - d3 0 1", "en passant 'd3'"},
        {"en passant text", "4k3/8/8/8/8/8/8/4K3 w - z9 0 1", "en passant 'z9'"},
        {"halfmove clock", "4k3/8/8/8/8/8/8/4K3 w - - x 1", "halfmove clock 'x'"},
        {"negative clock", "4k3/8/8/8/8/8/8/4K3 w - - -1 1", "halfmove clock '-1'"},
        // The moves that follow count the clock up: it keeps room above.
        {"clock past its limit", "4k3/8/8/8/8/8/8/4K3 w - - 1000000000 1",
         "halfmove clock '1000000000'"},
        {"move number", "4k3/8/8/8/8/8/8/4K3 w - - 0 one", "move number 'one'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const FenReading r = ReadFen(row.fen);
        EXPECT_EQ(r.error, row.error);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.board.cells, StartCells());  // nothing half read
    }
    // The side to move may stand in check; the side that has just moved may not.
    EXPECT_TRUE(ReadFen("4k3/8/8/8/8/8/8/4R1K1 b - - 0 1").ok());
    EXPECT_EQ(ReadFen("4k3/8/8/8/8/8/8/4R1K1 w - - 0 1").error, "the side not to move is in check");
}

TEST(ChessFenReader, WhatItReadsTheWriterWritesBack) {
    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                            "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq - 1 1"}) {
        const FenReading r = ReadFen(fen);
        ASSERT_TRUE(r.ok()) << fen << ": " << r.error;
        std::string written = FenText(r.board);
        const std::string full(fen);
        EXPECT_EQ(written, full.substr(0, written.size())) << fen;
    }
}

// Chess960 castling: Shredder-FEN's rook files and X-FEN's letters are read,
// and X-FEN is written: K or Q for the outermost rook of a side, else the file.
TEST(ChessFenReader, Chess960CastlingRights) {
    struct Row {
        const char* fen;
        bool chess960;
        const char* written;  // the castling letters FenText writes back
    };
    const Row rows[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1", false, "KQkq"},  // the standard castling
        {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", false, "KQkq"},
        {"1r2k1r1/8/8/8/8/8/8/RR2K3 w Bb - 0 1", false, "Bq"},  // White's inner rook
        {"rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w KQkq - 0 1", true, "KQkq"},
        {"rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w KQkq - 0 1", false, ""},
        {"rkrnnqbb/pppppppp/8/8/8/8/PPPPPPPP/RKRNNQBB w Dd - 0 1", false, ""},  // no rook there
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fen);
        const FenReading r = ReadFen(row.fen, row.chess960);
        ASSERT_TRUE(r.ok()) << r.error;
        const std::string written = FenText(r.board);
        EXPECT_EQ(written.substr(written.rfind(' ') + 1), row.written);
    }
    // The standard castling keeps the standard cells; a Chess960 rook is named.
    EXPECT_EQ(ReadFen("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1").board.cells[kCastlingRookCells], 0);
    EXPECT_EQ(ReadFen("1r2k1r1/8/8/8/8/8/8/RR2K3 w Bb - 0 1").board.cells[kCastlingRookCells + 1],
              Cell("b1"));
}

}  // namespace
}  // namespace lantrel
