// Placeholders until the chess rules land.
#include "app/server.h"

namespace lantrel {

void InitialiseChess(ChessState&) {}
void DrawBoard(Server&, int) {}
void WriteFen(Server&) {}
void ResetBoardForNewGame(ChessState& chess) { chess.whiteOnMove = 1; }
void PlayMoveText(Server&, std::string&) {}

}  // namespace lantrel
