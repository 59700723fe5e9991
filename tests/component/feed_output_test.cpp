// The feed on its own: log lines in, game events out, with no network behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "feed/feed.h"
#include "feed/parsing.h"
#include "platform/fakes.h"
#include "support/fake_server.h"

namespace lantrel::testing {
namespace {

std::string SideText(PieceColour side) {
    return side == PieceColour::kWhite ? "white" : "black";
}

// Writes every event as one line of text.
class RecordingOutput final : public GameOutput {
  public:
    void PlayerNamed(PieceColour side, const PlayerName& name) override {
        events.push_back("player " + SideText(side) + " " + name.text + " (" + name.shown + ")");
    }
    void NewGameStarted(std::int32_t number) override {
        events.push_back("new game " + std::to_string(number));
    }
    void PositionSet(const std::string& fen) override { events.push_back("position " + fen); }
    void StartPositionInFull(const std::string& fen) override { events.push_back("start " + fen); }
    void MovePlayed(const PlayedMove& move, const std::string& fen, std::int32_t fiftyMoveCount,
                    bool live) override {
        events.push_back("move " + std::to_string(move.number) + " " + SideText(move.side) + " " +
                         move.san + " " + fen + " fifty " + std::to_string(fiftyMoveCount) +
                         (live ? " live" : " catching up") +
                         (move.thinking ? " after " + move.thinking->text : ""));
    }
    void MoveTakenBack(const PlayedMove& move, const std::string& fen, bool live) override {
        events.push_back("taken back " + move.san + " " + fen + (live ? " live" : " catching up"));
    }
    void ClocksTold(const ClockReading& clocks, bool live) override {
        events.push_back("clocks " + clocks.ownText + "/" + clocks.opponentText +
                         (live ? " live" : " catching up"));
    }
    void Thinking(PieceColour side, const EngineThinking& thinking) override {
        events.push_back("thinking " + SideText(side) + " " + thinking.text);
    }
    void LevelSet(const Level& level) override { events.push_back(level.text); }
    void VariantSet(bool chess960) override {
        events.push_back(chess960 ? "chess960" : "standard");
    }
    void ResultAnnounced(const GameResult& result) override {
        events.push_back("result " + result.text +
                         (result.reason.empty() ? "" : " {" + result.reason + "}"));
    }
    void CaughtUp(const GameSnapshot& game) override {
        events.push_back("caught up " + game.white.text + " - " + game.black.text + " last " +
                         (game.lastMove ? game.lastMove->san : "none"));
    }
    void ReadingLogAgain() override { events.push_back("reading again"); }
    void TurnEnded() override {}
    void Serve(int) override {}

    std::vector<std::string> events;
};

class NoScreen final : public FeedScreen {
  public:
    void ShowPlayerStarted(PieceColour, const std::string&) override {}
    void ShowPlayers(const std::string&, const std::string&) override {}
    void ShowNewGame(std::int32_t, std::int32_t) override {}
    void ShowMoveErrors(std::int32_t) override {}
    void ShowMoveLabel() override {}
    void ShowMoveText(const std::string&) override {}
    void ShowFiftyMoveCount(std::int32_t) override {}
    void ShowFen(const std::string&) override {}
    void DrawBoard(const Cells&) override {}
    void RepaintBoard() override {}
    void ShowPaused(bool) override {}
    void ShowFeedNotice(const std::string&) override {}
};

class FeedOutputTest : public ::testing::Test {
  protected:
    FeedOutputTest() { InitialiseChess(feed.chess); }
    std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
        output.events.clear();
        for (const std::string& line : lines)
            ProcessLogLine(feed, line);
        FinishLogRead(feed);
        return output.events;
    }

