// The logs of cutechess-cli and fastchess (tests/fixtures/cutechess and
// fastchess, made by tools/record/record_runners.py) replayed through the real
// server: every output tells the games the runner saved, with no move error.
#include <gtest/gtest.h>

#include <set>

#include "every_output.h"
#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

const std::string kFixtures = std::string(LANTREL_FIXTURES);

struct RunnerCase {
    const char* runner;
    const char* name;
    std::set<int> followed;  // the runner's game numbers followed; empty: all
};
void PrintTo(const RunnerCase& c, std::ostream* out) {
    *out << c.runner << "/" << c.name;
}

// The saved PGN's games of the given numbers (counted from 1 in the file).
std::string PgnGames(const std::string& pgn, const std::set<int>& numbers) {
    std::string kept;
    int number = 0;
    bool keep = false;
    for (const std::string& line : SplitLines(pgn)) {
        if (StartsWith(line, "[Event ")) keep = numbers.count(++number) > 0;
        if (keep) kept += line + "\n";
    }
    return kept;
}

class RunnerReplayTest : public ::testing::TestWithParam<RunnerCase> {};

TEST_P(RunnerReplayTest, EveryOutputTellsTheSavedGames) {
    const RunnerCase& c = GetParam();
    const std::string base = kFixtures + "/" + c.runner + "/" + c.name;
    std::vector<ExpectedGame> expected = ReadExpected(base + ".expected");
    ASSERT_FALSE(expected.empty());
    std::string pgn = FileText(base + ".pgn");
    if (!c.followed.empty()) {
        std::vector<ExpectedGame> followed;
        for (int number : c.followed)
            followed.push_back(expected.at(static_cast<std::size_t>(number - 1)));
        expected = followed;
        pgn = PgnGames(pgn, c.followed);
    }
    TempDir dir;
    dir.Write("saved.pgn", pgn);

    const ReplayOutcome outcome =
        ReplayThroughServer(base + ".log", static_cast<int>(expected.size()), "", true);
    ASSERT_TRUE(outcome.setUp);
    EXPECT_TRUE(outcome.replayEnded);
    EXPECT_EQ(CountOf(outcome.serverLog, "Cannot find the following move..."), 0)
        << outcome.serverLog;
    ExpectGamesAsRecorded(GamesWithMoves(outcome.watcher.Finished()), expected);
    ExpectEveryOutputTellsTheSavedGames(outcome, dir.File("saved.pgn"));
    if (!c.followed.empty()) {
        EXPECT_EQ(CountOf(outcome.serverLog, "This log holds 2 games at once: following game 1"), 1)
            << outcome.serverLog;
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, RunnerReplayTest,
                         ::testing::Values(RunnerCase{"cutechess", "round_robin", {}},
                                           RunnerCase{"cutechess", "ponder", {}},
                                           RunnerCase{"cutechess", "epd_openings", {}},
                                           RunnerCase{"cutechess", "faults", {}},
                                           RunnerCase{"cutechess", "chess960", {}},
                                           // Two games at once: each followed game ends while the
                                           // other is under way, and the next to start is followed.
                                           RunnerCase{"cutechess", "concurrency", {1, 4, 5}},
                                           RunnerCase{"fastchess", "round_robin", {}},
                                           RunnerCase{"fastchess", "chess960", {}},
                                           RunnerCase{"fastchess", "faults", {}}),
                         [](const auto& info) {
                             return std::string(info.param.runner) + "_" + info.param.name;
                         });

}  // namespace
}  // namespace lantrel
