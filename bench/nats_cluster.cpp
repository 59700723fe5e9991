// The feed through a NATS cluster, with failures: three hubs in a JetStream
// cluster (routes between them) holding the relay's stream and bucket at three
// replicas, leaf-node edges connected to all three hubs, lantrel-relay
// publishing to the hubs, and followers on the edges (lantrel-nats-followers,
// libnats on libevent, one process per edge, each follower on a connection of
// its own). A recorded XBoard game is appended to the GUI log at a steady pace;
// a third of the way in the hub that leads the stream is killed (and stays
// down), two thirds in the first edge is killed and started again.
// Reports the time from each move's append to its arrival at the last follower
// before and after each failure, whether every follower ends with every move
// once and the result, and the CPU time and memory of each node and program.
//   bench_nats_cluster [--followers N] [--plies-per-second X] [--game NAME]
// Each edge takes at most 9,999 followers: the audience's max_connections in
// packaging/nats/audience.conf is 10,000, and the edge's leaf connection, bound
// to that account, is one of them. N followers get ceil(N / 9,999) edges.
// NAME is a log of tests/fixtures/xboard (default sf_sf, 126 plies). Needs
// nats-server. The work folder (the nodes' and the relay's logs) is removed
// after a complete run unless KEEP_WORK=1 is set.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "nats_bench_support.h"

namespace {

using namespace lantrel::bench;
using lantrel::ChildProcess;

constexpr int kFollowersPerEdge = 9999;
constexpr const char* kStream = "LANTREL_BENCH";

std::int64_t Nanoseconds(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

// A nats-server of the run: its configuration, its process, and the CPU of the
// processes it ran as before the one now running (an edge started again).
struct Node {
    std::string name;
    std::string conf;
    int port = 0;
    int http = 0;
    std::unique_ptr<ChildProcess> process;
    double cpuBefore = 0;
    double cpuOfEarlier = 0;
    long peakRssKb = 0;
    bool down = false;

    void Start(const std::string& dir) {
        process = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/env", "nats-server", "-c", conf},
            dir + "/" + name + "-" + std::to_string(starts++) + ".log");
    }
    double Cpu() const {
        return cpuOfEarlier + (down ? 0 : ProcessCpuSeconds(process->pid())) - cpuBefore;
    }
    // SIGKILL, as a crash would; what the process used is kept.
    void Kill() {
        cpuOfEarlier += ProcessCpuSeconds(process->pid());
        peakRssKb = std::max(peakRssKb, StatusKb(process->pid(), "VmHWM"));
        ::kill(process->pid(), SIGKILL);
        process->Wait(10);
        down = true;
    }
    int starts = 0;
};

// Latencies of a stretch of the game, in ms.
struct Phase {
    std::string name;
    std::vector<double> ms;
};

}  // namespace

