// ProcessLogLine driven line by line on the fake platform, with one viewer
// logged on whose datagrams are read back.
#include <algorithm>

#include "feed_fixture.h"
#include "text/text.h"

namespace lantrel {
namespace {

using testing::kViewer;

class FeedParserTest : public testing::FeedTest {
  protected:
    void SetUp() override {
        StartWithViewer("PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=2000\n");
    }
};

TEST_F(FeedParserTest, EngineStartLinesNameBothEngines) {
    Lines({"StartChildProcess (dir=.) fairymax", "StartChildProcess (dir=.) stockfish"});
    EXPECT_EQ(f->feed.game.firstEngine, "fairymax ");
    EXPECT_EQ(f->feed.game.whitePlayer, "fairymax ");
    EXPECT_EQ(f->feed.game.secondEngine, "stockfish ");
    EXPECT_EQ(f->feed.game.blackPlayer, "stockfish ");
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kWhite);
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kBlack);
    EXPECT_EQ(Received(), (std::vector<std::string>{"WPLAYER: fairymax ", "BPLAYER: stockfish "}));
    EXPECT_EQ(f.screen.Row(4).substr(0, 24), "[White \"fairymax \" ]    ");
    EXPECT_EQ(f.screen.Row(5).substr(0, 25), "[Black: \"stockfish \" ]   ");
}

TEST_F(FeedParserTest, LongEngineNameStaysWithinItsRow) {
    const std::string command = "polyglot -ec stockfish " + std::string(90, 'x');
    Lines({"StartChildProcess (dir=.) " + command, "StartChildProcess (dir=.) b"});
    EXPECT_EQ(f->feed.game.whitePlayer, command + " ");  // broadcast whole
    EXPECT_EQ(TrimRightBlanks(f.screen.Row(4)).size(), 76u);
    EXPECT_EQ(TrimRightBlanks(f.screen.Row(5)), "[Black: \"b \" ]");
    Lines({"120 <first : feature myname=\"Stockfish 16\" done=1"});
    EXPECT_EQ(TrimRightBlanks(f.screen.Row(4)), "[White  \"Stockfish 16\" ]");
}

TEST_F(FeedParserTest, MynameRenamesTheEngineOfItsColour) {
    Lines({"StartChildProcess (dir=.) a", "StartChildProcess (dir=.) b"});
    f.socket.sent.clear();
    Lines({"120 <first : feature myname=\"Fairy-Max 5.0b\" done=1",
           "140 <second: feature myname=\"Stockfish 15.1\" done=1"});
    EXPECT_EQ(f->feed.game.whitePlayer, "Fairy-Max 5.0b");
    EXPECT_EQ(f->feed.game.blackPlayer, "Stockfish 15.1");
    EXPECT_EQ(Received(),
              (std::vector<std::string>{"WPLAYER: Fairy-Max 5.0b", "BPLAYER: Stockfish 15.1"}));
    EXPECT_EQ(f.screen.Row(4).substr(0, 26), "[White  \"Fairy-Max 5.0b\" ]");
    EXPECT_EQ(f.screen.Row(5).substr(0, 26), "[Black  \"Stockfish 15.1\" ]");
    // Without two quotes no name changes.
    Lines({"150 <first : feature myname=\"broken"});
    EXPECT_EQ(f->feed.game.firstEngine, "Fairy-Max 5.0b");
}

TEST_F(FeedParserTest, ColourCommands) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B"});
    f.socket.sent.clear();
    Lines({"10 >first : black"});
    EXPECT_EQ(f->feed.game.whitePlayer, "B ");
    EXPECT_EQ(f->feed.game.blackPlayer, "A ");
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kBlack);
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kWhite);
    EXPECT_EQ(Received(), (std::vector<std::string>{"WPLAYER: B ", "BPLAYER: A "}));
    Lines({"11 >second: black"});
    EXPECT_EQ(f->feed.game.whitePlayer, "A ");
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kBlack);
    Lines({"12 >second: white"});
    EXPECT_EQ(f->feed.game.whitePlayer, "B ");
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kBlack);
    EXPECT_EQ(f.screen.Row(5).substr(0, 14), "[Black: \"A \" ]");
}

TEST_F(FeedParserTest, GoDecidesWhiteBeforeTheFirstMove) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B"});
    f.socket.sent.clear();
    Lines({"5 >second: go"});
    EXPECT_EQ(f->feed.game.whitePlayer, "B ");
    EXPECT_EQ(f->feed.game.blackPlayer, "A ");
    EXPECT_EQ(f->feed.game.firstEngineColour, PieceColour::kBlack);
    EXPECT_EQ(f->feed.game.secondEngineColour, PieceColour::kWhite);
    // The viewers hear of the swap; a "go" that changes nothing is not told.
    EXPECT_EQ(Received(), (std::vector<std::string>{"WPLAYER: B ", "BPLAYER: A "}));
    EXPECT_EQ(TrimRightBlanks(f.screen.Row(4)), "[White  \"B \" ]");
    f->feed.game.gameNotStarted = true;
    f.socket.sent.clear();
    Lines({"6 >second: go"});
    EXPECT_TRUE(Received().empty());
}

