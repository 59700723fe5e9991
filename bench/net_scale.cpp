// Scale of the broadcast: does every viewer get the whole game when hundreds
// follow it and each loses a share of what it receives and of the ACKs it sends?
//
// The real lantrel-server runs headless in a scratch folder (DELAYAFTERMOVE=0,
// so that it follows the log at the replay's pace). N viewers on 127.0.0.2,
// 127.0.0.3, ... log on; once the server's queue has emptied after the logons,
// lantrel-replay writes a recorded XBoard game into the server's GUI log at an
// average of P plies a second (its --speed is worked out from the game's own
// time stamps, so the recorded rhythm of quick and slow moves stays). Each viewer
// is a ViewerClient that acknowledges, pings every 20 s, and throws away a share
// of the datagrams it receives and of the ACKs it sends (random, seeded per
// viewer). This program's one thread serves them all through epoll. A monitor
// viewer without losses on 127.0.0.254 gives the game's real move list and final
// position, and asks the server "CHAT: <q>" for its "Dropped" counter.
//
// After the replay has ended, the run waits until every viewer is complete and
// the server's message queue is empty, or --seconds-after have passed. Reported,
// for the game (from the replay's start to the end of the wait):
//   complete     viewers that received every ply's "WMOVE:"/"BMOVE:" at least
//                once (numbered or not), with the monitor's text
//   final FEN    viewers whose position is the monitor's final one
//   numbered     distinct message numbers that reached the sockets of the viewers
//                and the monitor (whether the loss simulation kept them or not)
//   re-sends     numbered datagrams whose number had reached that viewer before
//   given up     growth of the server's "Dropped" counter; share: of numbered
//   CPU          the server's user and system time (/proc/PID/stat), and that
//                per viewer and ply in microseconds
//   peak RSS     the server's VmHWM
//
//   bench_net_scale [--viewers N] [--loss SHARE] [--plies-per-second P]
//                   [--game RECORDED_LOG] [--seconds-after S] [--seed N]
//                   [--server PATH] [--replay PATH]
//
// Defaults: 300 viewers, 1 % loss each way, 4 plies a second, the 126 plies of
// tests/fixtures/xboard/sf_sf.debug, 30 s, seed 1 (about two minutes). Loopback
// only. The exit status is 0 when every viewer is complete and on the final
// position and less than 0.1 % of the numbered messages were given up; 1
// otherwise; 2 when the run could not be set up.
#include <signal.h>
#include <sys/epoll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench_support.h"
#include "feed/replay.h"
#include "net/viewer_client.h"
#include "platform/posix.h"
#include "text/text.h"

namespace {

using namespace lantrel;
using Steady = std::chrono::steady_clock;

// Room for the bursts of a logon storm while the one thread serves the others.
constexpr int kViewerReceiveBuffer = 1 << 20;
constexpr double kGivenUpLimit = 0.001;

struct Options {
    int viewers = 300;
    double loss = 0.01;
    double pliesPerSecond = 4;
    std::string game = std::string(LANTREL_FIXTURES) + "/xboard/sf_sf.debug";
    double secondsAfter = 30;
    std::uint32_t seed = 1;
    std::string server = LANTREL_SERVER_BIN;
    std::string replay;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--viewers") {
            o.viewers = std::atoi(value().c_str());
        } else if (arg == "--loss") {
            o.loss = std::atof(value().c_str());
        } else if (arg == "--plies-per-second") {
            o.pliesPerSecond = std::atof(value().c_str());
        } else if (arg == "--game") {
            o.game = value();
        } else if (arg == "--seconds-after") {
            o.secondsAfter = std::atof(value().c_str());
        } else if (arg == "--seed") {
            o.seed = static_cast<std::uint32_t>(std::strtoul(value().c_str(), nullptr, 10));
        } else if (arg == "--server") {
            o.server = value();
        } else if (arg == "--replay") {
            o.replay = value();
        } else {
            std::fprintf(stderr, "bench_net_scale: unknown argument '%s'\n", arg.c_str());
            return false;
        }
    }
    if (o.replay.empty())
        o.replay = (std::filesystem::path(o.server).parent_path() / "lantrel-replay").string();
    // The server's table holds 500, the monitor among them.
    return o.viewers >= 1 && o.viewers <= 499 && o.loss >= 0 && o.loss < 1 &&
           o.pliesPerSecond > 0 && o.secondsAfter >= 0;
}

// The time stamps (ms) of the engines' moves in a recorded XBoard log:
// "2391 <first : move d2d4".
std::vector<std::int64_t> RecordedMoveStamps(const std::string& log) {
    std::vector<std::int64_t> stamps;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const auto stamp = ReplayStampMs(line);
        if (stamp && (Contains(line, " <first : move ") || Contains(line, " <second: move ")))
            stamps.push_back(*stamp);
    }
    return stamps;
}

