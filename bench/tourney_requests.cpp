// Cost of the tournament services on a 10,000-game PGN file: one "RESULTTABLE",
// "GAMELIST" or "SEND:" request handled whole (server.ini and the PGN read from the
// page cache, the tag scan, counting, sorting, the crosstable, every reply handed
// to the socket), with 40 players and with the table's 300. Reports milliseconds
// per request, datagrams and bytes sent.
//   bench_tourney_requests [--benchmark_filter=...]
#include "app/tourney_requests.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "../tests/fixtures/tourney/pgn_maker.h"
#include "app/server.h"
#include "platform/fakes.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "tourney/tourney.h"

namespace {

using namespace lantrel;

constexpr int kGames = 10000;
constexpr IpAddress kViewer = MakeIp(10, 0, 0, 2);

// A server on the fake platform in a scratch directory holding server.ini and the
// generated PGN file.
struct BenchServer {
    explicit BenchServer(int players) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lantrel-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data()) ? pattern : std::string();
        platform =
            std::make_unique<Platform>(Platform{console, clock, wait, socket, processes, dir});
        server = std::make_unique<Server>(*platform);
        AppendLine(dir + "/server.ini", "TOURNEYPGN=games.pgn");
        AppendBytes(dir + "/games.pgn", pgnmaker::MakeTourneyPgn(kGames, players));
        server->config.mailServer = "smtp.example.org";
        server->config.returnAddress = "server@example.org";
    }
    ~BenchServer() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    NullConsole console;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    std::string dir;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Server> server;
};

template <typename Handler>
void RunRequests(benchmark::State& state, Handler handle, std::string text) {
    Request request{kViewer, std::move(text)};
    BenchServer b(static_cast<int>(state.range(0)));
    std::size_t datagrams = 0, bytes = 0;
    for (auto _ : state) {
        b.socket.sent.clear();
        handle(*b.server, request);
        datagrams = b.socket.sent.size();
        bytes = 0;
        for (const auto& d : b.socket.sent)
            bytes += d.text.size();
    }
    state.counters["datagrams"] = static_cast<double>(datagrams);
    state.counters["bytes_sent"] = static_cast<double>(bytes);
}

void BM_ResultTable(benchmark::State& state) {
    RunRequests(state, SendResultTable, "RESULTTABLE");
}
void BM_GameList(benchmark::State& state) {
    RunRequests(state, SendGameList, "GAMELIST");
}
void BM_GamesByEmail(benchmark::State& state) {
    RunRequests(
        state,
        [](Server& server, const Request& request) {
            SendGamesByEmailTo(server, request, "viewer@example.org");
        },
        "SEND: 1 500 1000 2000 4000 8000 9000");
}

// The parts alone, on the text in memory.
void BM_TagScan(benchmark::State& state) {
    std::string pgn = pgnmaker::MakeTourneyPgn(kGames, static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScanPgnTags(pgn));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pgn.size()));
}

}  // namespace

BENCHMARK(BM_ResultTable)->Arg(40)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GameList)->Arg(40)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GamesByEmail)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagScan)->Arg(40)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
