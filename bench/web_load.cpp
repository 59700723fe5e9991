// Browsers following the feed while a recorded XBoard game is appended to the
// GUI log at a steady pace: the time from each move's append to its arrival at
// every client, whether every client ends with the whole game, the server's CPU
// time and memory, and the move latency of a UDP viewer in the same run (run it
// again with --clients 0 to compare). With many clients (10,000 hold as many
// sockets in this program and in the server: it raises its open-file limit) it
// also tells what each connection costs the server in memory, and how long a
// move takes to reach the last of them. Last, the floor: the same number of
// sends of a message of the same size on loopback TCP, without the server.
//   bench_web_load [--clients N] [--plies-per-second X] [--game NAME]
// NAME is a log of tests/fixtures/xboard (default sf_sf, 126 plies).
#include <sys/epoll.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "web_bench_support.h"

namespace {

using namespace lantrel::bench;

// The ply of a "WMOVE:12. Nf3" or "BMOVE:12. Nf6" datagram, else 0.
int PlyOfMoveMessage(const std::string& text) {
    const bool white = text.rfind("WMOVE:", 0) == 0;
    if (!white && text.rfind("BMOVE:", 0) != 0) return 0;
    const int number = std::atoi(text.c_str() + 6);
    return number < 1 ? 0 : 2 * number - (white ? 1 : 0);
}

// Milliseconds from each move's append to its arrival, sorted; moves that never
// arrived are left out.
void AddLatencies(const std::vector<Clock::time_point>& arrivals,
                  const std::vector<Clock::time_point>& appended, std::vector<double>& out) {
    for (std::size_t i = 0; i < arrivals.size() && i < appended.size(); ++i) {
        if (arrivals[i] == Clock::time_point{} || appended[i] == Clock::time_point{}) continue;
        out.push_back(std::chrono::duration<double, std::milli>(arrivals[i] - appended[i]).count());
    }
}

void PrintLatencies(const char* what, std::vector<double> latencies) {
    std::sort(latencies.begin(), latencies.end());
    std::printf("%s (%zu arrivals): p50 %.2f ms  p99 %.2f ms  max %.2f ms\n", what,
                latencies.size(), Quantile(latencies, 0.5), Quantile(latencies, 0.99),
                latencies.empty() ? 0.0 : latencies.back());
}

// A client's game and whether it has been counted in or out.
struct Watched {
    GameFollower game;
    bool joined = false;
    bool finished = false;
};

// The floor under the server's writes: `connections` TCP connections on
// loopback, each sent one `bytes`-long message a round by one send() from this
// thread, while another thread reads them all as the clients do. Returns this
// thread's CPU time a send, in microseconds: the kernel's loopback path alone.
double LoopbackSendFloor(int connections, std::size_t bytes, int rounds) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 4096);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> readers, writers;
    const int epoll = ::epoll_create1(0);
    for (int i = 0; i < connections; ++i) {
        readers.push_back(TcpConnect(ntohs(address.sin_port)));
        writers.push_back(::accept(listener, nullptr, nullptr));
        epoll_event watch{EPOLLIN, {.fd = readers.back()}};
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, readers.back(), &watch);
    }
    std::atomic<bool> done{false};
    std::thread reading([&] {
        epoll_event events[256];
        char buffer[65536];
        while (!done)
            for (int n = ::epoll_wait(epoll, events, 256, 50), i = 0; i < n; ++i)
                ::recv(events[i].data.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    });
    const std::string message(bytes, 'x');
    // Sleeping costs the thread no CPU: the figure is the sends' alone.
    const double before = ThreadCpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        for (int fd : writers)
            ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the readers catch up
    }
    const double spent = ThreadCpuSeconds() - before;
    done = true;
    reading.join();
    for (int fd : readers)
        ::close(fd);
    for (int fd : writers)
        ::close(fd);
    ::close(listener);
    ::close(epoll);
    return spent * 1e6 / (static_cast<double>(rounds) * connections);
}

}  // namespace

