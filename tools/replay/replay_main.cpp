// lantrel-replay: plays a recorded chess GUI debug log into a log file at the pace
// of its time stamps, so that the server can follow a real game without the GUI.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "feed/replay.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

using Clock = std::chrono::steady_clock;

// Sleeps until `when` in short slices, so that a stop signal ends the wait soon.
// False when a stop was requested.
bool SleepUntil(Clock::time_point when) {
    while (!lantrel::StopRequested()) {
        auto now = Clock::now();
        if (now >= when) return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(when - now, std::chrono::milliseconds(50)));
    }
    return false;
}

int Fail(const std::string& what, const std::string& name, const std::string& whyNot) {
    std::fprintf(stderr, "lantrel-replay: %s '%s': %s\n", what.c_str(), name.c_str(),
                 whyNot.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    lantrel::ParsedReplayOptions parsed =
        lantrel::ParseReplayOptions(lantrel::CommandLineWords(argc, argv));
    if (parsed.help) {
        std::fputs(lantrel::kReplayUsage, stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "lantrel-replay: %s\n\n%s", parsed.error.c_str(),
                     lantrel::kReplayUsage);
        return 2;
    }
    const lantrel::ReplayOptions& options = parsed.options;

    std::string whyNot;
    const std::optional<std::string> content = lantrel::ReadNamedFile(options.recordedLog, whyNot);
    if (!content) return Fail("cannot read the recorded log", options.recordedLog, whyNot);
    const std::vector<lantrel::ReplayChunk> chunks = lantrel::BuildReplaySchedule(*content);

    // Appending, the way a GUI's log grows.
    lantrel::AppendFile target;
    if (!target.Open(options.targetLog, options.fromStart))
        return Fail("cannot write the target log", options.targetLog, target.error());

    lantrel::InstallStopSignals();

    for (int round = 1; !lantrel::StopRequested(); ++round) {
        if (round > 1 && !target.Truncate())
            return Fail("cannot empty the target log", options.targetLog, target.error());
        if (options.verbose) {
            std::fprintf(stderr, "lantrel-replay: round %d, %zu chunks, %zu bytes\n", round,
                         chunks.size(), content->size());
        }
        const Clock::time_point start = Clock::now();
        for (const lantrel::ReplayChunk& chunk : chunks) {
            auto due =
                start + std::chrono::milliseconds(lantrel::ReplayTimeMs(chunk.atMs, options.speed));
            if (options.speed > 0 && !SleepUntil(due)) break;
            if (lantrel::StopRequested()) break;
            if (!target.Write(chunk.text))
                return Fail("cannot write the target log", options.targetLog, target.error());
        }
        if (!options.loop || lantrel::StopRequested()) break;
        if (!SleepUntil(Clock::now() + std::chrono::milliseconds(options.loopPauseMs))) break;
    }
    return 0;
}
