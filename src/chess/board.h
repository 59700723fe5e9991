// The board: a 10-column mailbox, the move generator and make/take-back.
//
// Layout of the 131 cells (index = 10 * (row + 1) + file + 1, row 1 = rank 8,
// file 1 = the a-file):
//
//          a   b   c   d   e   f   g   h
//   rank 8 22  23  24  25  26  27  28  29      cells 1..21: border (100)
//   rank 7 32  ..                      39      30/31, 40/41, ..., 90/91: border
//   ...                                        100..120: border
//   rank 1 92  93  94  95  96  97  98  99      122..125: castling states
//                                              126: en-passant target
//                                              127..130: Chess960 castling rooks
//
// One step toward rank 8 is -10, toward the h-file +1. Pieces are +-1..6
// (pawn, knight, bishop, rook, queen, king), White positive. The border lets
// the generator walk off the edge without bounds arithmetic, and the spare
// cells keep the castling states and the en-passant target beside the squares
// so one array copy saves the whole position.
//
// Everything here is pure: a Board and the shared, immutable tables.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chess/colour.h"

namespace lantrel {

constexpr int kBoardCells = 131;
constexpr std::int32_t kOffBoard = 100;
constexpr int kMaxMoves = 220;  // entries 1..220 of a move list
constexpr int kUndoSlots = 31;  // slots 0..30

// Spare cells.
constexpr int kWhiteKingSide = 122;
constexpr int kWhiteQueenSide = 123;
constexpr int kBlackKingSide = 124;
constexpr int kBlackQueenSide = 125;
constexpr int kEnPassantCell = 126;
// The square of the rook each wing castles with in Chess960 (cells 127..130,
// in the order of the states: White king-side, White queen-side, Black
// king-side, Black queen-side); 0 for the standard castling, the king on the
// e-file and the rook in its corner. They are set with the start position and
// never change during a game.
constexpr int kCastlingRookCells = 127;

// Castling state of a wing: only "== kCastlingOpen" is ever tested.
constexpr std::int32_t kCastlingOpen = 0;
constexpr std::int32_t kCastlingLost = 1;
constexpr std::int32_t kCastled = 2;

enum MoveKind : std::int32_t {
    kNormalMove = 0,
    kCastleKingSide = 1,
    kCastleQueenSide = 2,
    kPromoteKnight = 3,
    kPromoteBishop = 4,
    kPromoteRook = 5,
    kPromoteQueen = 6,
    kEnPassant = 7,
};

enum PieceType : std::int32_t { kPawn = 1, kKnight, kBishop, kRook, kQueen, kKing };

using Cells = std::array<std::int32_t, kBoardCells>;

// A castling wing, 0..3 in the order of the state cells.
struct CastlingWing {
    int stateCell;   // kWhiteKingSide ...
    int rookCell;    // its Chess960 rook square's cell
    int kingHome;    // the standard king's square
    int rookHome;    // the standard rook's corner
    int kingTarget;  // where castling puts the king (the g- or c-file)
    int rookTarget;  // and the rook (the f- or d-file)
    bool white;
    bool kingSide;
};
constexpr CastlingWing kCastlingWings[4] = {
    {kWhiteKingSide, kCastlingRookCells, 96, 99, 98, 97, true, true},
    {kWhiteQueenSide, kCastlingRookCells + 1, 96, 92, 94, 95, true, false},
    {kBlackKingSide, kCastlingRookCells + 2, 26, 29, 28, 27, false, true},
    {kBlackQueenSide, kCastlingRookCells + 3, 26, 22, 24, 25, false, false},
};
constexpr const CastlingWing& WingOf(bool white, bool kingSide) {
    return kCastlingWings[(white ? 0 : 2) + (kingSide ? 0 : 1)];
}
// The square of the rook a wing castles with.
constexpr int CastlingRookSquare(const Cells& cells, const CastlingWing& wing) {
    return cells[wing.rookCell] != 0 ? cells[wing.rookCell] : wing.rookHome;
}

// Cell index of a square; row 1 is rank 8, file 1 is the a-file.
constexpr int CellOf(int row, int file) {
    return 10 * (row + 1) + file + 1;
}
constexpr int RowOf(int cell) {
    return (cell - 10) / 10;
}
constexpr int FileOf(int cell) {
    return cell - 10 * RowOf(cell) - 11;
}
constexpr int RankOf(int cell) {
    return 9 - RowOf(cell);
}
constexpr bool IsSquare(int cell) {
    return cell >= 22 && cell <= 99 && cell % 10 != 0 && cell % 10 != 1;
}

// The start position: border, pieces, castling open, no en-passant target.
constexpr Cells StartCells() {
    Cells c{};
    for (int i = 1; i < kBoardCells; ++i)
        c[i] = kOffBoard;
    for (int i = 121; i < kBoardCells; ++i)
        c[i] = 0;
    const std::int32_t back[8] = {4, 2, 3, 5, 6, 3, 2, 4};
    for (int file = 1; file <= 8; ++file) {
        for (int row = 1; row <= 8; ++row)
            c[CellOf(row, file)] = 0;
        c[CellOf(1, file)] = -back[file - 1];
        c[CellOf(2, file)] = -1;
        c[CellOf(7, file)] = 1;
        c[CellOf(8, file)] = back[file - 1];
    }
    return c;
}

struct MoveRecord {
    std::int32_t from = 0;
    std::int32_t to = 0;
    std::int32_t kind = kNormalMove;
    std::int32_t captured = 0;  // type on `to` when generated; 0 for en passant
};

// A move list; entries count from 1 (the entry number is what server.log shows).
struct MoveList {
    std::int32_t count = 0;
    std::array<MoveRecord, kMaxMoves + 1> entries{};

