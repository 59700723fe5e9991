// Catch-up of a large GUI log: real recorded games (with all their thinking
// lines) concatenated to at least 100 MB, read by a server from start-up to the
// game header, beside `cat` of the same file.
//   bench_feed_catch_up [megabytes]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/server.h"
#include "bench_support.h"
#include "feed/feed.h"
#include "platform/fakes.h"
#include "platform/files.h"

using namespace lantrel;
namespace fs = std::filesystem;

namespace {

// CPU seconds this process has used, so figures stay meaningful on a busy machine.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

std::vector<std::string> RecordedLogs() {
    std::vector<std::string> logs;
    fs::path dir = fs::path(LANTREL_FIXTURES) / "xboard";
    if (fs::exists(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".debug") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            logs.push_back(s.str());
        }
    }
    return logs;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    std::vector<std::string> games = RecordedLogs();
    if (games.empty()) {
        std::fprintf(stderr, "no recorded games under %s/xboard\n", LANTREL_FIXTURES);
        return 1;
    }
    fs::path dir = fs::temp_directory_path() / ("lantrel-catch-up-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string path = (dir / "gui.log").string();
    {
        std::ofstream out(path, std::ios::binary);
        std::size_t written = 0;
        for (std::size_t i = 0; written < (megabytes << 20); ++i) {
            const std::string& game = games[i % games.size()];
            out << game;
            written += game.size();
        }
    }
    double size = static_cast<double>(fs::file_size(path)) / (1 << 20);
    double catSeconds = bench::CatSeconds(path);

    bench::FakePlatform fake(dir.string());
    Server server(fake.platform);
    std::ofstream(dir / "server.ini") << "PATH=gui.log\n";
    StartServer(server);
    fake.socket.Queue(MakeIp(10, 0, 0, 2), "LOGONv15:bench");

    long lines = 0;
    for (const auto& g : games)
        for (char c : g)
            lines += c == '\n';
    lines = static_cast<long>(lines * (size * (1 << 20)) / [&] {
        double total = 0;
        for (const auto& g : games)
            total += g.size();
        return total;
    }());

    auto start = std::chrono::steady_clock::now();
    double cpuStart = CpuSeconds();
    MainLoopPass(server);  // start-up to the game header: one pass reads the whole log
    double seconds = bench::SecondsSince(start);
    double cpu = CpuSeconds() - cpuStart;
    std::printf("log size            %.1f MB (%zu recorded games repeated), ~%ld lines\n", size,
                games.size(), lines);
    std::printf("cat > /dev/null     %.0f MB/s\n", size / catSeconds);
    std::printf("catch-up to header  %.2f s: %.0f MB/s, %.2f M lines/s, %d games, %d move errors\n",
                seconds, size / seconds, lines / seconds / 1e6, server.feed.game.gameNumber,
                server.feed.game.moveErrorCount);
    std::printf("  on CPU time       %.2f s: %.0f MB/s, %.2f M lines/s\n", cpu, size / cpu,
                lines / cpu / 1e6);
    fs::remove_all(dir);
    return 0;
}
