// Latency from a move line appended to the GUI log to the move message at a
// viewer on loopback, with DELAYAFTERMOVE=0 and DELAY=100 (the idle pace); then
// the same for a move behind a burst of engine output (`burst` thinking lines
// in one write), which shows how fast the server reads while a game is live;
// and the floor: two processes waking each other with no work between.
//   bench_feed_move_latency [moves] [burst]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
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

// The floor under the figures above: a move wakes two processes, the server
// (its log grew) and the viewer (a datagram came). A datagram to a child
// process that sends it back wakes two as well; returns the round trips in ms.
std::vector<double> WakeUpRoundTrips(int count) {
    int fds[2];
    ::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds);
    const pid_t child = ::fork();
    if (child == 0) {
        char byte;
        while (::recv(fds[1], &byte, 1, 0) == 1)
            ::send(fds[1], &byte, 1, 0);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::vector<double> trips;
    for (int i = 0; i < count; ++i) {
        // Both sides idle first, as between two moves.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        char byte = 'x';
        const auto start = Clock::now();
        ::send(fds[0], &byte, 1, 0);
        pollfd p{fds[0], POLLIN, 0};
        ::poll(&p, 1, 1000);
        if (::recv(fds[0], &byte, 1, 0) == 1)
            trips.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    ::close(fds[0]);
    ::kill(child, SIGKILL);  // a datagram socket sees no end of its peer
    ::waitpid(child, nullptr, 0);
    std::sort(trips.begin(), trips.end());
    return trips;
}

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
    auto at = [](const std::vector<double>& sorted, double q) {
        return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
    };
    std::printf("moves %zu  median %.2f ms  p99 %.2f ms  max %.2f ms\n", latencies.size(),
                at(latencies, 0.5), at(latencies, 0.99), latencies.back());
    const std::vector<double> trips = WakeUpRoundTrips(moves);
    std::printf(
        "two wake-ups alone (a byte to another process and back): median %.2f ms  "
        "p99 %.2f ms\n",
        at(trips, 0.5), at(trips, 0.99));
    if (!bursts.empty()) {
        std::sort(bursts.begin(), bursts.end());
        const double median = bursts[bursts.size() / 2];
        std::printf("a move behind %d thinking lines: median %.1f ms  (%.0f lines/s)\n", burst,
                    median, burst / median * 1000);
    }
    return 0;
}
