// The game feed: reading the GUI's debug log and following the game in it.
#pragma once

#include <functional>
#include <string>

#include "feed/game_output.h"

namespace lantrel {

struct Server;
struct LiveGame;
class ReadOnlyFile;

// Longest partial line kept; the rest of a longer "line" (a binary file named
// as the log) is dropped, with one note in server.log.
constexpr std::size_t kMaxLineLength = 64 * 1024;

// Reads the bytes of the open GUI log from `bytesRead` up to `logSize`, hands
// every complete line to ProcessLogLine, then makes the end-of-read sends.
// May lower `logSize` to stop short of the first NUL byte of the run.
void ReadNewLogBytes(Server& server, const ReadOnlyFile& log);

// The line cutting of ReadNewLogBytes with any line handler (no end-of-read
// sends): CR dropped, LF ends a line, a line without its LF waits in
// `partialLine`, and the first two NUL bytes of the run stop the read.
void CutLogLines(Server& server, const ReadOnlyFile& log,
                 const std::function<void(const std::string&)>& onLine);

// End of a read: the latest thinking of each side, and the game header after a
// catch-up read.
void FinishLogRead(Server& server);

// Turns one log line into changes of the live game and messages to viewers.
void ProcessLogLine(Server& server, const std::string& line);

// Puts the live game back to the start position and tells everybody.
void StartNewGame(Server& server);

// Plays a move text from the log: finds the move it names, plays it, logs it,
// reports it to the outputs (then pauses while viewers follow live). `logText`
// is cleaned in place. A text that names no move is reported in server.log and
// counted; the position stays as it was.
void PlayMoveText(Server& server, std::string& logText);

// Writes the FEN of the current position to `fen` (keeping `previousFen`) and
// shows it.
void WriteFen(Server& server);

// One turn of every output (the network): the main loop's, and the feed's own
// during long reads and pauses. `waitMs` < 0 means the configured wait.
void ServeOutputs(Server& server, int waitMs = -1);

// The game as a newcomer needs it.
GameSnapshot SnapshotOf(const LiveGame& game);

// Builds the name that debug.tmp takes at the next reset, from the player names.
void MakeSaveDebugName(Server& server);

// Characters that cannot stand in a file name replaced by "_".
std::string SafeFileNamePart(const std::string& text);

}  // namespace lantrel
