#include "app/server.h"
#include "feed/feed.h"
#include "text/text.h"

namespace lantrel {

void StartNewGame(Server& server) {
    LiveGame& game = server.game;
    Console& console = server.os.console;
    game.gameNotStarted = 1;
    game.plyCount = 0;
    game.gameNumber += 1;

    console.SetColour(kNormal);
    PrintAt(console, 16, 5, "GAME:" + PrintForm(game.gameNumber));
    console.EndLine();
    WriteServerLog(server, "-------------------- New Game ----------------------");

    game.moveErrorCount = 0;
    console.SetColour(kLightRed);
    PrintAt(console, 22, 50, "Move error count =" + PrintForm(game.moveErrorCount));
    console.EndLine();

    // Start position, king squares, side to move and fifty-move counter; every
    // square of the console board is marked for repainting.
    ResetBoardForNewGame(server.chess);
    server.screen.RepaintBoard();
    server.screen.DrawBoard(server.chess.cells);
    WriteFen(server);
    server.outputs.NewGameStarted(game.gameNumber);
    server.outputs.PositionSet(game.fen);
}

}  // namespace lantrel
