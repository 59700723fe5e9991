#include "chess/perft.h"

namespace lantrel {

std::uint64_t Perft(Board& board, int depth) {
    if (depth <= 0) return 1;
    MoveList list;
    GenerateMoves(board, list, board.sideToMove, false);
    if (depth == 1) return static_cast<std::uint64_t>(list.count);
    std::uint64_t nodes = 0;
    for (int n = 1; n <= list.count; ++n) {
        const MoveRecord& m = list[n];
        MakeMove(board, m.from, m.to, m.kind, board.searchPly);
        nodes += Perft(board, depth - 1);
        UnmakeMove(board);
    }
    return nodes;
}

}  // namespace lantrel
