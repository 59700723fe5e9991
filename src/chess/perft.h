// Perft: the number of legal move paths of a given length, the standard check
// of a move generator against published counts. Used by tests and benchmarks.
#pragma once

#include <cstdint>

#include "chess/board.h"

namespace lantrel {

// Leaf count of the legal move tree of `board` to `depth` plies (1 at depth 0).
// The board is left as it was found.
std::uint64_t Perft(Board& board, int depth);

}  // namespace lantrel
