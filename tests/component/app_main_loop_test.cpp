#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/app.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace lantrel {
namespace {

using testing::FakeServer;

class MainLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        f.dir.Write("server.ini", "PATH=gui.log\nPORT=17000\nDELAY=10\n");
        ASSERT_EQ(StartServer(*f), SocketError::kOk);
    }
    void Pass(const std::string& key = "") {
        if (!key.empty()) f.screen.keys.push_back(key);
        MainLoopPass(*f);
    }
    FakeServer f;
};

TEST_F(MainLoopTest, KeyBTogglesTheBoardDisplay) {
    EXPECT_TRUE(f->screen.BoardShown());
    Pass("b");
    EXPECT_FALSE(f->screen.BoardShown());
    Pass("B");
    EXPECT_TRUE(f->screen.BoardShown());
}

TEST_F(MainLoopTest, KeyITwiceRestoresTheMode) {
    Pass("i");
    EXPECT_TRUE(f->config.icsMode);
    EXPECT_EQ(f.screen.Text(3, 70, 8), "ICS Mode");
    EXPECT_EQ(f.screen.ColourAt(3, 70), ConsoleColour::kMagenta);
    EXPECT_EQ(f.screen.Text(21, 1, 16), "ICS mode on: I  ");
    Pass("I");
    EXPECT_FALSE(f->config.icsMode);
    EXPECT_EQ(f.screen.Text(3, 70, 8), "        ");
    EXPECT_EQ(f.screen.Text(21, 1, 16), "ICS mode off: I ");
}

TEST_F(MainLoopTest, MissingLogIsCreatedEmpty) {
    Pass();
    EXPECT_TRUE(FileExists(f.dir.File("gui.log")));
    EXPECT_EQ(f->feed.reader.logSize, 0);
}

TEST_F(MainLoopTest, LowerCaseRResetsAndRereadsTheLog) {
    f.dir.Write("gui.log", "line one\nline two\n");
    Pass();
    EXPECT_EQ(f->feed.reader.bytesRead, 18);
    EXPECT_EQ(f->feed.game.gameNumber, 0);
    f->feed.game.whitePlayer = "Alpha";
    f->feed.game.firstEngine = "alpha.exe";
    f->feed.reader.partialLine = "half";
    Pass("r");
    EXPECT_EQ(f->feed.game.gameNumber, 1);
    EXPECT_EQ(f->feed.game.whitePlayer, "");
    EXPECT_EQ(f->feed.game.firstEngine, "");
    EXPECT_EQ(f->feed.reader.bytesRead, 18);  // read again from the first byte
    EXPECT_EQ(f.screen.Text(16, 5, 9), "GAME: 1  ");
    EXPECT_TRUE(f->feed.game.headerSent);  // the header went out at the end of that read
}

TEST_F(MainLoopTest, ShorterLogStartsANewGameButKeepsTheHeaderFlag) {
    f.dir.Write("gui.log", "0123456789\n");
    Pass();
    f.dir.Write("gui.log", "01\n");
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 1);
    EXPECT_EQ(f->feed.reader.bytesRead, 3);
    EXPECT_TRUE(f->feed.game.headerSent);
    EXPECT_EQ(f.LogLines().back(), "-------------------- New Game ----------------------");
}

// The GUI removed its log and had written more than we had read of the old one
// before we looked again: still a restart, read from the first byte.
TEST_F(MainLoopTest, LogReplacedByALongerOneStartsANewGame) {
    f.dir.Write("gui.log", "0123456789\n");
    Pass();
    f.dir.Write("gui.new", "0123456789abcdef\n");
    std::filesystem::rename(f.dir.File("gui.new"), f.dir.File("gui.log"));  // replaces it
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 1);
    EXPECT_EQ(f->feed.reader.bytesRead, 17);
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 1);  // the same file again: no further restart
    // Emptied and written anew in place (a GUI started again), past the old length
    // before we looked: the same file, but other bytes where the reading stopped.
    f.dir.Write("gui.log", "9876543210fedcba\nmore\n");
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 2);
    EXPECT_EQ(f->feed.reader.bytesRead, 22);
    AppendBytes(f.dir.File("gui.log"), "next\n");
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 2);  // growing on is no restart
}

