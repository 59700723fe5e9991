// Latency from a move line appended to the GUI log to the move message at a
// viewer on loopback, with DELAYAFTERMOVE=0 and DELAY=100 (the idle pace); then
// the same for a move behind a burst of engine output (`burst` thinking lines
// in one write), which shows how fast the server reads while a game is live.
//   bench_feed_move_latency [moves] [burst]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using lantrel::bench::Viewer;

}  // namespace

int main(int argc, char** argv) {
    int moves = argc > 1 ? std::atoi(argv[1]) : 200;
    const int burst = argc > 2 ? std::atoi(argv[2]) : 20000;
    lantrel::bench::ServerRun run(LANTREL_SERVER_BIN, "latency", "DELAY=100\nDELAYAFTERMOVE=0\n",
                                  "StartChildProcess (dir=.) knightA\n"
                                  "StartChildProcess (dir=.) knightB\n"
                                  "1 >first : new\n2 >second: new\n");
    if (!run.started()) return 1;
    const int port = run.port;
    const std::string log = run.dir + "/gui.log";

    Viewer viewer(port);
    viewer.Send("LOGONv15:bench");
    while (viewer.Receive(300) != Viewer::kNothing) {
    }

    // Knights out and back: always legal, as long as we like. Returns the time
    // from the append of `before` and move `i` to the move message, or -1.
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    auto playMove = [&](int i, const std::string& before) {
        const char* side = i % 2 ? " <second: " : " <first : ";
        std::string text = before + std::to_string(100 + i) + side + "move " + cycle[i % 4] + "\n";
        // Let the server settle into its idle wait before the next move.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        auto start = Clock::now();
        int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
        ssize_t ignored = ::write(fd, text.data(), text.size());
        (void)ignored;
        ::close(fd);
        double latency = -1;
        for (;;) {
            std::string got = viewer.Receive(30000);
            if (got == Viewer::kNothing) {
                std::fprintf(stderr, "no move message for move %d\n", i + 1);
                break;
            }
            if (got.rfind("WMOVE:", 0) == 0 || got.rfind("BMOVE:", 0) == 0) {
                latency = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                break;
            }
        }
        while (viewer.Receive(5) != Viewer::kNothing) {
        }
        return latency;
    };
    std::vector<double> latencies;
    for (int i = 0; i < moves; ++i)
        if (double ms = playMove(i, ""); ms >= 0) latencies.push_back(ms);

    // The engine to move thinks aloud first: depth, score, time, nodes, line.
    std::vector<double> bursts;
    for (int i = moves; i < moves + 5 && burst > 0; ++i) {
        std::string thinking;
        const char* side = i % 2 ? " <second: " : " <first : ";
        for (int n = 0; n < burst; ++n)
            thinking += std::to_string(100 + i) + side + std::to_string(1 + n % 30) + " 31 " +
                        std::to_string(n) + " 890123 " + cycle[i % 4] + " e7e5 g1f3 b8c6\n";
        if (double ms = playMove(i, thinking); ms >= 0) bursts.push_back(ms);
    }
    run.process->Stop();
    std::filesystem::remove_all(run.dir);

    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) return 1;
    auto at = [&](double q) {
        return latencies[static_cast<std::size_t>(q * (latencies.size() - 1))];
    };
    std::printf("moves %zu  median %.2f ms  p99 %.2f ms  max %.2f ms\n", latencies.size(), at(0.5),
                at(0.99), latencies.back());
    if (!bursts.empty()) {
        std::sort(bursts.begin(), bursts.end());
        const double median = bursts[bursts.size() / 2];
        std::printf("a move behind %d thinking lines: median %.1f ms  (%.0f lines/s)\n", burst,
                    median, burst / median * 1000);
    }
    return 0;
}
