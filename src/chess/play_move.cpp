// Move text matching: the one place where a game move changes the position.
//
// The GUI logs moves in whatever form its engines use (e2e4, e7e8q, Ng1-f3,
// Nf3+, O-O, 0-0-0 ...). Instead of parsing them, every generated move is
// written in three forms and the text is looked up among them, first in the
// pseudo-legal list, then in the legal one.
#include <cstdlib>

#include "app/server.h"
#include "chess/chess.h"
#include "chess/move_text.h"
#include "feed/feed.h"
#include "net/net.h"
#include "text/text.h"

namespace lantrel {

MoveTextMarks NormaliseMoveText(std::string& text) {
    MoveTextMarks marks;
    text = TrimRightBlanks(text);
    marks.eqMark = Contains(text, "=") ? "=" : "";
    marks.queenMark = (Contains(text, "q") || Contains(text, "Q")) ? 1 : 0;
    // Check and mate marks: the text is cut back until none is left, so
    // whatever followed the first mark goes with it.
    while (Contains(text, "+"))
        text.pop_back();
    while (Contains(text, "#"))
        text.pop_back();
    text = TrimBlanks(text);
    // A comment after the move, and WinBoard's "<e>" end mark.
    if (const std::size_t blank = Find(text, " ")) text.resize(blank - 1);
    if (const std::size_t mark = Find(text, "<e>")) text.resize(mark - 1);
    if (text == "o-o" || text == "0-0") text = "O-O";
    if (text == "o-o-o" || text == "0-0-0") text = "O-O-O";
    if (Contains(text, "-")) marks.separator = "-";
    if (Contains(text, "X")) marks.separator = "X";
    if (Contains(text, "x")) marks.separator = "X";
    return marks;
}

void BuildCoordinateTexts(const Board& board, const MoveList& list, const MoveTextMarks& marks,
                          MoveTextColumn& withPiece, MoveTextColumn& coordinates) {
    const ChessTables& t = Tables();
    for (int n = 1; n <= list.count; ++n) {
        const MoveRecord& m = list[n];
        std::string& text = coordinates[n];
        text.clear();
        text += t.fileLetters[FileOf(m.from)];
        text += static_cast<char>('0' + RankOf(m.from));
        text += marks.separator;
        text += t.fileLetters[FileOf(m.to)];
        text += static_cast<char>('0' + RankOf(m.to));
        if (m.kind >= kPromoteKnight && m.kind <= kPromoteRook) {
            text += marks.eqMark;
            text += "NBR"[m.kind - kPromoteKnight];
        } else if (m.kind == kPromoteQueen && marks.queenMark == 1) {
            text += marks.eqMark;
            text += 'Q';
        }
        const int piece = std::abs(board.cells[m.from]);
        withPiece[n].assign(piece <= kKing ? t.pieceLetters[piece] : std::string());
        withPiece[n] += text;
    }
}

std::int32_t FindTextEntry(const MoveList& list, const MoveTextColumn& withPiece,
                           const MoveTextColumn& coordinates, const MoveTextColumn& san,
                           const std::string& text, const std::string& upper) {
    std::int32_t bySan = 0;
    std::int32_t byCoordinates = 0;
    for (int n = 1; n <= list.count; ++n) {
        if (san[n] == text) bySan = n;
        if (coordinates[n] == upper || withPiece[n] == upper) byCoordinates = n;
    }
    return bySan != 0 ? bySan : byCoordinates;
}

namespace {

// One matching pass: generates, writes the three texts of every entry and
// returns the entry the text names (0 = none).
std::int32_t MatchPass(ChessState& chess, const std::string& text, const std::string& upper,
                       const MoveTextMarks& marks, std::int32_t skipLegality) {
    const std::int32_t side = chess.whiteOnMove;
    GenerateMoves(chess, chess.moveList, side, skipLegality);
    chess.whiteOnMove = side;
    auto& texts = chess.moveTexts;
    BuildCoordinateTexts(chess, chess.moveList, marks, texts[0], texts[1]);
    BuildSanTexts(chess, chess.moveList, texts[2]);
    return FindTextEntry(chess.moveList, texts[0], texts[1], texts[2], text, upper);
}

// Plays entry `found` of the list as the game's next move.
void ApplyMove(ChessState& chess, std::int32_t found) {
    const MoveRecord& move = chess.moveList[found];
    MakeMove(chess, move.from, move.to, move.kind, chess.searchPly);
}

void ReportUnmatchedText(Server& server, const std::string& text) {
    ChessState& chess = server.chess;
    LiveGame& game = server.game;
    for (int i = 1; i <= 100; ++i)
        chess.drawnBoard[i] = kOffBoard;
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

void PlayMoveText(Server& server, std::string& logText) {
    ChessState& chess = server.chess;
    LiveGame& game = server.game;
    Console& console = server.os.console;

    const MoveTextMarks marks = NormaliseMoveText(logText);
    console.Print("(" + logText + ")      ");
    console.EndLine();

    const std::string upper = UpperAscii(logText);
    std::int32_t found = MatchPass(chess, logText, upper, marks, 1);
    if (found == 0) found = MatchPass(chess, logText, upper, marks, 0);
    if (found == 0) {
        ReportUnmatchedText(server, logText);
        return;
    }

    WriteServerLog(server, "<" + game.lineStamp + "> Move " + NumberText(game.plyCount + 1) + ": " +
                               logText + ", Index = " + NumberText(found));

    ApplyMove(chess, found);
    chess.searchPly = 1;
    game.gameNotStarted = 0;
    game.plyCount += 1;

    // Plies 1 and 2 are move 1, plies 3 and 4 move 2, ...
    const std::string moveText =
        TrimRightBlanks(NumberText((game.plyCount + 1) / 2)) + ". " + chess.moveTexts[2][found];
    game.lastMoveMessage = (chess.whiteOnMove == 1 ? "BMOVE:" : "WMOVE:") + moveText;

    const std::int32_t fiftyMoveCount = chess.halfmoveClock / 2;
    console.SetColour(kLightMagenta);
    PrintAt(console, 22, 24, "50 Move Rule=" + PrintForm(fiftyMoveCount));
    console.EndLine();
    const std::string fiftyMoveMessage = "FMR: " + NumberText(fiftyMoveCount);
    console.SetColour(kNormal);

    WriteFen(server);
    const std::string fenMessage = "FEN: " + game.fen;

    if (game.headerSent == 1) {
        // Keep this order: viewers draw the position before they show the move.
        Broadcast(server, fenMessage);
        Broadcast(server, game.lastMoveMessage);
        Broadcast(server, fiftyMoveMessage);
        server.os.clock.SleepMs(server.config.delayAfterMove);
    }
    if (game.plyCount == 1) MakeSaveDebugName(server);
}

}  // namespace lantrel