// A PATH naming a pipe instead of a file: the loop must not wait for a writer.
TEST_F(MainLoopTest, LogThatIsAPipeNeitherBlocksNorIsRead) {
    ::unlink(f.dir.File("gui.log").c_str());
    ASSERT_EQ(::mkfifo(f.dir.File("gui.log").c_str(), 0600), 0);
    Pass();
    Pass();
    EXPECT_EQ(f->feed.reader.bytesRead, 0);
}

// A log that cannot be opened for a while (here a name that loops back on
// itself) is no new log: the game and the read position stay, server.log says
// why once, and reading goes on where it stopped when the log opens again.
TEST_F(MainLoopTest, LogThatFailsToOpenForAWhileIsNoNewLog) {
    f.dir.Write("gui.log", "0123456789\n");
    Pass();
    const FileIdentity identity = f->feed.reader.logIdentity;
    std::filesystem::rename(f.dir.File("gui.log"), f.dir.File("held.log"));
    std::filesystem::create_symlink("gui.log", f.dir.File("gui.log"));
    Pass();
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 0);
    EXPECT_EQ(f->feed.reader.bytesRead, 11);
    EXPECT_EQ(f->feed.reader.logIdentity, identity);
    const auto failures = [&] {
        const std::vector<std::string> lines = f.LogLines();
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Cannot open the GUI log") != std::string::npos;
        });
    };
    EXPECT_EQ(failures(), 1);
    std::filesystem::remove(f.dir.File("gui.log"));
    std::filesystem::rename(f.dir.File("held.log"), f.dir.File("gui.log"));
    AppendBytes(f.dir.File("gui.log"), "abc\n");
    Pass();
    EXPECT_EQ(f->feed.game.gameNumber, 0);
    EXPECT_EQ(f->feed.reader.bytesRead, 15);
    EXPECT_EQ(f.LogLines().back(), "The GUI log opens again: " + f.dir.File("gui.log"));
}

// The log's folder renamed away for a while and back (a sync tool; a share or
// a mount dropped): the same log reads on where it was, no new game; a log
// that comes back with other bytes is a new one.
TEST(MainLoopLogAwayTest, TheSameLogBackReadsOnAnotherStartsAGame) {
    FakeServer f;
    f.dir.Write("server.ini", "PATH=logs/gui.log\nPORT=17000\nDELAY=10\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    std::filesystem::create_directory(f.dir.File("logs"));
    f.dir.Write("logs/gui.log", "100 >first : new\n101 >first : go\n");
    MainLoopPass(*f);
    const std::int32_t games = f->feed.game.gameNumber;
    std::filesystem::rename(f.dir.File("logs"), f.dir.File("away"));
    MainLoopPass(*f);
    MainLoopPass(*f);
    std::filesystem::rename(f.dir.File("away"), f.dir.File("logs"));
    AppendBytes(f.dir.File("logs/gui.log"), "102 <first : move e2e4\n");
    MainLoopPass(*f);
    EXPECT_EQ(f->feed.game.gameNumber, games);
    EXPECT_EQ(f->feed.game.plyCount, 1);
    std::vector<std::string> lines = f.LogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.starts_with("The GUI log is gone: ");
                            }),
              1);
    EXPECT_EQ(lines[lines.size() - 2], "The GUI log is back, the same file: reading on");

    std::filesystem::rename(f.dir.File("logs"), f.dir.File("away"));
    MainLoopPass(*f);
    std::filesystem::create_directory(f.dir.File("logs"));
    f.dir.Write("logs/gui.log", "200 >first : new\n201 >first : go\n202 <first : move d2d4\n");
    MainLoopPass(*f);
    EXPECT_GT(f->feed.game.gameNumber, games);
    EXPECT_EQ(f->feed.game.lastMove->san, "d4");
    lines = f.LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "The GUI log is back, a new file: a new game"),
              lines.end());
}

