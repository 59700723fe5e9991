// The tournament PGN file: finding it through server.ini and the tag scan.
#include <gtest/gtest.h>

#include "app/tourney_requests.h"
#include "support/test_support.h"

namespace lantrel {
namespace {

using testing::TempDir;

TEST(FindTourneyPgn, TakesTheFirstLineThatStartsWithTheKey) {
    struct Case {
        const char* name;
        std::string ini;
        std::string path;
    };
    const Case cases[] = {
        {"plain", "PORT=16000\nTOURNEYPGN=C:\\games\\tour.pgn\n", "C:\\games\\tour.pgn"},
        {"first wins", "TOURNEYPGN=a.pgn\nTOURNEYPGN=b.pgn\n", "a.pgn"},
        {"value untrimmed", "TOURNEYPGN= my games.pgn \r\n", " my games.pgn "},
        {"lower case key", "tourneypgn=a.pgn\n", ""},
        {"key not at start", " TOURNEYPGN=a.pgn\n", ""},
        {"no line", "PORT=16000\nSITE=x\n", ""},
        {"empty value", "TOURNEYPGN=\nTOURNEYPGN=b.pgn\n", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.Write("server.ini", c.ini);
        EXPECT_EQ(FindTourneyPgn(dir.File("server.ini")), c.path) << c.name;
    }
    EXPECT_EQ(FindTourneyPgn("/nonexistent/server.ini"), "");
}

TEST(LookUpTourneyPgn, ResolvesRelativePathsAndReportsWhatItFound) {
    TempDir dir;
    dir.Write("server.ini", "TOURNEYPGN=games.pgn\n");
    EXPECT_EQ(LookUpTourneyPgn(dir.File("server.ini"), dir.path()).status, PgnLookup::kNotFound);

    dir.Write("games.pgn", "[White \"a\"]\n");
    PgnLookup found = LookUpTourneyPgn(dir.File("server.ini"), dir.path());
    EXPECT_EQ(found.status, PgnLookup::kRead);
    EXPECT_EQ(found.path, "games.pgn");
    EXPECT_EQ(found.text, "[White \"a\"]\n");

    dir.Write("server.ini", "TOURNEYPGN=" + dir.File("games.pgn") + "\n");
    EXPECT_EQ(LookUpTourneyPgn(dir.File("server.ini"), "/elsewhere").status, PgnLookup::kRead);

    dir.Write("server.ini", "SITE=x\n");
    EXPECT_EQ(LookUpTourneyPgn(dir.File("server.ini"), dir.path()).status,
              PgnLookup::kNotConfigured);
}

TEST(ScanPgnTags, AGameIsCompleteAfterEveryThirdTagLine) {
    auto games = ScanPgnTags(
        "[Event \"x\"]\n[White \"Fruit 2.1\"]\n[Black \"Crafty\"]\n[Result \"1-0\"]\n\n1. e4 "
        "1-0\n\n"
        "[White \"Toga\"]\n[WhiteElo \"2500\"]\n[Black \"GNU\"]\n[Result \"0-1\"]\n");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[0].white, "FRUIT 2.1");
    EXPECT_EQ(games[0].black, "CRAFTY");
    EXPECT_EQ(games[0].result, "1-0");
    EXPECT_EQ(games[1].white, "TOGA");
    EXPECT_EQ(games[1].result, "0-1");
}

TEST(ScanPgnTags, ValuesCarryOverWhenATagIsMissing) {
    // The second game has no Black tag: its three tag lines end in the third
    // game's White line, and the values of the earlier tags stay in place.
    auto games = ScanPgnTags(
        "[White \"A\"]\n[Black \"B\"]\n[Result \"1-0\"]\n"
        "[White \"C\"]\n[Result \"0-1\"]\n"
        "[White \"D\"]\n[Black \"E\"]\n[Result \"1/2-1/2\"]\n");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[1].white, "D");
    EXPECT_EQ(games[1].black, "B");
    EXPECT_EQ(games[1].result, "0-1");
    EXPECT_TRUE(games[1].resultTagSeen);

    auto noResult = ScanPgnTags(
        "[White \"A\"]\n[Black \"B\"]\n[Result \"1-0\"]\n"
        "[White \"C\"]\n[Black \"D\"]\n[White \"E\"]\n");
    ASSERT_EQ(noResult.size(), 2u);
    EXPECT_EQ(noResult[1].result, "1-0");  // carried over
    EXPECT_FALSE(noResult[1].resultTagSeen);
}

TEST(ScanPgnTags, TagValueRules) {
    struct Case {
        const char* name;
        std::string line;  // a White line
        std::string white;
    };
    const Case cases[] = {
        {"trimmed and upper case", "[White \"  Fruit 2.1 \"]", "FRUIT 2.1"},
        {"mixed-case key", "[wHiTe \"x\"]", "X"},
        {"no quote: the whole line", "[White Fruit]", "[WHITE FRUIT]"},
        {"no closing quote: the rest", "[White \"Fruit 2.1", "FRUIT 2.1"},
        {"empty value", "[White \"\"]", ""},
        {"latin-1 bytes kept", "[White \"J\xf6rg\"]", "J\xf6RG"},
        {"carriage return dropped", "[White \"Fruit\"]\r", "FRUIT"},
    };
    for (const auto& c : cases) {
        auto games = ScanPgnTags(c.line + "\n[Black \"b\"]\n[Result \"1-0\"]\n");
        ASSERT_EQ(games.size(), 1u) << c.name;
        EXPECT_EQ(games[0].white, c.white) << c.name;
    }
    // The result is not trimmed; "[Result" needs no blank after it.
    auto games = ScanPgnTags(
        "[White \"a\"]\n[Black \"b\"]\n[Result \" 1-0 \"]\n"
        "[White \"a\"]\n[Black \"b\"]\n[RESULT\"*\"]\n");
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[0].result, " 1-0 ");
    EXPECT_EQ(games[1].result, "*");
}

TEST(PgnEvent, TheFirstEventTag) {
    EXPECT_EQ(PgnEvent("[Site \"x\"]\n[Event \" Lab Cup \"]\n\n1. e4 *\n[Event \"Other\"]\n"),
              "Lab Cup");
    EXPECT_EQ(PgnEvent("[event \"?\"]\n"), "");
    EXPECT_EQ(PgnEvent("[White \"A\"]\n"), "");
}

TEST(ScanPgnTags, OtherLinesAreIgnored) {
    auto games = ScanPgnTags(
        "[WhiteElo \"2500\"]\n[BlackClock \"0:01\"]\n[ResultX]\n"  // "[RESULT" prefix counts
        " [White \"not at start\"]\n{[White \"in a comment\"]}\n"
        "[White \"a\"]\n[Black \"b\"]\n");
    ASSERT_EQ(games.size(), 1u);
    EXPECT_EQ(games[0].white, "A");
    EXPECT_EQ(games[0].black, "B");
    EXPECT_EQ(games[0].result, "[RESULTX]");
    EXPECT_TRUE(ScanPgnTags("").empty());
    EXPECT_TRUE(ScanPgnTags("1. e4 e5 *\n").empty());
}

}  // namespace
}  // namespace lantrel
