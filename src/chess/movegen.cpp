// The move generator. The order of the list is part of the program's output
// (the last of several matching entries wins, and the entry number goes to
// server.log), so it is fixed: squares from a8 to h1, each piece's directions
// in table order, castling last, promotions queen first.
#include <algorithm>
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

    // King-side before queen-side. The rook must stand on its square even
    // when the state still reads open. Every square the king and the rook pass
    // over or land on must be empty but for the two of them (b1/b8 too in the
    // standard game, which may be attacked), and none the king stands on,
    // passes or reaches may be attacked. In the standard game the king stands
    // on the e-file; in Chess960 anywhere on its first rank, between its rooks.
    void Castling(int square) {
        for (bool kingSide : {true, false}) {
            const CastlingWing& wing = WingOf(white_, kingSide);
            if (cells_[wing.stateCell] != kCastlingOpen) continue;
            const int rook = CastlingRookSquare(cells_, wing);
            if (cells_[wing.rookCell] == 0
                    ? square != wing.kingHome
                    : RowOf(square) != RowOf(rook) || (kingSide ? rook < square : rook > square)) {
                continue;
            }
            if (cells_[rook] != (white_ ? kRook : -kRook)) continue;
            if (!PathIsFree(square, wing.kingTarget, square, rook) ||
                !PathIsFree(rook, wing.rookTarget, square, rook)) {
                continue;
            }
            const PieceColour enemy = white_ ? PieceColour::kBlack : PieceColour::kWhite;
            bool attacked = false;
            for (int cell = std::min(square, wing.kingTarget);
                 cell <= std::max(square, wing.kingTarget) && !attacked; ++cell)
                attacked = IsAttacked(board_, cell, enemy);
            if (attacked) continue;
            AddMove(square, wing.kingTarget, kingSide ? kCastleKingSide : kCastleQueenSide);
            if (stopped_) return;
        }
    }

    // Whether every square from `from` to `to` along the rank is empty but for
    // the castling king and rook.
    bool PathIsFree(int from, int to, int king, int rook) const {
        for (int cell = std::min(from, to); cell <= std::max(from, to); ++cell)
            if (cells_[cell] != 0 && cell != king && cell != rook) return false;
        return true;
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
        // A Chess960 king may castle onto its own rook's square, or stay.
        const bool castling = kind == kCastleKingSide || kind == kCastleQueenSide;
        const std::int32_t captured = castling ? 0 : std::abs(cells_[to]);
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
