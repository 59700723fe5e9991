// The board as the server keeps it: start-up, new game, console board, FEN line.
#include "chess/chess.h"

#include <cstdlib>

#include "app/server.h"
#include "chess/fen.h"

namespace lantrel {

void InitialiseChess(ChessState& chess) {
    Tables();  // built once for the whole process
    chess.cells = StartCells();
    chess.startBoard = chess.cells;
    chess.drawnBoard.fill(kOffBoard);
    chess.whiteKingSquare = 96;
    chess.blackKingSquare = 26;
    chess.halfmoveClock = 0;
    chess.searchPly = 1;
    chess.whiteOnMove = kWhite;
    chess.moveList.count = 0;
}

void ResetBoardForNewGame(ChessState& chess) {
    // The whole array, so the castling states and en-passant target reset too.
    chess.cells = chess.startBoard;
    chess.drawnBoard.fill(kOffBoard);
    chess.whiteKingSquare = 96;
    chess.blackKingSquare = 26;
    chess.whiteOnMove = kWhite;
    chess.halfmoveClock = 0;
    chess.searchPly = 1;
}

void DrawBoard(Server& server, int /*orientation*/) {
    ChessState& chess = server.chess;
    if (chess.showBoard == 0) return;
    Console& console = server.os.console;
    bool painted = false;
    for (int row = 1; row <= 8; ++row) {
        for (int file = 1; file <= 8; ++file) {
            const int cell = CellOf(row, file);
            const std::int32_t v = chess.cells[cell];
            if (v == chess.drawnBoard[cell]) continue;
            console.SetColour(v < 0 ? kLightBlue : kNormal);
            const int type = std::abs(v);
            PrintAt(console, 6 + row, 2 * file,
                    v == 0 || type > kKing ? std::string(".") : Tables().pieceLetters[type]);
            chess.drawnBoard[cell] = v;
            painted = true;
        }
    }
    if (painted) console.SetColour(kNormal);
}

void WriteFen(Server& server) {
    LiveGame& game = server.game;
    game.previousFen = std::move(game.fen);
    game.fen = FenText(server.chess);
    Console& console = server.os.console;
    console.MoveTo(23, 1);
    console.Print(std::string(63, ' '));
    console.EndLine();
    console.MoveTo(23, 1);
    console.Print("FEN : ");
    console.Print(game.fen);
    console.Print("    ");
    console.EndLine();
}

}  // namespace lantrel
