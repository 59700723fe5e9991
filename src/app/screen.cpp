#include "app/screen.h"

#include <cstdlib>

#include "app/server.h"

namespace lantrel {

void DrawBoard(Server& server) {
    ScreenState& screen = server.screen;
    if (!screen.showBoard) return;
    const ChessState& chess = server.chess;
    Console& console = server.os.console;
    bool painted = false;
    for (int row = 1; row <= 8; ++row) {
        for (int file = 1; file <= 8; ++file) {
            const int cell = CellOf(row, file);
            const std::int32_t v = chess.cells[cell];
            if (v == screen.drawnBoard[cell]) continue;
            console.SetColour(v < 0 ? kLightBlue : kNormal);
            const int type = std::abs(v);
            PrintAt(console, 6 + row, 2 * file,
                    v == 0 || type > kKing ? std::string(".") : Tables().pieceLetters[type]);
            screen.drawnBoard[cell] = v;
            painted = true;
        }
    }
    if (painted) console.SetColour(kNormal);
}

void RepaintBoard(Server& server) {
    server.screen.drawnBoard.fill(kOffBoard);
}

void ShowFen(Server& server, const std::string& fen) {
    Console& console = server.os.console;
    console.MoveTo(23, 1);
    console.Print(std::string(63, ' '));
    console.EndLine();
    console.MoveTo(23, 1);
    console.Print("FEN : ");
    console.Print(fen);
    console.Print("    ");
    console.EndLine();
}

}  // namespace lantrel
