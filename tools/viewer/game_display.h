// What the reference viewer prints for a person reading along: the board with
// the move that led to it, players, clocks, thinking, users and chat.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "net/viewer_client.h"
#include "screen_text.h"

namespace lantrel {

// A text of other people (a chat line, a name) as a terminal may show it: its
// control characters, C0 and C1 (bytes 0x80..0x9F of Latin-1, which a terminal
// takes as commands), become "?".
std::string ForTerminal(std::string_view latin1);

// A move message as a reader expects it: "WMOVE: 19. e4" gives "19. e4",
// "BMOVE: 19. Bf6" gives "19... Bf6". Any other text comes back without its keyword.
std::string MoveForReaders(std::string_view message);

// True unless the move message plainly did not lead to the position `fen`: the
// side to move must be the other one, and the square the move went to must hold
// the piece that moved (or the king after castling). Parts that cannot be read
// count as agreeing.
bool MoveLedTo(std::string_view message, std::string_view fen);

// Prints the game from the messages a viewer acts upon.
//
// During play the server sends "FEN: " before the move that led to it; when a
// viewer logs on, and when a game starts, the move (or an empty text before the
// first one) comes before the position. A board is therefore held back until the
// move that led to it is known, so that the board and its "Last move" line always
// agree. A board whose move does not come soon, or that is followed by anything
// else, is printed without one.
class GameDisplay {
  public:
    // Lines of moves are broken to fit `columns`.
    explicit GameDisplay(std::ostream& out, std::size_t columns = kScreenColumns)
        : out_(out), columns_(columns) {}

    // One message, after `picture` took it in; `now` in seconds (any steady clock).
    void Show(const GamePicture& picture, const std::string& message, double now);
    // Prints a board held back for longer than kMoveWaitSeconds.
    void Tick(double now);
    // Prints a board still held back.
    void Flush();

    // How long a board waits for its move.
    static constexpr double kMoveWaitSeconds = 0.5;

  private:
    // What is printed above and below a board, as it stood when the position came.
    struct Header {
        std::string white, black, site, level;
    };
    static Header HeaderOf(const GamePicture& picture);
    void PrintBoard(const Header& header, const std::string& fen, const std::string& move);
    void PrintThinking(const char* side, const std::string& line);

    std::ostream& out_;
    std::size_t columns_;
    std::string lastMove_;  // the newest move message; empty before the first move of a game
    bool waiting_ = false;  // a board is held back for its move
    std::string waitingFen_;
    Header waitingHeader_;
    double waitingSince_ = 0;
};

}  // namespace lantrel
