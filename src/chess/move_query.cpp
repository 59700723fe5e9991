// Move-text questions that leave the position alone.
#include "chess/move_query.h"

#include "chess/move_text.h"
#include "chess/san.h"
#include "text/text.h"

namespace lantrel {

namespace {

bool SameMove(const MoveRecord& a, const MoveRecord& b) {
    return a.from == b.from && a.to == b.to && a.kind == b.kind;
}

bool IsFile(char c) {
    return c >= 'a' && c <= 'h';
}
bool IsRank(char c) {
    return c >= '1' && c <= '8';
}

}  // namespace

MoveTextMatch MatchMoveText(const Board& board, std::string_view text) {
    MoveTextMatch match;
    std::string cleaned(text);
    const MoveTextMarks marks = NormaliseMoveText(cleaned);
    if (cleaned.empty()) return match;
    Board scratch = board;
    MoveList list;
    MoveTexts texts;
    std::int32_t found = MatchPass(scratch, list, texts, cleaned, marks, false);
    if (found != 0) {
        match.entry = found;
        match.move = list[found];
        MoveList legal;
        GenerateMoves(scratch, legal, scratch.sideToMove, false);
        for (int n = 1; n <= legal.count; ++n) {
            if (SameMove(legal[n], match.move)) match.legal = true;
        }
        return match;
    }
    found = MatchPass(scratch, list, texts, cleaned, marks, true);
    if (found != 0) {
        match.entry = found;
        match.move = list[found];
        match.legal = true;
    }
    return match;
}

bool IsLegalMoveText(const Board& board, std::string_view text) {
    return MatchMoveText(board, text).legal;
}

bool LooksLikeMoveText(std::string_view word) {
    std::string w(word);
    while (!w.empty() && (w.back() == '+' || w.back() == '#'))
        w.pop_back();
    if (w == "O-O" || w == "O-O-O" || w == "o-o" || w == "o-o-o" || w == "0-0" || w == "0-0-0") {
        return true;
    }
    std::size_t i = 0;
    if (i < w.size() && std::string_view("PNBRQK").find(w[i]) != std::string_view::npos) ++i;
    // The promotion piece at the end, after an optional "=".
    std::size_t end = w.size();
    if (end > i + 2 && std::string_view("QRBNqrbn").find(w[end - 1]) != std::string_view::npos) {
        --end;
        if (end > i + 2 && w[end - 1] == '=') --end;
    }
    // What is left ends with the target square; before it an optional "-" or
    // "x", and before that at most a from-file, a from-rank or a from-square.
    if (end < i + 2 || !IsFile(w[end - 2]) || !IsRank(w[end - 1])) return false;
    std::size_t j = end - 2;
    if (j > i && (w[j - 1] == '-' || w[j - 1] == 'x' || w[j - 1] == 'X')) --j;
    const std::string_view from(w.data() + i, j - i);
    if (from.empty()) return true;
    if (from.size() == 1) return IsFile(from[0]) || IsRank(from[0]);
    return from.size() == 2 && IsFile(from[0]) && IsRank(from[1]);
}

std::string SquareName(std::int32_t cell) {
    return {static_cast<char>('a' + FileOf(cell) - 1), static_cast<char>('0' + RankOf(cell))};
}

std::string UciMoveText(const MoveRecord& move) {
    std::string text = SquareName(move.from) + SquareName(move.to);
    if (move.kind >= kPromoteKnight && move.kind <= kPromoteQueen) {
        text += "nbrq"[move.kind - kPromoteKnight];
    }
    return text;
}

}  // namespace lantrel
