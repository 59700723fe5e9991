// The tournament services on a running server: requests arrive as datagrams,
// answers go to the requester alone, files and the mailer's command line are
// checked as the operator would find them.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "fixtures/tourney/pgn_maker.h"
#include "net_fixture.h"
#include "platform/files.h"
#include "tourney/tourney.h"

namespace lantrel::testing {
namespace {

std::string Game(int k, const std::string& result = "1-0") {
    return "[Event \"T\"]\n[White \"W" + std::to_string(k) + "\"]\n[Black \"B" + std::to_string(k) +
           "\"]\n[Result \"" + result + "\"]\n\n1. e4 e5 " + result + "\n\n";
}

std::string Games(int count) {
    std::string pgn;
    for (int k = 1; k <= count; ++k)
        pgn += Game(k);
    return pgn;
}

// A regular file that exists but cannot be opened for reading, or empty when this
// machine offers none (root reads every file it owns).
std::string UnreadableFile(const TempDir& dir) {
    if (::geteuid() != 0) {
        dir.Write("locked.pgn", Games(2));
        ::chmod(dir.File("locked.pgn").c_str(), 0);
        return dir.File("locked.pgn");
    }
    // A write-only kernel setting: a regular file that even root cannot read.
    const std::string writeOnly = "/proc/sys/vm/compact_memory";
    if (FileExists(writeOnly) && !ReadWholeFile(writeOnly)) return writeOnly;
    return {};
}

class TourneyTest : public NetTest {
  protected:
    void SetUp() override {
        f.dir.Write("server.ini", "PORT=16000\nTOURNEYPGN=games.pgn\n");
        f.dir.Write("games.pgn", Games(3));
        f->config.mailServer = "smtp.example.org";
        f->config.returnAddress = "server@example.org";
        Logon(kAlice, "Alice");
        Logon(kBob, "Bob");
        Receive(kAlice, "EMAIL:alice@example.org");
        Forget();
    }
    std::vector<std::string> Expected(const std::string& pgn) {
        CrossTable table;
        return ResultTableReply(table, {PgnLookup::kRead, "games.pgn", pgn});
    }
};

TEST_F(TourneyTest, ResultTableGoesToTheRequesterAloneUnnumbered) {
    Receive(kBob, "RESULTTABLE");
    EXPECT_EQ(Sent(kBob), Expected(Games(3)));
    EXPECT_TRUE(Sent(kAlice).empty());
    EXPECT_EQ(f->net.counters.resultTableRequests, 1);
    EXPECT_EQ(f.screen.Text(20, 24, 25), "Result table requests: 1 ");

    Receive(kAlice, "RESULTTABLE");
    EXPECT_EQ(Sent(kAlice), Expected(Games(3)));
    EXPECT_EQ(f.screen.Text(20, 24, 25), "Result table requests: 2 ");
}

TEST_F(TourneyTest, ServerIniIsReadAgainOnEveryRequest) {
    f.dir.Write("server.ini", "PORT=16000\n");
    Receive(kBob, "RESULTTABLE");
    EXPECT_EQ(
        Sent(kBob),
        (std::vector<std::string>{
            "CTRESET", "CT:Sorry, this server is not configured to send the results table."}));

    Forget();
    f.dir.Write("other.pgn", Games(5));
    f.dir.Write("server.ini", "TOURNEYPGN=" + f.dir.File("other.pgn") + "\n");
    Receive(kBob, "RESULTTABLE");
    EXPECT_EQ(Sent(kBob), Expected(Games(5)));

    Forget();
    f.dir.Write("server.ini", "TOURNEYPGN=missing.pgn\n");
    Receive(kBob, "RESULTTABLE");
    EXPECT_EQ(
        Sent(kBob),
        (std::vector<std::string>{
            "CTRESET",
            "CT:File not found!  Sorry, the server cannot provide the results at this time."}));
    EXPECT_EQ(f->net.counters.resultTableRequests, 3);  // refusals count too
}

TEST_F(TourneyTest, AFileThatCannotBeOpenedIsSaidSo) {
    std::string locked = UnreadableFile(f.dir);
    if (locked.empty()) GTEST_SKIP() << "no unreadable file available here";
    f.dir.Write("server.ini", "TOURNEYPGN=" + locked + "\n");
    Receive(kAlice, "RESULTTABLE");
    Receive(kAlice, "GAMELIST");
    Receive(kAlice, "SEND: 1");
    EXPECT_EQ(Sent(kAlice),
              (std::vector<std::string>{
                  "CTRESET",
                  "CT:File cannot be opened!  Sorry, the server cannot provide the results at "
                  "this time.",
                  "MSG:PGN file cannot be opened!  Sorry, the server cannot provide you with a "
                  "list of games.",
                  "MSG:PGN file cannot be opened!  Sorry, the server cannot process your "
                  "request."}));
    EXPECT_FALSE(FileExists(f.dir.File("email.txt")));
    EXPECT_TRUE(f.processes.started.empty());
}

TEST_F(TourneyTest, GameListNeedsUsableMailSettings) {
    Receive(kBob, "GAMELIST");
    auto sent = Sent(kBob);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].substr(0, 12), "GL:    3W3  ");
    EXPECT_TRUE(Sent(kAlice).empty());

