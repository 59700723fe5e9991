// FEN writer, reader and loader.
#include "chess/fen.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "text/text.h"

namespace lantrel {

namespace {

constexpr char kWhiteLetters[] = " PNBRQK";
constexpr char kBlackLetters[] = " pnbrqk";

char Cased(char upper, bool white) {
    return white ? upper : static_cast<char>(upper | 0x20);
}

// The outermost rook of the wing's colour on its side of the king, on the
// king's rank (0 when there is none): the rook an X-FEN K or Q names.
int OutermostRook(const Cells& cells, const CastlingWing& wing, int king) {
    const std::int32_t rook = wing.white ? kRook : -kRook;
    const int edge = CellOf(RowOf(king), wing.kingSide ? 8 : 1);
    const int step = wing.kingSide ? -1 : 1;
    for (int cell = edge; cell != king; cell += step)
        if (cells[cell] == rook) return cell;
    return 0;
}

// A wing's castling letter in X-FEN: K, Q, k or q for the standard castling
// and for a Chess960 rook that is the outermost on its side, else the rook's
// file (Shredder-FEN's letter), in capitals for White.
char CastlingLetter(const Cells& cells, const CastlingWing& wing) {
    const int rook = cells[wing.rookCell];
    const int king = wing.white ? CellOf(8, 1) : CellOf(1, 1);
    int kingCell = 0;
    for (int cell = king; cell < king + 8; ++cell)
        if (cells[cell] == (wing.white ? kKing : -kKing)) kingCell = cell;
    if (rook == 0 || (kingCell != 0 && OutermostRook(cells, wing, kingCell) == rook))
        return Cased(wing.kingSide ? 'K' : 'Q', wing.white);
    return Cased(static_cast<char>('A' + FileOf(rook) - 1), wing.white);
}

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
    fen += board.sideToMove == PieceColour::kBlack ? " b " : " w ";
    for (const CastlingWing& wing : kCastlingWings) {
        if (board.cells[wing.stateCell] == kCastlingOpen) fen += CastlingLetter(board.cells, wing);
    }
    return fen;
}

std::string FullFenText(const Board& board, std::int32_t moveNumber) {
    std::string fen = FenText(board);
    if (fen.back() == ' ') fen += '-';
    const std::int32_t enPassant = board.cells[kEnPassantCell];
    fen += ' ';
    if (enPassant > 0) {
        fen += static_cast<char>('a' + FileOf(enPassant) - 1);
        fen += static_cast<char>('0' + RankOf(enPassant));
    } else {
        fen += '-';
    }
    return fen + " " + std::to_string(board.halfmoveClock) + " " + std::to_string(moveNumber);
}

namespace {

// The placement field into the squares of `b` (king squares set, 0 when a
// side has none). Returns what is wrong with it, or an empty text.
std::string ReadPlacement(std::string_view placement, Board& b) {
    for (int i = 22; i <= 99; ++i) {
        if (IsSquare(i)) b.cells[i] = 0;
    }
    b.whiteKingSquare = b.blackKingSquare = 0;
    int row = 1, file = 1;
    for (char c : placement) {
        if (c == '/') {
            if (file != 9) return "rank " + std::to_string(9 - row) + " is not 8 squares";
            if (++row > 8) return "more than 8 ranks";
            file = 1;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 9) return "rank " + std::to_string(9 - row) + " is not 8 squares";
        } else {
            const std::string_view letters = "pnbrqk";
            const auto at = letters.find(static_cast<char>(c | 0x20));
            if (at == std::string_view::npos) return std::string("bad letter '") + c + "'";
            if (file > 8) return "rank " + std::to_string(9 - row) + " is not 8 squares";
            const int cell = CellOf(row, file++);
            const std::int32_t type = static_cast<std::int32_t>(at) + 1;
            b.cells[cell] = (c >= 'a') ? -type : type;
            if (b.cells[cell] == kKing) b.whiteKingSquare = cell;
            if (b.cells[cell] == -kKing) b.blackKingSquare = cell;
        }
    }
    if (row != 8) return std::to_string(row) + " ranks instead of 8";
    if (file != 9) return "rank 1 is not 8 squares";
    return "";
}

// The largest halfmove clock a FEN may give: the moves that follow count it up
// one by one, so it keeps room above.
constexpr std::int32_t kMaxHalfmoveClock = 999'999'999;

// Pieces of one colour (+1 White, -1 Black) of type `type` on the board.
int CountPieces(const Board& b, std::int32_t piece) {
    int n = 0;
    for (int i = 22; i <= 99; ++i) {
        if (IsSquare(i) && b.cells[i] == piece) ++n;
    }
    return n;
}

}  // namespace

