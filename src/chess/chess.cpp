// The game's board: start-up and new game.
#include "chess/chess.h"

namespace lantrel {

void InitialiseChess(ChessState& chess) {
    Tables();  // built once for the whole process
    chess.cells = StartCells();
    chess.startBoard = chess.cells;
    chess.whiteKingSquare = 96;
    chess.blackKingSquare = 26;
    chess.halfmoveClock = 0;
    chess.searchPly = 1;
    chess.sideToMove = PieceColour::kWhite;
    chess.moveList.count = 0;
}

void ResetBoardForNewGame(ChessState& chess) {
    // The whole array, so the castling states and en-passant target reset too.
    chess.cells = chess.startBoard;
    chess.whiteKingSquare = 96;
    chess.blackKingSquare = 26;
    chess.sideToMove = PieceColour::kWhite;
    chess.halfmoveClock = 0;
    chess.searchPly = 1;
}

}  // namespace lantrel
