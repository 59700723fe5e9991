// Games by e-mail with the mailer really started, a stand-in gbmail on PATH that
// records its arguments and the mail file it was handed.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "net/net.h"
#include "platform/fakes.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "support/test_support.h"
#include "text/text.h"

namespace lantrel::testing {
namespace {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 7);

std::string Game(int k, const std::string& result = "1-0", int extraTags = 0) {
    std::string pgn = "[Event \"T\"]\n[White \"W" + std::to_string(k) + "\"]\n[Black \"B" +
                      std::to_string(k) + "\"]\n";
    for (int t = 1; t <= extraTags; ++t)
        pgn += "[Extra" + std::to_string(t) + " \"x\"]\n";
    return pgn + "[Result \"" + result + "\"]\n\n1. e4 e5 " + result + "\n\n";
}

// A server whose processes really start, in its own directory.
class MailerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        socket.clock = &clock;
        WriteScript(dir.File("bin/gbmail"), kFakeGbmail);  // its output goes to email.log
        pathToFake.emplace(dir.File("bin"));

        dir.Write("server.ini", "TOURNEYPGN=games.pgn\n");
        server->config.mailServer = "smtp.example.org:2525";
        server->config.returnAddress = "server@example.org";
        Receive("LOGONv15:Viewer");
        Receive("EMAIL:viewer@example.org");
    }
    void Receive(const std::string& text) {
        socket.Queue(kViewer, text);
        ServiceNetwork(server->net);
    }
    // Sends the request (after the pause a viewer leaves between two) and waits
    // (at most 20 s) for the mailer's last word.
    void SendAndWait(const std::string& request, int calls = 1) {
        clock.Advance(kTourneyRequestGapSeconds);
        Receive(request);
        for (int i = 0; i < 2000; ++i) {
            if (SplitLines(dir.Read("gbmail.calls")).size() >= static_cast<std::size_t>(calls) &&
                Contains(dir.Read("email.log"), "fake gbmail: done"))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "the mailer did not finish";
    }
    // The White tags of the games the mailer was handed.
    std::vector<std::string> MailedWhites() const {
        std::vector<std::string> whites;
        for (const auto& line : SplitLines(dir.Read("gbmail.mail")))
            if (StartsWith(line, "[White ")) whites.push_back(line.substr(8, line.size() - 10));
        return whites;
    }

    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    SpawnProcessStarter processes;
    TempDir dir;
    Platform platform{screen, clock, wait, socket, processes, dir.path()};
    std::unique_ptr<Server> server = std::make_unique<Server>(platform);
    std::optional<PathPrefix> pathToFake;
};

TEST_F(MailerTest, TheMailerGetsItsArgumentsAndTheChosenGames) {
    std::string pgn;
    for (int k = 1; k <= 102; ++k)
        pgn += Game(k);
    dir.Write("games.pgn", pgn);
    SendAndWait("SEND: 2 10");
    EXPECT_EQ(SplitLines(dir.Read("gbmail.args")),
              (std::vector<std::string>{"-to", "viewer@example.org", "-file", "email-1.txt", "-h",
                                        "smtp.example.org:2525", "-from", "server@example.org",
                                        "-s", "Your_requested_game(s)."}));
    EXPECT_EQ(MailedWhites(), (std::vector<std::string>{"W2", "W10"}));
    EXPECT_EQ(dir.Read("gbmail.mail"), dir.Read("email-1.txt"));
    // email.log: the command line, then what the mailer printed, its error
    // output included (nothing of it reaches the console).
    auto log = SplitLines(dir.Read("email.log"));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0],
              "gbmail -to viewer@example.org -file email-1.txt -h smtp.example.org:2525 -from "
              "server@example.org -s \"Your_requested_game(s).\"");
    EXPECT_EQ(log[1], "fake gbmail: a note on its error output");
    EXPECT_EQ(log[2], "fake gbmail: done");

    // The main loop sees the mailer end and removes its file.
    for (int i = 0; i < 2000 && FileExists(dir.File("email-1.txt")); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        MainLoopPass(*server);
    }
    EXPECT_FALSE(FileExists(dir.File("email-1.txt")));
}

TEST_F(MailerTest, UnfinishedGamesTakeNoNumber) {
    dir.Write("games.pgn", Game(1) + Game(2, "*") + Game(3, "0-1") + Game(4, "1/2-1/2"));
    SendAndWait("SEND: 2 3");
    EXPECT_EQ(MailedWhites(), (std::vector<std::string>{"W3", "W4"}));
}

TEST_F(MailerTest, MoreThanTwentyTagLinesKeepTheFirstNineteenAndTheResult) {
    dir.Write("games.pgn", Game(1) + Game(2, "1-0", 20));
    SendAndWait("SEND: 2");
    auto mail = SplitLines(dir.Read("gbmail.mail"));
    ASSERT_EQ(mail.size(), 1u + 20 + 3);
    EXPECT_EQ(mail[1], "[Event \"T\"]");
    EXPECT_EQ(mail[19], "[Extra16 \"x\"]");
    EXPECT_EQ(mail[20], "[Result \"1-0\"]");
    EXPECT_EQ(mail[22], "1. e4 e5 1-0");
}

TEST_F(MailerTest, NoNumberStillStartsTheMailerWithAnEmptyFile) {
    dir.Write("games.pgn", Game(1));
    SendAndWait("SEND:");
    EXPECT_EQ(dir.Read("gbmail.mail"), "");
}

TEST_F(MailerTest, AnAddressWithShellCharactersStartsNothing) {
    dir.Write("games.pgn", Game(1));
    Receive("EMAIL:viewer@example.org;touch hacked");
    Receive("SEND: 1");
    Receive("EMAIL:viewer@example.org");
    SendAndWait("SEND: 1");
    // Only the second request reached the mailer.
    EXPECT_EQ(SplitLines(dir.Read("gbmail.calls")).size(), 1u);
    EXPECT_FALSE(FileExists(dir.File("hacked")));
    EXPECT_EQ(MailedWhites(), std::vector<std::string>{"W1"});
}

}  // namespace
}  // namespace lantrel::testing
