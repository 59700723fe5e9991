// Arena-shaped logs of the recorded XBoard games (tests/fixtures/arena, made by
// tools/record/make_arena_log.py) must give viewers the same games as the
// WinBoard logs they were made from: Arena's engine markers, its "Found move" and
// "Coup trouvé" notes (castling written "O-O"), UCI "info" lines with multipv and
// seldepth, "ucinewgame", "id name" and its engine start notes all pass through
// the translation into WinBoard's shapes.
#include <gtest/gtest.h>

#include <sstream>

#include "every_output.h"
#include "feed/replay.h"
#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

const std::string kFixtures = std::string(LANTREL_FIXTURES);

struct ArenaCase {
    const char* name;
    bool resultSent;  // Arena sends "result" to engine 1 only when it speaks WinBoard protocol
};

class ArenaReplayTest : public ::testing::TestWithParam<ArenaCase> {};

TEST_P(ArenaReplayTest, GivesTheSameGamesAsTheWinBoardLog) {
    const std::string name = GetParam().name;
    const std::vector<ExpectedGame> expected =
        ReadExpected(kFixtures + "/xboard/" + name + ".expected");
    ASSERT_FALSE(expected.empty());
    const int games = static_cast<int>(expected.size());

    ReplayOutcome winboard = ReplayThroughServer(kFixtures + "/xboard/" + name + ".debug", games);
    ReplayOutcome arena = ReplayThroughServer(kFixtures + "/arena/" + name + ".log",
                                              GetParam().resultSent ? games : 0);
    ASSERT_TRUE(winboard.setUp);
    ASSERT_TRUE(arena.setUp);
    EXPECT_TRUE(arena.replayEnded);
    EXPECT_EQ(CountOf(arena.serverLog, "Cannot find the following move..."), 0) << arena.serverLog;

    const GameWatcher& w = winboard.watcher;
    const GameWatcher& a = arena.watcher;
    if (GetParam().resultSent) {
        ExpectGamesAsRecorded(a.Finished(), expected);
        ExpectEveryOutputTellsTheSavedGames(arena, kFixtures + "/xboard/" + name + ".pgn");
        ASSERT_EQ(a.games.size(), w.games.size());
    } else {
        // No result reaches the viewers, so every move of the log is in one game.
        EXPECT_EQ(a.results, 0);
        ASSERT_EQ(a.games.size(), 1u);
        ASSERT_EQ(w.games.size(), 2u);
        EXPECT_TRUE(w.games.back().moves.empty());
    }
    // Move for move the same messages and positions as from the WinBoard log.
    for (std::size_t g = 0; g < a.games.size(); ++g) {
        SCOPED_TRACE("game " + std::to_string(g + 1));
        const SeenGame& mine = a.games[g];
        const SeenGame& theirs = w.games[g];
        ASSERT_EQ(mine.moves.size(), theirs.moves.size());
        for (std::size_t p = 0; p < mine.moves.size(); ++p) {
            EXPECT_EQ(mine.moves[p].message, theirs.moves[p].message) << "ply " << p + 1;
            EXPECT_EQ(mine.moves[p].fen, theirs.moves[p].fen) << "ply " << p + 1;
        }
        if (GetParam().resultSent) {
            EXPECT_EQ(mine.result, theirs.result);
            EXPECT_EQ(mine.white, theirs.white);
            EXPECT_EQ(mine.black, theirs.black);
        }
    }
    // Thinking from UCI "info" lines: depth, score, time in centiseconds, nodes and
    // the first move of the PV, whatever stands between ("seldepth", "multipv 1").
    if (!GetParam().resultSent) {
        int thinking = 0;
        for (const std::string& text : a.messages) {
            if (!StartsWith(text, "WPV: ")) continue;  // engine 1, UCI, has White
            ++thinking;
            std::istringstream fields(text.substr(5));
            std::string depth, score, time, nodes, move, more;
            fields >> depth >> score >> time >> nodes >> move;
            EXPECT_FALSE(fields >> more) << text;
            EXPECT_EQ(ParseNumber(depth) > 0 && ParseNumber(nodes) >= 0, true) << text;
            EXPECT_TRUE(move.size() >= 4 && move[0] >= 'a' && move[0] <= 'h' && move[1] >= '1' &&
                        move[1] <= '8')
                << text;
        }
        EXPECT_GT(thinking, 0);
    }
    EXPECT_EQ(a.white, w.white);
    EXPECT_EQ(a.black, w.black);
    EXPECT_EQ(a.white, expected.back().white);
    EXPECT_EQ(a.black, expected.back().black);
}

// Stockfish first (UCI): "ucinewgame", "id name", "info ... multipv 1 ... pv", moves
// only in the "Found move" notes. phalanx first (WinBoard protocol), stockfish
// second: "result" reaches engine 1, castling notes "O-O". The match: two games,
// colours swapped, both engines WinBoard protocol.
INSTANTIATE_TEST_SUITE_P(Recordings, ArenaReplayTest,
                         ::testing::Values(ArenaCase{"sf_fairymax", false},
                                           ArenaCase{"phalanx_sf", true},
                                           ArenaCase{"sf_sf_draw", false},
                                           ArenaCase{"fairymax_phalanx_match", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArenaFixtureTest, LogsCarryTheShapesTheyAreMeantToCover) {
    const std::string uci = FileText(kFixtures + "/arena/sf_sf_draw.log");
    const std::string winboard = FileText(kFixtures + "/arena/fairymax_phalanx_match.log");
    for (const char* shape :
         {"-->1:ucinewgame", "<--1:id name Stockfish 15.1", "Starting engine 1 Stockfish 15.1 - ",
          "Starting engine 2 Stockfish 15.1 - ", " multipv 1 score cp ", "info currmove ",
          "info nps ", "*1*Found move:", "*2*Found move:", "Coup trouv\xe9:", "-b8Q\r\n",
          "-h1Q\r\n"}) {
        EXPECT_NE(uci.find(shape), std::string::npos) << shape;
    }
    for (const char* shape : {"-->1:new", "-->2:black", "<--2:move O-O", "Found move:O-O\r\n",
                              "-->1:result ", "<--1:feature myname=\"Fairy-Max 5.0b\""}) {
        EXPECT_NE(winboard.find(shape), std::string::npos) << shape;
    }
    EXPECT_EQ(uci.find("<first :"), std::string::npos);
    for (const std::string& line : SplitLines(uci)) {
        ASSERT_TRUE(ReplayStampMs(line).has_value()) << line;  // Arena date-times throughout
    }
}

}  // namespace
}  // namespace lantrel
