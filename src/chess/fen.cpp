// FEN writer and loader.
#include "chess/fen.h"

#include <cstdlib>
#include <sstream>

#include "text/text.h"

namespace lantrel {

namespace {

constexpr char kWhiteLetters[] = " PNBRQK";
constexpr char kBlackLetters[] = " pnbrqk";

}  // namespace

std::string FenText(const Board& board) {
    std::string fen;
    fen.reserve(80);
    for (int row = 1; row <= 8; ++row) {
        int empty = 0;
        for (int file = 1; file <= 8; ++file) {
            const std::int32_t v = board.cells[CellOf(row, file)];
            if (v == 0) {
                ++empty;
                continue;
            }
            if (empty > 0) fen += static_cast<char>('0' + empty);
            empty = 0;
            const int a = std::abs(v);
            fen += a <= 6 ? (v > 0 ? kWhiteLetters[a] : kBlackLetters[a]) : '?';
        }
        if (empty > 0) fen += static_cast<char>('0' + empty);
        if (row < 8) fen += '/';
    }
    fen += board.whiteOnMove == 0 ? " b " : " w ";
    if (board.cells[kWhiteKingSide] == kCastlingOpen) fen += 'K';
    if (board.cells[kWhiteQueenSide] == kCastlingOpen) fen += 'Q';
    if (board.cells[kBlackKingSide] == kCastlingOpen) fen += 'k';
    if (board.cells[kBlackQueenSide] == kCastlingOpen) fen += 'q';
    return fen;
}

bool LoadFen(Board& board, std::string_view fen) {
    std::istringstream in{std::string(fen)};
    std::string placement, side = "w", castling = "-", enPassant = "-";
    int halfmove = 0;
    if (!(in >> placement)) return false;
    in >> side >> castling >> enPassant >> halfmove;

    Board b;
    for (int i = 22; i <= 99; ++i) {
        if (IsSquare(i)) b.cells[i] = 0;
    }
    b.whiteKingSquare = b.blackKingSquare = 0;
    int row = 1, file = 1;
    for (char c : placement) {
        if (c == '/') {
            if (file != 9 || ++row > 8) return false;
            file = 1;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 9) return false;
        } else {
            const std::string_view letters = "pnbrqk";
            const auto at = letters.find(static_cast<char>(c | 0x20));
            if (at == std::string_view::npos || file > 8) return false;
            const int cell = CellOf(row, file++);
            const std::int32_t type = static_cast<std::int32_t>(at) + 1;
            b.cells[cell] = (c >= 'a') ? -type : type;
            if (b.cells[cell] == kKing) b.whiteKingSquare = cell;
            if (b.cells[cell] == -kKing) b.blackKingSquare = cell;
        }
    }
    if (row != 8 || file != 9) return false;
    if (side != "w" && side != "b") return false;
    b.whiteOnMove = side == "w" ? kWhite : kBlack;
    b.cells[kWhiteKingSide] = Contains(castling, "K") ? kCastlingOpen : kCastlingLost;
    b.cells[kWhiteQueenSide] = Contains(castling, "Q") ? kCastlingOpen : kCastlingLost;
    b.cells[kBlackKingSide] = Contains(castling, "k") ? kCastlingOpen : kCastlingLost;
    b.cells[kBlackQueenSide] = Contains(castling, "q") ? kCastlingOpen : kCastlingLost;
    b.cells[kEnPassantCell] = 0;
    if (enPassant.size() == 2 && enPassant[0] >= 'a' && enPassant[0] <= 'h' &&
        enPassant[1] >= '1' && enPassant[1] <= '8') {
        b.cells[kEnPassantCell] = CellOf(9 - (enPassant[1] - '0'), enPassant[0] - 'a' + 1);
    }
    b.halfmoveClock = halfmove;
    board = b;
    return true;
}

}  // namespace lantrel