// The ply a "WMOVE: 12. Bxc6" or "BMOVE: 12. Bd5" message is about, or 0.
int PlyOf(const std::string& text) {
    const bool white = StartsWith(text, "WMOVE:");
    if (!white && !StartsWith(text, "BMOVE:")) return 0;
    const int move = ParseNumber(text.substr(6, text.find('.') - 6));
    return move > 0 ? 2 * move - (white ? 1 : 0) : 0;
}

// One viewer of the run and what reached it.
struct ScaleViewer {
    SystemClock clock;
    bench::PlainUdpSocket socket{kViewerReceiveBuffer};
    std::unique_ptr<ViewerClient> client;
    std::unordered_set<SequenceNumber> arrived;  // numbers that reached the socket
    std::map<int, std::string> moves;            // ply -> its first move message
    long resends = 0;  // numbered datagrams whose number had arrived before

    bool Open(int port, IpAddress ip, const std::string& name, double loss, std::uint32_t seed) {
        if (socket.Open(static_cast<std::uint16_t>(port), ip, 0) != SocketError::kOk) return false;
        ViewerSettings s;
        s.server = kLocalViewerIp;
        s.port = static_cast<std::uint16_t>(port);
        s.name = name;
        s.dropReceivedShare = loss;
        s.dropAckShare = loss;
        s.lossSeed = seed;
        client = std::make_unique<ViewerClient>(socket, clock, s);
        client->onDatagram = [this](const std::string& datagram) {
            const SequenceNumber seq = ParseFrame(datagram).seq;
            if (seq != 0 && !arrived.insert(seq).second) ++resends;
        };
        client->onMessage = [this](const std::string& text) {
            if (const int ply = PlyOf(text)) moves.emplace(ply, text);
        };
        return true;
    }
    long NumberedAbove(SequenceNumber seq) const {
        return std::count_if(arrived.begin(), arrived.end(),
                             [seq](SequenceNumber n) { return n > seq; });
    }
    SequenceNumber Highest() const {
        return arrived.empty() ? 0 : *std::max_element(arrived.begin(), arrived.end());
    }
};

// The server's answer to "CHAT: <q>".
struct QueueAnswer {
    long dropped = -1;
    long messageQueue = -1;  // numbered messages not yet acknowledged
};

// Serves every viewer from this thread: epoll says which sockets have datagrams,
// and every 100 ms each client does what is due (pings, logon retries).
class ViewerLoop {
  public:
    ViewerLoop() : epoll_(::epoll_create1(0)) {}
    ~ViewerLoop() { ::close(epoll_); }
    ViewerLoop(const ViewerLoop&) = delete;
    ViewerLoop& operator=(const ViewerLoop&) = delete;

    void Add(ScaleViewer& v) {
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.u32 = static_cast<std::uint32_t>(clients_.size());
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, v.socket.fd(), &e);
        clients_.push_back(v.client.get());
    }
    // Serves until `done` returns true or `seconds` have passed; returns `done()`.
    template <typename Done>
    bool ServeUntil(Done done, double seconds) {
        const auto start = Steady::now();
        std::vector<epoll_event> events(512);
        while (!done()) {
            if (bench::SecondsSince(start) >= seconds) return done();
            const int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 10);
            for (int i = 0; i < n; ++i)
                clients_[events[static_cast<std::size_t>(i)].data.u32]->Poll(0);
            if (bench::SecondsSince(lastTick_) >= 0.1) {
                lastTick_ = Steady::now();
                for (ViewerClient* c : clients_)
                    c->Tick();
            }
        }
        return true;
    }
    void Serve(double seconds) {
        ServeUntil([] { return false; }, seconds);
    }

  private:
    int epoll_;
    std::vector<ViewerClient*> clients_;
    Steady::time_point lastTick_ = Steady::now();
};

// Datagrams the kernel threw away because a socket's receive buffer was full,
// over the sockets bound to `port` (the server's and the viewers'): the "drops"
// column of /proc/net/udp.
long ReceiveBufferDrops(int port) {
    std::istringstream table(bench::ReadFile("/proc/net/udp"));
    std::string line;
    std::getline(table, line);  // the column names
    long drops = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;)
            words.push_back(w);
        const std::size_t colon = words.size() > 12 ? words[1].find(':') : std::string::npos;
        if (colon != std::string::npos &&
            std::strtol(words[1].c_str() + colon + 1, nullptr, 16) == port)
            drops += std::atol(words[12].c_str());
    }
    return drops;
}

