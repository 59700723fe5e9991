// The services over real PGN files: one written by XBoard during a small engine
// tournament and a generated one of 3000 games. The expected games, results and
// standings were counted independently by pgn-extract (see
// fixtures/tourney/refresh_expectations.sh).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/tourney/pgn_maker.h"
#include "text/text.h"
#include "tourney/tourney.h"

namespace lantrel {
namespace {

struct Expected {
    int games = 0;
    std::map<std::string, int> results;
    struct Standing {
        int games = 0;
        int halfPoints = 0;
    };
    std::map<std::string, Standing> players;  // upper-case names
};

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(LANTREL_FIXTURES) + "/tourney/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Expected ReadExpected(const std::string& name) {
    Expected e;
    std::istringstream in(ReadFixture(name));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');)
            f.push_back(x);
        if (f.size() == 2 && f[0] == "games") e.games = std::stoi(f[1]);
        if (f.size() == 3 && f[0] == "result") e.results[f[1]] = std::stoi(f[2]);
        if (f.size() == 4 && f[0] == "player")
            e.players[UpperAscii(f[3])] = {std::stoi(f[1]), std::stoi(f[2])};
    }
    return e;
}

// Reads the standings back from the "CT:" rows of a reply.
struct TableRows {
    std::map<std::string, Expected::Standing> players;
    std::vector<std::string> names;  // in table order
    std::vector<std::string> cells;  // the crosstable part of each row
    std::string total;
    std::vector<std::string> recent;
};

TableRows ReadTable(const std::vector<std::string>& reply) {
    TableRows t;
    std::size_t i = 7;  // progress lines, CTRESET, header and rule come first
    for (; i < reply.size() && reply[i] != "CT:"; ++i) {
        const std::string& row = reply[i];
        std::string name = TrimRightBlanks(row.substr(11, 40));
        int games = std::stoi(row.substr(52, 5));
        int halfPoints = static_cast<int>(std::stod(row.substr(58, 7)) * 2 + 0.5);
        t.players[name] = {games, halfPoints};
        t.names.push_back(name);
        t.cells.push_back(row.substr(3 + 66));
    }
    t.total = reply.at(i + 1);
    for (i += 9; i < reply.size(); ++i)
        t.recent.push_back(reply[i]);
    return t;
}

void CheckAgainstPgnExtract(const std::string& pgn, const Expected& expected) {
    CrossTable table;
    TableRows rows = ReadTable(ResultTableReply(table, {PgnLookup::kRead, "t.pgn", pgn}));
    ASSERT_EQ(rows.players.size(), expected.players.size());
    for (const auto& [name, standing] : expected.players) {
        ASSERT_TRUE(rows.players.count(name)) << name;
        EXPECT_EQ(rows.players[name].games, standing.games) << name;
        EXPECT_EQ(rows.players[name].halfPoints, standing.halfPoints) << name;
    }
    EXPECT_EQ(rows.total, "CT:Total games = " + std::to_string(expected.games));
    EXPECT_EQ(rows.recent.size(), std::min(expected.games, 300));
    EXPECT_EQ(rows.recent.front().substr(3, 6), RightAlign(std::to_string(expected.games), 6));

    // Every decisive game gives one point, every draw two halves.
    int halfPoints = 0;
    for (const auto& [name, standing] : rows.players)
        halfPoints += standing.halfPoints;
    EXPECT_EQ(halfPoints, 2 * (expected.results.at("1-0") + expected.results.at("0-1") +
                               expected.results.at("1/2-1/2")));

    auto list = GameListReply(table, {PgnLookup::kRead, "t.pgn", pgn}, "smtp.x", "");
    EXPECT_EQ(list.size(), std::min(expected.games, 300));
    EXPECT_EQ(list.front().substr(3, 5), RightAlign(std::to_string(expected.games), 5));
    if (expected.games <= 300) {
        std::map<std::string, int> results;
        for (const auto& line : list)
            ++results[TrimRightBlanks(line.substr(88))];
        EXPECT_EQ(results, expected.results);
    }

    // Every finished game can be mailed: the highest number is the last one.
    int finished =
        expected.results.at("1-0") + expected.results.at("0-1") + expected.results.at("1/2-1/2");
    EXPECT_FALSE(SelectGamesForEmail(pgn, "SEND: " + std::to_string(finished)).empty());
    EXPECT_TRUE(SelectGamesForEmail(pgn, "SEND: " + std::to_string(finished + 1)).empty());
}

TEST(RealPgn, XBoardTournamentMatchesPgnExtract) {
    CheckAgainstPgnExtract(ReadFixture("xboard_tourney.pgn"),
                           ReadExpected("xboard_tourney.expected"));
}

TEST(RealPgn, GeneratedThreeThousandGamesMatchPgnExtract) {
    CheckAgainstPgnExtract(pgnmaker::MakeTourneyPgn(3000), ReadExpected("generated_3000.expected"));
}

TEST(RealPgn, XBoardTournamentCrosstable) {
    CrossTable table;
    TableRows rows = ReadTable(
        ResultTableReply(table, {PgnLookup::kRead, "t.pgn", ReadFixture("xboard_tourney.pgn")}));
    // Fruit and Crafty tie on points; Fruit appeared first (White of game 1).
    EXPECT_EQ(rows.names, (std::vector<std::string>{"STOCKFISH 16", "FRUIT 2.1", "CRAFTY-25.2",
                                                    "GNU CHESS 6.2.9"}));
    EXPECT_EQ(rows.cells, (std::vector<std::string>{"** =1 1. 1. ", "=0 ** 1. =. ", "0. 0. ** 11 ",
                                                    "0. =. 00 ** "}));
    EXPECT_EQ(rows.recent.front(), "CT:     9    FRUIT 2.1" + std::string(31, ' ') +
                                       " CRAFTY-25.2" + std::string(29, ' ') + " *       ");
}

// The blocks of the XBoard file, one per game, as lines (ending in the blank line).
std::vector<std::vector<std::string>> GameBlocks(const std::string& pgn) {
    std::vector<std::vector<std::string>> blocks;
    std::istringstream in(pgn);
    for (std::string line; std::getline(in, line);) {
        if (StartsWith(line, "[Event ")) blocks.emplace_back();
        blocks.back().push_back(line);
    }
    return blocks;
}

TEST(RealPgn, XBoardGamesAreMailedWhole) {
    std::string pgn = ReadFixture("xboard_tourney.pgn");
    auto blocks = GameBlocks(pgn);
    ASSERT_EQ(blocks.size(), 9u);
    std::vector<std::string> expected{""};
    expected.insert(expected.end(), blocks[0].begin(), blocks[0].end());
    expected.push_back("");
    expected.insert(expected.end(), blocks[7].begin(), blocks[7].end());
    auto mailed = SelectGamesForEmail(pgn, "SEND: 1 8");
    EXPECT_EQ(mailed, expected);
}

}  // namespace
}  // namespace lantrel
