// The operator's status screen: what it shows beside the console, and the
// routines that draw it.
#pragma once

#include <string>

#include "chess/board.h"

namespace lantrel {

struct Server;

// What the console shows now, so that only changes are drawn.
struct ScreenState {
    Cells drawnBoard = OffBoardCells();  // the console board's squares; off-board = repaint
    bool showBoard = true;               // the console board is drawn (operator key B)

    static constexpr Cells OffBoardCells() {
        Cells c{};
        c.fill(kOffBoard);
        return c;
    }
};

// Repaints the squares of the console board that changed since they were drawn.
void DrawBoard(Server& server);
// Forgets what the console board shows, so the next DrawBoard paints every square.
void RepaintBoard(Server& server);
// Row 23: "FEN : " and the position.
void ShowFen(Server& server, const std::string& fen);

}  // namespace lantrel
