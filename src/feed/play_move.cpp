// A move from the log played on the game's board, with everything around it:
// the console, server.log, the outputs, the pause, and the report of a text
// that names no move.
#include "app/server.h"
#include "chess/fen.h"
#include "feed/feed.h"
#include "text/text.h"

namespace lantrel {

namespace {

void ReportUnmatchedText(Server& server, const std::string& text) {
    ChessState& chess = server.chess;
    LiveGame& game = server.game;
    server.screen.RepaintBoard();
    const std::string sideLine = chess.whiteOnMove == 1
                                     ? " white to play... player= " + game.whitePlayer
                                     : " black to play... player= " + game.blackPlayer;
    const std::string lines[] = {
        "",
        "************************ Error ********************************",
        "Cannot find the following move...",
        text,
        "ply=" + NumberText(game.plyCount),
        "No. of legal moves" + NumberText(chess.moveList.count),
        sideLine,
        "===============================================================",
        "",
    };
    for (const std::string& line : lines)
        WriteServerLog(server, line);
    game.moveErrorCount += 1;
    Console& console = server.os.console;
    console.SetColour(kLightRed);
    PrintAt(console, 22, 50, "Move error count =" + PrintForm(game.moveErrorCount));
    console.EndLine();
    console.SetColour(kNormal);
}

}  // namespace

void WriteFen(Server& server) {
    LiveGame& game = server.game;
    game.previousFen = std::move(game.fen);
    game.fen = FenText(server.chess);
    server.screen.ShowFen(game.fen);
}

void PlayMoveText(Server& server, std::string& logText) {
    ChessState& chess = server.chess;
    LiveGame& game = server.game;
    Console& console = server.os.console;

    const std::int32_t found = FindGameMove(chess, logText);
    console.Print("(" + logText + ")      ");
    console.EndLine();
    if (found == 0) {
        ReportUnmatchedText(server, logText);
        return;
    }

    WriteServerLog(server, "<" + game.lineStamp + "> Move " + NumberText(game.plyCount + 1) + ": " +
                               logText + ", Index = " + NumberText(found));

    const Side mover = chess.whiteOnMove == 1 ? Side::kWhite : Side::kBlack;
    PlayGameMove(chess, found);
    game.gameNotStarted = 0;
    game.plyCount += 1;
    // Plies 1 and 2 are move 1, plies 3 and 4 move 2, ...
    game.lastMove = PlayedMove{(game.plyCount + 1) / 2, mover, chess.moveTexts[2][found]};

    const std::int32_t fiftyMoveCount = chess.halfmoveClock / 2;
    console.SetColour(kLightMagenta);
    PrintAt(console, 22, 24, "50 Move Rule=" + PrintForm(fiftyMoveCount));
    console.EndLine();
    console.SetColour(kNormal);

    WriteFen(server);
    const bool live = game.headerSent == 1;
    server.outputs.MovePlayed(*game.lastMove, game.fen, fiftyMoveCount, live);
    if (live) server.os.clock.SleepMs(server.config.delayAfterMove);
    if (game.plyCount == 1) MakeSaveDebugName(server);
}

}  // namespace lantrel
