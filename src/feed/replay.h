// Replaying a recorded GUI debug log: the pure parts of lantrel-replay.
//
// A recorded log is cut into chunks: each chunk is one line that carries a time
// stamp, followed by the lines without one (continuation lines such as
// "protover 2", or GUI notes such as "StartChildProcess ..."), because the GUI
// wrote those together with the stamped line. Each chunk gets the time at which
// it goes out, in milliseconds after the first stamp of the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

// The time stamp at the start of a log line, in milliseconds, or nothing.
// WinBoard/XBoard: the milliseconds since the GUI started, a blank and an
// engine marker ("1234 >first : go"), as cutechess-cli writes it too. Arena:
// a date and time of day, "2021-03-28 20:19:25.113-->1:go", or the time of
// day alone. fastchess: the time of day in the second brackets,
// "[Engine] [12:10:50.809802] <...>".
std::optional<std::int64_t> ReplayStampMs(std::string_view line);

struct ReplayChunk {
    std::int64_t atMs = 0;  // when it goes out, after the start of the replay
    std::string text;       // whole lines with their line ends, as recorded
};

// Cuts a recorded log into chunks. Lines before the first stamp go out at 0
// together with the first stamped line. A stamp lower than the one before (a
// second GUI run appended to the log, or a clock that passed midnight) adds no
// wait. A last line without a line end is kept as it is.
std::vector<ReplayChunk> BuildReplaySchedule(std::string_view log);

// Command line of lantrel-replay.
struct ReplayOptions {
    double speed = 1;        // 0: no waiting at all
    bool fromStart = false;  // empty the target before the first chunk
    bool loop = false;       // start again, emptying the target, after the end
    int loopPauseMs = 3000;  // pause between two rounds of a loop
    bool verbose = false;    // one line per round on standard error
    std::string recordedLog;
    std::string targetLog;
};

struct ParsedReplayOptions {
    ReplayOptions options;
    std::string error;  // not empty: the command line is wrong, this says why
    bool help = false;  // --help was given
};

ParsedReplayOptions ParseReplayOptions(const std::vector<std::string>& args);

// Milliseconds of replay time at which a chunk stamped `atMs` goes out at `speed`
// times the recorded pace (speed 0: at once).
std::int64_t ReplayTimeMs(std::int64_t atMs, double speed);

extern const char* const kReplayUsage;

}  // namespace lantrel
