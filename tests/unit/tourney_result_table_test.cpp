// The results table: counting, crosstable and every "CT:" line, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tourney/tourney.h"

namespace lantrel {
namespace {

// One game's tag section and a move line.
std::string Game(const std::string& white, const std::string& black, const std::string& result) {
    return "[Event \"Test\"]\n[White \"" + white + "\"]\n[Black \"" + black + "\"]\n[Result \"" +
           result + "\"]\n\n1. e4 e5 " + result + "\n\n";
}

std::vector<std::string> Reply(const std::string& pgn) {
    CrossTable table;
    return ResultTableReply(table, {PgnLookup::kRead, "t.pgn", pgn});
}

std::string Name40(std::string name) {
    name.resize(40, ' ');
    return name;
}

std::string Result8(std::string result) {
    result.resize(8, ' ');
    return result;
}

const std::string kHeader = "CT: RANK   ENGINE                                    GAMES  POINTS   ";
const std::string kGameHeader =
    "CT:Game No.  White                                    Black                                   "
    "Result   ";
const std::vector<std::string> kProgress = {"CTRESET", "CT:Gathering Information...",
                                            "CT:Sorting...", "CT:Building crosstable...",
                                            "CTRESET"};

// The lines between the last player row and the list of recent games.
std::vector<std::string> Totals(const std::string& total) {
    return {"CT:",
            "CT:Total games =" + total,
            "CT:",
            "CT:",
            "CT:Most recent games played...",
            "CT:",
            "CT:" + std::string(98, '-'),
            kGameHeader,
            "CT:" + std::string(98, '-')};
}

std::string Recent(const std::string& number6, const std::string& white, const std::string& black,
                   const std::string& result) {
    return "CT:" + number6 + "    " + Name40(white) + " " + Name40(black) + " " + Result8(result);
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Index of the first line equal to `text`, or -1.
int IndexOf(const std::vector<std::string>& lines, const std::string& text) {
    auto it = std::find(lines.begin(), lines.end(), text);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

TEST(ResultTable, OneGameWonByWhite) {
    EXPECT_EQ(Reply(Game("Alpha", "Beta", "1-0")),
              Join({kProgress,
                    {kHeader + "1 2 ", "CT:" + std::string(71, '-'),
                     "CT:   1.   " + Name40("ALPHA") + "     1     1.0    * 1 ",
                     "CT:   2.   " + Name40("BETA") + "     1     0.0    0 * "},
                    Totals(" 1"),
                    {Recent("     1", "ALPHA", "BETA", "1-0")}}));
}

TEST(ResultTable, ThreeDrawsBetweenAPairWidenEveryCell) {
    std::string pgn = Game("A", "B", "1/2-1/2") + Game("B", "A", "1/2-1/2") +
                      Game("A", "B", "1/2-1/2") + Game("C", "A", "1/2-1/2");
    EXPECT_EQ(
        Reply(pgn),
        Join({kProgress,
              {kHeader + "1   2   3   ", "CT:" + std::string(67 + 3 * 4, '-'),
               "CT:   1.   " + Name40("A") + "     4     2.0    *** === =.. ",
               "CT:   2.   " + Name40("B") + "     3     1.5    === *** ... ",
               "CT:   3.   " + Name40("C") + "     1     0.5    =.. ... *** "},
              Totals(" 4"),
              {Recent("     4", "C", "A", "1/2-1/2"), Recent("     3", "A", "B", "1/2-1/2"),
               Recent("     2", "B", "A", "1/2-1/2"), Recent("     1", "A", "B", "1/2-1/2")}}));
}

TEST(ResultTable, EqualPointsKeepTheOrderOfFirstAppearance) {
    auto reply = Reply(Game("Carl", "Dora", "1/2-1/2") + Game("Anna", "Bert", "1/2-1/2") +
                       Game("Bert", "Eve", "0-1"));
    // Eve leads; then Carl, Dora, Anna, Bert as they first appeared (White first).
    ASSERT_GE(reply.size(), 12u);
    const char* order[] = {"EVE", "CARL", "DORA", "ANNA", "BERT"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(reply[7 + i].substr(11, 40), Name40(order[i])) << i;
}

TEST(ResultTable, TenPlayersGetThreeCharacterColumns) {
    std::string pgn;
    for (int i = 1; i <= 9; i += 2) {
        char w[4], b[4];
        std::snprintf(w, sizeof w, "P%02d", i);
        std::snprintf(b, sizeof b, "P%02d", i + 1);
        pgn += Game(w, b, "1-0");
    }
    auto reply = Reply(pgn);
    ASSERT_EQ(reply.size(), kProgress.size() + 2 + 10 + 9 + 5);
    EXPECT_EQ(reply[5], kHeader + "1  2  3  4  5  6  7  8  9  10 ");
    EXPECT_EQ(reply[6], "CT:" + std::string(67 + 10 * 3, '-'));
    // Winners first (P01 P03 .. P09), then the losers (P02 .. P10).
    EXPECT_EQ(reply[7], "CT:   1.   " + Name40("P01") + "     1     1.0    " +
                            "*  .  .  .  .  1  .  .  .  .  ");
    EXPECT_EQ(reply[12], "CT:   6.   " + Name40("P02") + "     1     0.0    " +
                             "0  .  .  .  .  *  .  .  .  .  ");
    EXPECT_EQ(reply[16], "CT:  10.   " + Name40("P10") + "     1     0.0    " +
                             ".  .  .  .  0  .  .  .  .  *  ");
    EXPECT_EQ(reply[18], "CT:Total games = 5");
}

// `players` players, paired 1-2, 3-4, ...; the first of each pair wins.
std::string Pairs(int players, const char* prefix = "Q") {
    std::string pgn;
    for (int i = 1; i < players; i += 2) {
        char w[16], b[16];
        std::snprintf(w, sizeof w, "%s%03d", prefix, i);
        std::snprintf(b, sizeof b, "%s%03d", prefix, i + 1);
        pgn += Game(w, b, "1-0");
    }
    return pgn;
}

TEST(ResultTable, HundredPlayersCutColumnNumbersToTheColumn) {
    auto reply = Reply(Pairs(100));
    ASSERT_EQ(reply.size(), kProgress.size() + 2 + 100 + 9 + 50);
    const std::string& header = reply[5];
    EXPECT_EQ(header.size(), kHeader.size() + 100 * 3);
    EXPECT_EQ(header.substr(header.size() - 12), "97 98 99 10 ");
    for (int i = 7; i < 107; ++i)
        EXPECT_EQ(reply[i].size(), 3 + 66 + 100u * 3) << i;
    EXPECT_EQ(reply[7].substr(0, 11 + 40), "CT:   1.   " + Name40("Q001"));
    EXPECT_EQ(reply[106].substr(0, 11 + 40), "CT: 100.   " + Name40("Q100"));
}

TEST(ResultTable, OverHundredPlayersWithTwoCharacterCellsPadOneBlank) {
    auto reply = Reply(Pairs(102) + Game("Q001", "Q002", "1-0"));
    const std::string& header = reply[5];
    // Columns are four wide: cell (2), blank, pad (1).
    EXPECT_EQ(header.substr(kHeader.size(), 8), "1   2   ");
    EXPECT_EQ(header.substr(header.size() - 16), "99  100 101 102 ");
    EXPECT_EQ(reply[6], "CT:" + std::string(67 + 102 * 4, '-'));
    // Q001 (two wins) leads; Q002 is the first of the losers, after the 51 winners.
    const std::string& top = reply[7];
    EXPECT_EQ(top.substr(3, 66), "   1.   " + Name40("Q001") + "     2     2.0    ");
    EXPECT_EQ(top.substr(3 + 66, 8), "**  ..  ");
    EXPECT_EQ(top.substr(3 + 66 + 51 * 4, 4), "11  ");
}

TEST(ResultTable, NamesOverFortyCharactersAreCutAndThenIdentifyThePlayer) {
    std::string a39(39, 'A'), b40(40, 'B');
    std::string pgn = Game(a39 + " TAIL ONE", std::string(45, 'B'), "1-0") +
                      Game(a39 + " tail two", b40, "0-1") + Game(a39, b40 + "XYZ", "1/2-1/2");
    EXPECT_EQ(Reply(pgn),
              Join({kProgress,
                    {kHeader + "1   2   ", "CT:" + std::string(67 + 2 * 4, '-'),
                     "CT:   1.   " + Name40(a39) + "     3     1.5    *** 10= ",
                     "CT:   2.   " + b40 + "     3     1.5    01= *** "},
                    Totals(" 3"),
                    {Recent("     3", a39, b40, "1/2-1/2"), Recent("     2", a39, b40, "0-1"),
                     Recent("     1", a39, b40, "1-0")}}));
}

TEST(ResultTable, UnfinishedGamesCountAGameButNoPointsAndNoCell) {
    // Only "*": no cell has anything, so the cells are zero characters wide.
    EXPECT_EQ(Reply(Game("A", "B", "*")),
              Join({kProgress,
                    {kHeader + "12", "CT:" + std::string(69, '-'),
                     "CT:   1.   " + Name40("A") + "     1     0.0      ",
                     "CT:   2.   " + Name40("B") + "     1     0.0      "},
                    Totals(" 1"),
                    {Recent("     1", "A", "B", "*")}}));

    auto mixed = Reply(Game("A", "B", "1-0") + Game("A", "B", "*"));
    EXPECT_EQ(mixed[7], "CT:   1.   " + Name40("A") + "     2     1.0    * 1 ");
    EXPECT_EQ(mixed[8], "CT:   2.   " + Name40("B") + "     2     0.0    0 * ");
}

TEST(ResultTable, MoreThanThreeHundredGames) {
    std::string pgn;
    for (int i = 0; i < 301; ++i)
        pgn += Game("X", "Y", "1-0");
    auto reply = Reply(pgn);
    // All games count; a cell keeps 100 results; the list holds the last 300.
    EXPECT_EQ(reply[7], "CT:   1.   " + Name40("X") + "   301   301.0    " + std::string(100, '*') +
                            " " + std::string(100, '1') + " ");
    EXPECT_EQ(reply[8], "CT:   2.   " + Name40("Y") + "   301     0.0    " + std::string(100, '0') +
                            " " + std::string(100, '*') + " ");
    EXPECT_EQ(reply[10], "CT:Total games = 301");
    ASSERT_EQ(reply.size(), 5 + 2 + 2 + 9 + 300u);
    EXPECT_EQ(reply[18], Recent("   301", "X", "Y", "1-0"));
    EXPECT_EQ(reply.back(), Recent("     2", "X", "Y", "1-0"));
}

TEST(ResultTable, AFileWithoutGamesGetsTheProgressLinesOnly) {
    EXPECT_EQ(Reply(""), kProgress);
    EXPECT_EQ(Reply("[Event \"x\"]\n[White \"A\"]\n\n1. e4 *\n"), kProgress);
}

TEST(ResultTable, RefusalsWhenThereIsNoFileToRead) {
    CrossTable table;
    EXPECT_EQ(
        ResultTableReply(table, {PgnLookup::kNotConfigured, "", ""}),
        (std::vector<std::string>{
            "CTRESET", "CT:Sorry, this server is not configured to send the results table."}));
    EXPECT_EQ(
        ResultTableReply(table, {PgnLookup::kNotFound, "x.pgn", ""}),
        (std::vector<std::string>{
            "CTRESET",
            "CT:File not found!  Sorry, the server cannot provide the results at this time."}));
    EXPECT_EQ(ResultTableReply(table, {PgnLookup::kUnreadable, "x.pgn", ""}),
              (std::vector<std::string>{"CTRESET",
                                        "CT:File cannot be opened!  Sorry, the server cannot "
                                        "provide the results at this time."}));
}

TEST(ResultTable, AGameWithAnEmptyNameIsListedButNotCounted) {
    auto reply = Reply(Game("", "B", "1-0") + Game("C", "B", "0-1") + Game("D", "  ", "1-0"));
    EXPECT_EQ(reply, Join({kProgress,
                           {kHeader + "1 2 ", "CT:" + std::string(71, '-'),
                            "CT:   1.   " + Name40("B") + "     1     1.0    * 1 ",
                            "CT:   2.   " + Name40("C") + "     1     0.0    0 * "},
                           Totals(" 1"),
                           {Recent("     3", "D", "", "1-0"), Recent("     2", "C", "B", "0-1"),
                            Recent("     1", "", "B", "1-0")}}));
}

TEST(ResultTable, NamesBeyondThreeHundredAreLeftOutAndSaidSo) {
    // 300 players in 150 games, then a 301st beats player N001.
    auto reply = Reply(Pairs(300, "N") + Game("N301", "N001", "1-0"));
    int total = IndexOf(reply, "CT:Total games = 150.5");
    ASSERT_EQ(total, 5 + 2 + 300 + 1);
    EXPECT_EQ(reply[total + 1], "CT:Note: the table holds 300 players; 1 more left out.");
    EXPECT_EQ(reply[total + 2], "CT:");
    // N001 keeps the lost game in its count, but no cell shows it.
    const std::string& top = reply[7];
    EXPECT_EQ(top.substr(3, 66), "   1.   " + Name40("N001") + "     2     1.0    ");
    std::string cells = top.substr(3 + 66);
    EXPECT_EQ(std::count(cells.begin(), cells.end(), '1'), 1);
    EXPECT_EQ(std::count(cells.begin(), cells.end(), '0'), 0);
    EXPECT_EQ(std::count_if(reply.begin(), reply.end(),
                            [](const std::string& line) { return line.find("N301") != line.npos; }),
              1);
    EXPECT_EQ(reply[total + 9], Recent("   151", "N301", "N001", "1-0"));
}

TEST(ResultTable, AGameWithoutItsOwnResultLineGetsNoCell) {
    // The second game's tags hold no Result line: the standings take the previous
    // game's result, the crosstable nothing.
    auto reply = Reply(Game("A", "B", "1-0") +
                       "[White \"C\"]\n[Black \"D\"]\n\n1. d4 *\n\n[White \"E\"]\n\n");
    EXPECT_EQ(reply[7], "CT:   1.   " + Name40("A") + "     1     1.0    * . 1 . ");
    EXPECT_EQ(reply[8], "CT:   2.   " + Name40("E") + "     1     1.0    . * . . ");
    EXPECT_EQ(reply[9], "CT:   3.   " + Name40("B") + "     1     0.0    0 . * . ");
    EXPECT_EQ(reply[10], "CT:   4.   " + Name40("D") + "     1     0.0    . . . * ");
}

TEST(NumberMasks, RightAlignedBlankFilled) {
    EXPECT_EQ(RankField(1), "   1.");
    EXPECT_EQ(RankField(300), " 300.");
    EXPECT_EQ(GamesField(0), "    0");
    EXPECT_EQ(GamesField(12345), "12345");
    EXPECT_EQ(PointsField(0), "    0.0");
    EXPECT_EQ(PointsField(0.5f), "    0.5");
    EXPECT_EQ(PointsField(12), "   12.0");
    EXPECT_EQ(PointsField(1234.5f), " 1234.5");
    EXPECT_EQ(GameNumberField(7), "     7");
    EXPECT_EQ(GameNumberField(123456), "123456");
}

}  // namespace
}  // namespace lantrel
