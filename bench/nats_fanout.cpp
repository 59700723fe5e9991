// Browsers following the feed through NATS: a hub with JetStream and a
// leaf-node edge on loopback, lantrel-relay between the server and the hub, and
// subscribers split between the hub and the edge, each on a connection of its
// own and following with the page's follower (bench/nats_subscribers.mjs, on
// Node). A recorded XBoard game is appended to the GUI log at a steady pace.
// Reports the time from each move's append to its arrival at every subscriber,
// whether every subscriber ends with the whole game, and the CPU time and
// memory of each node and program.
//   bench_nats_fanout [--subscribers N] [--plies-per-second X] [--game NAME]
// NAME is a log of tests/fixtures/xboard (default sf_sf, 126 plies). Needs
// nats-server, node and npm (it installs the npm packages the tests use).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "nats_bench_support.h"

namespace {

using namespace lantrel::bench;
using lantrel::ChildProcess;

const std::string kSource = LANTREL_SOURCE_DIR;

// The folder of the npm packages the integration tests install, or "".
std::string NpmPackages() {
    const std::string command = "bash -c '. " + kSource +
                                "/tests/integration/npm_packages.sh; skip() { echo \"$*\" >&2; "
                                "exit 1; }; install_npm_packages " +
                                kSource + " /tmp >&2; echo $NPM_DIR'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return "";
    char line[4096] = "";
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    const int status = ::pclose(pipe);
    std::string dir = read && status == 0 ? line : "";
    if (!dir.empty() && dir.back() == '\n') dir.pop_back();
    return dir;
}

struct Subscribers {
    std::string name;
    int port;
    int count;
    std::unique_ptr<ChildProcess> process;
};

}  // namespace

