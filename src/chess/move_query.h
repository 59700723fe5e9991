// Questions about move texts that change nothing: whether a text names a legal
// move of the side to move, and the shapes a move text can have.
#pragma once

#include <string>
#include <string_view>

#include "chess/board.h"

namespace lantrel {

// What PlayMoveText would make of a text in this position.
struct MoveTextMatch {
    std::int32_t entry = 0;  // entry number of the matching move, 0 = none
    MoveRecord move;         // that move
    bool legal = false;      // it leaves the mover's king unattacked
};

// Finds the move a text names exactly as PlayMoveText does (the pseudo-legal
// list first, then the legal one; the last matching entry wins), without
// playing it, logging it or counting an error. The board is not touched.
MoveTextMatch MatchMoveText(const Board& board, std::string_view text);

// True when the text names a legal move of the side to move.
bool IsLegalMoveText(const Board& board, std::string_view text);

// True when a word has the shape of a move in one of the notations GUIs send
// engines (e2e4, e7e8q, e2-e4, Ng1f3, Ng1-f3, Nf3, exd5, e8=Q, O-O, 0-0-0),
// check and mate marks allowed. Engine commands (go, force, new, time, ...)
// never have this shape.
bool LooksLikeMoveText(std::string_view word);

// A square's name ("e2") from its cell.
std::string SquareName(std::int32_t cell);

// A move as UCI writes it: from and to square, promotion piece in lower case
// (e2e4, e1g1 for castling, e7e8q).
std::string UciMoveText(const MoveRecord& move);

}  // namespace lantrel
