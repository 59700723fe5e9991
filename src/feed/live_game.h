// LiveGame and FeedState: the game being followed and the log reader's state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chess/board.h"
#include "events/game_output.h"
#include "feed/runner_log.h"
#include "platform/files.h"

namespace lantrel {

// One engine as the GUI feeds it, so that a move the GUI plays itself can be
// told from the GUI relaying a move the server has already played.
struct EngineFeed {
    std::int32_t gameId = 0;      // the GuiGame::gameId its count belongs to; another = 0 moves
    std::int32_t moves = 0;       // moves given to it or played by it since its "new"/setboard
    bool movedSinceNew = false;   // a move was sent to it since its "new"
    bool editing = false;         // between "edit" and "." (old-style board set-up)
    bool editWhite = true;        // colour of the pieces being placed ("c" switches)
    std::string editSquares;      // the board being set up, a8 to h1, ' ' = empty
    std::string pendingPosition;  // a UCI "position ..." line waiting for its "go"
    std::string heldMove;         // "a2a3" waiting to see whether "edit" follows
};

// The game the server follows as the GUI built it: where it started, the moves
// played (UCI texts: e2e4, e1g1, e7e8q) and the position after each, so that a
// GUI's "position ... moves ..." or "setboard" can be placed in it.
struct GuiGame {
    std::int32_t gameNumber = -1;        // LiveGame::gameNumber this record follows
    std::int32_t gameId = 0;             // +1 at every start: new game or a position set up
    std::vector<std::string> moves;      // move n at index n - 1 ("" when not known)
    std::vector<std::string> positions;  // before move 1, after move 1, ...: FEN text (no
                                         // clocks) and the square to take en passant on, or "-"
    bool fromPosition = false;           // started from a position the GUI set up
    bool startGuessed = false;           // that position's castling rights are a guess ("edit")
    bool engineMoved = false;            // an engine has announced a move of this game
    bool goSeen = false;                 // an engine has been told "go" in this game
    int lastMover = 0;  // 1 or 2: the engine whose own move is the game's last; 0 the GUI's
    std::array<EngineFeed, 3> engines;  // 1 = first engine, 2 = second
};

// The game as it stood before its last move: what taking that move back restores.
struct BeforeLastMove {
    Board position;
    std::string fen;
    std::string previousFen;
    std::optional<PlayedMove> lastMove;
    bool gameNotStarted = true;
};

struct LiveGame {
    std::string whitePlayer;
    std::string blackPlayer;
    std::string firstEngine;
    std::string secondEngine;
    // The command lines the GUI started the engines with: an engine named by
    // its command line has not named itself yet.
    std::string firstEngineCommand;
    std::string secondEngineCommand;
    std::optional<PieceColour> firstEngineColour;  // none: not yet told
    std::optional<PieceColour> secondEngineColour;
    std::int32_t plyCount = 0;
    bool gameNotStarted = true;
    // The variant the GUI told the engines ("variant fischerandom"): Chess960
    // is followed like the standard game; any other but "normal" is not, and
    // `unfollowedVariant` names it until the next game.
    bool chess960 = false;
    std::string unfollowedVariant;
    bool resultAnnounced = false;  // the GUI gave this game a result: its next "new" starts another
    std::string fen;
    std::string previousFen;
    std::optional<PlayedMove> lastMove;  // kept across new games until the next move
    Level level;
    // The latest thinking line of each side in this read: the viewers are sent
    // it at the end of the read.
    std::string pendingWhitePv;
    std::string pendingBlackPv;
    // The latest line of a search (depth above 0: not a book move's "0 0 0 0")
    // of each side in this read, for the move it came before and that move
    // only (PlayedMove::thinking): a move takes it, and a new game and the end
    // of the read clear it. The first engine's is noted while catching up too,
    // when the viewers are not sent it.
    std::string moveWhitePv;
    std::string moveBlackPv;
    std::string lineStamp;
    bool headerSent = false;  // the catch-up read is done: viewers follow live
    std::int32_t gameNumber = 0;
    std::int32_t moveErrorCount = 0;
    std::string saveDebugName;
    GuiGame guiGame;  // moves and positions the GUI gives its engines
    // Kept at every move, so that a move the GUI refused can be taken back;
    // empty before a game's first move and after a takeback.
    std::optional<BeforeLastMove> beforeLastMove;
    // The side to move (sideToMove) belongs to the position: see ChessState.
};

struct FeedState {
    std::int64_t bytesRead = 0;  // 64-bit: a log past 2 GiB must not wrap
    std::int64_t logSize = 0;
    // The last bytes read (up to kReadTailLength), which end at bytesRead: a log
    // emptied and written anew in place shows other bytes there.
    std::string readTail;
    // The log's first bytes as read (up to kReadTailLength): with readTail, what
    // tells a log that was away for a while and came back from a new one.
    std::string readHead;
    FileIdentity logIdentity;  // the log file those bytes came from
    bool logAway = false;      // the log's name led nowhere since the last read
    std::string partialLine;
    bool redrawBoard = false;
    std::int32_t nulBytesSeen = 0;  // counts up to 2: only the first two matter
    std::int32_t linesSinceService = 0;
    double lastServiceTime = 0;  // monotonic time of the last network service
    // The last "time" the GUI gave an engine of known colour: that colour and the text.
    std::optional<PieceColour> clockSide;
    std::string clockTime;
    bool partialLineCapped = false;  // the over-long line note was written once
    bool arenaLog = false;           // the log is Arena's (its engine markers were seen)
    // Whose log this is, once a line told (or the settings said); a runner's
    // log is translated line by line into WinBoard's.
    std::optional<LogDialect> dialect;
    std::optional<RunnerLog> runnerLog;
    std::string
        logOpenFailure;  // why the log cannot be opened, as server.log was told; empty: it opens
};

}  // namespace lantrel
