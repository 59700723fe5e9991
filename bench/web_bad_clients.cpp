// Bad browsers against the web listener while a good one follows a recorded game
// appended to the GUI log: one that never reads, one that floods messages and
// never reads, one that sends a 1 MB frame, one that sends bytes that are not
// HTTP, and 10,000 connections opened and closed or held. Prints what became of
// each and the server's memory before and after; the good client must end with
// the whole game.
//   bench_web_bad_clients [--plies-per-second X]
#include <dirent.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "web_bench_support.h"

namespace {

using namespace lantrel::bench;

// Descriptors the process holds open.
int OpenDescriptors(pid_t pid) {
    int n = 0;
    if (DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
        while (const dirent* entry = ::readdir(dir))
            n += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return n;
}

// A raw peer that has asked for the feed (it reads nothing of the answer).
int FeedPeer(int port, int receiveBuffer = 0) {
    const int fd = TcpConnect(port, receiveBuffer);
    if (fd >= 0) SendAll(fd, UpgradeRequest(), 1000);
    return fd;
}

// Runs one bad client and prints its outcome with the server's memory around it.
void Trial(pid_t server, const char* name, const std::function<std::string()>& attempt) {
    const long rssBefore = StatusKb(server, "VmRSS");
    const auto start = Clock::now();
    const std::string outcome = attempt();
    std::printf("%-44s %s; %.2f s; server RSS %ld -> %ld kB, %d descriptors\n", name,
                outcome.c_str(), SecondsSince(start), rssBefore, StatusKb(server, "VmRSS"),
                OpenDescriptors(server));
    std::fflush(stdout);
}

// Small messages that each draw an error answer, sent without reading anything
// back, until the server drops the connection (or 2 million went out).
std::string Flood(int port) {
    const int fd = FeedPeer(port, 4096);
    std::string batch;
    for (int i = 0; i < 10000; ++i)
        batch += ClientFrame("x");
    long sent = 0;
    bool dropped = false;
    while (!dropped && sent < 2000000) {
        dropped = !SendAll(fd, batch, 5000);
        sent += 10000;
    }
    ::close(fd);
    return dropped ? "dropped; sent at most " + std::to_string(sent) + " messages"
                   : "NOT dropped after " + std::to_string(sent) + " messages";
}

std::string HugeFrame(int port) {
    const int fd = FeedPeer(port);
    const auto start = Clock::now();
    SendAll(fd, ClientFrame(std::string(1 << 20, 'x')), 5000);
    bool closed = false;
    const std::string got = ReceiveUntilClosed(fd, 10000, closed);
    ::close(fd);
    const bool tooBig = got.find("\x88\x02\x03\xF1") != std::string::npos;  // close, 1009
    char text[120];
    std::snprintf(text, sizeof text, "%s after %.0f ms%s", closed ? "closed" : "NOT closed",
                  SecondsSince(start) * 1000, tooBig ? " (close code 1009, too big)" : "");
    return text;
}

std::string Garbage(int port) {
    const int fd = TcpConnect(port);
    SendAll(fd, std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 not http\r\n\r\n"), 1000);
    bool closed = false;
    const std::string got = ReceiveUntilClosed(fd, 10000, closed);
    ::close(fd);
    return "answer \"" + got.substr(0, got.find('\r')) + "\", " +
           (closed ? "closed" : "NOT closed");
}

// `count` connections opened and closed at once, then `count` opened and held
// for a second: how many the server kept.
std::string ManyConnections(int port, int count) {
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        const int fd = TcpConnect(port);
        refused += fd < 0;
        if (fd >= 0) ::close(fd);
    }
    std::vector<int> held;
    for (int i = 0; i < count; ++i) {
        const int fd = TcpConnect(port);
        if (fd >= 0) held.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    int kept = 0;
    for (int fd : held) {
        pollfd p{fd, POLLIN, 0};
        kept += ::poll(&p, 1, 0) == 0;  // the server closed the others at once
        ::close(fd);
    }
    // A newcomer gets in once they are gone.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int fd = FeedPeer(port);
    bool closed = false;
    const std::string answer = ReceiveUntilClosed(fd, 500, closed);
    ::close(fd);
    return std::to_string(count) + " opened and closed (" + std::to_string(refused) +
           " refused), " + std::to_string(held.size()) +
           " opened and held: " + std::to_string(kept) + " kept; a newcomer then " +
           (answer.rfind("HTTP/1.1 101", 0) == 0 ? "joined" : "did NOT join");
}

}  // namespace

int main(int argc, char** argv) {
    double pliesPerSecond = 4;
    if (argc == 3 && std::string(argv[1]) == "--plies-per-second") {
        pliesPerSecond = std::atof(argv[2]);
    } else if (argc != 1 || pliesPerSecond <= 0) {
        std::fprintf(stderr, "usage: bench_web_bad_clients [--plies-per-second X]\n");
        return 2;
    }
    const RecordedGame game =
        CutAtMoves(ReadFile(std::string(LANTREL_FIXTURES) + "/xboard/sf_sf.debug"));
    const std::size_t plies = game.moves.size();
    const int webPort = FreeTcpPort();
    ServerRun run(LANTREL_SERVER_BIN, "webbad", WebSettings(webPort));
    if (!run.started()) return 1;
    const pid_t server = run.pid();
    const long rssStart = StatusKb(server, "VmRSS");

    // The good client, on a thread of its own.
    asio::io_context io;
    GameFollower follower;
    std::atomic<bool> finished{false};
    auto client = std::make_shared<FeedClient>(
        io, webPort, [&](std::string_view message, Clock::time_point at) {
            follower.Take(message, at);
            if (follower.hasResult && follower.plies == plies) finished = true;
        });
    client->Start();
    std::thread ioThread([&io] { io.run(); });
    // One that asks for the feed and never reads it, from start to end.
    const int silent = FeedPeer(webPort, 4096);

    std::vector<Clock::time_point> appended;
    std::thread replay([&] {
        const std::string log = run.dir + "/gui.log";
        AppendToFile(log, game.prelude);
        appended = AppendMoves(game, log, pliesPerSecond);
    });

    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("server RSS at start %ld kB\n", rssStart);
    Trial(server, "(a) floods messages, never reads", [&] { return Flood(webPort); });
    Trial(server, "(b) sends a 1 MB frame", [&] { return HugeFrame(webPort); });
    Trial(server, "(c) sends bytes that are not HTTP", [&] { return Garbage(webPort); });
    for (const char* name : {"(d) 10,000 connection attempts", "(d) the same again"})
        Trial(server, name, [&] { return ManyConnections(webPort, 5000); });

    replay.join();
    const auto endWait = Clock::now();
    while (!finished && SecondsSince(endWait) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Trial(server, "(e) asked for the feed, never read it", [&] {
        bool closed = false;
        const std::string waiting = ReceiveUntilClosed(silent, 1000, closed);
        ::close(silent);
        return std::string(closed ? "dropped" : "still connected") + " at the game's end, " +
               std::to_string(waiting.size() / 1024) + " kB waiting in its socket";
    });
    const long rssPeak = StatusKb(server, "VmHWM");
    io.stop();
    ioThread.join();
    run.process->Stop();
    std::filesystem::remove_all(run.dir);

    std::vector<double> latencies;
    for (std::size_t i = 0; i < follower.moveArrivals.size() && i < plies; ++i) {
        if (follower.moveArrivals[i] != Clock::time_point{})
            latencies.push_back(
                std::chrono::duration<double, std::milli>(follower.moveArrivals[i] - appended[i])
                    .count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "good client: %zu of %zu plies, result %s, %d faults; move latency p50 %.2f ms, "
        "max %.2f ms\n",
        follower.plies, plies, follower.hasResult ? "yes" : "NO", follower.faults,
        Quantile(latencies, 0.5), latencies.empty() ? 0.0 : latencies.back());
    std::printf("server peak RSS %ld kB\n", rssPeak);
    return finished ? 0 : 1;
}