    // Whenever "SEND:" would refuse the settings, the list is not offered either.
    const std::pair<std::string, std::string> refused[] = {
        {"", "server@example.org"},
        {"smtp.example.org & del *.*", "server@example.org"},
        {"smtp.example.org", "me@x.org;halt"}};
    for (const auto& [mailServer, returnAddress] : refused) {
        Forget();
        f->config.mailServer = mailServer;
        f->config.returnAddress = returnAddress;
        Receive(kBob, "GAMELIST");
        EXPECT_EQ(Sent(kBob), std::vector<std::string>{"MSG:Sorry, the server is not configured "
                                                       "to provide you with a list of games"})
            << mailServer << " / " << returnAddress;
    }
}

TEST_F(TourneyTest, EmailWritesTheFilesAndStartsTheMailer) {
    Receive(kAlice, "SEND: 2");
    EXPECT_EQ(Sent(kAlice),
              std::vector<std::string>{
                  "MSG:Your Email request has been received and is being processed."});
    EXPECT_EQ(f.dir.Read("email.txt"),
              "\r\n[Event \"T\"]\r\n[White \"W2\"]\r\n[Black \"B2\"]\r\n[Result \"1-0\"]\r\n\r\n"
              "1. e4 e5 1-0\r\n\r\n");
    const std::string command =
        "gbmail -to alice@example.org -file email.txt -h smtp.example.org -from "
        "server@example.org -s \"Your_requested_game(s).\"";
    EXPECT_EQ(f.dir.Read("email.log"), command + "\r\n");
    // The mailer itself, no command interpreter: the subject is one plain argument.
    const StartedProcess mailer{
        "gbmail",
        {"-to", "alice@example.org", "-file", "email.txt", "-h", "smtp.example.org", "-from",
         "server@example.org", "-s", "Your_requested_game(s)."},
        f.dir.path(),
        f.dir.File("email.log")};
    EXPECT_EQ(f.processes.started, std::vector<StartedProcess>{mailer});
    EXPECT_EQ(f.screen.Text(18, 60, 11), "Emails:  1 ");
    EXPECT_EQ(f.screen.CursorRow(), 21);
    EXPECT_EQ(f.screen.CursorColumn(), 1);

    // The next request starts email.txt afresh; email.log only grows.
    Receive(kAlice, "SEND:");
    EXPECT_EQ(f.dir.Read("email.txt"), "");
    EXPECT_EQ(f.dir.Read("email.log"), command + "\r\n" + command + "\r\n");
    EXPECT_EQ(f.processes.started.size(), 2u);
    EXPECT_EQ(f.screen.Text(18, 60, 11), "Emails:  2 ");
}

TEST_F(TourneyTest, AMailerThatCannotBeStartedIsNotedInTheMailLog) {
    f.processes.startResult = false;
    Receive(kAlice, "SEND: 2");
    EXPECT_EQ(Sent(kAlice),
              std::vector<std::string>{
                  "MSG:Your Email request has been received and is being processed."});
    auto log = SplitLines(f.dir.Read("email.log"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(StartsWith(log[0], "gbmail -to alice@example.org "));
    EXPECT_EQ(log[1], "gbmail could not be started");
}

TEST_F(TourneyTest, AnAddressWithShellCharactersIsRefused) {
    const char* addresses[] = {"alice@example.org; rm -rf ~", "$(reboot)@example.org",
                               "alice@example.org|mail x@y", "`id`@x.org", "a@b.c>email.txt"};
    int count = 0;
    for (const char* address : addresses) {
        Receive(kAlice, std::string("EMAIL:") + address);
        Forget();
        Receive(kAlice, "SEND: 1");
        EXPECT_EQ(Sent(kAlice),
                  std::vector<std::string>{
                      "MSG:Sorry, your Email address cannot be used.  Please enter a plain "
                      "address such as name@example.com and ask again."})
            << address;
        EXPECT_EQ(f->net.counters.emailCount, ++count);
    }
    EXPECT_FALSE(FileExists(f.dir.File("email.txt")));
    EXPECT_FALSE(FileExists(f.dir.File("email.log")));
    EXPECT_TRUE(f.processes.started.empty());

    // A viewer that never gave an address is told so.
    Forget();
    Receive(kBob, "SEND: 1");
    EXPECT_EQ(Sent(kBob), std::vector<std::string>{
                              "MSG:Sorry, the server has no Email address for you.  Please enter "
                              "your Email address and ask again."});
    EXPECT_TRUE(f.processes.started.empty());
}

TEST_F(TourneyTest, UnsafeMailSettingsAreRefusedAndReported) {
    f->config.mailServer = "smtp.example.org & del *.*";
    Receive(kAlice, "SEND: 1");
    EXPECT_EQ(Sent(kAlice),
              std::vector<std::string>{"MSG:Sorry, the server is not configured to send Emails."});
    const std::string notice =
        "Email refused: MAILSERVER= is not a plain host name (host or host:port)";
    EXPECT_EQ(f.screen.Text(21, 1, static_cast<int>(notice.size())), notice);
    auto log = f.LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), notice);

    f->config.mailServer = "smtp.example.org";
    f->config.returnAddress = "me@x.org;halt";
    Receive(kAlice, "SEND: 1");
    EXPECT_EQ(f.LogLines().back(), "Email refused: RETURNADD= is not a plain Email address");
    EXPECT_TRUE(f.processes.started.empty());
    EXPECT_FALSE(FileExists(f.dir.File("email.txt")));
}

}  // namespace
}  // namespace lantrel::testing