std::string LoadAverage() {
    std::istringstream load(bench::ReadFile("/proc/loadavg"));
    std::string oneMinute;
    load >> oneMinute;
    return oneMinute;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: bench_net_scale [--viewers N] [--loss SHARE] [--plies-per-second P]\n"
                     "                       [--game RECORDED_LOG] [--seconds-after S] [--seed N]\n"
                     "                       [--server PATH] [--replay PATH]\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);

    // ---- The game's pace --------------------------------------------------------
    const std::vector<std::int64_t> stamps = RecordedMoveStamps(bench::ReadFile(o.game));
    if (stamps.size() < 2) {
        std::fprintf(stderr, "bench_net_scale: no XBoard game with moves in %s\n", o.game.c_str());
        return 2;
    }
    const double recordedMsPerPly = static_cast<double>(stamps.back() - stamps.front()) /
                                    static_cast<double>(stamps.size() - 1);
    const double speed = o.pliesPerSecond * recordedMsPerPly / 1000;

    // ---- The server, the monitor and the viewers ----------------------------------
    bench::ServerRun run(o.server, "scale", "SITE=Scale\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=1000\n");
    if (!run.started()) {
        std::fprintf(stderr, "bench_net_scale: cannot start %s\n", o.server.c_str());
        return 2;
    }
    auto giveUp = [&](const std::string& why) {
        std::fprintf(stderr, "bench_net_scale: %s (working directory kept: %s)\n", why.c_str(),
                     run.dir.c_str());
        return 2;
    };
    ViewerLoop loop;
    ScaleViewer monitor;
    if (!monitor.Open(run.port, bench::kMonitorIp, "Monitor", 0, 0))
        return giveUp("cannot bind the monitor");
    QueueAnswer answer;
    monitor.client->onMessage = [&,
                                 recordMove = monitor.client->onMessage](const std::string& text) {
        recordMove(text);
        for (auto [key, field] : {std::pair{"CHAT:[SERVER] Dropped=", &answer.dropped},
                                  std::pair{"CHAT:[SERVER] Message queue=", &answer.messageQueue}})
            if (StartsWith(text, key)) *field = ParseLongNumber(Mid(text, std::strlen(key) + 1));
    };
    loop.Add(monitor);
    monitor.client->Logon();
    if (!loop.ServeUntil([&] { return monitor.client->picture().loggedOn; }, 10))
        return giveUp("the server does not answer the monitor's logon");
    auto askQueue = [&] {
        answer = {};
        monitor.client->SendRaw("CHAT: <q>");
        loop.ServeUntil([&] { return answer.messageQueue >= 0; }, 3);
        return answer;
    };

    std::vector<std::unique_ptr<ScaleViewer>> viewers;
    const auto logonStart = Steady::now();
    for (int k = 0; k < o.viewers; ++k) {
        auto v = std::make_unique<ScaleViewer>();
        if (!v->Open(run.port, bench::ViewerIp(k), "Scale" + std::to_string(k), o.loss,
                     o.seed * 100003u + static_cast<std::uint32_t>(k)))
            return giveUp("cannot bind " + IpText(bench::ViewerIp(k)));
        loop.Add(*v);
        v->client->Logon();
        viewers.push_back(std::move(v));
        if (k % 10 == 9) loop.Serve(0.05);  // ten at a time, as a room fills
    }
    auto all = [&](auto test) { return std::all_of(viewers.begin(), viewers.end(), test); };
    if (!loop.ServeUntil([&] { return all([](auto& v) { return v->client->picture().loggedOn; }); },
                         60))
        return giveUp("not every viewer was logged on after 60 s");
    const double logonSeconds = bench::SecondsSince(logonStart);
    // The logons' broadcasts are acknowledged or given up before the game starts.
    for (const auto settleStart = Steady::now();
         askQueue().messageQueue != 0 && bench::SecondsSince(settleStart) < 60;)
        loop.Serve(1);

    // ---- The game ---------------------------------------------------------------
    const QueueAnswer atStart = askQueue();
    SequenceNumber startSeq = monitor.Highest();
    for (auto& v : viewers) {
        startSeq = std::max(startSeq, v->Highest());
        v->resends = 0;
    }
    monitor.resends = 0;
    long logonNumbered = 0;
    for (auto& v : viewers)
        logonNumbered += static_cast<long>(v->arrived.size());
    logonNumbered += static_cast<long>(monitor.arrived.size());
    const double cpuStart = bench::ProcessCpuSeconds(run.pid());
    const long kernelDropsStart = ReceiveBufferDrops(run.port);
    const std::string loadStart = LoadAverage();
    std::ostringstream speedText;
    speedText << speed;
    ChildProcess replay(
        {o.replay, "--from-start", "--speed", speedText.str(), o.game, run.dir + "/gui.log"},
        run.dir + "/replay.out");
    if (replay.pid() < 0) return giveUp("cannot start " + o.replay);
    const double replaySeconds = static_cast<double>(stamps.back()) / speed / 1000;
    loop.ServeUntil([&] { return !replay.Running(); }, 2 * replaySeconds + 60);
    replay.Stop(5);

    auto complete = [&](const ScaleViewer& v) { return v.moves == monitor.moves; };
    auto onFinal = [&](const ScaleViewer& v) {
        return v.client->picture().fen == monitor.client->picture().fen;
    };
    const auto settleStart = Steady::now();
    while (bench::SecondsSince(settleStart) < o.secondsAfter) {
        const bool viewersDone = !monitor.client->picture().result.empty() &&
                                 all([&](auto& v) { return complete(*v) && onFinal(*v); });
        if (viewersDone && askQueue().messageQueue == 0) break;
        loop.Serve(std::min(1.0, o.secondsAfter - bench::SecondsSince(settleStart)));
    }
    const QueueAnswer atEnd = askQueue();
    const double cpu = bench::ProcessCpuSeconds(run.pid()) - cpuStart;
    const long peakKb = bench::StatusKb(run.pid(), "VmHWM");
    const long kernelDrops = ReceiveBufferDrops(run.port) - kernelDropsStart;
    const int serverStatus = run.process->Stop(10);

    // ---- What reached the viewers -------------------------------------------------
    const int plies = static_cast<int>(monitor.moves.size());
    const int pliesLogged = bench::Occurrences(bench::ReadFile(run.dir + "/server.log"), "> Move ");
    const bool monitorWhole =
        plies == pliesLogged && plies > 0 && monitor.moves.rbegin()->first == plies;
    int completeCount = 0, finalCount = 0;
    long numbered = monitor.NumberedAbove(startSeq), resends = monitor.resends;
    SequenceNumber highest = monitor.Highest();
    for (auto& v : viewers) {
        completeCount += complete(*v) ? 1 : 0;
        finalCount += onFinal(*v) ? 1 : 0;
        numbered += v->NumberedAbove(startSeq);
        resends += v->resends;
        highest = std::max(highest, v->Highest());
    }
    const long givenUp = atEnd.dropped - atStart.dropped;
    const double share = numbered > 0 ? static_cast<double>(givenUp) / numbered : 0;

    std::printf(
        "lantrel-server scale: %d viewers, %.1f %% loss each way, %g plies/s (replay "
        "--speed %s), %s, seed %u\n",
        o.viewers, 100 * o.loss, o.pliesPerSecond, speedText.str().c_str(),
        std::filesystem::path(o.game).filename().c_str(), o.seed);
    std::printf(
        "  logons: all on after %.1f s, %ld numbered; at the game's start %ld given up, "
        "%ld unacknowledged\n",
        logonSeconds, logonNumbered, atStart.dropped, atStart.messageQueue);
    std::printf(
        "  game: %d plies (server.log: %d), %ld numbers never reached a viewer, %ld "
        "datagrams lost in full receive buffers, load %s -> %s\n",
        plies, pliesLogged, static_cast<long>(highest - startSeq) - numbered, kernelDrops,
        loadStart.c_str(), LoadAverage().c_str());
    std::printf("%8s %6s %8s %10s %10s %9s %9s %9s %8s %7s %11s %9s\n", "viewers", "loss %",
                "plies/s", "complete", "final FEN", "numbered", "re-sends", "given up", "share %",
                "CPU s", "us/view/ply", "peak kB");
    std::printf("%8d %6.1f %8g %5d/%-4d %5d/%-4d %9ld %9ld %9ld %8.2f %7.2f %11.1f %9ld\n",
                o.viewers, 100 * o.loss, o.pliesPerSecond, completeCount, o.viewers, finalCount,
                o.viewers, numbered, resends, givenUp, 100 * share, cpu,
                plies > 0 ? cpu / o.viewers / plies * 1e6 : 0.0, peakKb);

    const bool ok = monitorWhole && serverStatus == 0 && completeCount == o.viewers &&
                    finalCount == o.viewers && atEnd.dropped >= 0 && share < kGivenUpLimit;
    if (!monitorWhole)
        std::printf("the monitor's move list does not match server.log: no reference\n");
    if (serverStatus != 0) std::printf("exit status of the server on SIGTERM: %d\n", serverStatus);
    std::printf("%s\n", ok ? "scale passed" : "SCALE FAILED");
    if (ok) {
        std::filesystem::remove_all(run.dir);
    } else {
        std::printf("working directory kept: %s\n", run.dir.c_str());
    }
    return ok ? 0 : 1;
}