    const MoveRecord& operator[](int n) const { return entries[n]; }
};

struct UndoRecord {
    std::int32_t from = 0;
    std::int32_t to = 0;
    std::int32_t kind = kNormalMove;
    std::int32_t valueOnTo = 0;           // signed value that stood on `to`
    std::array<std::int32_t, 5> spare{};  // cells 122..126
    std::int32_t halfmoveClock = 0;
};

// A position with everything needed to take moves back.
struct Board {
    Cells cells = StartCells();
    std::int32_t whiteKingSquare = 96;  // 0 = no White king on the board
    std::int32_t blackKingSquare = 26;  // 0 = none
    std::int32_t halfmoveClock = 0;     // plies since the last capture or pawn move
    std::int32_t searchPly = 1;         // undo slot in use; 1 when nothing is made
    PieceColour sideToMove = PieceColour::kWhite;
    std::array<UndoRecord, kUndoSlots> undoStack{};
};

// Tables built once and shared by every board.
struct ChessTables {
    std::array<std::string, 7> pieceLetters;  // 1..6: "P" "N" "B" "R" "Q" "K"
    std::array<std::string, 9> fileLetters;   // 1..8: "A".."H"
    // [piece 0..7][direction 0..16][step 0..8][component 1 = file, 2 = row]
    std::int32_t directionTable[8][17][9][3] = {};
    // [1 = first, 2 = last][piece 0..7]
    std::int32_t directionRange[3][8] = {};
    // [cell 0..100][direction 0..16][step 0..7]: cell reached, 0 off the board
    std::int32_t rayTable[101][17][8] = {};
};

// The shared tables (built on first use).
const ChessTables& Tables();

// Whether `square` is attacked by a piece of `bySide`. A square that is no
// board square (such as 0, a missing king) is never attacked.
bool IsAttacked(const Board& board, std::int32_t square, PieceColour bySide);

// Fills `list` with the moves of `side` in the fixed order (squares from a8 to
// h1, then the piece's directions, then castling). Without `skipLegality` only
// moves that leave the mover's king unattacked are kept. A move that takes a
// king cuts the list down to that one move. The board is left as it was found.
void GenerateMoves(Board& board, MoveList& list, PieceColour side, bool skipLegality);

// Plays a move, recording how to take it back in undo slot `slot` (callers pass
// `searchPly`). A slot outside the undo stack leaves the board untouched.
void MakeMove(Board& board, std::int32_t from, std::int32_t to, std::int32_t kind,
              std::int32_t slot);

// Takes back the move recorded in slot searchPly - 1; nothing when no move is made.
void UnmakeMove(Board& board);

}  // namespace lantrel
