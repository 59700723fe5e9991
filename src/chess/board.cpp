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

    // Only a rook leaving its corner loses its wing; a rook taken there does not.
    if (piece == -kRook && from == 22) c[kBlackQueenSide] = kCastlingLost;
    if (piece == -kRook && from == 29) c[kBlackKingSide] = kCastlingLost;
    if (piece == kRook && from == 92) c[kWhiteQueenSide] = kCastlingLost;
    if (piece == kRook && from == 99) c[kWhiteKingSide] = kCastlingLost;

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
        case kCastleKingSide:
            if (white) {
                c[99] = 0, c[97] = kRook, c[kWhiteKingSide] = kCastled;
                c[kWhiteQueenSide] = kCastlingLost;
            } else {
                c[29] = 0, c[27] = -kRook, c[kBlackKingSide] = kCastled;
                c[kBlackQueenSide] = kCastlingLost;
            }
            break;
        case kCastleQueenSide:
            if (white) {
                c[92] = 0, c[95] = kRook, c[kWhiteQueenSide] = kCastled;
                c[kWhiteKingSide] = kCastlingLost;
            } else {
                c[22] = 0, c[25] = -kRook, c[kBlackQueenSide] = kCastled;
                c[kBlackKingSide] = kCastlingLost;
            }
            break;
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
        case kCastleKingSide:
            if (white) {
                c[99] = kRook, c[97] = 0;
            } else {
                c[29] = -kRook, c[27] = 0;
            }
            break;
        case kCastleQueenSide:
            if (white) {
                c[92] = kRook, c[95] = 0;
            } else {
                c[22] = -kRook, c[25] = 0;
            }
            break;
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
