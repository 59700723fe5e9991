// A move the GUI refused (its flag had fallen) is taken back before the result:
// the viewer is sent the position before it, then the result.
#include <vector>

#include "feed_fixture.h"
#include "text/text.h"

namespace lantrel {
namespace {

using Texts = std::vector<std::string>;

// clang-format off
// 1. e4 e5, each move passed on to the other engine.
const Texts kXBoard = {"StartChildProcess (dir=.) A", "StartChildProcess (dir=.) B",
    "10 >first : new", "11 >second: new", "20 <first : move e2e4", "21 >second: e2e4",
    "30 <second: move e7e5", "31 >first : usermove 31 >first : e7e5"};
const Texts kArena = {"10:00 Starting engine 1 A - a.exe", "10:00 Starting engine 2 B - b.exe",
    "10:01-->1:new", "10:01-->2:new", "10:02<--1:move e2e4"};
const Texts kIcs = {"StartChildProcess (dir=.) A", "5 >first : name Opp", "6 >first : e2e4",
    "7 <first : move e7e5"};

struct TakebackCase {
    const char* name;
    const Texts* opening;
    Texts lines;         // after the opening, the GUI's result last
    std::string logged;  // the takeback note in server.log; "" = the move stays
};

const TakebackCase kCases[] = {
    {"WhiteMovedAfterItsFlagFell", &kXBoard, {"40 <first : move g1f3",
     "41 >first : result 0-1 {Black wins on time}"},
     "<41> Move taken back (the GUI refused it): 2. Nf3"},
    {"BlackMovedAfterItsFlagFell", &kXBoard, {"40 <first : move g1f3", "41 >second: g1f3",
     "50 <second: move b8c6", "51 >first : result 1-0 {White wins on time}"},
     "<51> Move taken back (the GUI refused it): 2... Nc6"},
    {"MatingMovePassedOn", &kXBoard, {"40 <first : move f1c4", "41 >second: f1c4",
     "50 <second: move b8c6", "51 >first : b8c6", "60 <first : move d1h5", "61 >second: d1h5",
     "70 <second: move g8f6", "71 >first : g8f6", "80 <first : move h5f7", "81 >second: h5f7",
     "82 >first : result 1-0 {White mates}"}, ""},
    {"AdjudicatedRightAfterAMoveNotPassedOn", &kXBoard, {"40 <first : move g1f3",
     "41 >first : result 1-0 {Xboard adjudication}"}, ""},
    {"OtherEngineDiedBeforeTheMoveWasPassedOn", &kXBoard, {"40 <first : move g1f3",
     "41 >first : result 1-0 {Error writing to second chess program}"}, ""},
    {"SideOnMoveLostOnTime", &kXBoard, {"40 <first : move g1f3", "41 >second: g1f3",
     "50 >first : result 1-0 {White wins on time}"}, ""},
    // Arena and ICS mode: only the time loss of the side that just moved tells.
    {"ArenaMoverLostOnTime", &kArena, {"10:03<--2:move e7e5",
     "10:04-->1:result 1-0 {Black loses on time}"},
     "<10:04> Move taken back (the GUI refused it): 1... e5"},
    {"ArenaResultAfterAMoveNotPassedOn", &kArena, {"10:03-->1:result 1-0 {White wins}"}, ""},
    {"IcsResultAfterTheEnginesMove", &kIcs, {"8 >first : result 0-1 {White resigns}"}, ""},
    {"IcsEngineLostOnTime", &kIcs, {"8 >first : result 1-0 {Black loses on time}"},
     "<8> Move taken back (the GUI refused it): 1... e5"},
};
// clang-format on

class FeedTakebackTest : public testing::FeedTest,
                         public ::testing::WithParamInterface<TakebackCase> {
  protected:
    void SetUp() override { StartWithViewer("PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n"); }
};

TEST_P(FeedTakebackTest, RefusedMoveIsTakenBackBeforeTheResult) {
    const TakebackCase& c = GetParam();
    f->config.icsMode = c.opening == &kIcs;
    Texts lines = *c.opening;
    lines.insert(lines.end(), c.lines.begin(), c.lines.end() - 1);
    for (const std::string& line : lines)
        ProcessLogLine(f->feed, line);
    const LiveGame before = f->feed.game;
    f.socket.sent.clear();

    ProcessLogLine(f->feed, c.lines.back());
    const std::string result =
        "result " + GetWord(Mid(c.lines.back(), Find(c.lines.back(), "result")), 2);
    const std::string log = f.dir.Read("server.log");
    if (c.logged.empty()) {
        EXPECT_EQ(Received(), Texts{result});
        EXPECT_EQ(f->feed.game.fen, before.fen);
        EXPECT_FALSE(Contains(log, "taken back"));
        return;
    }
    // Back to the position before the move: the very FEN text sent when it was reached.
    EXPECT_EQ(Received(), (Texts{"FEN: " + before.previousFen, result}));
    EXPECT_EQ(f->feed.game.fen, before.previousFen);
    EXPECT_EQ(f->feed.game.plyCount, before.plyCount - 1);
    EXPECT_EQ(f.screen.Text(23, 7, before.previousFen.size()), before.previousFen);
    EXPECT_EQ(f.screen.Text(22, 24, 16),
              "50 Move Rule=" + PrintForm(f->feed.chess.halfmoveClock / 2));
    EXPECT_TRUE(Contains(log, c.logged)) << log;
}

INSTANTIATE_TEST_SUITE_P(Results, FeedTakebackTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lantrel
