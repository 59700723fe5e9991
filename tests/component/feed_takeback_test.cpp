// A move the GUI refused (its flag had fallen) is taken back before the result:
// the viewer is sent the position before it, then the result.
#include <vector>

#include "feed_fixture.h"
#include "text/text.h"

namespace lantrel {
namespace {

const char* const kAfterE5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq";
const char* const kAfterNf3 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq";

struct TakebackCase {
    const char* name;
    bool icsMode;
    std::vector<std::string> lines;  // the game up to the result
    std::string result;              // the GUI's result line
    std::string fenBack;             // the position the viewer is sent back to; "" = no takeback
    std::string logged;              // the takeback note in server.log
};

const std::vector<std::string> kXBoardE4E5 = {"StartChildProcess (dir=.) A",
                                              "StartChildProcess (dir=.) B",
                                              "10 >first : new",
                                              "11 >second: new",
                                              "20 <first : move e2e4",
                                              "21 >second: e2e4",
                                              "30 <second: move e7e5",
                                              "31 >first : usermove 31 >first : e7e5"};

std::vector<std::string> Plus(std::vector<std::string> lines, std::vector<std::string> more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

const TakebackCase kCases[] = {
    {"WhiteMovedAfterItsFlagFell", false, Plus(kXBoardE4E5, {"40 <first : move g1f3"}),
     "41 >first : result 0-1 {Black wins on time}", kAfterE5,
     "<41> Move taken back (the GUI refused it): 2. Nf3"},
    {"BlackMovedAfterItsFlagFell", false,
     Plus(kXBoardE4E5, {"40 <first : move g1f3", "41 >second: g1f3", "50 <second: move b8c6"}),
     "51 >first : result 1-0 {White wins on time}", kAfterNf3,
     "<51> Move taken back (the GUI refused it): 2... Nc6"},
    {"MatingMovePassedOn",
     false,
     {"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B", "10 >first : new",
      "11 >second: new", "20 <first : move f2f3", "21 >second: f2f3", "30 <second: move e7e5",
      "31 >first : e7e5", "40 <first : move g2g4", "41 >second: g2g4", "50 <second: move d8h4",
      "51 >first : d8h4"},
     "52 >first : result 0-1 {Black mates}",
     "",
     ""},
    {"AdjudicatedRightAfterAMoveNotPassedOn", false, Plus(kXBoardE4E5, {"40 <first : move g1f3"}),
     "41 >first : result 1-0 {Xboard adjudication}", "", ""},
    {"SideOnMoveLostOnTime", false,
     Plus(kXBoardE4E5, {"40 <first : move g1f3", "41 >second: g1f3"}),
     "50 >first : result 1-0 {White wins on time}", "", ""},
    // Arena's markers: only the time loss of the side that just moved tells.
    {"ArenaMoverLostOnTime",
     false,
     {"10:00:00.000 Starting engine 1 Alpha - alpha.exe",
      "10:00:00.010 Starting engine 2 Beta - beta.exe", "10:00:00.100-->1:new",
      "10:00:00.200-->2:new", "10:00:01.000<--1:move e2e4", "10:00:02.000<--2:move e7e5"},
     "10:00:02.100-->1:result 1-0 {Black loses on time}",
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq",
     "<10:00:02.100> Move taken back (the GUI refused it): 1... e5"},
    {"ArenaResultAfterAMoveNotPassedOn",
     false,
     {"10:00:00.000 Starting engine 1 Alpha - alpha.exe",
      "10:00:00.010 Starting engine 2 Beta - beta.exe", "10:00:00.100-->1:new",
      "10:00:00.200-->2:new", "10:00:01.000<--1:move e2e4"},
     "10:00:01.100-->1:result 1-0 {White wins}",
     "",
     ""},
    // ICS mode: the engine (Black) against the server's opponent, whose moves the
    // GUI sends the engine; the engine's own moves are passed on to nobody it logs.
    {"IcsEngineMovedAfterItsFlagFell",
     true,
     {"StartChildProcess (dir=.) engine", "5 >first : name Opp", "6 >first : e2e4",
      "7 <first : move e7e5"},
     "8 >first : result 1-0 {Black forfeits on time}",
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq",
     "<8> Move taken back (the GUI refused it): 1... e5"},
    {"IcsResultAfterTheEnginesMove",
     true,
     {"StartChildProcess (dir=.) engine", "5 >first : name Opp", "6 >first : e2e4",
      "7 <first : move e7e5"},
     "8 >first : result 0-1 {White resigns}",
     "",
     ""},
};

class FeedTakebackTest : public testing::FeedTest,
                         public ::testing::WithParamInterface<TakebackCase> {
  protected:
    void SetUp() override { StartWithViewer("PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n"); }
};

TEST_P(FeedTakebackTest, RefusedMoveIsTakenBackBeforeTheResult) {
    const TakebackCase& c = GetParam();
    f->config.icsMode = c.icsMode ? 1 : 0;
    for (const std::string& line : c.lines)
        ProcessLogLine(f->feed, line);
    const std::int32_t plies = f->feed.game.plyCount;
    const std::string fenBefore = f->feed.game.previousFen;
    const std::string lastMove = MoveMessage(*f->feed.game.lastMove);
    f.socket.sent.clear();

    ProcessLogLine(f->feed, c.result);
    const std::string score = GetWord(c.result.substr(c.result.find("result")), 2);
    const std::string log = f.dir.Read("server.log");
    if (c.fenBack.empty()) {
        EXPECT_EQ(Received(), std::vector<std::string>{"result " + score});
        EXPECT_EQ(f->feed.game.plyCount, plies);
        EXPECT_EQ(MoveMessage(*f->feed.game.lastMove), lastMove);
        EXPECT_FALSE(Contains(log, "taken back"));
        return;
    }
    EXPECT_EQ(Received(), (std::vector<std::string>{"FEN: " + c.fenBack, "result " + score}));
    EXPECT_EQ(fenBefore, c.fenBack);  // the very text sent when that position was played
    EXPECT_EQ(f->feed.game.fen, c.fenBack);
    EXPECT_EQ(f->feed.game.plyCount, plies - 1);
    EXPECT_EQ(f.screen.Text(23, 7, c.fenBack.size()), c.fenBack);
    // The console board: rank 8 on row 7, file a in column 2; a letter or "." a square.
    std::string squares;
    for (char square : c.fenBack.substr(0, c.fenBack.find(' '))) {
        if (square >= '1' && square <= '8')
            squares.append(static_cast<std::size_t>(square - '0'), '.');
        else if (square != '/')
            squares += UpperAscii(square);
    }
    for (std::size_t i = 0; i < squares.size(); ++i) {
        EXPECT_EQ(f.screen.Text(7 + static_cast<int>(i / 8), 2 + 2 * static_cast<int>(i % 8), 1),
                  squares.substr(i, 1))
            << "square " << i;
    }
    EXPECT_TRUE(Contains(log, c.logged)) << log;
}

INSTANTIATE_TEST_SUITE_P(Results, FeedTakebackTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lantrel
