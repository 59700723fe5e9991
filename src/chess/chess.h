// The chess rules as the rest of the server sees them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace lantrel {

struct Server;

// The server's own position and the tables of the move generator.
struct ChessState {
    std::int32_t whiteOnMove = 1;  // side to move: 1 White, 0 Black
    std::int32_t showBoard = 1;    // the console board is drawn (operator key B)
};

// Builds the board tables and the start position (start-up).
void InitialiseChess(ChessState& chess);
// Repaints the squares of the console board that changed (orientation 0 only).
void DrawBoard(Server& server, int orientation);
// Writes the FEN of the current position to `fen` (keeping `previousFen`) and row 23.
void WriteFen(Server& server);
// Puts the board back to the start position (the board part of a new game).
void ResetBoardForNewGame(ChessState& chess);
// Matches a move text from the log against the legal moves, plays and broadcasts it.
void PlayMoveText(Server& server, std::string& logText);

}  // namespace lantrel