    TempDir dir;
    FakeClock clock;
    FeedSettings settings;
    NoScreen screen;
    RecordingOutput output;
    Journal journal{dir.File("server.log")};
    Feed feed{clock, dir.path(), settings, screen, output, journal};
};

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
const char* const kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq";

TEST_F(FeedOutputTest, AMoveIsReportedWithItsPositionWhileViewersFollowLive) {
    feed.game.headerSent = true;
    EXPECT_EQ(Lines({"100 >first : new", "101 >first : go", "102 <first : move e2e4"}),
              (std::vector<std::string>{
                  "new game 1",
                  std::string("position ") + kStart,
                  "start rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                  std::string("move 1 white e4 ") + kAfterE4 + " fifty 0 live",
              }));
}

// Chess960 is followed from the GUI's word for it (to an XBoard engine, or a
// UCI engine's option), its castling read from the Shredder-FEN it sets up.
TEST_F(FeedOutputTest, Chess960IsFollowed) {
    EXPECT_EQ(Lines({"90 >first : setoption name UCI_Chess960 value true",
                     "91 >first : setoption name UCI_Chess960 value false"}),
              (std::vector<std::string>{"chess960", "standard", "caught up  -  last none"}));
    const std::vector<std::string> events =
        Lines({"100 >first : new", "101 >first : variant fischerandom",
               "102 >first : setboard 1r4kr/pppppppp/8/8/8/8/PPPPPPPP/1R4KR w HBhb - 0 1",
               "103 >first : go", "104 <first : move O-O-O"});
    EXPECT_EQ(std::count(events.begin(), events.end(), "chess960"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(),
                         "move 1 white O-O-O 1r4kr/pppppppp/8/8/8/8/PPPPPPPP/2KR3R b kq fifty 0 "
                         "live"),
              1);
}

// A variant not followed is said once; its game counts no move errors and
// sends nothing, and the next game is followed as usual.
TEST_F(FeedOutputTest, OtherVariantsAreNotFollowed) {
    const std::vector<std::string> crazyhouse =
        Lines({"200 >first : new", "201 >first : variant crazyhouse",
               "202 >first : setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR[] w KQkq - 0 1",
               "203 >second: new", "204 >second: variant crazyhouse", "205 >first : go",
               "206 <first : move P@e4", "207 >first : result 1-0 {White wins}"});
    ASSERT_FALSE(crazyhouse.empty());
    EXPECT_EQ(crazyhouse.front(), "new game 1");
    for (const std::string& event : crazyhouse)
        EXPECT_FALSE(event.starts_with("move") || event.starts_with("result")) << event;
    EXPECT_EQ(feed.game.moveErrorCount, 0);
    const std::string log = dir.Read("server.log");
    const std::string notice = "Variant crazyhouse is not followed: the game is not broadcast";
    EXPECT_NE(log.find(notice), std::string::npos);
    EXPECT_EQ(log.find(notice), log.rfind(notice));

    const std::vector<std::string> standard =
        Lines({"300 >first : new", "301 >first : go", "302 <first : move e2e4"});
    ASSERT_FALSE(standard.empty());
    EXPECT_EQ(standard.front(), "new game 2");
    EXPECT_EQ(standard.back(), std::string("move 1 white e4 ") + kAfterE4 + " fifty 0 live");
}

// The viewers are not sent the first engine's thinking before the game
// header went out; its move carries its last search all the same, not the
// book line after it.
TEST_F(FeedOutputTest, ACatchUpReportsItsMovesAndThenTheGameAsItStands) {
    EXPECT_EQ(Lines({"100 >first : new", "101 >first : go", "102 <first : 9 30 70 50000 e2e4",
                     "103 <first : 0 0 0 0 (e2-e4, book1)", "104 <first : move e2e4",
                     "105 <first : 9 30 70 50000 e7e5"}),
              (std::vector<std::string>{
                  "new game 1",
                  std::string("position ") + kStart,
                  "start rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                  std::string("move 1 white e4 ") + kAfterE4 +
                      " fifty 0 catching up after 9 30 70 50000 e2e4 ",
                  "caught up  -  last e4",
              }));
}

// A read that holds several moves of an engine (catching up, or a slow turn)
// gives its thinking line to the move it came before only: not to the
// engine's next move, nor to a move of the next game.
TEST_F(FeedOutputTest, AThinkingLineGoesWithOneMoveOfItsGame) {
    feed.game.headerSent = true;
    std::vector<std::string> moves;
    for (const std::string& event :
         Lines({"100 >first : new", "101 >second: new", "102 >first : go",
                "103 <first : 9 30 70 50000 e2e4", "104 <first : move e2e4", "105 >second: e2e4",
                "106 >second: go", "107 <second: move e7e5", "108 >first : e7e5",
                "109 <first : move g1f3", "110 >first : new", "111 >first : go",
                "112 <first : move d2d4"}))
        if (event.starts_with("move ")) {
            const std::size_t after = event.find(" after ");
            moves.push_back(event.substr(0, event.find(' ', 14)) +
                            (after == std::string::npos ? "" : event.substr(after)));
        }
    EXPECT_EQ(moves,
              (std::vector<std::string>{"move 1 white e4 after 9 30 70 50000 e2e4 ",
                                        "move 1 black e5", "move 2 white Nf3", "move 1 white d4"}));
}

// Every output but the UDP viewers names a player by the engine's own name,
// until then by its program's; the viewers get the GUI's bytes. A name of
// nothing but blanks and control characters names nobody, and no name holds
// a control character.
TEST_F(FeedOutputTest, PlayersAreTheirProgramsUntilTheyNameThemselves) {
    std::vector<std::string> players;
    for (const std::string& event :
         Lines({"StartChildProcess (dir=\"\") polyglot -noini -ec \"glaurung\" -ed \".\" -uci",
                "StartChildProcess (dir=\".\") gnuchess --xboard",
                "199 <first : feature myname=\"Glau\x1b[2Jrung\"",
                "200 <first : feature myname=\"Glaurung 2.2\"",
                "201 <second: feature myname=\" \x01\"", "202 >second: white",
                "203 >first : time 3000", "204 >first : otim 2990"}))
        if (event.starts_with("player ") || event.starts_with("clocks ")) players.push_back(event);
    EXPECT_EQ(players,
              (std::vector<std::string>{
                  "player white polyglot -noini -ec \"glaurung\" -ed \".\" -uci  (glaurung)",
                  "player black gnuchess --xboard  (gnuchess)",
                  "player white Glau?[2Jrung (Glau?[2Jrung)",
                  "player white Glaurung 2.2 (Glaurung 2.2)",
                  "player white gnuchess --xboard  (gnuchess)",
                  "player black Glaurung 2.2 (Glaurung 2.2)",
                  "clocks 3000 /2990 catching up",
              }));
}

TEST_F(FeedOutputTest, AResultCarriesTheGuisWordsForIt) {
    const std::vector<std::string> events =
        Lines({"100 >first : new", "200 >first : result 0-1 {White resigns}"});
    EXPECT_NE(std::find(events.begin(), events.end(), "result 0-1 {White resigns}"), events.end());
}

TEST(GameOutputsTest, EveryAttachedOutputHearsEveryEventInOrder) {
    RecordingOutput first, second;
    GameOutputs outputs;
    outputs.Attach(first);
    outputs.Attach(second);
    outputs.LevelSet(ReadLevel("level 40 5 0"));
    outputs.ResultAnnounced(ReadResult("1-0", "1-0"));
    const std::vector<std::string> expected{"level 40 5 0", "result 1-0"};
    EXPECT_EQ(first.events, expected);
    EXPECT_EQ(second.events, expected);
}

}  // namespace
}  // namespace lantrel::testing