int main(int argc, char** argv) {
    LoadOptions options{20000};
    if (const int status =
            ReadLoadOptions(argc, argv, "bench_nats_cluster", "--followers", 1, options))
        return status;
    const int followers = options.followers;
    const RecordedGame& game = options.game;
    const std::size_t plies = game.moves.size();
    const int edges = (followers + kFollowersPerEdge - 1) / kFollowersPerEdge;
    const std::string binDir = std::filesystem::path(LANTREL_SERVER_BIN).parent_path();
    const std::string followersBin = binDir + "/lantrel-nats-followers";
    if (!std::filesystem::exists(followersBin)) {
        std::fprintf(stderr, "no %s (it needs libevent-dev)\n", followersBin.c_str());
        return 1;
    }

    std::string pattern = "/tmp/lantrel-natscluster-XXXXXX";
    if (!::mkdtemp(pattern.data())) return 1;
    const std::string dir = pattern;
    WriteAccounts(dir, edges);

    std::vector<Node> hubs(3);
    std::vector<HubPorts> hubPorts(3);
    std::vector<int> routePorts, leafPorts;
    for (HubPorts& p : hubPorts) {
        p = {FreeTcpPort(), FreeTcpPort(), FreeTcpPort(), FreeTcpPort()};
        routePorts.push_back(p.route);
        leafPorts.push_back(p.leaf);
    }
    std::string hubUrls;
    for (int i = 0; i < 3; ++i) {
        Node& hub = hubs[static_cast<std::size_t>(i)];
        hub.name = "hub-" + std::to_string(i + 1);
        hub.conf = dir + "/" + hub.name + ".conf";
        hub.port = hubPorts[static_cast<std::size_t>(i)].client;
        hub.http = hubPorts[static_cast<std::size_t>(i)].http;
        std::ofstream(hub.conf) << HubConf(hub.name, dir, hubPorts[static_cast<std::size_t>(i)],
                                           routePorts);
        hubUrls += (i ? ",nats://127.0.0.1:" : "nats://127.0.0.1:") + std::to_string(hub.port);
        hub.Start(dir);
    }
    std::vector<Node> edgeNodes(static_cast<std::size_t>(edges));
    for (int k = 1; k <= edges; ++k) {
        Node& edge = edgeNodes[static_cast<std::size_t>(k - 1)];
        edge.name = "edge-" + std::to_string(k);
        edge.conf = dir + "/" + edge.name + ".conf";
        edge.port = FreeTcpPort();
        edge.http = FreeTcpPort();
        std::ofstream(edge.conf) << EdgeConf(k, edge.port, edge.http, leafPorts);
        edge.Start(dir);
    }
    for (const std::vector<Node>* nodes : {&hubs, &edgeNodes})
        for (const Node& n : *nodes)
            if (!WaitForPort(n.port, 20)) {
                std::fprintf(stderr, "%s did not start (see %s)\n", n.name.c_str(), dir.c_str());
                return 1;
            }

    const int webPort = FreeTcpPort();
    ServerRun run(LANTREL_SERVER_BIN, "natscluster", WebSettings(webPort));
    if (!run.started() || !WaitForPort(webPort, 10)) return 1;
    ChildProcess relay(
        {binDir + "/lantrel-relay", "--feed", "ws://127.0.0.1:" + std::to_string(webPort) + "/feed",
         "--nats", hubUrls, "--channel", "bench", "--replicas", "3", "--user", "relay",
         "--password-file", dir + "/relay.password"},
        dir + "/relay.log");
    // The stream is there, replicated, with a leader.
    const auto clusterStart = Clock::now();
    std::string leader;
    while (leader.empty() && SecondsSince(clusterStart) < 60) {
        leader = StreamLeader(hubs[0].http, kStream);
        if (leader.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (leader.empty()) {
        std::fprintf(stderr, "the stream got no leader (see %s)\n", dir.c_str());
        return 1;
    }
    std::printf("cluster: 3 hubs, stream %s at 3 replicas led by %s after %.1f s; %d edge(s)\n",
                kStream, leader.c_str(), SecondsSince(clusterStart), edges);

    std::vector<long> edgeRssBefore;
    for (const Node& e : edgeNodes)
        edgeRssBefore.push_back(StatusKb(e.process->pid(), "VmRSS"));
    std::vector<std::unique_ptr<ChildProcess>> crowds;
    std::vector<int> crowdSizes;
    for (int k = 0; k < edges; ++k) {
        const int count = followers / edges + (k < followers % edges ? 1 : 0);
        crowdSizes.push_back(count);
        crowds.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{
                followersBin, "--servers",
                "nats://127.0.0.1:" + std::to_string(edgeNodes[static_cast<std::size_t>(k)].port),
                "--channel", "bench", "--count", std::to_string(count), "--plies",
                std::to_string(plies), "--arrivals", dir + "/arrivals-" + std::to_string(k),
                "--appended", dir + "/appended", "--timeout", "1200"},
            dir + "/followers-" + std::to_string(k) + ".out"));
    }
    const auto joinStart = Clock::now();
    for (int k = 0; k < edges; ++k) {
        if (!WaitForText(dir + "/followers-" + std::to_string(k) + ".out", "following", 600,
                         crowds[static_cast<std::size_t>(k)].get())) {
            std::fprintf(stderr, "the followers on edge-%d did not all follow (see %s)\n", k + 1,
                         dir.c_str());
            return 1;
        }
    }
    std::printf("followers: %d following after %.1f s\n", followers, SecondsSince(joinStart));
    std::vector<long> edgeRssFollowing;
    for (const Node& e : edgeNodes)
        edgeRssFollowing.push_back(StatusKb(e.process->pid(), "VmRSS"));

    std::vector<Usage> programs{{"lantrel-server", run.pid()}, {"lantrel-relay", relay.pid()}};
    for (Usage& u : programs)
        u.cpuBefore = ProcessCpuSeconds(u.pid);
    for (std::vector<Node>* nodes : {&hubs, &edgeNodes})
        for (Node& n : *nodes)
            n.cpuBefore = ProcessCpuSeconds(n.process->pid());

    // The failures, beside the pacing of the appends.
    const std::size_t leaderPly = plies / 3, edgePly = 2 * plies / 3;
    std::atomic<std::size_t> appendedPly{0};
    std::mutex noteMutex;
    std::vector<std::string> notes;
    auto note = [&](const std::string& text) {
        std::lock_guard lock(noteMutex);
        notes.push_back(text);
    };
    std::thread failures([&] {
        auto waitForPly = [&](std::size_t ply) {
            while (appendedPly < ply)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        waitForPly(leaderPly);
        Node* killed = nullptr;
        for (Node& h : hubs)
            if (h.name == StreamLeader(hubs[0].http, kStream)) killed = &h;
        if (!killed) {
            note("no leader found to kill");
            return;
        }
        const auto killedAt = Clock::now();
        killed->Kill();
        std::string next;
        while (SecondsSince(killedAt) < 60) {
            for (const Node& h : hubs)
                if (!h.down && next.empty()) next = StreamLeader(h.http, kStream);
            if (!next.empty() && next != killed->name) break;
            next.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        note("before ply " + std::to_string(leaderPly + 1) + ": killed the leader " + killed->name +
             "; " +
             (next.empty()
                  ? std::string("no new leader within 60 s")
                  : next + " leads after " + std::to_string(SecondsSince(killedAt)) + " s"));
        waitForPly(edgePly);
        Node& edge = edgeNodes[0];
        const auto edgeKilledAt = Clock::now();
        edge.Kill();
        edge.Start(dir);
        edge.down = false;
        const bool up = WaitForPort(edge.port, 30);
        note("before ply " + std::to_string(edgePly + 1) + ": killed " + edge.name +
             (up ? ", listening again after " + std::to_string(SecondsSince(edgeKilledAt)) + " s"
                 : ", not listening again within 30 s"));
    });

    AppendToFile(run.dir + "/gui.log", game.prelude);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto replayStart = Clock::now();
    std::ofstream appendedFile(dir + "/appended");
    const std::vector<Clock::time_point> appended =
        AppendMoves(game, run.dir + "/gui.log", options.pliesPerSecond,
                    [&](std::size_t ply, Clock::time_point at) {
                        appendedFile << ply << ' ' << Nanoseconds(at) << std::endl;
                        appendedPly = ply;
                    });
    failures.join();
    bool allExited = true;
    for (auto& c : crowds)
        allExited = c->Wait(300) >= 0 && allExited;
    const double replaySeconds = SecondsSince(replayStart);
    for (Usage& u : programs) {
        u.cpu = ProcessCpuSeconds(u.pid) - u.cpuBefore;
        u.rssKb = StatusKb(u.pid, "VmHWM");
    }

    // Each ply's arrival at the last follower, over all edges.
    std::vector<std::int64_t> last(plies, 0);
    for (int k = 0; k < edges; ++k) {
        std::ifstream arrivals(dir + "/arrivals-" + std::to_string(k));
        std::size_t ply;
        std::int64_t at;
        while (arrivals >> ply >> at)
            if (ply >= 1 && ply <= plies) last[ply - 1] = std::max(last[ply - 1], at);
    }
    std::vector<Phase> phases{{"before the failures", {}},
                              {"after the leader hub's loss", {}},
                              {"after the edge's restart", {}}};
    for (std::size_t i = 0; i < plies; ++i) {
        if (last[i] == 0) continue;
        Phase& phase = phases[i < leaderPly ? 0 : i < edgePly ? 1 : 2];
        phase.ms.push_back(static_cast<double>(last[i] - Nanoseconds(appended[i])) / 1e6);
    }

    std::printf("game %s: %zu plies at %.1f a second, %.1f s\n", options.gameName.c_str(), plies,
                options.pliesPerSecond, replaySeconds);
    for (const std::string& n : notes)
        std::printf("  %s\n", n.c_str());
    for (Phase& p : phases) {
        std::sort(p.ms.begin(), p.ms.end());
        std::printf(
            "to the last follower %-28s p50 %7.1f ms  p99 %7.1f ms  max %7.1f ms (%zu moves)\n",
            (p.name + ":").c_str(), Quantile(p.ms, 0.5), Quantile(p.ms, 0.99),
            p.ms.empty() ? 0.0 : p.ms.back(), p.ms.size());
    }
    bool complete = allExited;
    for (int k = 0; k < edges; ++k) {
        const std::string out = ReadFile(dir + "/followers-" + std::to_string(k) + ".out");
        const std::size_t summary = out.rfind("complete ");
        const std::string line =
            summary == std::string::npos ? "no summary\n" : out.substr(summary);
        complete =
            complete && line.rfind("complete " + std::to_string(crowdSizes[k]) + " of", 0) == 0;
        int done = 0, count = 0, caughtUp = 0, reconnected = 0;
        long long messages = 0;
        std::sscanf(line.c_str(),
                    "complete %d of %d, %d caught up from a snapshot after joining, %d "
                    "reconnected, %lld messages",
                    &done, &count, &caughtUp, &reconnected, &messages);
        Node& edge = edgeNodes[static_cast<std::size_t>(k)];
        const double edgeCpu = edge.Cpu();
        // The followers end with the game: they tell their own CPU.
        double followersCpu = 0, followersRssMb = 0;
        const std::size_t cpu = out.rfind("CPU ");
        if (cpu != std::string::npos)
            std::sscanf(out.c_str() + cpu, "CPU %lf s since all followed, peak RSS %lf MB",
                        &followersCpu, &followersRssMb);
        std::printf("edge-%d, %d followers: %s", k + 1, crowdSizes[k],
                    line.substr(0, line.find('\n') + 1).c_str());
        std::printf("  followers' process: %.2f CPU s over the game, peak RSS %.1f MB\n",
                    followersCpu, followersRssMb);
        std::printf(
            "  %.0f deliveries a second, %.1f us of edge CPU each; %.1f KB more RSS a "
            "connection\n",
            static_cast<double>(messages) / replaySeconds,
            messages > 0 ? edgeCpu * 1e6 / static_cast<double>(messages) : 0.0,
            static_cast<double>(edgeRssFollowing[k] - edgeRssBefore[k]) / crowdSizes[k]);
    }
    for (const std::vector<Node>* nodes : {&hubs, &edgeNodes})
        for (const Node& n : *nodes) {
            const long rss =
                n.down ? n.peakRssKb : std::max(n.peakRssKb, StatusKb(n.process->pid(), "VmHWM"));
            std::printf("%-17s %6.2f CPU s over the game, peak RSS %6.1f MB%s\n", n.name.c_str(),
                        n.Cpu(), static_cast<double>(rss) / 1024,
                        n.down         ? " (killed)"
                        : n.starts > 1 ? " (both processes)"
                                       : "");
        }
    for (const Usage& u : programs)
        std::printf("%-24s %6.2f CPU s over the game, peak RSS %6.1f MB\n", u.name.c_str(), u.cpu,
                    static_cast<double>(u.rssKb) / 1024);
    std::printf("every follower with every move once and the result: %s\n",
                complete ? "yes" : "NO");

    relay.Stop();
    run.process->Stop();
    for (auto& c : crowds)
        c->Stop();
    for (std::vector<Node>* nodes : {&edgeNodes, &hubs})
        for (Node& n : *nodes)
            if (!n.down) n.process->Stop();
    std::filesystem::remove_all(run.dir);
    if (complete && !std::getenv("KEEP_WORK"))
        std::filesystem::remove_all(dir);
    else
        std::printf("kept %s\n", dir.c_str());
    return complete ? 0 : 1;
}