// live.pgn that could not be written (a full disk; here its temporary name
// taken by a folder) is written as soon as it can be, with no new event.
TEST(MainLoopLivePgnTest, AFailedWriteIsMadeGoodOnceItCanBe) {
    FakeServer f;
    f.dir.Write("server.ini", "PATH=gui.log\nPORT=17000\nDELAY=10\nDELAYAFTERGAME=0\nLIVEPGN=1\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    MainLoopPass(*f);
    f.dir.Write("gui.log",
                "100 >first : new\n101 >first : go\n102 <first : move e2e4\n"
                "103 >first : result 1-0 {White mates}\n");
    std::filesystem::create_directory(f.dir.File("live.pgn.tmp"));
    MainLoopPass(*f);
    MainLoopPass(*f);
    EXPECT_EQ(f.dir.Read("live.pgn").find("1-0"), std::string::npos);
    std::filesystem::remove(f.dir.File("live.pgn.tmp"));
    MainLoopPass(*f);
    EXPECT_NE(f.dir.Read("live.pgn").find("1. e4 {White mates} 1-0"), std::string::npos)
        << f.dir.Read("live.pgn");
}

TEST_F(MainLoopTest, ResetKeepsDebugLinesUnderTheSavedName) {
    f->feed.game.whitePlayer = "White";
    f->feed.game.blackPlayer = "Black";
    MakeSaveDebugName(f->feed);
    f.dir.Write("debug.tmp", "kept line\n");
    Pass("R");
    EXPECT_EQ(f.dir.Read("Debug-White_vs_Black.log"), "kept line\n");
    EXPECT_EQ(f.dir.Read("debug.tmp"), "");
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-_vs_.log");
}

TEST_F(MainLoopTest, ResetBeforeAnyGameKeepsDebugLines) {
    f->feed.game.saveDebugName.clear();  // no game played yet: nothing to rename to
    f.dir.Write("debug.tmp", "kept line\n");
    Pass("R");
    EXPECT_EQ(f.dir.Read("debug.tmp"), "kept line\n");
}

// After R the whole log is read again: every output but the viewers' (who are
// told the reset) shows the same games as before, numbered from 1 again, and
// no move goes wrong on the way. The games' event is the tournament PGN's.
TEST(MainLoopResetTest, KeyRLeavesTheSameGamesOnEveryOutput) {
    for (const char* name : {"sf_sf_draw", "fairymax_phalanx_match", "tourney_time_loss",
                             "tourney_field_ponder", "tourney_accidents", "tourney_gui_restart",
                             "openings/lgf_fairymax_sf", "openings/tourney_positions"}) {
        SCOPED_TRACE(name);
        FakeServer f;
        f.dir.Write("server.ini",
                    "PATH=gui.log\nPORT=17000\nDELAY=10\nDELAYAFTERMOVE=0\n"
                    "DELAYAFTERGAME=0\nLIVEPGN=1\nTOURNEYPGN=cup.pgn\n");
        f.dir.Write("cup.pgn", "[Event \"Lab Cup\"]\n[White \"A\"]\n[Black \"B\"]\n\n1-0\n");
        ASSERT_EQ(StartServer(*f), SocketError::kOk);
        f->outputs.Attach(f->webFeed);  // as the web listener attaches it
        f.dir.Write("gui.log",
                    ReadWholeFile(std::string(LANTREL_FIXTURES) + "/xboard/" + name + ".debug")
                        .value_or(""));
        auto outputs = [&] {
            MainLoopPass(*f);
            MainLoopPass(*f);
            nlohmann::json game = nlohmann::json::parse(f->webFeed.SnapshotJson());
            for (const char* changing : {"version", "pv", "users"})
                game.erase(changing);
            return f.dir.Read("live.pgn") + game.dump();
        };
        auto moveErrors = [](const std::string& journal) {
            int count = 0;
            for (std::size_t at = journal.find("Cannot find"); at != std::string::npos;
                 at = journal.find("Cannot find", at + 1))
                ++count;
            return count;
        };
        const std::string before = outputs();
        ASSERT_NE(before.find("[Round \"1\"]"), std::string::npos);
        EXPECT_NE(before.find("[Event \"Lab Cup\"]\n[Site \"Lantrel viewer\"]"), std::string::npos);
        EXPECT_NE(before.find("{[%clk 0:0"), std::string::npos);  // clocks while catching up
        const std::string journal = f.dir.Read("server.log");
        f.screen.keys.push_back("R");
        EXPECT_EQ(outputs(), before);
        EXPECT_EQ(moveErrors(f.dir.Read("server.log").substr(journal.size())), moveErrors(journal));
    }
}

// The feed's listener as the web listener sees it: the types of each hand-over.
struct HandOvers final : FeedListener {
    std::vector<std::vector<std::string>> turns{{}};
    void Delta(const FeedMessage& m) override {
        turns.back().push_back(nlohmann::json::parse(*m.json)["type"]);
    }
    void Snapshot(const FeedMessage&) override {}
    void HandOver() override { turns.emplace_back(); }
};

// A ply the GUI wrote at once (the clock of the move before, the thinking, the
// move: some forty lines, served every eleven) reaches browsers in one write.
TEST(MainLoopTurnTest, APlyReadAtOnceIsHandedOverAtOnce) {
    FakeServer f;
    f.dir.Write("server.ini", "PATH=gui.log\nPORT=17000\nDELAY=10\nDELAYAFTERMOVE=0\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    f->outputs.Attach(f->webFeed);
    HandOvers listener;
    f->webFeed.AddListener(listener);
    const std::string log =
        ReadWholeFile(std::string(LANTREL_FIXTURES) + "/xboard/sf_sf.debug").value_or("");
    std::vector<std::size_t> moveEnds;  // just after each engine's move line
    for (std::size_t at = log.find(": move "); at != std::string::npos;
         at = log.find(": move ", at + 1))
        moveEnds.push_back(log.find('\n', at) + 1);
    ASSERT_GT(moveEnds.size(), 4u);
    f.dir.Write("gui.log", log.substr(0, moveEnds[2]));
    MainLoopPass(*f);
    MainLoopPass(*f);
    const std::string ply = log.substr(moveEnds[2], moveEnds[3] - moveEnds[2]);
    ASSERT_GT(std::count(ply.begin(), ply.end(), '\n'), 22);
    AppendBytes(f.dir.File("gui.log"), ply);
    listener.turns = {{}};
    MainLoopPass(*f);
    MainLoopPass(*f);
    std::erase_if(listener.turns, [](const auto& turn) { return turn.empty(); });
    ASSERT_EQ(listener.turns.size(), 1u);
    for (const char* type : {"clock", "move"})
        EXPECT_EQ(std::count(listener.turns[0].begin(), listener.turns[0].end(), type), 1) << type;
}

TEST_F(MainLoopTest, UnchangedLogCausesNoRead) {
    f.dir.Write("gui.log", "x\n");
    Pass();
    f->feed.game.headerSent = false;
    Pass();
    EXPECT_FALSE(f->feed.game.headerSent);  // no read, so no end-of-read work either
}

}  // namespace
}  // namespace lantrel

namespace lantrel {
namespace {

TEST(MainLoopPaceTest, ZeroDelayStillWaitsInTheNetworkTurn) {
    testing::FakeServer f;
    f.dir.Write("server.ini", "DELAY=0\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    MainLoopPass(*f);
    ASSERT_FALSE(f.socket.receiveWaits.empty());
    EXPECT_EQ(f.socket.receiveWaits.back(), 1);
    EXPECT_EQ(f.LogLines()[3], "Delay= 0 ");  // the journal shows the setting as written
}

}  // namespace
}  // namespace lantrel
