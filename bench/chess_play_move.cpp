// Cost of one logged move: PlayMoveText on the recorded engine games (5400
// plies), from coordinate texts and from SAN, with server.log written to a
// temporary directory, no viewers, no pause. Also the matching work alone
// (generate, write the three texts of every entry) per position.
//   bench_chess_play_move [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/server.h"
#include "chess/move_text.h"
#include "feed/feed.h"
#include "platform/fakes.h"
#include "platform/posix.h"

namespace {

using namespace lantrel;

struct Ply {
    std::string coordinate, san;
};

std::vector<std::vector<Ply>> LoadGames() {
    const std::filesystem::path source(__FILE__);
    std::ifstream in(source.parent_path().parent_path() / "tests/fixtures/chess/engine_games.txt");
    std::vector<std::vector<Ply>> games;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line == "end") continue;
        if (line.rfind("game ", 0) == 0) {
            games.emplace_back();
            continue;
        }
        std::istringstream fields(line);
        Ply ply;
        fields >> ply.coordinate >> ply.san;
        games.back().push_back(ply);
    }
    return games;
}

const std::vector<std::vector<Ply>>& Games() {
    static const auto games = LoadGames();
    return games;
}

struct BenchServer {
    NullConsole console;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    std::filesystem::path dir;
    Platform platform;
    Server server;

    BenchServer()
        : dir(MakeDir()),
          platform{console, clock, wait, socket, processes, dir.string()},
          server(platform) {
        InitialiseChess(server.feed.chess);
        server.config.delayAfterMove = 0;
        server.feed.game.headerSent = true;
        server.feed.game.lineStamp = "12:00:01";
    }
    ~BenchServer() { std::filesystem::remove_all(dir); }

    static std::filesystem::path MakeDir() {
        auto d = std::filesystem::temp_directory_path() / "lantrel-bench-chess";
        std::filesystem::create_directories(d);
        return d;
    }
    void NewGame() {
        ResetBoardForNewGame(server.feed.chess);
        server.feed.game.plyCount = 0;
    }
};

void PlayGames(benchmark::State& state, bool fromSan) {
    BenchServer b;
    std::int64_t moves = 0;
    std::string text;
    for (auto _ : state) {
        for (const auto& game : Games()) {
            b.NewGame();
            for (const Ply& ply : game) {
                text = fromSan ? ply.san : ply.coordinate;
                PlayMoveText(b.server.feed, text);
            }
            moves += static_cast<std::int64_t>(game.size());
        }
        // Keep server.log from growing for the whole run.
        std::ofstream(b.dir / "server.log", std::ios::trunc);
    }
    if (b.server.feed.game.moveErrorCount != 0)
        state.SkipWithError("a recorded move was not found");
    state.SetItemsProcessed(moves);
    state.counters["us_per_move"] = benchmark::Counter(
        static_cast<double>(moves), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}

void PlayMoveTextFromCoordinates(benchmark::State& state) {
    PlayGames(state, false);
}
void PlayMoveTextFromSan(benchmark::State& state) {
    PlayGames(state, true);
}

// The matching work of one pass without the server around it.
void MatchingPassOnly(benchmark::State& state) {
    Board board;
    MoveList list;
    std::array<MoveTextColumn, 3> texts;
    std::string e2e4 = "e2e4";
    const MoveTextMarks marks = NormaliseMoveText(e2e4);
    std::vector<Board> positions;
    for (const auto& game : Games()) {
        Board b;
        for (const Ply& ply : game) {
            positions.push_back(b);
            GenerateMoves(b, list, b.sideToMove, false);
            for (int n = 1; n <= list.count; ++n) {
                const MoveRecord& m = list[n];
                const std::string c = {static_cast<char>('a' + FileOf(m.from) - 1),
                                       static_cast<char>('0' + RankOf(m.from)),
                                       static_cast<char>('a' + FileOf(m.to) - 1),
                                       static_cast<char>('0' + RankOf(m.to))};
                const char promotion = ply.coordinate.size() > 4 ? ply.coordinate[4] : 0;
                const bool promotes = m.kind >= kPromoteKnight && m.kind <= kPromoteQueen;
                const bool kindMatches =
                    promotion == 0 ? !promotes
                                   : promotes && "nbrq"[m.kind - kPromoteKnight] == promotion;
                if (ply.coordinate.substr(0, 4) == c && kindMatches) {
                    MakeMove(b, m.from, m.to, m.kind, b.searchPly);
                    b.searchPly = 1;
                    break;
                }
            }
        }
    }
    std::int64_t done = 0;
    for (auto _ : state) {
        for (Board& p : positions) {
            GenerateMoves(p, list, p.sideToMove, true);
            BuildCoordinateTexts(p, list, marks, texts);
            BuildSanTexts(p, list, texts[2]);
            benchmark::DoNotOptimize(texts[2][1].data());
        }
        done += static_cast<std::int64_t>(positions.size());
    }
    state.SetItemsProcessed(done);
    state.counters["us_per_position"] = benchmark::Counter(
        static_cast<double>(done), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
}

BENCHMARK(PlayMoveTextFromCoordinates)->Unit(benchmark::kMillisecond);
BENCHMARK(PlayMoveTextFromSan)->Unit(benchmark::kMillisecond);
BENCHMARK(MatchingPassOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
