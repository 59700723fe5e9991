// Soak run of lantrel-server: a recorded game replayed in a loop at high speed
// while 50 viewers on loopback addresses log on and off, chat, ask the server
// questions and ping it, each losing a share of the datagrams it receives and of
// the acknowledgements it sends. A monitor viewer without losses asks for the
// version every few seconds and times the answer. At the end: what went out,
// what was acknowledged and given up, viewers dropped, the server's memory at
// the start and at the end, and its CPU time.
//
//   bench_soak [--seconds N] [--viewers N] [--drop SHARE] [--speed X] [--move-delay MS]
//              [--server PATH] [--replay PATH] [--game RECORDED_LOG]
//
// Defaults: 600 seconds, 50 viewers, 5 % loss each way, the game at 4 times its
// recorded pace, DELAYAFTERMOVE=100. Loopback only. The exit status is 0 when the
// server stayed up, answered the monitor every time, ended cleanly on SIGTERM and
// its memory grew by no more than 5 % after the warm-up; 1 otherwise.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "net/viewer_client.h"
#include "platform/posix.h"
#include "text/text.h"

namespace {

using namespace lantrel;
using Steady = std::chrono::steady_clock;

struct Options {
    double seconds = 600;
    int viewers = 50;
    double drop = 0.05;
    double speed = 4;
    int moveDelay = 100;
    std::string server = LANTREL_SERVER_BIN;
    std::string replay;
    std::string game = std::string(LANTREL_FIXTURES) + "/xboard/sf_sf.debug";
};

// One of the soak's viewers and what it does next.
struct SoakViewer {
    UdpSocket socket;
    std::unique_ptr<ViewerClient> client;
    bool on = false;  // logged on, as far as this viewer is concerned
    double nextAction = 0;
    SequenceNumber highestSeq = 0;
};

struct Totals {
    long datagrams = 0, lost = 0, framed = 0, repeats = 0, acksSent = 0, acksLost = 0;
    long ownResends = 0, ownGivenUp = 0;
    long logons = 0, logoffs = 0, chats = 0, queries = 0;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--seconds") {
            o.seconds = std::atof(value().c_str());
        } else if (arg == "--viewers") {
            o.viewers = std::atoi(value().c_str());
        } else if (arg == "--drop") {
            o.drop = std::atof(value().c_str());
        } else if (arg == "--speed") {
            o.speed = std::atof(value().c_str());
        } else if (arg == "--move-delay") {
            o.moveDelay = std::atoi(value().c_str());
        } else if (arg == "--server") {
            o.server = value();
        } else if (arg == "--replay") {
            o.replay = value();
        } else if (arg == "--game") {
            o.game = value();
        } else {
            std::fprintf(stderr, "bench_soak: unknown argument '%s'\n", arg.c_str());
            return false;
        }
    }
    if (o.replay.empty())
        o.replay = (std::filesystem::path(o.server).parent_path() / "lantrel-replay").string();
    return o.seconds > 0 && o.viewers >= 1 && o.viewers <= 200 && o.drop >= 0 && o.drop < 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: bench_soak [--seconds N] [--viewers N] [--drop SHARE] [--speed X]\n"
                     "                  [--move-delay MS] [--server PATH] [--replay PATH]\n"
                     "                  [--game RECORDED_LOG]\n");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);

    // ---- The server, its game and its viewers -----------------------------------
    bench::ServerRun run(
        o.server, "soak",
        "SITE=Soak\nDELAYAFTERMOVE=" + std::to_string(o.moveDelay) + "\nDELAYAFTERGAME=1000\n");
    if (!run.started()) {
        std::fprintf(stderr, "bench_soak: cannot start %s\n", o.server.c_str());
        return 2;
    }
    const std::string& dir = run.dir;
    const int port = run.port;
    const pid_t server = run.pid();
    std::ostringstream speed;
    speed << o.speed;
    ChildProcess replay({o.replay, "--loop", "--from-start", "--pause", "3000", "--speed",
                         speed.str(), o.game, dir + "/gui.log"},
                        dir + "/replay.out");
    if (replay.pid() < 0) {
        std::fprintf(stderr, "bench_soak: cannot start %s\n", o.replay.c_str());
        return 2;
    }

    SystemClock clock;
    std::mt19937 random(2024);
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const auto start = Steady::now();
    std::vector<std::unique_ptr<SoakViewer>> viewers;
    for (int k = 0; k < o.viewers; ++k) {
        auto v = std::make_unique<SoakViewer>();
        const IpAddress ip = bench::ViewerIp(k);
        if (v->socket.Open(static_cast<std::uint16_t>(port), ip, 0) != SocketError::kOk) {
            std::fprintf(stderr, "bench_soak: cannot bind %s:%d\n", IpText(ip).c_str(), port);
            return 2;
        }
        ViewerSettings s;
        s.server = kLocalViewerIp;
        s.port = static_cast<std::uint16_t>(port);
        s.name = "Soak" + std::to_string(k);
        s.dropReceivedShare = o.drop;
        s.dropAckShare = o.drop;
        s.lossSeed = static_cast<std::uint32_t>(k + 1);
        v->client = std::make_unique<ViewerClient>(v->socket, clock, s);
        SoakViewer* self = v.get();
        v->client->onNumberedMessage = [self](SequenceNumber seq, const std::string&) {
            self->highestSeq = std::max(self->highestSeq, seq);
        };
        v->client->Logon();
        v->on = true;
        v->nextAction = uniform(1, 10);
        viewers.push_back(std::move(v));
    }

    // The monitor: no losses, asks for the version and times the answer.
    UdpSocket monitorSocket;
    if (monitorSocket.Open(static_cast<std::uint16_t>(port), bench::kMonitorIp, 0) !=
        SocketError::kOk)
        return 2;
    ViewerSettings ms;
    ms.server = kLocalViewerIp;
    ms.port = static_cast<std::uint16_t>(port);
    ms.name = "Monitor";
    ViewerClient monitor(monitorSocket, clock, ms);
    std::vector<std::string> answers;
    monitor.onMessage = [&](const std::string& text) {
        if (StartsWith(text, "CHAT:[SERVER] ")) answers.push_back(text);
    };
    monitor.Logon();

    Totals totals;
    totals.logons = o.viewers;
    auto serveAll = [&](double forSeconds, bool act) {
        const auto until = Steady::now() + std::chrono::duration<double>(forSeconds);
        while (Steady::now() < until) {
            int taken = monitor.Poll(0);
            const double now = bench::SecondsSince(start);
            for (auto& v : viewers) {
                taken += v->client->Poll(0);
                if (!act || now < v->nextAction) continue;
                const double r = uniform(0, 1);
                if (!v->on) {
                    v->client->Logon();
                    v->on = true;
                    ++totals.logons;
                } else if (r < 0.55) {
                    v->client->Chat("soak line " + std::to_string(totals.chats++));
                } else if (r < 0.75) {
                    static const char* const kQueries[] = {"CHAT: <who>", "CHAT: <time>",
                                                           "CHAT: <stats>", "CHAT: <q>"};
                    v->client->Send(kQueries[totals.queries++ % 4]);
                } else if (r < 0.85) {
                    v->client->Send("CHANGE:Soak" + std::to_string(r).substr(2, 4));
                } else {
                    v->client->Logoff();
                    v->client->picture().loggedOn = false;  // no pings while away
                    v->on = false;
                    ++totals.logoffs;
                }
                // Back from a logoff after 1 to 5 seconds; otherwise the next
                // action in 5 to 25 seconds.
                v->nextAction = now + (v->on ? uniform(5, 25) : uniform(1, 5));
            }
            if (taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };

    // ---- Warm-up, then the run with a monitor question every 5 seconds -----------
    // The re-send queues grow and shrink with what is in flight: the warm-up
    // lasts through the logons and the first round of logoffs and logons (5 to
    // 25 seconds in), so the memory taken after it is the working size.
    serveAll(std::min(20.0, o.seconds / 3), true);
    const long rssStart = bench::StatusKb(server, "VmRSS");
    const double cpuStart = bench::ProcessCpuSeconds(server);
    const auto runStart = Steady::now();
    std::printf(
        "lantrel-server soak: %d viewers, %.0f %% loss each way, game at %gx, "
        "DELAYAFTERMOVE=%d, %.0f s\n",
        o.viewers, o.drop * 100, o.speed, o.moveDelay, o.seconds);
    std::printf("  %6s %9s %8s %7s %7s\n", "time s", "RSS kB", "CPU s", "moves", "games");
    double latencyMax = 0, latencySum = 0;
    int questions = 0, unanswered = 0;
    double nextReport = 0;
    bool serverDied = false;
    while (bench::SecondsSince(runStart) < o.seconds) {
        if (!run.process->Running()) {
            serverDied = true;
            break;
        }
        const std::size_t before = answers.size();
        const auto asked = Steady::now();
        monitor.SendRaw("CHAT: <ver>");
        ++questions;
        bool answered = false;
        while (bench::SecondsSince(asked) < 5 && !answered) {
            serveAll(0.005, true);
            for (std::size_t i = before; i < answers.size(); ++i)
                if (answers[i] == "CHAT:[SERVER] Version 1.72b (November 2008)") answered = true;
        }
        if (answered) {
            latencyMax = std::max(latencyMax, bench::SecondsSince(asked));
            latencySum += bench::SecondsSince(asked);
        } else {
            ++unanswered;
        }
        if (bench::SecondsSince(runStart) >= nextReport) {
            const std::string log = bench::ReadFile(dir + "/server.log");
            std::printf("  %6.0f %9ld %8.2f %7d %7d\n", bench::SecondsSince(runStart),
                        bench::StatusKb(server, "VmRSS"),
                        bench::ProcessCpuSeconds(server) - cpuStart,
                        bench::Occurrences(log, "> Move"), bench::Occurrences(log, "New Game"));
            std::fflush(stdout);
            nextReport += o.seconds >= 300 ? 60 : 15;
        }
        serveAll(std::max(0.0, 5 - bench::SecondsSince(asked)), true);
    }
    const double wall = bench::SecondsSince(runStart);
    const long rssEnd = serverDied ? -1 : bench::StatusKb(server, "VmRSS");
    const double cpuEnd = serverDied ? -1 : bench::ProcessCpuSeconds(server);

    // ---- Everybody leaves; the server's own counts ---------------------------------
    for (auto& v : viewers) {
        if (v->on) v->client->Logoff();
    }
    serveAll(1, false);
    answers.clear();
    for (const char* q : {"CHAT: <q>", "CHAT: <stats>", "CHAT: <who>"})
        monitor.SendRaw(q);
    monitor.PollUntil([&] { return answers.size() >= 9; }, 3);
    std::string dropped = "?", connects = "?", relayed = "?", users = "?";
    for (const std::string& a : answers) {
        auto after = [&](const std::string& key) { return TrimBlanks(a.substr(key.size())); };
        if (StartsWith(a, "CHAT:[SERVER] Dropped=")) dropped = after("CHAT:[SERVER] Dropped=");
        if (StartsWith(a, "CHAT:[SERVER] connects:")) connects = after("CHAT:[SERVER] connects:");
        if (StartsWith(a, "CHAT:[SERVER] Chat relay:"))
            relayed = after("CHAT:[SERVER] Chat relay:");
        if (StartsWith(a, "CHAT:[SERVER] Users=")) users = after("CHAT:[SERVER] Users=");
    }
    replay.Stop(5);
    const int serverStatus = serverDied ? -1 : run.process->Stop(10);
    const std::string log = bench::ReadFile(dir + "/server.log");

    SequenceNumber highestSeq = 0;
    for (auto& v : viewers) {
        const auto& s = v->client->stats();
        totals.datagrams += s.datagrams;
        totals.lost += s.lost;
        totals.framed += s.framed;
        totals.repeats += s.repeats;
        totals.acksSent += s.acksSent;
        totals.acksLost += s.acksLost;
        totals.ownResends += s.ownResends;
        totals.ownGivenUp += s.ownGivenUp;
        highestSeq = std::max(highestSeq, v->highestSeq);
    }
    const double growth = rssStart > 0 ? 100.0 * (rssEnd - rssStart) / rssStart : 0;

    std::printf("\n  server\n");
    std::printf("    numbered messages sent (highest number)   %ld\n",
                static_cast<long>(highestSeq));
    std::printf("    given up (Dropped)                        %s\n", dropped.c_str());
    std::printf("    viewers dropped for silence               %d\n",
                bench::Occurrences(log, "Disconnected due to no response!"));
    std::printf("    logons counted / chat lines relayed       %s / %s\n", connects.c_str(),
                relayed.c_str());
    std::printf("    users left at the end (monitor only)      %s\n", users.c_str());
    std::printf("    moves played / games started              %d / %d\n",
                bench::Occurrences(log, "> Move"), bench::Occurrences(log, "New Game"));
    std::printf("    RSS after warm-up / at end                %ld kB / %ld kB (%+.1f %%)\n",
                rssStart, rssEnd, growth);
    std::printf("    CPU time over the run                     %.2f s (%.1f %% of one core)\n",
                cpuEnd - cpuStart, 100 * (cpuEnd - cpuStart) / wall);
    std::printf("    exit status on SIGTERM                    %d\n", serverStatus);
    std::printf("  viewers (%d)\n", o.viewers);
    std::printf("    datagrams received                        %ld (%ld thrown away)\n",
                totals.datagrams, totals.lost);
    std::printf("    numbered messages / repeats               %ld / %ld\n", totals.framed,
                totals.repeats);
    std::printf("    ACKs sent / thrown away                   %ld / %ld\n", totals.acksSent,
                totals.acksLost);
    std::printf("    logons / logoffs / chats / queries        %ld / %ld / %ld / %ld\n",
                totals.logons, totals.logoffs, totals.chats, totals.queries);
    std::printf("    own re-sends / own messages given up      %ld / %ld\n", totals.ownResends,
                totals.ownGivenUp);
    std::printf("  monitor\n");
    std::printf("    questions / unanswered                    %d / %d\n", questions, unanswered);
    std::printf("    answer time mean / max                    %.1f ms / %.1f ms\n",
                questions > unanswered ? 1000 * latencySum / (questions - unanswered) : 0,
                1000 * latencyMax);

    const bool ok = !serverDied && serverStatus == 0 && unanswered == 0 && growth <= 5.0;
    std::printf("\n%s\n", ok ? "soak passed" : "SOAK FAILED");
    if (ok) {
        std::filesystem::remove_all(dir);
    } else {
        std::printf("working directory kept: %s\n", dir.c_str());
    }
    return ok ? 0 : 1;
}
