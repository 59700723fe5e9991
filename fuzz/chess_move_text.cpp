// Move texts through PlayMoveText, on positions reached by random legal play.
//
// The input is read from both ends. From the front come text lines: each one is
// handed to PlayMoveText as a move the GUI logged. From the back come control
// bytes: a byte whose two low bits are not both 0 plays a random legal move (the
// next byte from the back picks it) by writing its text in one of four forms and
// handing that to PlayMoveText; a byte with both low bits 0 takes the next text
// line instead. A position without legal moves starts a new game.
//
// The random moves check the matcher too: in a position where the side that is
// not to move is not in check, the text of a legal move (coordinates, coordinates
// with "-", SAN, SAN with "+") must play exactly that move.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "chess/chess.h"
#include "chess/fen.h"
#include "feed/feed.h"
#include "fuzz_support.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

namespace {

std::string SquareText(int cell) {
    std::string s;
    s += static_cast<char>('a' + FileOf(cell) - 1);
    s += static_cast<char>('0' + RankOf(cell));
    return s;
}

// "e2e4", "e7e8q": the coordinate form engines use.
std::string CoordinateText(const MoveRecord& m, const std::string& separator) {
    std::string text = SquareText(m.from) + separator + SquareText(m.to);
    if (m.kind >= kPromoteKnight && m.kind <= kPromoteQueen)
        text += "nbrq"[m.kind - kPromoteKnight];
    return text;
}

bool PositionIsLegal(const Board& board) {
    // The side that has just moved must not have left its king attacked, and both kings stand.
    if (board.whiteKingSquare == 0 || board.blackKingSquare == 0) return false;
    const PieceColour mover = board.sideToMove;
    const std::int32_t otherKing =
        mover == PieceColour::kWhite ? board.blackKingSquare : board.whiteKingSquare;
    return !IsAttacked(board, otherKing, mover);
}

void CheckKingSquares(const Board& board) {
    FUZZ_CHECK(board.whiteKingSquare == 0 || board.cells[board.whiteKingSquare] == kKing);
    FUZZ_CHECK(board.blackKingSquare == 0 || board.cells[board.blackKingSquare] == -kKing);
    FUZZ_CHECK(board.searchPly == 1);
}

// Plays a random legal move through its text and checks that exactly that move was played.
void PlayRandomMove(Server& server, std::uint8_t form, std::uint8_t choice) {
    ChessState& chess = server.feed.chess;
    static MoveList legal;
    static MoveTextColumn san;
    Board probe = chess;
    GenerateMoves(probe, legal, probe.sideToMove, false);
    if (legal.count == 0) {
        StartNewGame(server.feed);
        return;
    }
    const bool checkable = PositionIsLegal(chess);
    const MoveRecord move = legal[choice % legal.count + 1];
    BuildSanTexts(probe, legal, san);

    std::string text;
    switch (form % 4) {
        case 0:
            text = CoordinateText(move, "");
            break;
        case 1:
            text = CoordinateText(move, "-");
            for (char& c : text)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            break;
        case 2:
            text = san[choice % legal.count + 1];
            break;
        default:
            text = san[choice % legal.count + 1] + "+";
            break;
    }

    const std::string fenBefore = FenText(chess);
    Board expected = chess;
    MakeMove(expected, move.from, move.to, move.kind, expected.searchPly);
    const std::int32_t errorsBefore = server.feed.game.moveErrorCount;
    std::string logText = text;
    PlayMoveText(server.feed, logText);
    if (!checkable) return;
    if (server.feed.game.moveErrorCount != errorsBefore || chess.cells != expected.cells) {
        std::fprintf(stderr,
                     "in %s the text \"%s\" did not play its move (from %d to %d, kind %d): %s\n",
                     fenBefore.c_str(), text.c_str(), move.from, move.to, move.kind,
                     server.feed.game.moveErrorCount != errorsBefore ? "no move matched"
                                                                     : "another move was played");
        std::abort();
    }
    FUZZ_CHECK(chess.sideToMove == expected.sideToMove);
    FUZZ_CHECK(chess.halfmoveClock == expected.halfmoveClock);
    FUZZ_CHECK(chess.whiteKingSquare == expected.whiteKingSquare);
    FUZZ_CHECK(chess.blackKingSquare == expected.blackKingSquare);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzServer& f = FuzzServer::Start("PATH=gui.log\nDELAYAFTERMOVE=0\n");
    Server& server = *f;
    server.feed.game.headerSent = true;

    std::size_t front = 0;
    std::size_t back = size;
    int plies = 0;
    while (front < back && plies < 600) {
        const std::uint8_t op = data[--back];
        ++plies;
        if ((op & 3) != 0) {
            const std::uint8_t choice = front < back ? data[--back] : 0;
            PlayRandomMove(server, static_cast<std::uint8_t>(op >> 2), choice);
        } else {
            std::size_t end = front;
            while (end < back && data[end] != '\n')
                ++end;
            std::string text(reinterpret_cast<const char*>(data + front), end - front);
            front = end < back ? end + 1 : end;
            PlayMoveText(server.feed, text);
        }
        CheckKingSquares(server.feed.chess);
    }
    return 0;
}
