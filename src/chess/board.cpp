// Board tables, the attack test and make/take-back.
#include "chess/board.h"

#include <cstdlib>

namespace lantrel {

namespace {

// File and row deltas of directions 1..16: eight lines, then eight knight jumps.
constexpr std::int32_t kLineDeltas[9][2] = {{0, 0},  {1, -1}, {1, 1}, {-1, 1}, {-1, -1},
                                            {0, -1}, {1, 0},  {0, 1}, {-1, 0}};
constexpr std::int32_t kKnightDeltas[9][2] = {{0, 0},  {1, -2}, {2, -1},  {2, 1},  {1, 2},
                                              {-1, 2}, {-2, 1}, {-2, -1}, {-1, -2}};

// Fills directionTable: the working rows of pieces 2..6 first, then piece 7
// assembled from them (knight jumps under 9..16, lines under 1..8).
void FillDirectionTable(ChessTables& t) {
    auto set = [&t](int piece, int direction, int step, std::int32_t fileDelta,
                    std::int32_t rowDelta) {
        t.directionTable[piece][direction][step][1] = fileDelta;
        t.directionTable[piece][direction][step][2] = rowDelta;
    };
    for (int d = 1; d <= 8; ++d) {
        set(kKnight, d, 1, kKnightDeltas[d][0], kKnightDeltas[d][1]);
        for (int s = 1; s <= 8; ++s) {
            const std::int32_t df = s * kLineDeltas[d][0], dr = s * kLineDeltas[d][1];
            if (d <= 4) set(kBishop, d, s, df, dr);
            if (d >= 5) set(kRook, d - 4, s, df, dr);
            set(kQueen, d, s, df, dr);
            if (s == 1) set(kKing, d, s, df, dr);
        }
    }
    for (int d = 1; d <= 8; ++d) {
        for (int s = 1; s <= 8; ++s) {
            set(7, d, s, t.directionTable[kQueen][d][s][1], t.directionTable[kQueen][d][s][2]);
        }
        set(7, d + 8, 1, t.directionTable[kKnight][d][1][1], t.directionTable[kKnight][d][1][2]);
    }
}

// rayTable from directionTable piece 7 and the border marks of the start board.
void BuildRays(ChessTables& t) {
    const Cells start = StartCells();
    for (int row = 1; row <= 8; ++row) {
        for (int file = 1; file <= 8; ++file) {
            const int square = CellOf(row, file);
            for (int d = 1; d <= 16; ++d) {
                for (int s = 1; s <= 7; ++s) {
                    const int target = CellOf(row + t.directionTable[7][d][s][2],
                                              file + t.directionTable[7][d][s][1]);
                    if (start[target] == kOffBoard) break;
                    t.rayTable[square][d][s] = target;
                    if (d >= 9) break;
                }
            }
        }
    }
}

ChessTables BuildTables() {
    ChessTables t;
    t.pieceLetters = {"", "P", "N", "B", "R", "Q", "K"};
    t.fileLetters = {"", "A", "B", "C", "D", "E", "F", "G", "H"};
    const std::int32_t range[8][2] = {{0, 0}, {0, 0}, {9, 16}, {1, 4},
                                      {5, 8}, {1, 8}, {1, 8},  {1, 16}};
    for (int piece = 0; piece < 8; ++piece) {
        t.directionRange[1][piece] = range[piece][0];
        t.directionRange[2][piece] = range[piece][1];
    }
    FillDirectionTable(t);
    BuildRays(t);
    return t;
}

}  // namespace

const ChessTables& Tables() {
    static const ChessTables tables = BuildTables();
    return tables;
}

bool IsAttacked(const Board& board, std::int32_t square, PieceColour bySide) {
    // A king square of 0 means that king was taken (a position out of step with
    // the game); its pawn test would reach before cell 0.
    if (!IsSquare(square)) return false;
    const bool byWhite = bySide == PieceColour::kWhite;
    const auto& cells = board.cells;
    const auto& rays = Tables().rayTable[square];
    for (int d = 1; d <= 16; ++d) {
        for (int s = 1; s <= 7; ++s) {
            const std::int32_t t = rays[d][s];
            if (t == 0) break;
            const std::int32_t p = cells[t];
            if (p == 0) continue;
            if (byWhite != (p > 0)) break;  // the other side blocks
            const std::int32_t a = std::abs(p);
            if ((d >= 9 && a == kKnight) || (d <= 8 && s == 1 && a == kKing) ||
                (d <= 4 && a == kBishop) || (d >= 5 && d <= 8 && a == kRook) ||
                (d <= 8 && a == kQueen)) {
                return true;
            }
            break;
        }
    }
    if (!byWhite) return cells[square - 11] == -1 || cells[square - 9] == -1;
    return cells[square + 9] == 1 || cells[square + 11] == 1;
}

namespace {

bool IsCastling(std::int32_t kind) {
    return kind == kCastleKingSide || kind == kCastleQueenSide;
}

const CastlingWing& WingOfCastling(bool white, std::int32_t kind) {
    return WingOf(white, kind == kCastleKingSide);
}

// Castling, the king from `from` to `to` and its rook to the other side of it.
// Both leave their squares before either lands: in Chess960 the king may land
// on the rook's square, or stay where it is.
void MakeCastling(Board& board, std::int32_t from, std::int32_t to, std::int32_t kind) {
    auto& c = board.cells;
    const std::int32_t king = c[from];
    const CastlingWing& wing = WingOfCastling(king > 0, kind);
    const int rook = CastlingRookSquare(c, wing);
    const std::int32_t rookPiece = c[rook];
    board.halfmoveClock += 1;
    c[from] = 0;
    c[rook] = 0;
    c[to] = king;
    c[wing.rookTarget] = rookPiece;
    board.searchPly += 1;
    (king > 0 ? board.whiteKingSquare : board.blackKingSquare) = to;
    const CastlingWing& other = WingOf(wing.white, !wing.kingSide);
    c[wing.stateCell] = kCastled;
    c[other.stateCell] = kCastlingLost;
    c[kEnPassantCell] = 0;
}

void UnmakeCastling(Board& board, const UndoRecord& undo) {
    auto& c = board.cells;
    const std::int32_t king = c[undo.to];
    const CastlingWing& wing = WingOfCastling(king > 0, undo.kind);
    const std::int32_t rookPiece = c[wing.rookTarget];
    c[undo.to] = 0;
    c[wing.rookTarget] = 0;
    c[undo.from] = king;
    c[CastlingRookSquare(c, wing)] = rookPiece;
    board.sideToMove = king > 0 ? PieceColour::kWhite : PieceColour::kBlack;
    (king > 0 ? board.whiteKingSquare : board.blackKingSquare) = undo.from;
}

}  // namespace

void MakeMove(Board& board, std::int32_t from, std::int32_t to, std::int32_t kind,
              std::int32_t slot) {
    if (slot < 0 || slot >= kUndoSlots || !IsSquare(from) || !IsSquare(to)) return;
    auto& c = board.cells;
    const std::int32_t piece = c[from];
    const bool white = piece > 0;
    board.sideToMove = white ? PieceColour::kBlack : PieceColour::kWhite;

    UndoRecord& undo = board.undoStack[slot];
    undo.from = from;
    undo.to = to;
    undo.kind = kind;
    undo.valueOnTo = c[to];
    for (int i = 0; i < 5; ++i)
        undo.spare[i] = c[kWhiteKingSide + i];
    undo.halfmoveClock = board.halfmoveClock;

    if (IsCastling(kind) && std::abs(piece) == kKing) {
        MakeCastling(board, from, to, kind);
        return;
    }

    // Only a rook leaving its castling square loses its wing; a rook taken
    // there does not.
    for (const CastlingWing& wing : kCastlingWings) {
        if (piece == (wing.white ? kRook : -kRook) && from == CastlingRookSquare(c, wing))
            c[wing.stateCell] = kCastlingLost;
    }

    if (c[to] == kKing) board.whiteKingSquare = 0;
    if (c[to] == -kKing) board.blackKingSquare = 0;

    board.halfmoveClock += 1;
    if (c[to] != 0) board.halfmoveClock = 0;

    c[to] = piece;
    c[from] = 0;
    board.searchPly += 1;

    if (std::abs(piece) == kPawn) board.halfmoveClock = 0;

    if (piece == kKing) {
        board.whiteKingSquare = to;
        if (c[kWhiteKingSide] != kCastled) c[kWhiteKingSide] = kCastlingLost;
        if (c[kWhiteQueenSide] != kCastled) c[kWhiteQueenSide] = kCastlingLost;
    } else if (piece == -kKing) {
        board.blackKingSquare = to;
        if (c[kBlackKingSide] != kCastled) c[kBlackKingSide] = kCastlingLost;
        if (c[kBlackQueenSide] != kCastled) c[kBlackQueenSide] = kCastlingLost;
    }

    c[kEnPassantCell] = 0;
    if (piece == kPawn && from == to + 20) c[kEnPassantCell] = to + 10;
    if (piece == -kPawn && from == to - 20) c[kEnPassantCell] = to - 10;

    switch (kind) {
        case kEnPassant:
            c[white ? to + 10 : to - 10] = 0;
            break;
        case kPromoteKnight:
        case kPromoteBishop:
        case kPromoteRook:
        case kPromoteQueen:
            // Kinds 3..6 promote to pieces 2..5.
            c[to] = (white ? 1 : -1) * (kind - 1);
            break;
        default:
            break;
    }
}

void UnmakeMove(Board& board) {
    if (board.searchPly < 2 || board.searchPly > kUndoSlots) return;
    board.searchPly -= 1;
    const UndoRecord& undo = board.undoStack[board.searchPly];
    auto& c = board.cells;
    for (int i = 0; i < 5; ++i)
        c[kWhiteKingSide + i] = undo.spare[i];
    board.halfmoveClock = undo.halfmoveClock;
    if (IsCastling(undo.kind) && std::abs(c[undo.to]) == kKing) {
        UnmakeCastling(board, undo);
        return;
    }

    const std::int32_t from = undo.from, to = undo.to;
    c[from] = c[to];
    c[to] = undo.valueOnTo;

    const bool white = c[from] > 0;
    board.sideToMove = white ? PieceColour::kWhite : PieceColour::kBlack;

    if (c[from] == kKing) board.whiteKingSquare = from;
    if (c[from] == -kKing) board.blackKingSquare = from;
    if (undo.valueOnTo == kKing) board.whiteKingSquare = to;
    if (undo.valueOnTo == -kKing) board.blackKingSquare = to;

    switch (undo.kind) {
        case kPromoteKnight:
        case kPromoteBishop:
        case kPromoteRook:
        case kPromoteQueen:
            c[from] = white ? 1 : -1;
            break;
        case kEnPassant:
            if (white) {
                c[to + 10] = -1;
            } else {
                c[to - 10] = 1;
            }
            break;
        default:
            break;
    }
}

}  // namespace lantrel
