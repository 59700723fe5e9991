// Real XBoard 4.9.1 debug logs (tests/fixtures/xboard, recorded by
// tools/record/record_xboard.py) replayed through the real server: a viewer must
// see exactly the games XBoard saved, with no move the server could not match.
#include <gtest/gtest.h>

#include "every_output.h"
#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

const std::string kXBoardFixtures = std::string(LANTREL_FIXTURES) + "/xboard/";

// A recording, the moves XBoard refused in it (each came after its mover's
// flag fell: the server takes each back before the result), and the illegal
// moves engines sent (XBoard forfeits the game; the server's journal reports
// each, and the game goes on unchanged to its result).
// A recording of a GUI stopped and started again has the second run's log
// beside it (NAME_again.debug), which replaces the first one.
struct Recording {
    const char* name;
    int refusedMoves;
    int illegalMoves;
    bool restarted = false;
    bool throughNats = false;  // the feed through lantrel-relay into NATS too
};

// sf_fairymax: a UCI engine through polyglot (usermove lines) against a native one.
// phalanx_sf: the native engine first, White; the UCI engine answers as Black.
// sf_sf and sf_sf_draw: both engines call themselves the same; promotions on both
// sides, a draw by insufficient material.
// fairymax_phalanx_match: two games in one log, colours swapped in the second.
// sf_fairymax_st: a fixed time a move ("st 1" to the engines, no level).
// frc_sf_fairysf: eight games of Fischer random chess, a start position of
// XBoard's drawing each (Shredder-FEN), castling on both wings.
// dfrc_fairysf_sf: double Fischer random, each side its own back rank, from
// the position file tools/record/dfrc_positions.fen. Both through NATS too.
// tourney_time_loss: a round robin of three engines in XBoard's tournament mode
// (engines changed between games); in game 2 Black's move came after its flag
// fell and XBoard refused it, while games 1 and 3 end with a loss adjudicated
// right after a move XBoard kept without passing it on.
// tourney_field and tourney_field_ponder: round robins of all eight engines
// Debian ships (UCI through polyglot and XBoard protocol; thinking lines with
// move numbers, the second engine White in every other game, time losses,
// adjudications, games lost on time before the first move and after the
// first), the second with every engine pondering.
// tourney_accidents: fairymax and phalanx against an engine that moves
// illegally and one that dies mid-game (XBoard keeps the last move it could not
// pass on to the dead engine).
// tourney_gui_restart: XBoard stopped in the middle of game 2 and started again
// on its tournament file: its new log replaces the old one, game 2 is left
// without a result (the viewers see it abandoned) and game 3 follows.
const Recording kRecordings[] = {
    {"sf_fairymax", 0, 0},
    {"phalanx_sf", 0, 0},
    {"sf_sf", 0, 0},
    {"sf_sf_draw", 0, 0},
    {"fairymax_phalanx_match", 0, 0},
    {"sf_fairymax_st", 0, 0},
    {"frc_sf_fairysf", 0, 0, false, true},
    {"dfrc_fairysf_sf", 0, 0, false, true},
    {"tourney_time_loss", 1, 0, false, true},
    {"tourney_field", 4, 0},
    {"tourney_field_ponder", 7, 0},
    {"tourney_accidents", 1, 3, false, true},
    {"tourney_gui_restart", 0, 0, true},
};

class XBoardReplayTest : public ::testing::TestWithParam<Recording> {};

TEST_P(XBoardReplayTest, ViewerSeesTheSavedGames) {
    const std::string name = GetParam().name;
    const std::vector<ExpectedGame> expected = ReadExpected(kXBoardFixtures + name + ".expected");
    ASSERT_FALSE(expected.empty());
    // Every result the GUI gave is announced, also that of a game that ended
    // before its first move (an engine that never answered lost on time), which
    // XBoard does not save.
    const std::string log = kXBoardFixtures + name + ".debug";
    const std::string restarted =
        GetParam().restarted ? kXBoardFixtures + name + "_again.debug" : "";
    const int results = ResultsInLog(log) + (restarted.empty() ? 0 : ResultsInLog(restarted));

    ReplayOutcome outcome = ReplayThroughServer(log, results, restarted, GetParam().throughNats);
    ASSERT_TRUE(outcome.setUp);
    EXPECT_TRUE(outcome.replayEnded);
    EXPECT_EQ(outcome.watcher.results, results);
    ExpectGamesAsRecorded(GamesWithMoves(outcome.watcher.Finished()), expected);
    ExpectEveryOutputTellsTheSavedGames(outcome, kXBoardFixtures + name + ".pgn");

    EXPECT_EQ(CountOf(outcome.serverLog, "Cannot find the following move..."),
              GetParam().illegalMoves)
        << outcome.serverLog;
    int plies = 0;
    for (const ExpectedGame& game : expected)
        plies += static_cast<int>(game.plies.size());
    // One journal line per accepted move: "<stamp> Move  n: text, Index = ...",
    // and one more for each move XBoard refused, which is taken back. The moves
    // of a game the stopped GUI left unfinished come on top, as many as the
    // server read before the GUI's new log replaced the old one.
    const int takenBack = CountOf(outcome.serverLog, "Move taken back (the GUI refused it): ");
    EXPECT_EQ(takenBack, GetParam().refusedMoves);
    const int journalled = CountOf(outcome.serverLog, ", Index = ");
    if (GetParam().restarted)
        EXPECT_GE(journalled, plies + takenBack);
    else
        EXPECT_EQ(journalled, plies + takenBack);
}

