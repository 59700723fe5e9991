// Move generator speed: perft (legal move tree leaf counts) in nodes per second.
// Every node is generated with the make / attack test / take-back legality check
// the server uses for its second matching pass.
//   bench_chess_perft [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include "chess/fen.h"
#include "chess/perft.h"

namespace {

using lantrel::Board;

void RunPerft(benchmark::State& state, const char* fen) {
    Board board;
    lantrel::LoadFen(board, fen);
    const int depth = static_cast<int>(state.range(0));
    std::uint64_t nodes = 0;
    for (auto _ : state) {
        nodes += lantrel::Perft(board, depth);
        benchmark::ClobberMemory();
    }
    state.counters["nodes_per_second"] =
        benchmark::Counter(static_cast<double>(nodes), benchmark::Counter::kIsRate);
}

void StartPosition(benchmark::State& state) {
    RunPerft(state, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
}
void Kiwipete(benchmark::State& state) {
    RunPerft(state, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
}
void RookEndgame(benchmark::State& state) {
    RunPerft(state, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1");
}

BENCHMARK(StartPosition)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Kiwipete)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(RookEndgame)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
