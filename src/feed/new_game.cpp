#include "chess/fen.h"
#include "feed/feed.h"

namespace lantrel {

void StartNewGame(Feed& feed) {
    LiveGame& game = feed.game;
    game.gameNotStarted = true;
    game.resultAnnounced = false;
    game.plyCount = 0;
    game.gameNumber += 1;
    game.beforeLastMove.reset();

    game.moveErrorCount = 0;
    game.unfollowedVariant.clear();
    // Lines still pending were thought in the game before: none is this game's.
    game.moveWhitePv.clear();
    game.moveBlackPv.clear();
    feed.screen.ShowNewGame(game.gameNumber, game.moveErrorCount);
    feed.journal.Write("-------------------- New Game ----------------------");

    // Start position, king squares, side to move and fifty-move counter; every
    // square of the console board is marked for repainting.
    ResetBoardForNewGame(feed.chess);
    feed.screen.RepaintBoard();
    feed.screen.DrawBoard(feed.chess.cells);
    WriteFen(feed);
    feed.output.NewGameStarted(game.gameNumber);
    if (game.chess960) feed.output.VariantSet(false);
    game.chess960 = false;
    feed.output.PositionSet(game.fen);
    feed.output.StartPositionInFull(FullFenText(feed.chess, 1));
}

}  // namespace lantrel
