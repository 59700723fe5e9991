// Move text matching.
//
// The GUI logs moves in whatever form its engines use (e2e4, e7e8q, Ng1-f3,
// Nf3+, O-O, 0-0-0 ...). Instead of parsing them, every generated move is
// written in three forms and the text is looked up among them, first in the
// pseudo-legal list, then in the legal one.
#include <cstdlib>

#include "chess/chess.h"
#include "chess/move_text.h"
#include "text/text.h"

namespace lantrel {

MoveTextMarks NormaliseMoveText(std::string& text) {
    MoveTextMarks marks;
    text = TrimRightBlanks(text);
    marks.eqMark = Contains(text, "=") ? "=" : "";
    marks.queenMark = Contains(text, "q") || Contains(text, "Q");
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

namespace {

// A square in capitals ("E1").
void AppendSquare(std::string& text, int cell) {
    text += Tables().fileLetters[FileOf(cell)];
    text += static_cast<char>('0' + RankOf(cell));
}

}  // namespace

void BuildCoordinateTexts(const Board& board, const MoveList& list, const MoveTextMarks& marks,
                          MoveTexts& texts) {
    const ChessTables& t = Tables();
    MoveTextColumn& withPiece = texts[0];
    MoveTextColumn& coordinates = texts[1];
    MoveTextColumn& rookTaken = texts[3];
    for (int n = 1; n <= list.count; ++n) {
        const MoveRecord& m = list[n];
        std::string& text = coordinates[n];
        text.clear();
        rookTaken[n].clear();
        const bool castling = m.kind == kCastleKingSide || m.kind == kCastleQueenSide;
        int to = m.to;
        if (castling) {
            const CastlingWing& wing = WingOf(board.cells[m.from] > 0, m.kind == kCastleKingSide);
            const int rook = CastlingRookSquare(board.cells, wing);
            AppendSquare(rookTaken[n], m.from);
            rookTaken[n] += marks.separator;
            AppendSquare(rookTaken[n], rook);
            if (board.cells[wing.rookCell] != 0 && std::abs(FileOf(m.to) - FileOf(m.from)) < 2)
                to = rook;
        }
        AppendSquare(text, m.from);
        text += marks.separator;
        AppendSquare(text, to);
        if (m.kind >= kPromoteKnight && m.kind <= kPromoteRook) {
            text += marks.eqMark;
            text += "NBR"[m.kind - kPromoteKnight];
        } else if (m.kind == kPromoteQueen && marks.queenMark) {
            text += marks.eqMark;
            text += 'Q';
        }
        const int piece = std::abs(board.cells[m.from]);
        withPiece[n].assign(piece <= kKing ? t.pieceLetters[piece] : std::string());
        withPiece[n] += text;
    }
}

std::int32_t FindTextEntry(const MoveList& list, const MoveTexts& texts, const std::string& text,
                           const std::string& upper) {
    std::int32_t bySan = 0;
    std::int32_t byCoordinates = 0;
    for (int n = 1; n <= list.count; ++n) {
        if (texts[2][n] == text) bySan = n;
        if (texts[1][n] == upper || texts[0][n] == upper ||
            (!texts[3][n].empty() && texts[3][n] == upper))
            byCoordinates = n;
    }
    return bySan != 0 ? bySan : byCoordinates;
}

std::int32_t MatchPass(Board& board, MoveList& list, MoveTexts& texts, const std::string& text,
                       const MoveTextMarks& marks, bool legalOnly) {
    const PieceColour side = board.sideToMove;
    GenerateMoves(board, list, side, !legalOnly);
    board.sideToMove = side;
    BuildCoordinateTexts(board, list, marks, texts);
    BuildSanTexts(board, list, texts[2]);
    return FindTextEntry(list, texts, text, UpperAscii(text));
}

std::int32_t FindGameMove(ChessState& chess, std::string& text) {
    const MoveTextMarks marks = NormaliseMoveText(text);
    std::int32_t found = MatchPass(chess, chess.moveList, chess.moveTexts, text, marks, false);
    if (found == 0) found = MatchPass(chess, chess.moveList, chess.moveTexts, text, marks, true);
    return found;
}

void PlayGameMove(ChessState& chess, std::int32_t entry) {
    const MoveRecord& move = chess.moveList[entry];
    MakeMove(chess, move.from, move.to, move.kind, chess.searchPly);
    chess.searchPly = 1;
}

}  // namespace lantrel
