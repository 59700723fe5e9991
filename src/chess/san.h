// The SAN writer: the algebraic text of every move of a list.
#pragma once

#include <array>
#include <string>

#include "chess/board.h"

namespace lantrel {

// One text per list entry (1..count); entry 0 is unused.
using MoveTextColumn = std::array<std::string, kMaxMoves + 1>;

// Writes the SAN of every entry of `list` (generated on `board`, before the
// position changes) into `san`. Moves that share a text are told apart in up
// to three stages: by the from-file, then by the from-rank, then by both; each
// stage rewrites only the texts that still collide. No check or mate marks.
void BuildSanTexts(const Board& board, const MoveList& list, MoveTextColumn& san);

}  // namespace lantrel
