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
        } else if (m.kind == kPromoteQueen && marks.queenMark) {
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

std::int32_t MatchPass(Board& board, MoveList& list, MoveTexts& texts, const std::string& text,
                       const MoveTextMarks& marks, bool legalOnly) {
    const PieceColour side = board.sideToMove;
    GenerateMoves(board, list, side, !legalOnly);
    board.sideToMove = side;
    BuildCoordinateTexts(board, list, marks, texts[0], texts[1]);
    BuildSanTexts(board, list, texts[2]);
    return FindTextEntry(list, texts[0], texts[1], texts[2], text, UpperAscii(text));
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
