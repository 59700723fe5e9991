// Position texts: the FEN writer, and a loader used by tests and benchmarks.
#pragma once

#include <string>
#include <string_view>

#include "chess/board.h"

namespace lantrel {

// The position text viewers receive: placement, side to move and castling
// letters only ("... w KQkq"; with no castling left it ends "... w ").
std::string FenText(const Board& board);

// Sets `board` from a full FEN (placement, side, castling, en passant,
// halfmove clock; missing trailing fields count as "-" and 0). A castling
// letter that is absent makes that wing lost. Returns false, leaving the board
// unchanged, when the text is no FEN. The server never loads positions; this
// is how tests and benchmarks reach positions far from the start.
bool LoadFen(Board& board, std::string_view fen);

}  // namespace lantrel
