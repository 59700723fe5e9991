// The game list: "GL:" lines, most recent first, and its refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tourney/tourney.h"

namespace lantrel {
namespace {

std::string Game(const std::string& white, const std::string& black, const std::string& result) {
    return "[White \"" + white + "\"]\n[Black \"" + black + "\"]\n[Result \"" + result +
           "\"]\n\n1. e4 " + result + "\n\n";
}

// Game k between "W<k>" and "B<k>", White winning.
std::string NumberedGames(int count) {
    std::string pgn;
    for (int k = 1; k <= count; ++k)
        pgn += Game("W" + std::to_string(k), "B" + std::to_string(k), "1-0");
    return pgn;
}

std::vector<std::string> List(const std::string& pgn, const std::string& mailServer = "smtp.x") {
    CrossTable table;
    return GameListReply(table, {PgnLookup::kRead, "t.pgn", pgn}, mailServer, "");
}

std::string Line(const std::string& number5, const std::string& white, const std::string& black,
                 const std::string& result) {
    std::string line = "GL:" + number5 + white + std::string(40 - white.size(), ' ') + black +
                       std::string(40 - black.size(), ' ') + result +
                       std::string(8 - result.size(), ' ');
    return line;
}

TEST(GameList, TwoHundredFiftyGamesMostRecentFirst) {
    auto lines = List(NumberedGames(250));
    ASSERT_EQ(lines.size(), 250u);
    EXPECT_EQ(lines.front(), Line("  250", "W250", "B250", "1-0"));
    EXPECT_EQ(lines[1], Line("  249", "W249", "B249", "1-0"));
    EXPECT_EQ(lines.back(), Line("    1", "W1", "B1", "1-0"));
    for (const auto& line : lines)
        EXPECT_EQ(line.size(), 96u);
}

TEST(GameList, ThreeHundredTwentyGamesSendTheLastThreeHundred) {
    auto lines = List(NumberedGames(320));
    ASSERT_EQ(lines.size(), 300u);
    EXPECT_EQ(lines.front(), Line("  320", "W320", "B320", "1-0"));
    EXPECT_EQ(lines.back(), Line("   21", "W21", "B21", "1-0"));
}

TEST(GameList, NamesAreCutToTwentyCharactersAndShownInUpperCase) {
    std::string name25 = "Deep Thought Ultra v2.5a";  // 24 characters
    name25 += "x";
    auto lines = List(Game(name25, "gnu chess", "1/2-1/2") + Game("  A  ", "b", "*"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], Line("    1", "DEEP THOUGHT ULTRA V", "GNU CHESS", "1/2-1/2"));
    EXPECT_EQ(lines[1].substr(3 + 5, 40), "DEEP THOUGHT ULTRA V" + std::string(20, ' '));
    EXPECT_EQ(lines[0], Line("    2", "A", "B", "*"));
}

TEST(GameList, EveryGameCountsUnfinishedOnesToo) {
    auto lines =
        List(Game("A", "B", "*") + Game("C", "D", "1-0") + Game("E", "F", "garbage result"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], Line("    3", "E", "F", "GARBAGE "));
    EXPECT_EQ(lines[2], Line("    1", "A", "B", "*"));
}

TEST(GameList, RefusalsAndEmptyFiles) {
    const std::string notConfigured =
        "MSG:Sorry, the server is not configured to provide you with a list of games";
    const PgnLookup read{PgnLookup::kRead, "t.pgn", NumberedGames(2)};
    struct Case {
        PgnLookup pgn;
        std::string mailServer, returnAddress;
        std::string reply;
    };
    // The list is refused whenever "SEND:" would refuse the mail settings, even
    // when the file is there.
    const Case cases[] = {
        {read, "", "", notConfigured},
        {read, "  ", "", notConfigured},
        {read, "smtp.x;reboot", "", notConfigured},
        {read, "smtp.x", "s@x|sh", notConfigured},
        {{PgnLookup::kNotConfigured, "", ""}, "smtp.x", "", notConfigured},
        {{PgnLookup::kNotFound, "t.pgn", ""},
         "smtp.x",
         "",
         "MSG:PGN file not found!  Sorry, the server cannot provide you with a list of games."},
        {{PgnLookup::kUnreadable, "t.pgn", ""},
         "smtp.x",
         "",
         "MSG:PGN file cannot be opened!  Sorry, the server cannot provide you with a list of "
         "games."},
    };
    CrossTable table;
    for (const auto& c : cases)
        EXPECT_EQ(GameListReply(table, c.pgn, c.mailServer, c.returnAddress),
                  std::vector<std::string>{c.reply})
            << c.mailServer << " / " << c.returnAddress;
    // Blanks around the settings do not refuse the list.
    EXPECT_EQ(GameListReply(table, read, " smtp.x:25 ", " s@x ").size(), 2u);
    EXPECT_TRUE(List("").empty());
    EXPECT_TRUE(List("1. e4 e5 *\n").empty());
}

TEST(GameList, LeavesTheStandingsAlone) {
    CrossTable table;
    ResultTableReply(table, {PgnLookup::kRead, "t.pgn", Game("A", "B", "1-0")});
    GameListReply(table, {PgnLookup::kRead, "t.pgn", NumberedGames(3)}, "smtp.x", "");
    EXPECT_EQ(table.players[1].name, "A");
    EXPECT_EQ(table.Cell(1, 2), "1");
    EXPECT_EQ(table.recentGames[1].number, 3);
    EXPECT_EQ(table.recentGames[4].number, 0);
}

}  // namespace
}  // namespace lantrel
