// The game feed: reading the GUI's debug log and following the game in it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "chess/chess.h"
#include "events/game_output.h"
#include "feed/live_game.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace lantrel {

// What the feed takes from server.ini.
struct FeedSettings {
    std::string path;                      // the GUI's debug log
    std::int32_t delayAfterMove = 300;     // ms
    std::int32_t delayAfterGame = 1000;    // ms, counted in whole seconds
    bool icsMode = false;                  // an engine against a human on a chess server
    bool saveDebug = false;                // keep the processed lines in debug.tmp
    std::optional<LogDialect> logDialect;  // nothing: recognised from the log's lines
};

// The operator's screen as the feed reports to it.
class FeedScreen {
  public:
    virtual ~FeedScreen() = default;
    // A player's row as the GUI starts its engine or gives it a colour.
    virtual void ShowPlayerStarted(PieceColour side, const std::string& name) = 0;
    // Both players' rows once an engine named itself or the colours were given.
    virtual void ShowPlayers(const std::string& white, const std::string& black) = 0;
    // A new game: its number, and the move error count back at zero.
    virtual void ShowNewGame(std::int32_t gameNumber, std::int32_t moveErrors) = 0;
    virtual void ShowMoveErrors(std::int32_t count) = 0;
    // "Move: " where the move an engine sent is shown, then that move's text.
    virtual void ShowMoveLabel() = 0;
    virtual void ShowMoveText(const std::string& text) = 0;
    virtual void ShowFiftyMoveCount(std::int32_t count) = 0;
    virtual void ShowFen(const std::string& fen) = 0;
    // The console board: the squares that changed since drawn; or, after
    // RepaintBoard, every square.
    virtual void DrawBoard(const Cells& cells) = 0;
    virtual void RepaintBoard() = 0;
    // The pause after a result.
    virtual void ShowPaused(bool paused) = 0;
    // A word for the operator about the game (a variant not followed).
    virtual void ShowFeedNotice(const std::string& text) = 0;
};

// The game feed: its records and what it reaches of the rest.
struct Feed {
    Feed(Clock& systemClock, std::string workingDir, const FeedSettings& feedSettings,
         FeedScreen& feedScreen, GameOutput& gameOutput, const Journal& serverLog)
        : clock(systemClock),
          workDir(std::move(workingDir)),
          settings(feedSettings),
          screen(feedScreen),
          output(gameOutput),
          journal(serverLog) {}
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    Clock& clock;
    std::string workDir;  // where debug.tmp and its saved copies go
    const FeedSettings& settings;
    FeedScreen& screen;
    GameOutput& output;
    const Journal& journal;  // server.log
    // Whether the process has been asked to end; long pauses check it so that a
    // stop is not held up by them.
    std::function<bool()> stopRequested = [] { return false; };

    LiveGame game;
    FeedState reader;
    ChessState chess;

    // A working file's full name (debug.tmp and its saved copies).
    std::string File(const std::string& name) const { return ResolvePath(workDir, name); }
};

// Longest partial line kept; the rest of a longer "line" (a binary file named
// as the log) is dropped, with one note in server.log.
constexpr std::size_t kMaxLineLength = 64 * 1024;
// How many of the last bytes read FeedState::readTail keeps.
constexpr std::size_t kReadTailLength = 64;

// Reads the bytes of the open GUI log from `bytesRead` up to `logSize`, hands
// every complete line to ProcessLogLine, then makes the end-of-read sends.
// May lower `logSize` to stop short of the first NUL byte of the run.
void ReadNewLogBytes(Feed& feed, const ReadOnlyFile& log);

// The line cutting of ReadNewLogBytes with any line handler (no end-of-read
// sends): CR dropped, LF ends a line, a line without its LF waits in
// `partialLine`, and the first two NUL bytes of the run stop the read.
void CutLogLines(Feed& feed, const ReadOnlyFile& log,
                 const std::function<void(const std::string&)>& onLine);

// End of a read: the latest thinking of each side, and the game header after a
// catch-up read.
void FinishLogRead(Feed& feed);

// Turns one log line into changes of the live game and messages to viewers.
void ProcessLogLine(Feed& feed, const std::string& line);

// Puts the live game back to the start position and tells everybody.
void StartNewGame(Feed& feed);

// Plays a move text from the log: finds the move it names, plays it, logs it,
// reports it to the outputs, then pauses DELAYAFTERMOVE when viewers follow live
// and `pauseWhenLive` (false for moves played to catch up with the GUI, which
// viewers need not watch one by one). `logText` is cleaned in place. A text
// that names no move is reported in server.log and counted; the position stays
// as it was.
void PlayMoveText(Feed& feed, std::string& logText, bool pauseWhenLive = true);

// Takes the game's last move back (the GUI refused it): the position, FEN and
// last move before it return, server.log notes it, the console and the outputs
// are told. Nothing happens when this game has no move to take back.
void TakeBackLastMove(Feed& feed);

// Writes the FEN of the current position to `fen` (keeping `previousFen`) and
// shows it.
void WriteFen(Feed& feed);

// One turn of every output (the network): the main loop's, and the feed's own
// during long reads and pauses. `waitMs` < 0 means each output's own wait; 0
// (in the middle of a read, more lines waiting) serves what is there and keeps
// the turn open, any other wait ends the turn first.
void ServeOutputs(Feed& feed, int waitMs = -1);

// The game as a newcomer needs it.
GameSnapshot SnapshotOf(const LiveGame& game);

// The player of `side` as the outputs name it (PlayerName).
PlayerName PlayerOf(const LiveGame& game, PieceColour side);

// Builds the name that debug.tmp takes at the next reset, from the player names.
void MakeSaveDebugName(Feed& feed);

// Characters that cannot stand in a file name replaced by "_".
std::string SafeFileNamePart(const std::string& text);

}  // namespace lantrel
