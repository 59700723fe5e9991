// lantrel-replay: plays a recorded chess GUI debug log into a log file at the pace
// of its time stamps, so that the server can follow a real game without the GUI.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feed/replay.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// Sleeps until `when` in short slices, so that a stop signal ends the wait soon.
// False when a stop was requested.
bool SleepUntil(Clock::time_point when) {
    while (!stopRequested) {
        auto now = Clock::now();
        if (now >= when) return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(when - now, std::chrono::milliseconds(50)));
    }
    return false;
}

bool WriteAll(int fd, const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t wrote = ::write(fd, data, left);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
    return true;
}

int Fail(const std::string& what, const std::string& name) {
    std::fprintf(stderr, "lantrel-replay: %s '%s': %s\n", what.c_str(), name.c_str(),
                 std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    lantrel::ParsedReplayOptions parsed =
        lantrel::ParseReplayOptions(std::vector<std::string>(argv + 1, argv + argc));
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

    std::ifstream input(options.recordedLog, std::ios::binary);
    struct stat info {};
    if (!input || ::stat(options.recordedLog.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        if (S_ISDIR(info.st_mode)) errno = EISDIR;
        return Fail("cannot read the recorded log", options.recordedLog);
    }
    std::ostringstream content;
    content << input.rdbuf();
    const std::vector<lantrel::ReplayChunk> chunks = lantrel::BuildReplaySchedule(content.str());

    // Appending writes land at the end even after the file was emptied, the way
    // a GUI's log grows.
    int flags = O_WRONLY | O_CREAT | O_APPEND | (options.fromStart ? O_TRUNC : 0);
    int fd = ::open(options.targetLog.c_str(), flags, 0644);
    if (fd < 0) return Fail("cannot write the target log", options.targetLog);

    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGPIPE, SIG_IGN);

    for (int round = 1; !stopRequested; ++round) {
        if (round > 1 && ::ftruncate(fd, 0) != 0) {
            ::close(fd);
            return Fail("cannot empty the target log", options.targetLog);
        }
        if (options.verbose) {
            std::fprintf(stderr, "lantrel-replay: round %d, %zu chunks, %zu bytes\n", round,
                         chunks.size(), content.str().size());
        }
        const Clock::time_point start = Clock::now();
        for (const lantrel::ReplayChunk& chunk : chunks) {
            auto due =
                start + std::chrono::milliseconds(lantrel::ReplayTimeMs(chunk.atMs, options.speed));
            if (options.speed > 0 && !SleepUntil(due)) break;
            if (stopRequested) break;
            if (!WriteAll(fd, chunk.text)) {
                ::close(fd);
                return Fail("cannot write the target log", options.targetLog);
            }
        }
        if (!options.loop || stopRequested) break;
        if (!SleepUntil(Clock::now() + std::chrono::milliseconds(options.loopPauseMs))) break;
    }
    ::close(fd);
    return 0;
}
