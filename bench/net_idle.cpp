// CPU use of an idle lantrel-server: no datagrams, DELAY=100, so every pass of the
// main loop ends with a 100 ms receive wait. Measured from /proc/PID/stat over a
// stretch of wall time, with no viewer and with 24 logged-on viewers that only
// PING every 20 seconds (and acknowledge the PONGs).
//
//   bench_net_idle [seconds] [path to lantrel-server]
//   (default: 20 seconds each, the lantrel-server beside the bench/ folder)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/viewer_client.h"
#include "platform/posix.h"

extern char** environ;

namespace {

using namespace lantrel;

double MeasureIdle(const std::string& serverBin, int viewers, double seconds) {
    auto dir = std::filesystem::temp_directory_path() /
               ("lantrel-idle-" + std::to_string(::getpid()) + "-" + std::to_string(viewers));
    std::filesystem::create_directories(dir);
    const int port = bench::FreePort();
    std::ofstream((dir / "server.ini").string())
        << "PORT=" << port << "\nBIND=127.0.0.1\nDELAY=100\nPATH=" << (dir / "gui.log").string()
        << "\n";
    std::vector<std::string> args{serverBin, "--headless", "--dir", dir.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));

    SystemClock clock;
    std::vector<std::unique_ptr<UdpSocket>> sockets;
    std::vector<std::unique_ptr<ViewerClient>> clients;
    for (int k = 0; k < viewers; ++k) {
        sockets.push_back(std::make_unique<UdpSocket>());
        sockets.back()->Open(static_cast<std::uint16_t>(port), MakeIp(127, 0, 0, k + 2), 0);
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
    const double cpu0 = bench::ProcessCpuSeconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    serve(seconds);
    const double cpu1 = bench::ProcessCpuSeconds(pid);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(dir);
    return (cpu1 - cpu0) / wall * 100.0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    std::string serverBin =
        argc > 2 ? argv[2]
                 : (std::filesystem::path(argv[0]).parent_path().parent_path() / "lantrel-server")
                       .string();
    std::printf("lantrel-server idle, DELAY=100, %.0f s per line\n", seconds);
    for (int viewers : {0, 24}) {
        double percent = MeasureIdle(serverBin, viewers, seconds);
        std::printf("  %2d viewers: %.3f %% of one core\n", viewers, percent);
    }
    return 0;
}