namespace {

// The castling field into the state cells and the Chess960 rook cells of `b`
// (its pieces placed): "-", or distinct letters. K, Q, k and q name the
// standard castling (the king on the e-file, the rook in its corner) and in
// Chess960 the outermost rook on that side of the king (X-FEN); a file letter
// names the rook on that file, A to H for White and a to h for Black
// (Shredder-FEN, and X-FEN for an inner rook). A right whose king is not on
// its first rank or whose rook is not where the letter says is dropped, as
// the position cannot have it. False when the field is none of these.
bool ReadCastling(const std::string& field, bool chess960, Board& b) {
    for (const CastlingWing& wing : kCastlingWings) {
        b.cells[wing.stateCell] = kCastlingLost;
        b.cells[wing.rookCell] = 0;
    }
    if (field == "-") return true;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char letter = field[i];
        const char upper = static_cast<char>(letter & ~0x20);
        if (std::string_view("KQABCDEFGH").find(upper) == std::string_view::npos ||
            field.find(letter, i + 1) != std::string::npos) {
            return false;
        }
    }
    for (const char letter : field) {
        const bool white = letter < 'a';
        const char upper = static_cast<char>(letter & ~0x20);
        const int king = white ? b.whiteKingSquare : b.blackKingSquare;
        const int backRow = white ? 8 : 1;
        const std::int32_t rookPiece = white ? kRook : -kRook;
        if (RowOf(king) != backRow) continue;
        int rook = 0;
        bool kingSide = upper == 'K';
        if (upper == 'K' || upper == 'Q') {
            const CastlingWing& wing = WingOf(white, kingSide);
            if (king == wing.kingHome && b.cells[wing.rookHome] == rookPiece) {
                rook = wing.rookHome;
            } else if (chess960) {
                rook = OutermostRook(b.cells, wing, king);
            }
        } else {
            rook = CellOf(backRow, upper - 'A' + 1);
            kingSide = rook > king;
            if (b.cells[rook] != rookPiece) rook = 0;
        }
        if (rook == 0) continue;
        const CastlingWing& wing = WingOf(white, kingSide);
        b.cells[wing.stateCell] = kCastlingOpen;
        const bool standard = king == wing.kingHome && rook == wing.rookHome;
        b.cells[wing.rookCell] = standard ? 0 : rook;
    }
    return true;
}

}  // namespace

bool LoadFen(Board& board, std::string_view fen, bool chess960) {
    std::istringstream in{std::string(fen)};
    std::string placement, side = "w", castling = "-", enPassant = "-";
    int halfmove = 0;
    if (!(in >> placement)) return false;
    in >> side >> castling >> enPassant >> halfmove;

    Board b;
    if (!ReadPlacement(placement, b).empty()) return false;
    if (side != "w" && side != "b") return false;
    b.sideToMove = side == "w" ? PieceColour::kWhite : PieceColour::kBlack;
    if (chess960 || castling.find_first_of("ABCDEFGHabcdefgh") != std::string::npos) {
        if (!ReadCastling(castling, chess960, b)) return false;
    } else {
        b.cells[kWhiteKingSide] = Contains(castling, "K") ? kCastlingOpen : kCastlingLost;
        b.cells[kWhiteQueenSide] = Contains(castling, "Q") ? kCastlingOpen : kCastlingLost;
        b.cells[kBlackKingSide] = Contains(castling, "k") ? kCastlingOpen : kCastlingLost;
        b.cells[kBlackQueenSide] = Contains(castling, "q") ? kCastlingOpen : kCastlingLost;
    }
    b.cells[kEnPassantCell] = 0;
    if (enPassant.size() == 2 && enPassant[0] >= 'a' && enPassant[0] <= 'h' &&
        enPassant[1] >= '1' && enPassant[1] <= '8') {
        b.cells[kEnPassantCell] = CellOf(9 - (enPassant[1] - '0'), enPassant[0] - 'a' + 1);
    }
    b.halfmoveClock = halfmove;
    board = b;
    return true;
}

