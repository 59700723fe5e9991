// Games that start from an opening or a position, replayed through the real
// server: real XBoard 4.9.1 logs of matches from an opening file (-lgf) and a
// position file (-lpf), both colour orders (tests/fixtures/xboard/openings), and
// Arena-shaped logs made from them (tests/fixtures/arena/openings, by
// tools/record/make_arena_log.py) in which the opening reaches the engines only
// in "position startpos|fen ... moves ..." lines. The GUI plays the opening
// moves or sets up the position itself and relays every move to the other
// engine; a viewer must see exactly the saved games, with no move error.
#include <gtest/gtest.h>

#include "every_output.h"
#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

const std::string kFixtures = std::string(LANTREL_FIXTURES);

// Checks the moves a viewer was sent, in order, against the plies of the
// recorded games one after the other, and the position each game began in (the
// "FEN: " before its first move). Empty when all agree, else the first fault.
std::string CompareStream(const std::vector<std::string>& messages,
                          const std::vector<ExpectedGame>& expected) {
    std::size_t game = 0, ply = 0;
    std::string fen, fenBefore;
    for (const std::string& text : messages) {
        if (StartsWith(text, "FEN: ")) {
            fenBefore = fen;
            fen = text.substr(5);
            continue;
        }
        if (!StartsWith(text, "WMOVE:") && !StartsWith(text, "BMOVE:")) continue;
        while (game < expected.size() && ply == expected[game].plies.size()) {
            ++game;
            ply = 0;
        }
        if (game == expected.size()) return "a move after the recorded games: " + text;
        const ExpectedGame& want = expected[game];
        const std::string where =
            "game " + std::to_string(game + 1) + " ply " + std::to_string(ply + 1) + ": ";
        if (ply == 0) {
            const std::string start = CompareFen(fenBefore, want.start);
            if (!start.empty()) return where + "start " + start;
        }
        const ExpectedPly& p = want.plies[ply];
        const int number = WhiteFirstPly(static_cast<int>(ply) + 1, BlackStarts(want));
        std::string fault = CompareMoveMessage(text, number, p.san, p.uci);
        if (fault.empty()) fault = CompareFen(fen, p.fen);
        if (!fault.empty()) return where + fault;
        ++ply;
    }
    if (game + 1 < expected.size() || (game < expected.size() && ply < expected[game].plies.size()))
        return "the viewer saw only " + std::to_string(ply) + " plies of game " +
               std::to_string(game + 1);
    return "";
}

// The messages without the moves the server took back: a move XBoard refused
// (it came after the mover's flag fell) is followed by the position before it.
std::vector<std::string> WithoutTakenBack(const std::vector<std::string>& messages) {
    std::vector<std::string> kept;
    std::string fen, fenBefore, beforeLastMove;
    std::size_t fenAt = 0, lastMoveAt = std::string::npos;  // where those FENs are in `kept`
    for (const std::string& text : messages) {
        if (StartsWith(text, "FEN: ")) {
            const bool takenBack =
                lastMoveAt != std::string::npos && text.substr(5) == beforeLastMove;
            if (takenBack) {
                kept.resize(lastMoveAt);
                fen = beforeLastMove;
            }
            lastMoveAt = std::string::npos;
            if (takenBack) continue;
            fenBefore = fen;
            fen = text.substr(5);
            fenAt = kept.size();
        } else if (StartsWith(text, "WMOVE:") || StartsWith(text, "BMOVE:")) {
            lastMoveAt = fenAt;
            beforeLastMove = fenBefore;
        }
        kept.push_back(text);
    }
    return kept;
}

int PliesOf(const std::vector<ExpectedGame>& games) {
    int plies = 0;
    for (const ExpectedGame& game : games)
        plies += static_cast<int>(game.plies.size());
    return plies;
}

struct OpeningCase {
    const char* log;        // under tests/fixtures
    const char* recording;  // the XBoard recording it shows (its .expected)
    bool resultSent;        // the GUI tells engine 1 the result (WinBoard protocol)
    int guiMoves;           // opening moves played from the GUI's lines
    int guiPositions;       // positions set up from the GUI's lines
};

void PrintTo(const OpeningCase& c, std::ostream* out) {
    *out << c.log;
}