INSTANTIATE_TEST_SUITE_P(Recordings, XBoardReplayTest, ::testing::ValuesIn(kRecordings),
                         [](const auto& info) { return std::string(info.param.name); });

// The checks themselves must catch a wrong game, or the test above proves nothing.
TEST(XBoardReplayCheckTest, ComparisonsCatchWrongGames) {
    const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    EXPECT_EQ(CompareFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", start), "");
    EXPECT_NE(CompareFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq", start), "");
    EXPECT_NE(CompareFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq", start), "");
    EXPECT_NE(CompareFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kkq", start), "");
    // No castling at all: the server writes nothing after the side, the FEN a dash.
    EXPECT_EQ(CompareFen("4k3/8/8/8/8/8/8/4K3 w ", "4k3/8/8/8/8/8/8/4K3 w - - 0 60"), "");
    // A rook taken on h8 leaves the server's "k" in place; a rook still there does not.
    EXPECT_EQ(CompareFen("rnbqkbnB/pppppp1p/8/8/8/8/PPPPPPPP/RN1QKBNR b KQkq",
                         "rnbqkbnB/pppppp1p/8/8/8/8/PPPPPPPP/RN1QKBNR b KQq - 0 5"),
              "");
    EXPECT_NE(CompareFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq",
                         "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQq - 0 5"),
              "");

    EXPECT_EQ(MoveMessage(1, "e4"), "WMOVE: 1. e4");
    EXPECT_EQ(MoveMessage(2, "Nf6"), "BMOVE: 1. Nf6");
    EXPECT_EQ(MoveMessage(19, "Qxf7#"), "WMOVE: 10. Qxf7");
    EXPECT_EQ(MoveMessage(92, "h1=Q+"), "BMOVE: 46. h1=Q");

    EXPECT_EQ(CompareMoveMessage("BMOVE: 9. Ne7", 18, "Ne7", "g8e7"), "");
    EXPECT_EQ(CompareMoveMessage("BMOVE: 9. Nge7", 18, "Ne7", "g8e7"), "");  // pinned c6 knight
    EXPECT_EQ(CompareMoveMessage("WMOVE: 5. Rf1d1", 9, "Rd1+", "f1d1"), "");
    EXPECT_NE(CompareMoveMessage("BMOVE: 9. Nce7", 18, "Ne7", "g8e7"), "");  // wrong knight
    EXPECT_NE(CompareMoveMessage("BMOVE: 9. Nf6", 18, "Ne7", "g8e7"), "");
    EXPECT_NE(CompareMoveMessage("WMOVE: 9. Ne7", 18, "Ne7", "g8e7"), "");  // wrong side
    EXPECT_NE(CompareMoveMessage("BMOVE: 8. Ne7", 18, "Ne7", "g8e7"), "");  // wrong number
    EXPECT_NE(CompareMoveMessage("WMOVE: 1. e4", 1, "d4", "d2d4"), "");
    EXPECT_NE(CompareMoveMessage("WMOVE: 1. dxe4", 1, "xe4", "d3e4"), "");

    GameWatcher watcher;
    for (const char* text : {"WPLAYER: A", "BPLAYER: B", "FEN: f1", "WMOVE: 1. e4", "WPLAYER: C",
                             "result 1-0", "FEN: f2", "BMOVE: 1. e5"}) {
        watcher.OnMessage(text);
    }
    ASSERT_EQ(watcher.Finished().size(), 1u);
    EXPECT_EQ(watcher.Finished()[0].white, "C");
    EXPECT_EQ(watcher.Finished()[0].black, "B");
    EXPECT_EQ(watcher.Finished()[0].result, "1-0");
    ASSERT_EQ(watcher.Finished()[0].moves.size(), 1u);
    EXPECT_EQ(watcher.Finished()[0].moves[0].fen, "f1");
    EXPECT_EQ(watcher.games.back().moves.size(), 1u);  // after the result: not finished
}

TEST(XBoardReplayCheckTest, ExpectationFilesAgreeWithTheirPgn) {
    // The expectation files are written from the PGN; a hand edit would show here.
    for (const Recording& recording : kRecordings) {
        const std::string name = recording.name;
        SCOPED_TRACE(name);
        const std::string pgn = FileText(kXBoardFixtures + name + ".pgn");
        const std::vector<ExpectedGame> games = ReadExpected(kXBoardFixtures + name + ".expected");
        EXPECT_EQ(CountOf(pgn, "[Event "), static_cast<int>(games.size()));
        for (const ExpectedGame& game : games) {
            EXPECT_NE(pgn.find("[White \"" + game.white + "\"]"), std::string::npos);
            EXPECT_NE(pgn.find("[Result \"" + game.result + "\"]"), std::string::npos);
            ASSERT_FALSE(game.plies.empty());
            EXPECT_EQ(game.plies.back().fen, game.final);
        }
    }
}

}  // namespace
}  // namespace lantrel