FenReading ReadFen(std::string_view text, bool chess960) {
    FenReading reading;
    std::vector<std::string> fields;
    std::istringstream in{std::string(text)};
    for (std::string field; in >> field;)
        fields.push_back(field);
    if (fields.size() < 4) {
        reading.error = "placement, side, castling and en passant are needed";
        return reading;
    }
    if (fields.size() > 6) {
        reading.error = "more than six fields";
        return reading;
    }

    Board b;
    if (std::string error = ReadPlacement(fields[0], b); !error.empty()) {
        reading.error = error;
        return reading;
    }
    for (int file = 1; file <= 8; ++file) {
        if (std::abs(b.cells[CellOf(1, file)]) == kPawn ||
            std::abs(b.cells[CellOf(8, file)]) == kPawn) {
            reading.error = "a pawn on the first or last rank";
            return reading;
        }
    }
    const int whiteKings = CountPieces(b, kKing);
    const int blackKings = CountPieces(b, -kKing);
    if (whiteKings != 1 || blackKings != 1) {
        reading.error = std::to_string(whiteKings) + " White and " + std::to_string(blackKings) +
                        " Black kings";
        return reading;
    }

    if (fields[1] != "w" && fields[1] != "b") {
        reading.error = "side to move '" + fields[1] + "'";
        return reading;
    }
    b.sideToMove = fields[1] == "w" ? PieceColour::kWhite : PieceColour::kBlack;

    if (!ReadCastling(fields[2], chess960, b)) {
        reading.error = "castling '" + fields[2] + "'";
        return reading;
    }

    // En passant: the square the pawn passed over, on rank 6 when White is to
    // move and on rank 3 when Black is.
    const std::string& enPassant = fields[3];
    b.cells[kEnPassantCell] = 0;
    if (enPassant != "-") {
        const bool whiteToMove = b.sideToMove == PieceColour::kWhite;
        const int targetRank = whiteToMove ? 6 : 3;
        if (enPassant.size() != 2 || enPassant[0] < 'a' || enPassant[0] > 'h' ||
            enPassant[1] - '0' != targetRank) {
            reading.error = "en passant '" + enPassant + "'";
            return reading;
        }
        const int target = CellOf(9 - targetRank, enPassant[0] - 'a' + 1);
        // The pawn that passed stands one step beyond the target, seen from
        // the side to move; the target and the square it came from are empty.
        const int ahead = whiteToMove ? 10 : -10;
        const std::int32_t passedPawn = whiteToMove ? -kPawn : kPawn;
        if (b.cells[target + ahead] == passedPawn && b.cells[target] == 0 &&
            b.cells[target - ahead] == 0) {
            b.cells[kEnPassantCell] = target;
        }
    }

    if (fields.size() >= 5) {
        const auto clock = ReadNumber<std::int32_t>(fields[4]);
        if (!clock || *clock > kMaxHalfmoveClock) {
            reading.error = "halfmove clock '" + fields[4] + "'";
            return reading;
        }
        b.halfmoveClock = *clock;
    } else {
        b.halfmoveClock = 0;
    }
    if (fields.size() == 6 && !ReadNumber<std::int32_t>(fields[5])) {
        reading.error = "move number '" + fields[5] + "'";
        return reading;
    }

    // The side that has just moved cannot be in check: its king could be taken.
    const PieceColour mover = Opponent(b.sideToMove);
    const std::int32_t moverKing =
        mover == PieceColour::kWhite ? b.whiteKingSquare : b.blackKingSquare;
    if (IsAttacked(b, moverKing, b.sideToMove)) {
        reading.error = "the side not to move is in check";
        return reading;
    }

    b.searchPly = 1;
    reading.board = b;
    return reading;
}

}  // namespace lantrel