class OpeningReplayTest : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(OpeningReplayTest, ViewerSeesTheSavedGames) {
    const OpeningCase& c = GetParam();
    const std::vector<ExpectedGame> expected =
        ReadExpected(kFixtures + "/xboard/openings/" + c.recording + ".expected");
    ASSERT_FALSE(expected.empty());
    const int games = static_cast<int>(expected.size());

    ReplayOutcome outcome = ReplayThroughServer(kFixtures + "/" + c.log, c.resultSent ? games : 0);
    ASSERT_TRUE(outcome.setUp);
    EXPECT_TRUE(outcome.replayEnded);
    const std::string& log = outcome.serverLog;
    EXPECT_EQ(CountOf(log, "Cannot find the following move..."), 0) << log;
    EXPECT_EQ(CompareStream(WithoutTakenBack(outcome.watcher.messages), expected), "");

    if (c.resultSent) {
        // Players and results too: the engine told to go first after the
        // opening has the side to move, whichever colour that is.
        const std::vector<SeenGame> seen = outcome.watcher.Finished();
        ASSERT_EQ(seen.size(), expected.size());
        for (std::size_t g = 0; g < seen.size(); ++g) {
            EXPECT_EQ(seen[g].white, expected[g].white) << "game " << g + 1;
            EXPECT_EQ(seen[g].black, expected[g].black) << "game " << g + 1;
            EXPECT_EQ(seen[g].result, expected[g].result) << "game " << g + 1;
            EXPECT_EQ(seen[g].moves.size(), expected[g].plies.size()) << "game " << g + 1;
        }
        ExpectEveryOutputTellsTheSavedGames(outcome,
                                            kFixtures + "/xboard/openings/" + c.recording + ".pgn");
    }
    // One journal line per accepted move, one more for each move XBoard refused,
    // which is taken back, and one more for each taken from the GUI.
    const int takenBack = CountOf(log, "Move taken back (the GUI refused it): ");
    EXPECT_EQ(CountOf(log, ", Index = "), PliesOf(expected) + takenBack);
    EXPECT_EQ(CountOf(log, "> GUI move "), c.guiMoves) << log;
    EXPECT_EQ(CountOf(log, "> GUI position "), c.guiPositions) << log;
    EXPECT_EQ(CountOf(log, "ignored"), 0) << log;
    EXPECT_EQ(CountOf(log, "Bad "), 0) << log;
}

// lgf_sf_phalanx: 10 opening plies (1. e4 e5 ... 5. O-O Be7) per game, a UCI engine
// (usermove lines) first; lgf_fairymax_sf: 7 plies, the WinBoard engine first,
// White in game 1 and Black in game 2, each time after the opening was sent.
// lpf_sf_fairymax: setboard to the UCI engine, the old "edit" set-up to fairymax;
// lpf_phalanx_sf: a position with Black to move, setboard to both engines.
// tourney_positions: a round robin of fairymax, stockfish and phalanx, every
// pairing playing each position of a file once (an e.p. square, one castling
// right, none, Black to move, an underpromotion, a mate), fairymax set up by
// "edit" before its opponent's setboard and after it: 18 positions set up, and
// one more for each of the five games in which the setboard after the edit
// gives other castling rights or an e.p. square than the edit's guess.
INSTANTIATE_TEST_SUITE_P(
    XBoard, OpeningReplayTest,
    ::testing::Values(
        OpeningCase{"xboard/openings/lgf_sf_phalanx.debug", "lgf_sf_phalanx", true, 20, 0},
        OpeningCase{"xboard/openings/lgf_fairymax_sf.debug", "lgf_fairymax_sf", true, 14, 0},
        OpeningCase{"xboard/openings/lpf_sf_fairymax.debug", "lpf_sf_fairymax", true, 0, 2},
        OpeningCase{"xboard/openings/lpf_phalanx_sf.debug", "lpf_phalanx_sf", true, 0, 2},
        OpeningCase{"xboard/openings/tourney_positions.debug", "tourney_positions", true, 0, 23}));

