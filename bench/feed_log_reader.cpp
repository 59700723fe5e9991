// Catch-up throughput of the log reader: a generated GUI log of 200 MB is cut
// into lines with an empty line handler, beside `cat FILE > /dev/null` on the
// same file in the same run.
//   bench_feed_log_reader [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/server.h"
#include "bench_support.h"
#include "feed/feed.h"
#include "platform/fakes.h"
#include "platform/files.h"

using namespace lantrel;

namespace {

std::string MakeLog(const std::string& path, std::size_t megabytes) {
    std::ofstream out(path, std::ios::binary);
    std::size_t written = 0;
    for (long i = 0; written < megabytes << 20; ++i) {
        std::string line = std::to_string(1000 + i) +
                           (i % 5 ? " <first : 12 31 456 890123 e2e4 e7e5 g1f3 b8c6 f1b5 a7a6\r\n"
                                  : " >second: time 29500\r\n");
        out << line;
        written += line.size();
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    auto dir = std::filesystem::temp_directory_path() / "lantrel-bench-log";
    std::filesystem::create_directories(dir);
    std::string path = MakeLog((dir / "gui.log").string(), megabytes);
    double size = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);

    double catSeconds = bench::CatSeconds(path);

    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    Platform platform{screen, clock, wait, socket, processes, dir.string()};
    Server server(platform);
    ReadOnlyFile log;
    log.Open(path);
    server.feed.reader.logSize = log.Length();
    long lines = 0;
    auto start = std::chrono::steady_clock::now();
    CutLogLines(server.feed, log, [&lines](const std::string&) { ++lines; });
    double readerSeconds = bench::SecondsSince(start);

    std::printf("log size            %.1f MB, %ld lines\n", size, lines);
    std::printf("cat > /dev/null     %.0f MB/s\n", size / catSeconds);
    std::printf("log reader          %.0f MB/s (%.1f%% of cat), %.1f M lines/s\n",
                size / readerSeconds, 100.0 * catSeconds / readerSeconds,
                lines / readerSeconds / 1e6);
    std::filesystem::remove_all(dir);
    return 0;
}
