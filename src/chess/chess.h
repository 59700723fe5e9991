// The chess rules as the rest of the server sees them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chess/board.h"
#include "chess/move_text.h"
#include "chess/san.h"

namespace lantrel {

// The game's position (the Board it derives from holds the cells, king squares,
// halfmoveClock, searchPly and sideToMove) with what the move matcher keeps
// beside it.
struct ChessState : Board {
    Cells startBoard = StartCells();  // the start position, copied at every new game
    MoveList moveList;                // the moves of the last matching pass
    MoveTexts moveTexts;              // their texts
};

// Builds the board tables and the start position (start-up).
void InitialiseChess(ChessState& chess);
// Puts the board back to the start position (the board part of a new game).
void ResetBoardForNewGame(ChessState& chess);
// The entry of `moveList` a logged move text names, found as the game plays
// moves: among the pseudo-legal moves first, then among the legal ones. The text
// is cleaned in place (NormaliseMoveText); 0 = no move, and then `moveList`
// holds the legal moves.
std::int32_t FindGameMove(ChessState& chess, std::string& text);
// Plays entry `entry` of `moveList` as the game's next move.
void PlayGameMove(ChessState& chess, std::int32_t entry);

}  // namespace lantrel
