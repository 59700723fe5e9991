// The SAN writer: the algebraic text of every move of a list.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "chess/board.h"

namespace lantrel {

// One text per list entry (1..count); entry 0 is unused.
using MoveTextColumn = std::array<std::string, kMaxMoves + 1>;

// Writes the SAN of every entry of `list` (generated on `board`, before the
// position changes) into `san`. Moves that share a text are told apart in up
// to three stages: by the from-file, then by the from-rank, then by both; each
// stage rewrites only the texts that still collide. No check or mate marks.
void BuildSanTexts(const Board& board, const MoveList& list, MoveTextColumn& san);

// The mark a SAN takes in a PGN for the position after the move: "#" when the
// side to move is mated, "+" when it is in check, else empty.
std::string CheckMark(const Board& after);

// A move as a PGN writes it: the legal move of `board` whose position text
// (FenText) is `fenAfter`, in SAN told apart from the other legal moves only
// (the viewers' texts also count moves a pin forbids), with its check mark.
// Plays it on `board`; empty, and the board untouched, when no move leads there.
std::string PlayPgnMove(Board& board, std::string_view fenAfter);

}  // namespace lantrel
