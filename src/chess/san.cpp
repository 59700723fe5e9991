// The SAN writer.
//
// The three disambiguation stages are kept as they are even where they differ
// from textbook SAN (three queens on a1, a3 and c1 give Q1b2, Q3b2 and Qcb2),
// because viewers match and show these texts.
#include "chess/san.h"

#include <cstdlib>

#include "chess/fen.h"

namespace lantrel {

namespace {

constexpr const char* kPromotionSuffix[8] = {"", "", "", "=N", "=B", "=R", "=Q", ""};

char FileChar(int cell) {
    return static_cast<char>('a' + FileOf(cell) - 1);
}
char RankChar(int cell) {
    return static_cast<char>('0' + RankOf(cell));
}

enum class Stage { kPlain, kFile, kRank, kFileAndRank };

// The text of one entry in the form of a stage.
void WriteText(const Board& board, const MoveRecord& m, Stage stage, std::string& out) {
    char text[16];
    int n = 0;
    const int piece = std::abs(board.cells[m.from]);
    if (stage == Stage::kPlain) {
        if (m.kind == kCastleKingSide) {
            out = "O-O";
            return;
        }
        if (m.kind == kCastleQueenSide) {
            out = "O-O-O";
            return;
        }
        if (piece == kPawn) {
            if (m.captured > 0 || m.kind == kEnPassant) {
                text[n++] = FileChar(m.from);
                text[n++] = 'x';
            }
        } else {
            text[n++] = Tables().pieceLetters[piece][0];
            if (m.captured > 0) text[n++] = 'x';
        }
    } else {
        text[n++] = Tables().pieceLetters[piece][0];
        if (stage != Stage::kRank) text[n++] = FileChar(m.from);
        if (stage != Stage::kFile) text[n++] = RankChar(m.from);
        if (m.captured > 0) text[n++] = 'x';
    }
    text[n++] = FileChar(m.to);
    text[n++] = RankChar(m.to);
    for (const char* s = kPromotionSuffix[m.kind & 7]; *s; ++s)
        text[n++] = *s;
    out.assign(text, n);
}

}  // namespace

void BuildSanTexts(const Board& board, const MoveList& list, MoveTextColumn& san) {
    const int count = list.count;
    std::array<bool, kMaxMoves + 1> ambiguous{};

    // Equal texts always name the same target square (castling texts only
    // meet each other), so each collision stage compares the entries of one
    // target only: the same result as comparing every pair, far fewer compares.
    std::array<std::int16_t, kBoardCells> firstOnTarget;
    firstOnTarget.fill(0);
    std::array<std::int16_t, kMaxMoves + 1> nextOnTarget{};
    for (int n = count; n >= 1; --n) {
        const int to = list[n].to;
        nextOnTarget[n] = firstOnTarget[to];
        firstOnTarget[to] = static_cast<std::int16_t>(n);
    }
    auto markCollisions = [&]() {
        bool any = false;
        for (int i = 1; i <= count; ++i) {
            for (int j = nextOnTarget[i]; j != 0; j = nextOnTarget[j]) {
                if (san[i] == san[j]) {
                    ambiguous[i] = true;
                    ambiguous[j] = true;
                    any = true;
                }
            }
        }
        return any;
    };
    auto rewrite = [&](Stage stage) {
        for (int n = 1; n <= count; ++n) {
            if (!ambiguous[n]) continue;
            ambiguous[n] = false;
            WriteText(board, list[n], stage, san[n]);
        }
    };

    for (int n = 1; n <= count; ++n)
        WriteText(board, list[n], Stage::kPlain, san[n]);
    for (Stage stage : {Stage::kFile, Stage::kRank, Stage::kFileAndRank}) {
        if (!markCollisions()) break;  // nothing flagged: the later stages change nothing
        rewrite(stage);
    }
}

std::string CheckMark(const Board& after) {
    const PieceColour mover = after.sideToMove;
    const std::int32_t king =
        mover == PieceColour::kWhite ? after.whiteKingSquare : after.blackKingSquare;
    if (!IsAttacked(after, king, Opponent(mover))) return {};
    Board board = after;
    MoveList replies;
    GenerateMoves(board, replies, mover, false);
    return replies.count == 0 ? "#" : "+";
}

std::string PlayPgnMove(Board& board, std::string_view fenAfter) {
    MoveList legal;
    GenerateMoves(board, legal, board.sideToMove, false);
    MoveTextColumn san;
    BuildSanTexts(board, legal, san);
    for (int n = 1; n <= legal.count; ++n) {
        const MoveRecord& m = legal[n];
        Board after = board;
        MakeMove(after, m.from, m.to, m.kind, after.searchPly);
        if (FenText(after) != fenAfter) continue;
        // A fresh board from the position: the undo stack does not grow over a game.
        after.searchPly = 1;
        board = after;
        return san[n] + CheckMark(board);
    }
    return {};
}

}  // namespace lantrel