// Arena: book moves to a WinBoard engine as they are, to UCI engines only inside
// "position startpos moves ..." (the _uci logs speak UCI to both engines);
// "position fen FEN moves ..." for a position, with White or Black to move. Arena
// sends "result" only to WinBoard engines.
INSTANTIATE_TEST_SUITE_P(
    Arena, OpeningReplayTest,
    ::testing::Values(
        OpeningCase{"arena/openings/lgf_fairymax_sf.log", "lgf_fairymax_sf", true, 14, 0},
        OpeningCase{"arena/openings/lgf_sf_phalanx_uci.log", "lgf_sf_phalanx", false, 20, 0},
        OpeningCase{"arena/openings/lpf_sf_fairymax.log", "lpf_sf_fairymax", false, 0, 2},
        OpeningCase{"arena/openings/lpf_phalanx_sf_uci.log", "lpf_phalanx_sf", false, 0, 2}));

// The stream comparison must catch a wrong game, or the tests above prove nothing.
TEST(OpeningReplayCheckTest, StreamComparisonCatchesWrongGames) {
    ExpectedGame game;
    game.start = "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq - 1 1";
    game.plies = {
        {"f8b4", "Bb4", "rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 2 2"},
        {"e2e3", "e3", "rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N1P3/PP3PPP/R1BQKBNR b KQkq - 0 2"},
        {"c7c5", "c5", "rnbqk2r/pp1p1ppp/4pn2/2p5/1bPP4/2N1P3/PP3PPP/R1BQKBNR w KQkq - 0 3"}};
    const std::vector<std::string> good = {
        "FEN: rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq",
        "FEN: rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N5/PP2PPPP/R1BQKBNR w KQkq",
        "BMOVE: 1. Bb4",
        "FMR:  0",
        "FEN: rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N1P3/PP3PPP/R1BQKBNR b KQkq",
        "WMOVE: 1. e3",
        "FEN: rnbqk2r/pp1p1ppp/4pn2/2p5/1bPP4/2N1P3/PP3PPP/R1BQKBNR w KQkq",
        "BMOVE: 2. c5"};
    EXPECT_EQ(CompareStream(good, {game}), "");

    std::vector<std::string> wrongNumber = good;
    wrongNumber[5] = "WMOVE: 2. e3";
    EXPECT_NE(CompareStream(wrongNumber, {game}), "");
    std::vector<std::string> wrongStart = good;
    wrongStart[0] = "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
    EXPECT_NE(CompareStream(wrongStart, {game}), "");
    std::vector<std::string> wrongPosition = good;
    wrongPosition[4] = "FEN: rnbqk2r/pppp1ppp/4pn2/8/1bPP4/2N5/PP2PPPP/R1BQKBNR b KQkq";
    EXPECT_NE(CompareStream(wrongPosition, {game}), "");
    std::vector<std::string> twice = good;
    twice.push_back("BMOVE: 2. c5");  // a move played twice
    EXPECT_NE(CompareStream(twice, {game}), "");
    const std::vector<std::string> missing(good.begin(), good.end() - 2);
    EXPECT_NE(CompareStream(missing, {game}), "");

    EXPECT_EQ(WhiteFirstPly(1, true), 2);
    EXPECT_EQ(WhiteFirstPly(2, true), 1);
    EXPECT_EQ(WhiteFirstPly(7, false), 7);
}

TEST(OpeningReplayCheckTest, ExpectationFilesAgreeWithTheirPgn) {
    for (const char* name : {"lgf_sf_phalanx", "lgf_fairymax_sf", "lpf_sf_fairymax",
                             "lpf_phalanx_sf", "tourney_positions"}) {
        SCOPED_TRACE(name);
        const std::string dir = kFixtures + "/xboard/openings/";
        const std::string pgn = FileText(dir + name + ".pgn");
        const std::vector<ExpectedGame> games = ReadExpected(dir + name + ".expected");
        EXPECT_EQ(CountOf(pgn, "[Event "), static_cast<int>(games.size()));
        for (const ExpectedGame& game : games) {
            EXPECT_NE(pgn.find("[White \"" + game.white + "\"]"), std::string::npos);
            ASSERT_FALSE(game.plies.empty());
            EXPECT_EQ(game.plies.back().fen, game.final);
            // Games from a position file carry their start as a FEN tag.
            if (game.start != "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1") {
                EXPECT_NE(pgn.find("[FEN \"" + game.start + "\"]"), std::string::npos);
            }
        }
    }
}

}  // namespace
}  // namespace lantrel