int main(int argc, char** argv) {
    LoadOptions options{1000};
    if (const int status = ReadLoadOptions(argc, argv, "bench_web_load", "--clients", 0, options))
        return status;
    const int clients = options.followers;
    const double pliesPerSecond = options.pliesPerSecond;
    const std::string& gameName = options.gameName;
    const RecordedGame& game = options.game;
    const std::size_t plies = game.moves.size();

    lantrel::RaiseOpenFileLimit();
    const int webPort = FreeTcpPort();
    // Every client comes from 127.0.0.1: the per-address limit must let them all in.
    ServerRun run(LANTREL_SERVER_BIN, "webload",
                  WebSettings(webPort) + "WEBMAXPERADDRESS=" + std::to_string(clients) + "\n");
    if (!run.started()) return 1;
    const std::string log = run.dir + "/gui.log";

    // The UDP viewer notes when each move reaches it, on a thread of its own.
    Viewer viewer(run.port);
    viewer.Send("LOGONv15:bench");
    while (viewer.Receive(300) != Viewer::kNothing) {
    }
    std::vector<Clock::time_point> udpArrivals(plies);
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> udpMoves{0};
    std::thread udpThread([&] {
        while (!stop) {
            const int ply = PlyOfMoveMessage(viewer.Receive(50));
            if (ply >= 1 && ply <= static_cast<int>(plies) &&
                udpArrivals[ply - 1] == Clock::time_point{}) {
                udpArrivals[ply - 1] = Clock::now();
                ++udpMoves;
            }
        }
    });

    const long rssAlone = StatusKb(run.pid(), "VmRSS");

    // The browsers, all on one thread.
    asio::io_context io;
    std::vector<Watched> watched(static_cast<std::size_t>(clients));
    std::atomic<int> joined{0};
    std::atomic<int> finished{0};
    std::vector<std::shared_ptr<FeedClient>> feedClients;
    std::size_t heardBytes = 0, heardMessages = 0;  // on the clients' thread
    for (Watched& w : watched) {
        feedClients.push_back(std::make_shared<FeedClient>(
            io, webPort, [&, plies](std::string_view message, Clock::time_point at) {
                heardBytes += message.size();
                ++heardMessages;
                w.game.Take(message, at);
                if (!w.joined && w.game.version >= 0) {
                    w.joined = true;
                    ++joined;
                }
                if (!w.finished && w.game.hasResult && w.game.plies == plies) {
                    w.finished = true;
                    ++finished;
                }
            }));
        feedClients.back()->Start();
    }
    auto work = asio::make_work_guard(io);
    std::thread ioThread([&io] { io.run(); });
    const auto connectStart = Clock::now();
    while (joined < clients && SecondsSince(connectStart) < 120)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::printf("web clients: %d of %d following the feed after %.1f s\n", joined.load(), clients,
                SecondsSince(connectStart));

    AppendToFile(log, game.prelude);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long rssJoined = StatusKb(run.pid(), "VmRSS");
    const double serverCpuBefore = ProcessCpuSeconds(run.pid());
    const double ownCpuBefore = OwnCpuSeconds();
    const auto replayStart = Clock::now();
    const std::vector<Clock::time_point> appended = AppendMoves(game, log, pliesPerSecond);
    const auto endWait = Clock::now();
    while ((finished < joined || udpMoves < plies) && SecondsSince(endWait) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double replaySeconds = SecondsSince(replayStart);
    const double serverCpu = ProcessCpuSeconds(run.pid()) - serverCpuBefore;
    const double ownCpu = OwnCpuSeconds() - ownCpuBefore;
    const long rssPeak = StatusKb(run.pid(), "VmHWM");

    stop = true;
    work.reset();
    io.stop();
    ioThread.join();
    udpThread.join();
    run.process->Stop();
    std::filesystem::remove_all(run.dir);

    std::vector<double> webLatencies;
    int failures = 0;
    for (const Watched& w : watched) {
        AddLatencies(w.game.moveArrivals, appended, webLatencies);
        if (w.game.plies != plies || !w.game.hasResult || w.game.faults > 0) ++failures;
    }
    // Each ply's time to the last client, over the plies every client got.
    std::vector<double> toLast;
    for (std::size_t ply = 0; ply < plies; ++ply) {
        Clock::time_point last{};
        bool everyone = appended[ply] != Clock::time_point{};
        for (const Watched& w : watched) {
            const Clock::time_point at =
                ply < w.game.moveArrivals.size() ? w.game.moveArrivals[ply] : Clock::time_point{};
            everyone = everyone && at != Clock::time_point{};
            last = std::max(last, at);
        }
        if (everyone && clients > 0)
            toLast.push_back(
                std::chrono::duration<double, std::milli>(last - appended[ply]).count());
    }
    std::vector<double> udpLatencies;
    AddLatencies(udpArrivals, appended, udpLatencies);

    std::printf("game %s: %zu plies at %.1f a second\n", gameName.c_str(), plies, pliesPerSecond);
    PrintLatencies("web move latency", webLatencies);
    PrintLatencies("a move to the last client", toLast);
    std::printf("whole game and result at every client: %d of %d (failures %d)\n",
                clients - failures, clients, failures);
    PrintLatencies("UDP viewer move latency", udpLatencies);
    std::printf(
        "server: %.2f CPU s over %.1f s of replay; RSS %.1f MB with the clients in, "
        "peak %.1f MB\n",
        serverCpu, replaySeconds, static_cast<double>(rssJoined) / 1024,
        static_cast<double>(rssPeak) / 1024);
    std::printf("server: %.2f ms CPU a ply; %.2f KB RSS a connection (%.1f MB before any)\n",
                1000 * serverCpu / static_cast<double>(plies),
                clients > 0 ? static_cast<double>(rssJoined - rssAlone) / clients : 0.0,
                static_cast<double>(rssAlone) / 1024);
    std::printf("clients (this program): %.2f CPU s\n", ownCpu);
    if (clients > 0 && heardMessages > 0) {
        const std::size_t messageBytes = heardBytes / heardMessages;
        std::printf(
            "the same sends with the sockets alone (%d connections, %zu bytes): "
            "%.1f us CPU a send\n",
            std::min(clients, 1000), messageBytes,
            LoopbackSendFloor(std::min(clients, 1000), messageBytes, 100));
    }
    return failures == 0 ? 0 : 1;
}