int main(int argc, char** argv) {
    LoadOptions options{5000};
    if (const int status =
            ReadLoadOptions(argc, argv, "bench_nats_fanout", "--subscribers", 2, options))
        return status;
    const int subscribers = options.followers;
    const double pliesPerSecond = options.pliesPerSecond;
    const std::string& gameName = options.gameName;
    const RecordedGame& game = options.game;
    const std::size_t plies = game.moves.size();
    const std::string npm = NpmPackages();
    if (npm.empty()) {
        std::fprintf(stderr, "the npm packages could not be installed\n");
        return 1;
    }

    std::string pattern = "/tmp/lantrel-natsfanout-XXXXXX";
    if (!::mkdtemp(pattern.data())) return 1;
    const std::string dir = pattern;
    const int hubPort = FreeTcpPort(), leafPort = FreeTcpPort(), edgePort = FreeTcpPort();
    WriteAccounts(dir, 1);
    std::ofstream(dir + "/hub.conf") << HubConf("hub", dir, {hubPort, 0, leafPort, 0});
    std::ofstream(dir + "/edge.conf") << EdgeConf(1, edgePort, 0, {leafPort});
    ChildProcess hub({"/usr/bin/env", "nats-server", "-c", dir + "/hub.conf"}, dir + "/hub.log");
    ChildProcess edge({"/usr/bin/env", "nats-server", "-c", dir + "/edge.conf"}, dir + "/edge.log");
    if (!WaitForPort(hubPort, 10) || !WaitForPort(edgePort, 10)) {
        std::fprintf(stderr, "nats-server did not start (see %s)\n", dir.c_str());
        return 1;
    }

    const int webPort = FreeTcpPort();
    ServerRun run(LANTREL_SERVER_BIN, "natsfanout", WebSettings(webPort));
    if (!run.started() || !WaitForPort(webPort, 10)) return 1;
    const std::string relayBin =
        std::filesystem::path(LANTREL_SERVER_BIN).parent_path() / "lantrel-relay";
    ChildProcess relay({relayBin, "--feed", "ws://127.0.0.1:" + std::to_string(webPort) + "/feed",
                        "--nats", "nats://127.0.0.1:" + std::to_string(hubPort), "--channel",
                        "bench", "--user", "relay", "--password-file", dir + "/relay.password"},
                       dir + "/relay.log");

    // Half the subscribers on the hub, half on the edge.
    std::vector<Subscribers> groups(2);
    groups[0] = {"hub", hubPort, subscribers / 2, nullptr};
    groups[1] = {"edge", edgePort, subscribers - subscribers / 2, nullptr};
    for (Subscribers& g : groups) {
        g.process = std::make_unique<ChildProcess>(
            std::vector<std::string>{
                "/usr/bin/env", "node", kSource + "/bench/nats_subscribers.mjs", "--npm", npm,
                "--server", "nats://127.0.0.1:" + std::to_string(g.port), "--channel", "bench",
                "--count", std::to_string(g.count), "--plies", std::to_string(plies), "--arrivals",
                dir + "/arrivals-" + g.name, "--timeout", "600"},
            dir + "/subscribers-" + g.name + ".out");
    }
    const auto joinStart = Clock::now();
    for (const Subscribers& g : groups) {
        if (!WaitForText(dir + "/subscribers-" + g.name + ".out", "following", 300)) {
            std::fprintf(stderr, "the subscribers on the %s did not all follow (see %s)\n",
                         g.name.c_str(), dir.c_str());
            return 1;
        }
    }
    std::printf("subscribers: %d following after %.1f s\n", subscribers, SecondsSince(joinStart));

    std::vector<Usage> usage{{"hub nats-server", hub.pid()},
                             {"edge nats-server", edge.pid()},
                             {"lantrel-server", run.pid()},
                             {"lantrel-relay", relay.pid()}};
    for (Usage& u : usage)
        u.cpuBefore = ProcessCpuSeconds(u.pid);
    AppendToFile(run.dir + "/gui.log", game.prelude);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto replayStart = Clock::now();
    const std::vector<Clock::time_point> appended =
        AppendMoves(game, run.dir + "/gui.log", pliesPerSecond);
    bool allExited = true;
    for (Subscribers& g : groups)
        allExited = g.process->Wait(120) >= 0 && allExited;
    const double replaySeconds = SecondsSince(replayStart);
    for (Usage& u : usage) {
        u.cpu = ProcessCpuSeconds(u.pid) - u.cpuBefore;
        u.rssKb = StatusKb(u.pid, "VmHWM");
    }

    std::printf("game %s: %zu plies at %.1f a second, %.1f s\n", gameName.c_str(), plies,
                pliesPerSecond, replaySeconds);
    bool complete = allExited;
    for (const Subscribers& g : groups) {
        std::vector<double> latencies;
        std::ifstream arrivals(dir + "/arrivals-" + g.name);
        std::size_t ply;
        std::int64_t nanoseconds;
        while (arrivals >> ply >> nanoseconds) {
            if (ply < 1 || ply > plies) continue;
            const auto at = Clock::time_point(std::chrono::nanoseconds(nanoseconds));
            latencies.push_back(
                std::chrono::duration<double, std::milli>(at - appended[ply - 1]).count());
        }
        std::sort(latencies.begin(), latencies.end());
        std::string summary = ReadFile(dir + "/subscribers-" + g.name + ".out");
        const std::size_t last = summary.rfind("complete ");
        summary = last == std::string::npos ? "no summary\n" : summary.substr(last);
        complete = complete && summary.rfind("complete " + std::to_string(g.count) + " of", 0) == 0;
        std::printf(
            "%d on the %s: move latency p50 %.1f ms  p99 %.1f ms  max %.1f ms (%zu arrivals)\n"
            "  subscribers (node): %s",
            g.count, g.name.c_str(), Quantile(latencies, 0.5), Quantile(latencies, 0.99),
            latencies.empty() ? 0.0 : latencies.back(), latencies.size(), summary.c_str());
    }
    for (const Usage& u : usage)
        std::printf("%-17s %6.2f CPU s over the game, peak RSS %6.1f MB\n", u.name.c_str(), u.cpu,
                    static_cast<double>(u.rssKb) / 1024);
    std::printf("every subscriber with the whole game: %s\n", complete ? "yes" : "NO");

    relay.Stop();
    run.process->Stop();
    edge.Stop();
    hub.Stop();
    std::filesystem::remove_all(run.dir);
    if (complete) std::filesystem::remove_all(dir);
    return complete ? 0 : 1;
}
