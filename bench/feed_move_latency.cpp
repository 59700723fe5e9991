// Latency from a move line appended to the GUI log to the move message at a
// viewer on loopback, with DELAYAFTERMOVE=0 and DELAY=100 (the idle pace); then,
// on a server with its web listener and one browser following the feed, the
// same for a move behind a burst of engine output (`burst` thinking lines in
// one write), at the viewer and at the browser, which shows how fast the
// server reads while a game is live; and the floor: two processes waking each
// other with no work between.
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
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "web_bench_support.h"

namespace {

using lantrel::bench::Clock;
using lantrel::bench::Viewer;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const char* const kGameStart =
    "StartChildProcess (dir=.) knightA\n"
    "StartChildProcess (dir=.) knightB\n"
    "1 >first : new\n2 >second: new\n";

// A server following the GUI log and a viewer logged on to it, which plays
// knights out and back: always legal, as long as we like.
struct KnightsGame {
    explicit KnightsGame(const std::string& settings)
        : run(LANTREL_SERVER_BIN, "latency", settings, kGameStart),
          log(run.dir + "/gui.log"),
          viewer(run.port) {
        viewer.Send("LOGONv15:bench");
        while (viewer.Receive(300) != Viewer::kNothing) {
        }
    }
    ~KnightsGame() {
        run.process->Stop();
        std::filesystem::remove_all(run.dir);
    }

    // The engine to move thinks aloud first: depth, score, time, nodes, line.
    std::string Thinking(int lines) const {
        std::string thinking;
        const char* side = plies % 2 ? " <second: " : " <first : ";
        for (int n = 0; n < lines; ++n)
            thinking += std::to_string(100 + plies) + side + std::to_string(1 + n % 30) + " 31 " +
                        std::to_string(n) + " 890123 " + kCycle[plies % 4] + " e7e5 g1f3 b8c6\n";
        return thinking;
    }

    // Appends `before` and the next move; returns when they went in and the
    // time from then to the move message at the viewer (-1: none came).
    std::pair<Clock::time_point, double> PlayMove(const std::string& before) {
        const char* side = plies % 2 ? " <second: " : " <first : ";
        const std::string text =
            before + std::to_string(100 + plies) + side + "move " + kCycle[plies % 4] + "\n";
        ++plies;
        // Let the server settle into its idle wait before the next move.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto start = Clock::now();
        lantrel::bench::AppendToFile(log, text);
        double latency = -1;
        for (;;) {
            std::string got = viewer.Receive(30000);
            if (got == Viewer::kNothing) {
                std::fprintf(stderr, "no move message for move %d\n", plies);
                break;
            }
            if (got.rfind("WMOVE:", 0) == 0 || got.rfind("BMOVE:", 0) == 0) {
                latency = Milliseconds(Clock::now() - start);
                break;
            }
        }
        while (viewer.Receive(5) != Viewer::kNothing) {
        }
        return {start, latency};
    }

    static constexpr const char* kCycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    lantrel::bench::ServerRun run;
    std::string log;
    Viewer viewer;
    int plies = 0;
};

// A browser following the feed of the server on `webPort`, on a thread of its own.
class Browser {
  public:
    explicit Browser(int webPort) {
        client_ = std::make_shared<lantrel::bench::FeedClient>(
            io_, webPort, [this](std::string_view message, Clock::time_point at) {
                std::lock_guard lock(mutex_);
                follower_.Take(message, at);
            });
        client_->Start();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~Browser() {
        boost::asio::post(io_, [this] { client_->Close(); });
        io_.stop();
        thread_.join();
    }
    // When move `ply` (from 1) reached the browser, waiting up to 30 s for it.
    std::optional<Clock::time_point> MoveArrival(int ply) {
        for (int waited = 0; waited < 30000; ++waited) {
            {
                std::lock_guard lock(mutex_);
                if (follower_.moveArrivals.size() >= static_cast<std::size_t>(ply))
                    return follower_.moveArrivals[ply - 1];
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::nullopt;
    }

  private:
    boost::asio::io_context io_;
    std::shared_ptr<lantrel::bench::FeedClient> client_;
    std::mutex mutex_;
    lantrel::bench::GameFollower follower_;
    std::thread thread_;
};

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
    const int moves = argc > 1 ? std::atoi(argv[1]) : 200;
    const int burst = argc > 2 ? std::atoi(argv[2]) : 20000;
    std::vector<double> latencies;
    {
        KnightsGame game("DELAY=100\nDELAYAFTERMOVE=0\n");
        if (!game.run.started()) return 1;
        for (int i = 0; i < moves; ++i)
            if (double ms = game.PlayMove("").second; ms >= 0) latencies.push_back(ms);
    }

    std::vector<double> bursts, browserBursts;
    if (burst > 0) {
        const int webPort = lantrel::bench::FreeTcpPort();
        KnightsGame game(lantrel::bench::WebSettings(webPort));
        if (!game.run.started()) return 1;
        Browser browser(webPort);
        for (int i = 0; i < 5; ++i) {
            const auto [start, ms] = game.PlayMove(game.Thinking(burst));
            if (ms >= 0) bursts.push_back(ms);
            if (const auto at = browser.MoveArrival(game.plies))
                browserBursts.push_back(Milliseconds(*at - start));
        }
    }

    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) return 1;
    using lantrel::bench::Quantile;
    std::printf("moves %zu  median %.2f ms  p99 %.2f ms  max %.2f ms\n", latencies.size(),
                Quantile(latencies, 0.5), Quantile(latencies, 0.99), latencies.back());
    std::vector<double> trips = WakeUpRoundTrips(moves);
    std::printf(
        "two wake-ups alone (a byte to another process and back): median %.2f ms  "
        "p99 %.2f ms\n",
        Quantile(trips, 0.5), Quantile(trips, 0.99));
    for (auto* figures : {&bursts, &browserBursts}) {
        if (figures->empty()) continue;
        std::sort(figures->begin(), figures->end());
        const double median = Quantile(*figures, 0.5);
        std::printf("a move behind %d thinking lines, at the %s: median %.1f ms  (%.0f lines/s)\n",
                    burst, figures == &bursts ? "viewer" : "browser", median,
                    burst / median * 1000);
    }
    return 0;
}
