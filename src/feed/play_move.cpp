// A move from the log played on the game's board, with everything around it:
// the console, server.log, the outputs, the pause, and the report of a text
// that names no move.
#include "chess/fen.h"
#include "chess/move_query.h"
#include "feed/feed.h"
#include "feed/parsing.h"
#include "text/text.h"

namespace lantrel {

namespace {

void ReportUnmatchedText(Feed& feed, const std::string& text) {
    ChessState& chess = feed.chess;
    LiveGame& game = feed.game;
    feed.screen.RepaintBoard();
    const std::string sideLine = chess.sideToMove == PieceColour::kWhite
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
        feed.journal.Write(line);
    game.moveErrorCount += 1;
    feed.screen.ShowMoveErrors(game.moveErrorCount);
}

}  // namespace

void WriteFen(Feed& feed) {
    LiveGame& game = feed.game;
    game.previousFen = std::move(game.fen);
    game.fen = FenText(feed.chess);
    feed.screen.ShowFen(game.fen);
}

void PlayMoveText(Feed& feed, std::string& logText, bool pauseWhenLive) {
    ChessState& chess = feed.chess;
    LiveGame& game = feed.game;

    const std::int32_t found = FindGameMove(chess, logText);
    feed.screen.ShowMoveText(logText);
    if (found == 0) {
        ReportUnmatchedText(feed, logText);
        return;
    }

    // server.log hears of the move once the viewers have it: the file's open,
    // write and close are not on the move's way out.
    const std::string journalLine = "<" + game.lineStamp + "> Move " +
                                    NumberText(game.plyCount + 1) + ": " + logText +
                                    ", Index = " + NumberText(found);

    const PieceColour mover = chess.sideToMove;
    game.beforeLastMove =
        BeforeLastMove{chess, game.fen, game.previousFen, game.lastMove, game.gameNotStarted};
    PlayGameMove(chess, found);
    game.gameNotStarted = false;
    game.plyCount += 1;
    // Plies 1 and 2 are move 1, plies 3 and 4 move 2, ...
    // The mover's latest search of this read is its thinking for this move,
    // once: a read that holds several of its moves (catching up with an old
    // log) would otherwise give the same line to each of them.
    std::string& search = mover == PieceColour::kWhite ? game.moveWhitePv : game.moveBlackPv;
    game.lastMove = PlayedMove{(game.plyCount + 1) / 2, mover, chess.moveTexts[2][found],
                               search.empty() ? std::nullopt : std::optional(ReadThinking(search))};
    search.clear();

    const MoveRecord& played = chess.moveList[found];
    game.lastMove->uci = UciMoveText(played);
    if (game.chess960 && (played.kind == kCastleKingSide || played.kind == kCastleQueenSide)) {
        // UCI_Chess960's castling: the king taking its own rook.
        const Cells& before = game.beforeLastMove->position.cells;
        const CastlingWing& wing = WingOf(before[played.from] > 0, played.kind == kCastleKingSide);
        game.lastMove->uci = SquareName(played.from) + SquareName(CastlingRookSquare(before, wing));
    }
    game.lastMove->from = SquareName(played.from);
    game.lastMove->to = SquareName(played.to);

    const std::int32_t fiftyMoveCount = chess.halfmoveClock / 2;
    feed.screen.ShowFiftyMoveCount(fiftyMoveCount);

    WriteFen(feed);
    const bool live = game.headerSent;
    feed.output.MovePlayed(*game.lastMove, game.fen, fiftyMoveCount, live);
    feed.journal.Write(journalLine);
    if (live && pauseWhenLive) {
        // The move does not wait out the pause: it ends the turn.
        if (feed.settings.delayAfterMove > 0) feed.output.TurnEnded();
        feed.clock.SleepMs(feed.settings.delayAfterMove);
    }
    if (game.plyCount == 1) MakeSaveDebugName(feed);
}

void TakeBackLastMove(Feed& feed) {
    LiveGame& game = feed.game;
    if (!game.beforeLastMove) return;
    const PlayedMove refused = *game.lastMove;  // set with beforeLastMove
    BeforeLastMove& before = *game.beforeLastMove;
    static_cast<Board&>(feed.chess) = before.position;
    game.fen = std::move(before.fen);
    game.previousFen = std::move(before.previousFen);
    game.lastMove = std::move(before.lastMove);
    game.gameNotStarted = before.gameNotStarted;
    game.plyCount -= 1;
    game.beforeLastMove.reset();

    feed.journal.Write("<" + game.lineStamp +
                       "> Move taken back (the GUI refused it): " + std::to_string(refused.number) +
                       (refused.side == PieceColour::kWhite ? ". " : "... ") + refused.san);
    feed.screen.DrawBoard(feed.chess.cells);
    feed.screen.ShowFen(game.fen);
    feed.screen.ShowFiftyMoveCount(feed.chess.halfmoveClock / 2);
    feed.output.MoveTakenBack(refused, game.fen, game.headerSent);
}

}  // namespace lantrel
