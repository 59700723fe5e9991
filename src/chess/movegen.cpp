// The move generator. The order of the list is part of the program's output
// (the last of several matching entries wins, and the entry number goes to
// server.log), so it is fixed: squares from a8 to h1, each piece's directions
// in table order, castling last, promotions queen first.
#include <cstdlib>

#include "chess/board.h"

namespace lantrel {

namespace {

class Generator {
  public:
    Generator(Board& board, MoveList& list, PieceColour side, bool skipLegality)
        : board_(board),
          cells_(board.cells),
          list_(list),
          white_(side == PieceColour::kWhite),
          skipLegality_(skipLegality) {}

    void Run() {
        list_.count = 0;
        for (int row = 1; row <= 8 && !stopped_; ++row) {
            for (int file = 1; file <= 8 && !stopped_; ++file) {
                const int square = CellOf(row, file);
                const std::int32_t p = cells_[square];
                if (p == 0 || white_ != (p > 0)) continue;
                switch (std::abs(p)) {
                    case kPawn:
                        if (white_) {
                            PawnMoves(square, -1);
                        } else {
                            PawnMoves(square, 1);
                        }
                        break;
                    case kKing:
                        PieceMoves(square, kKing, 1);
                        if (!stopped_) Castling(square);
                        break;
                    case kKnight:
                        PieceMoves(square, kKnight, 1);
                        break;
                    default:
                        PieceMoves(square, std::abs(p), 7);
                        break;
                }
            }
        }
    }

  private:
    bool IsEnemy(std::int32_t value) const {
        return white_ ? value < 0 : (value > 0 && value != kOffBoard);
    }

    // `forward` is -1 for White (toward rank 8) and +1 for Black.
    void PawnMoves(int square, int forward) {
        const int row = RowOf(square);
        const bool promotes = row + forward == 1 || row + forward == 8;
        const int step = square + 10 * forward;
        // The capture toward the a-file comes first for both sides.
        const int captureA = forward < 0 ? square - 11 : square + 9;
        const int captureB = forward < 0 ? square - 9 : square + 11;
        if (cells_[step] == 0) StepOrPromote(square, step, promotes);
        if (!stopped_ && IsEnemy(cells_[captureA])) StepOrPromote(square, captureA, promotes);
        if (!stopped_ && IsEnemy(cells_[captureB])) StepOrPromote(square, captureB, promotes);
        const int startRow = forward < 0 ? 7 : 2;
        if (!stopped_ && row == startRow && cells_[step] == 0 && cells_[step + 10 * forward] == 0) {
            AddMove(square, step + 10 * forward, kNormalMove);
        }
        const std::int32_t target = cells_[kEnPassantCell];
        if (!stopped_ && target != 0 && (target == captureA || target == captureB)) {
            AddMove(square, target, kEnPassant);
        }
    }

    void StepOrPromote(int from, int to, bool promotes) {
        if (!promotes) {
            AddMove(from, to, kNormalMove);
            return;
        }
        for (std::int32_t kind : {kPromoteQueen, kPromoteRook, kPromoteBishop, kPromoteKnight}) {
            AddMove(from, to, kind);
            if (stopped_) return;
        }
    }

    void PieceMoves(int square, int piece, int maxSteps) {
        const auto& t = Tables();
        const auto& rays = t.rayTable[square];
        for (int d = t.directionRange[1][piece]; d <= t.directionRange[2][piece]; ++d) {
            for (int s = 1; s <= maxSteps; ++s) {
                const std::int32_t to = rays[d][s];
                if (to == 0) break;
                const std::int32_t value = cells_[to];
                if (value != 0 && (value > 0) == white_) break;
                AddMove(square, to, kNormalMove);
                if (stopped_ || value != 0) break;
            }
            if (stopped_) return;
        }
    }

    void Castling(int square) {
        // King-side before queen-side. The rook must stand in its corner even
        // when the state still reads open; b1/b8 must be empty but may be attacked.
        using enum PieceColour;
        if (!white_ && square == 26) {
            if (cells_[kBlackKingSide] == kCastlingOpen && cells_[27] == 0 && cells_[28] == 0 &&
                cells_[29] == -kRook && !IsAttacked(board_, 26, kWhite) &&
                !IsAttacked(board_, 27, kWhite) && !IsAttacked(board_, 28, kWhite)) {
                AddMove(26, 28, kCastleKingSide);
                if (stopped_) return;
            }
            if (cells_[kBlackQueenSide] == kCastlingOpen && cells_[25] == 0 && cells_[24] == 0 &&
                cells_[23] == 0 && cells_[22] == -kRook && !IsAttacked(board_, 26, kWhite) &&
                !IsAttacked(board_, 25, kWhite) && !IsAttacked(board_, 24, kWhite)) {
                AddMove(26, 24, kCastleQueenSide);
            }
        } else if (white_ && square == 96) {
            if (cells_[kWhiteKingSide] == kCastlingOpen && cells_[97] == 0 && cells_[98] == 0 &&
                cells_[99] == kRook && !IsAttacked(board_, 96, kBlack) &&
                !IsAttacked(board_, 97, kBlack) && !IsAttacked(board_, 98, kBlack)) {
                AddMove(96, 98, kCastleKingSide);
                if (stopped_) return;
            }
            if (cells_[kWhiteQueenSide] == kCastlingOpen && cells_[95] == 0 && cells_[94] == 0 &&
                cells_[93] == 0 && cells_[92] == kRook && !IsAttacked(board_, 96, kBlack) &&
                !IsAttacked(board_, 95, kBlack) && !IsAttacked(board_, 94, kBlack)) {
                AddMove(96, 94, kCastleQueenSide);
            }
        }
    }

    void AddMove(int from, int to, std::int32_t kind) {
        if (!skipLegality_) {
            MakeMove(board_, from, to, kind, board_.searchPly);
            const bool attacked =
                white_ ? IsAttacked(board_, board_.whiteKingSquare, PieceColour::kBlack)
                       : IsAttacked(board_, board_.blackKingSquare, PieceColour::kWhite);
            UnmakeMove(board_);
            if (attacked) return;
        }
        const std::int32_t captured = std::abs(cells_[to]);
        if (captured == kKing) {
            // Taking a king ends the generation: the list is that one move.
            list_.count = 1;
            list_.entries[1] = MoveRecord{from, to, kind, kKing};
            stopped_ = true;
            return;
        }
        // A list is full at kMaxMoves entries; a board out of step with the game
        // may offer more pseudo-legal moves, and those are dropped.
        if (list_.count >= kMaxMoves) return;
        list_.count += 1;
        list_.entries[list_.count] = MoveRecord{from, to, kind, captured};
    }

    Board& board_;
    Cells& cells_;
    MoveList& list_;
    const bool white_;  // the side whose moves are generated
    const bool skipLegality_;
    bool stopped_ = false;
};

}  // namespace

void GenerateMoves(Board& board, MoveList& list, PieceColour side, bool skipLegality) {
    Generator(board, list, side, skipLegality).Run();
}

}  // namespace lantrel
