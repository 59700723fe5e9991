// The tournament services of the real lantrel-server, asked by a viewer over UDP
// on loopback; e-mail goes to a stand-in gbmail on PATH that records what it got.

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "live_viewers.h"
#include "tourney/tourney.h"

namespace lantrel::testing {
namespace {

std::string Fixture(const std::string& name) {
    return ReadWholeFile(std::string(LANTREL_FIXTURES) + "/tourney/" + name).value_or("");
}

// The payloads a viewer keeps from "CT:" or "GL:" lines.
std::vector<std::string> Payloads(const std::vector<std::string>& lines, const std::string& key) {
    std::vector<std::string> payloads;
    for (const auto& line : lines)
        if (StartsWith(line, key)) payloads.push_back(line.substr(key.size()));
    return payloads;
}

class TourneyViewerTest : public LiveServerTest {
  protected:
    void SetUp() override {
        WriteScript(dir.File("bin/gbmail"), kFakeGbmail);
        pathToFake.emplace(dir.File("bin"));  // the server inherits it
        dir.Write("games.pgn", Fixture("xboard_tourney.pgn"));
        StartServer(
            "TOURNEYPGN=games.pgn\nMAILSERVER=smtp.example.org\nRETURNADD=lantrel@example.org\n");
    }
    std::optional<PathPrefix> pathToFake;
};

TEST_F(TourneyViewerTest, ResultTableGameListAndMail) {
    // A viewer asks once in ten seconds: each request comes from a viewer of its own.
    LiveViewer& viewer = AddViewer(2, "Watcher");
    LiveViewer& lister = AddViewer(4, "Lister");
    LiveViewer& mailer = AddViewer(5, "Mailer");
    LiveViewer& other = AddViewer(3, "Other");
    for (LiveViewer* v : {&viewer, &lister, &mailer, &other})
        v->client->Logon();
    ASSERT_TRUE(PollAll(
        [&] {
            return viewer.picture().loggedOn && lister.picture().loggedOn &&
                   mailer.picture().loggedOn && other.picture().loggedOn;
        },
        10));

    CrossTable table;
    PgnLookup pgn{PgnLookup::kRead, "games.pgn", Fixture("xboard_tourney.pgn")};
    // A viewer keeps what came after the last "CTRESET": the finished table.
    auto reply = ResultTableReply(table, pgn);
    auto lastReset = std::find(reply.rbegin(), reply.rend(), "CTRESET").base();
    auto table_lines = Payloads({lastReset, reply.end()}, "CT:");
    viewer.client->Send("RESULTTABLE");
    ASSERT_TRUE(
        PollAll([&] { return viewer.picture().resultTable.size() >= table_lines.size(); }, 10));
    EXPECT_EQ(viewer.picture().resultTable, table_lines);

    auto list = Payloads(GameListReply(table, pgn, "smtp.example.org", ""), "GL:");
    lister.client->Send("GAMELIST");
    ASSERT_TRUE(PollAll([&] { return lister.picture().gameList.size() >= list.size(); }, 10));
    EXPECT_EQ(lister.picture().gameList, list);

    mailer.client->Send("EMAIL:watcher@example.org");
    mailer.client->Send("SEND: 3");
    ASSERT_TRUE(PollAll(
        [&] {
            return Contains(dir.Read("email.log"), "fake gbmail: done") &&
                   mailer.HasNotice("Your Email request has been received and is being processed.");
        },
        10))
        << dir.Read("email.log");
    EXPECT_EQ(SplitLines(dir.Read("gbmail.args")),
              (std::vector<std::string>{"-to", "watcher@example.org", "-file", "email-1.txt", "-h",
                                        "smtp.example.org", "-from", "lantrel@example.org", "-s",
                                        "Your_requested_game(s)."}));
    EXPECT_TRUE(Contains(dir.Read("gbmail.mail"),
                         "[White \"Crafty-25.2\"]\r\n[Black \"Stockfish 16\"]\r\n"));
    // Once the mailer has ended, its file goes.
    ASSERT_TRUE(PollAll([&] { return !FileExists(dir.File("email-1.txt")); }, 10));

    // None of it reached the other viewer.
    EXPECT_TRUE(other.picture().resultTable.empty());
    EXPECT_TRUE(other.picture().gameList.empty());
    EXPECT_FALSE(other.HasNotice("Your Email request has been received and is being processed."));
}

}  // namespace
}  // namespace lantrel::testing
