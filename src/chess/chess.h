// The chess rules as the rest of the server sees them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chess/board.h"
#include "chess/san.h"

namespace lantrel {

struct Server;

// The server's own position (the Board it derives from holds the cells, king
// squares, halfmoveClock, searchPly and whiteOnMove) with what the console and
// the move matcher keep beside it.
struct ChessState : Board {
    Cells startBoard = StartCells();   // the start position, copied at every new game
    Cells drawnBoard = AllOffBoard();  // what the console board shows; 100 = repaint
    std::int32_t showBoard = 1;        // the console board is drawn (operator key B)
    MoveList moveList;                 // list 1 of the matcher
    // Texts per entry of moveList: 0 piece letter + coordinates, 1 coordinates, 2 SAN.
    std::array<MoveTextColumn, 3> moveTexts;

    static constexpr Cells AllOffBoard() {
        Cells c{};
        c.fill(kOffBoard);
        return c;
    }
};

// Builds the board tables and the start position (start-up).
void InitialiseChess(ChessState& chess);
// Repaints the squares of the console board that changed (orientation 0 only).
void DrawBoard(Server& server, int orientation);
// Writes the FEN of the current position to `fen` (keeping `previousFen`) and row 23.
void WriteFen(Server& server);
// Puts the board back to the start position (the board part of a new game).
void ResetBoardForNewGame(ChessState& chess);
// Matches a move text from the log against the generated moves, plays it,
// logs it and broadcasts the new position, the move and the fifty-move count.
// `logText` is cleaned in place. A text that matches no move is reported in
// server.log and counted; the position stays as it was.
void PlayMoveText(Server& server, std::string& logText);

}  // namespace lantrel
