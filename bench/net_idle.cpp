// CPU use of an idle lantrel-server: no datagrams, DELAY=100, so every pass of the
// main loop ends with a 100 ms receive wait. Measured from /proc/PID/stat over a
// stretch of wall time, with no viewer and with 24 logged-on viewers that only
// PING every 20 seconds (and acknowledge the PONGs).
//
//   bench_net_idle [seconds] [path to lantrel-server]
//   (default: 20 seconds each, the lantrel-server of this build)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/viewer_client.h"
#include "platform/posix.h"

namespace {

using namespace lantrel;

double MeasureIdle(const std::string& serverBin, int viewers, double seconds) {
    bench::ServerRun run(serverBin, "idle", "DELAY=100\n");
    if (!run.started()) {
        std::fprintf(stderr, "cannot start %s\n", serverBin.c_str());
        std::exit(1);
    }
    const int port = run.port;

    SystemClock clock;
    std::vector<std::unique_ptr<UdpSocket>> sockets;
    std::vector<std::unique_ptr<ViewerClient>> clients;
    for (int k = 0; k < viewers; ++k) {
        sockets.push_back(std::make_unique<UdpSocket>());
        sockets.back()->Open(static_cast<std::uint16_t>(port), bench::ViewerIp(k), 0);
        ViewerSettings s;
        s.server = kLocalViewerIp;
        s.port = static_cast<std::uint16_t>(port);
        s.name = "idle" + std::to_string(k);
        clients.push_back(std::make_unique<ViewerClient>(*sockets.back(), clock, s));
        clients.back()->Logon();
    }
    auto serve = [&](double forSeconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(forSeconds);
        while (std::chrono::steady_clock::now() < end) {
            if (clients.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            for (auto& c : clients)
                c->Poll(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    serve(3);  // logons and their welcome settle
    const double cpu0 = bench::ProcessCpuSeconds(run.pid());
    const auto t0 = std::chrono::steady_clock::now();
    serve(seconds);
    const double cpu1 = bench::ProcessCpuSeconds(run.pid());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    run.process->Stop();
    std::filesystem::remove_all(run.dir);
    return (cpu1 - cpu0) / wall * 100.0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    const std::string serverBin = argc > 2 ? argv[2] : LANTREL_SERVER_BIN;
    std::printf("lantrel-server idle, DELAY=100, %.0f s per line\n", seconds);
    for (int viewers : {0, 24}) {
        double percent = MeasureIdle(serverBin, viewers, seconds);
        std::printf("  %2d viewers: %.3f %% of one core\n", viewers, percent);
    }
    return 0;
}
