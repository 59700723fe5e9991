// Latency from a move line appended to the GUI log to the move message at a
// viewer on loopback, with DELAYAFTERMOVE=0 and DELAY=100 (the idle pace).
//   bench_feed_move_latency [moves]
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

    // Knights out and back: always legal, as long as we like.
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<double> latencies;
    for (int i = 0; i < moves; ++i) {
        std::string line = std::to_string(100 + i) +
                           (i % 2 ? " <second: move " : " <first : move ") + cycle[i % 4] + "\n";
        // Let the server settle into its idle wait before the next move.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        auto start = Clock::now();
        int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
        ssize_t ignored = ::write(fd, line.data(), line.size());
        (void)ignored;
        ::close(fd);
        for (;;) {
            std::string text = viewer.Receive(2000);
            if (text == Viewer::kNothing) {
                std::fprintf(stderr, "no move message for move %d\n", i + 1);
                break;
            }
            if (text.rfind("WMOVE:", 0) == 0 || text.rfind("BMOVE:", 0) == 0) {
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                break;
            }
        }
        while (viewer.Receive(5) != Viewer::kNothing) {
        }
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
    return 0;
}