TEST_F(FeedParserTest, ClockMessageByteForByte) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B"});
    f.socket.sent.clear();
    Lines({"200 >first : time 30000", "210 >first : otim 29500"});
    EXPECT_EQ(Received(), (std::vector<std::string>{"WTIME: 30000   otim 29500"}));
    f.socket.sent.clear();
    Lines({"300 >second: time 28000", "310 >second: otim 27000"});
    EXPECT_EQ(Received(), (std::vector<std::string>{"BTIME: 28000   otim 27000"}));
    // During a catch-up the clocks are not sent.
    f.socket.sent.clear();
    f->feed.game.headerSent = false;
    Lines({"400 >second: otim 1"});
    EXPECT_TRUE(Received().empty());
}

TEST_F(FeedParserTest, LevelIsKeptAndBroadcastWithItsTrailingBlank) {
    Lines({"170 >first : level 40 5 0", "180 >second: level 40 9 0"});
    EXPECT_EQ(f->feed.game.level.text, "level 40 5 0 ");
    EXPECT_EQ(f->feed.game.level.control, (TimeControl{40, 300, 0}));
    EXPECT_EQ(Received(), (std::vector<std::string>{"level 40 5 0 "}));
}

TEST_F(FeedParserTest, ThinkingLinesBecomePendingPvOfTheirColour) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B",
           "900 <first : 8 25 61 40312 e2e4 e7e5", "901 <first : 9 30 70 50000 d2d4 d7d5",
           "950 <second: 12 -18 70 200113 c7c5", "960 <second: Hello"});
    EXPECT_EQ(f->feed.game.pendingWhitePv, "9 30 70 50000 d2d4 d7d5 ");
    EXPECT_EQ(f->feed.game.pendingBlackPv, "12 -18 70 200113 c7c5 ");
    FinishLogRead(f->feed);
    auto got = Received();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], "WPV: 9 30 70 50000 d2d4 d7d5 ");
    EXPECT_EQ(got.back(), "BPV: 12 -18 70 200113 c7c5 ");
    EXPECT_EQ(f->feed.game.pendingWhitePv, "");
}

TEST_F(FeedParserTest, CatchUpSendsTheFiveHeaderMessagesOnce) {
    f->feed.game.headerSent = false;
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B",
           "900 <first : 8 25 61 40312 e2e4"});
    EXPECT_EQ(f->feed.game.pendingWhitePv, "");  // the first engine's thinking waits for the header
    f.socket.sent.clear();
    FinishLogRead(f->feed);
    EXPECT_EQ(Received(),
              (std::vector<std::string>{"WPLAYER: A ", "BPLAYER: B ", "SITE:Lantrel viewer", "",
                                        "FEN: " + f->feed.game.fen}));
    f.socket.sent.clear();
    FinishLogRead(f->feed);
    EXPECT_TRUE(Received().empty());
}

TEST_F(FeedParserTest, ResultIsBroadcastAndPausesWhileServingTheNetwork) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B"});
    f.socket.sent.clear();
    double before = f.clock.Monotonic();
    Lines({"500 >second: result 1-0 {ignored}"});
    EXPECT_TRUE(Received().empty());
    Lines({"510 >first : result 1-0 {White wins}"});
    double paused = f.clock.Monotonic() - before;
    // The viewer acknowledges nothing, so the pause also re-sends its welcome.
    ASSERT_FALSE(Received().empty());
    EXPECT_EQ(Received()[0], "result 1-0");
    EXPECT_GE(paused, 2.0);  // DELAYAFTERGAME=2000: between 2 and 3 seconds
    EXPECT_LE(paused, 3.2);
    EXPECT_EQ(f.screen.Text(1, 2, 9), "         ");
}

TEST_F(FeedParserTest, QuitForgetsThatEngine) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B", "9 >second: quit"});
    EXPECT_EQ(f->feed.game.secondEngine, "");
    EXPECT_EQ(f->feed.game.blackPlayer, "");
    EXPECT_EQ(f->feed.game.whitePlayer, "A ");
}

TEST_F(FeedParserTest, NewStartsAGameAtAnyPlyButOne) {
    Lines({"150 >first : new", "160 >second: new"});
    EXPECT_EQ(f->feed.game.gameNumber, 2);
    auto got = Received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq");
    f->feed.game.plyCount = 1;
    Lines({"170 >second: new"});
    EXPECT_EQ(f->feed.game.gameNumber, 2);
}

// Black lost on time right after White's first move: the next game's "new"
// starts that game, and its first move is White's.
TEST_F(FeedParserTest, NewAfterAOnePlyGameWithAResultStartsTheNextGame) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B", "10 >first : new",
           "20 >second: new", "30 <first : move e2e4", "40 >second: usermove 40 >second: e2e4",
           "50 >first : result 1-0 {Black loses on time}", "60 >first : new"});
    EXPECT_EQ(f->feed.game.gameNumber, 3);
    EXPECT_EQ(f->feed.game.plyCount, 0);
    Lines({"70 >second: new", "80 <first : move d2d4"});
    EXPECT_EQ(f->feed.game.plyCount, 1);
    EXPECT_EQ(MoveMessage(*f->feed.game.lastMove), "WMOVE: 1. d4");
}

