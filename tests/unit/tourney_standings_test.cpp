// The page's tournament: the PGN's games with this run's results matched to
// them, the standings and the crosstable's results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tourney/tourney.h"
#include "web/feed_messages.h"

namespace lantrel {
namespace {

std::vector<TaggedGame> Pgn(const std::string& text) {
    return ScanPgnTags(text);
}

const std::string kTwoSaved =
    "[White \"Stockfish 16\"]\n[Black \"Fairy-Max\"]\n[Result \"1-0\"]\n\n"
    "[White \"Fairy-Max\"]\n[Black \"Stockfish 16\"]\n[Result \"1/2-1/2\"]\n\n";

// The run's games are matched to the file's last ones, and its results stand
// in for the games the GUI has not saved yet.
TEST(TourneyStandingsTest, TheRunsGamesAreMatchedToTheFileAndTheUnsavedOneIsAdded) {
    const std::vector<RunGame> run = {
        {1, "STOCKFISH 16", "fairy-max", "1-0", true},  // names without case
        {2, "Fairy-Max", "Stockfish 16", "1/2-1/2", true},
        {3, "Stockfish 16", "Fairy-Max", "0-1", true},  // over, not saved yet
        {4, "Fairy-Max", "Stockfish 16", "", true},     // going on
    };
    const std::vector<ListedGame> list = ListTourneyGames(Pgn(kTwoSaved), true, run);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].white, "Stockfish 16");  // the file's spelling
    EXPECT_EQ(list[0].runGame, 1);
    EXPECT_EQ(list[1].runGame, 2);
    EXPECT_EQ(list[2].number, 3);
    EXPECT_EQ(list[2].runGame, 3);

    // Two games the GUI has not saved yet both count.
    const std::vector<ListedGame> behind =
        ListTourneyGames(Pgn(kTwoSaved.substr(0, 59)), true, run);
    ASSERT_EQ(behind.size(), 3u);
    EXPECT_EQ(behind[0].runGame, 1);
    EXPECT_EQ(behind[1].runGame, 2);
    EXPECT_EQ(behind[2].runGame, 3);

    // Once the GUI saved it, the same game is listed once.
    const std::string saved =
        kTwoSaved + "[White \"Stockfish 16\"]\n[Black \"Fairy-Max\"]\n[Result \"0-1\"]\n\n";
    EXPECT_EQ(ListTourneyGames(Pgn(saved), true, run).size(), 3u);

    // Games before this run's are no links; a game lost before its first move
    // (which the GUI does not save) is left out of the matching.
    const std::vector<RunGame> later = {{1, "Fairy-Max", "Stockfish 16", "1-0", false},
                                        {2, "Fairy-Max", "Stockfish 16", "1/2-1/2", true}};
    const std::vector<ListedGame> matched = ListTourneyGames(Pgn(kTwoSaved), true, later);
    ASSERT_EQ(matched.size(), 2u);
    EXPECT_EQ(matched[0].runGame, 0);
    EXPECT_EQ(matched[1].runGame, 2);

    // Without a file: this run's results alone, every game of them counted.
    const std::vector<ListedGame> alone = ListTourneyGames({}, false, later);
    ASSERT_EQ(alone.size(), 2u);
    EXPECT_EQ(alone[0].runGame, 1);
}

// Equal scores keep the order of first appearance, as the text crosstable's;
// unfinished games and games missing a name count for nobody.
TEST(TourneyStandingsTest, RanksByPointsThenFirstAppearance) {
    const std::vector<ListedGame> games = {
        {1, "A", "B", "1/2-1/2", 0}, {2, "C", "A", "0-1", 0}, {3, "b", "C", "1-0", 3},
        {4, "A", "B", "*", 0},       {5, "", "C", "1-0", 0},
    };
    TourneyDocument document{
        "Club \"Cup\"", RankPlayers(games), {}, {games[2]}, {{3, "b", "C", "1-0", true}}};
    document.crossResults = CrossResults(games, document.standings);
    EXPECT_EQ(
        DocumentText(document),
        R"({"event":"Club \"Cup\"","standings":[)"
        R"({"rank":1,"name":"A","score":1.5,"games":2,"firstGame":1,"results":["","=","1"]},)"
        R"({"rank":2,"name":"B","score":1.5,"games":2,"firstGame":1,"results":["=","","1"]},)"
        R"({"rank":3,"name":"C","score":0.0,"games":2,"firstGame":2,"results":["0","0",""]}],)"
        R"("games":[{"number":3,"white":"b","black":"C","result":"1-0","game":3}],)"
        R"("earlierGames":[{"game":3,"white":"b","black":"C","result":"1-0"}]})");
}

}  // namespace
}  // namespace lantrel