TEST_F(FeedParserTest, CommentsAndDebugCopy) {
    f->config.saveDebug = true;
    Lines({"1 >first : # a comment", "2 >first : xboard", "3 >first : usermove e2e4"});
    EXPECT_EQ(f.dir.Read("debug.tmp"), "2 >first : xboard \r\ne2e4 \r\n");
}

TEST_F(FeedParserTest, LineStampIsTheTextBeforeTheFirstAngle) {
    Lines({"  1234  <first : pong 1"});
    EXPECT_EQ(f->feed.game.lineStamp, "1234");
    Lines({"<first : pong 1"});
    EXPECT_EQ(f->feed.game.lineStamp, "");
}

}  // namespace
}  // namespace lantrel

namespace lantrel {
namespace {

TEST_F(FeedParserTest, EngineMovesArePlayedOnlyForTheSideToMove) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B", "10 >first : new",
           "20 >second: new"});
    f.socket.sent.clear();
    Lines({"30 <second: move e7e5"});  // Black announces a move while White is to move
    EXPECT_EQ(f->feed.game.plyCount, 0);
    Lines({"40 <first : move e2e4", "50 >second: usermove 50 >second: e2e4",
           "60 <second: move e7e5"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_TRUE(f->feed.reader.redrawBoard);
    EXPECT_EQ(MoveMessage(*f->feed.game.lastMove), "BMOVE: 1. e5");
    EXPECT_EQ(f.screen.Text(22, 1, 6), "Move: ");
    auto got = Received();
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[1], "WMOVE: 1. e4");
    EXPECT_EQ(got[4], "BMOVE: 1. e5");
    // A "new" after exactly one ply is the GUI setting up the other engine.
    Lines({"70 >first : new"});
    EXPECT_EQ(f->feed.game.plyCount, 0);
}

TEST_F(FeedParserTest, OldStyleMoveOutput) {
    Lines({"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B", "40 <first : move e2e4",
           "41 <second: 1. ... e7e5"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    // Thinking whose variation starts with Black's move is no move.
    Lines({"42 <first : move g1f3", "43 <second: 1 -13 0 46 2. ... Nc6 3. Bb5 a6"});
    EXPECT_EQ(f->feed.game.plyCount, 3);
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    EXPECT_EQ(f->feed.game.pendingBlackPv, "1 -13 0 46 2. ... Nc6 3. Bb5 a6 ");
}

TEST_F(FeedParserTest, IcsModeTurnsMovesSentToTheEngineIntoTheOpponentsMoves) {
    f->config.icsMode = true;
    Lines({"StartChildProcess (dir=.) engine", "5 >first : name Opponent", "6 >first : force",
           "7 >first : e2e4"});
    EXPECT_EQ(f->feed.game.secondEngine, "Opponent ");
    EXPECT_EQ(f->feed.game.firstEngineColour,
              PieceColour::kBlack);  // the opponent moved first: the engine has Black
    EXPECT_EQ(f->feed.game.plyCount, 1);
    EXPECT_EQ(MoveMessage(*f->feed.game.lastMove), "WMOVE: 1. e4");
    Lines({"8 <first : move e7e5"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    // An engine command is never a move, nor is any part of one ("st" is inside
    // "post"); an unknown short command is tried as a move and fails.
    Lines({"9 >first : post", "10 >first : st 10"});
    EXPECT_EQ(f->feed.game.moveErrorCount, 0);
    Lines({"10 >first : sd 5"});
    EXPECT_EQ(f->feed.game.plyCount, 2);
    EXPECT_EQ(f->feed.game.moveErrorCount, 1);
    // Nine characters or more, trailing blank counted, is never taken for a move.
    Lines({"11 >first : abcdefgh"});
    EXPECT_EQ(f->feed.game.moveErrorCount, 1);
}

// The operator switches ICS mode off between games: the engine's next "new"
// starts a new game, though the moves of the last one were never followed as
// moves the GUI gave its engines.
TEST_F(FeedParserTest, NewAfterIcsModeIsSwitchedOffStartsANewGame) {
    f->config.icsMode = true;
    Lines({"StartChildProcess (dir=.) engine", "5 >first : name Opp", "6 >first : e2e4",
           "7 <first : move e7e5", "8 >first : g1f3", "9 <first : move b8c6"});
    ASSERT_EQ(f->feed.game.plyCount, 4);
    const int games = f->feed.game.gameNumber;
    f->config.icsMode = false;
    f.socket.sent.clear();
    Lines({"20 >first : new"});
    EXPECT_EQ(f->feed.game.gameNumber, games + 1);
    EXPECT_EQ(f->feed.game.plyCount, 0);
    const auto received = Received();
    EXPECT_NE(std::find(received.begin(), received.end(),
                        "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq"),
              received.end());
}

}  // namespace
}  // namespace lantrel
