// The tournament services on a running server: requests arrive as datagrams,
// answers go to the requester alone, files and the mailer's command line are
// checked as the operator would find them.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/app.h"
#include "fake_viewers.h"
#include "fixtures/tourney/pgn_maker.h"
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
        // Nothing left to re-send while the tests let time pass.
        AckAll(kAlice);
        AckAll(kBob);
        Forget();
    }
    // A tournament request, after the pause a viewer leaves between two of them.
    void Ask(IpAddress from, const std::string& text) {
        f.clock.Advance(kTourneyRequestGapSeconds);
        Receive(from, text);
    }
    std::vector<std::string> Expected(const std::string& pgn) {
        CrossTable table;
        return ResultTableReply(table, {PgnLookup::kRead, "games.pgn", pgn});
    }
};

TEST_F(TourneyTest, ResultTableGoesToTheRequesterAloneUnnumbered) {
    Ask(kBob, "RESULTTABLE");
    EXPECT_EQ(Sent(kBob), Expected(Games(3)));
    EXPECT_TRUE(Sent(kAlice).empty());
    EXPECT_EQ(f->net.counters.resultTableRequests, 1);
    EXPECT_EQ(f.screen.Text(20, 24, 25), "Result table requests: 1 ");

    Ask(kAlice, "RESULTTABLE");
    EXPECT_EQ(Sent(kAlice), Expected(Games(3)));
    EXPECT_EQ(f.screen.Text(20, 24, 25), "Result table requests: 2 ");
}

TEST_F(TourneyTest, ServerIniIsReadAgainOnEveryRequest) {
    f.dir.Write("server.ini", "PORT=16000\n");
    Ask(kBob, "RESULTTABLE");
    EXPECT_EQ(
        Sent(kBob),
        (std::vector<std::string>{
            "CTRESET", "CT:Sorry, this server is not configured to send the results table."}));

    Forget();
    f.dir.Write("other.pgn", Games(5));
    f.dir.Write("server.ini", "TOURNEYPGN=" + f.dir.File("other.pgn") + "\n");
    Ask(kBob, "RESULTTABLE");
    EXPECT_EQ(Sent(kBob), Expected(Games(5)));

    Forget();
    f.dir.Write("server.ini", "TOURNEYPGN=missing.pgn\n");
    Ask(kBob, "RESULTTABLE");
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
    Ask(kAlice, "RESULTTABLE");
    Ask(kAlice, "GAMELIST");
    Ask(kAlice, "SEND: 1");
    EXPECT_EQ(Sent(kAlice),
              (std::vector<std::string>{
                  "CTRESET",
                  "CT:File cannot be opened!  Sorry, the server cannot provide the results at "
                  "this time.",
                  "MSG:PGN file cannot be opened!  Sorry, the server cannot provide you with a "
                  "list of games.",
                  "MSG:PGN file cannot be opened!  Sorry, the server cannot process your "
                  "request."}));
    EXPECT_FALSE(FileExists(f.dir.File("email-1.txt")));
    EXPECT_TRUE(f.processes.started.empty());
}

TEST_F(TourneyTest, GameListNeedsUsableMailSettings) {
    Ask(kBob, "GAMELIST");
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
        Ask(kBob, "GAMELIST");
        EXPECT_EQ(Sent(kBob), std::vector<std::string>{"MSG:Sorry, the server is not configured "
                                                       "to provide you with a list of games"})
            << mailServer << " / " << returnAddress;
    }
}

TEST_F(TourneyTest, EmailWritesTheFilesAndStartsTheMailer) {
    Ask(kAlice, "SEND: 2");
    EXPECT_EQ(Sent(kAlice),
              std::vector<std::string>{
                  "MSG:Your Email request has been received and is being processed."});
    EXPECT_EQ(f.dir.Read("email-1.txt"),
              "\r\n[Event \"T\"]\r\n[White \"W2\"]\r\n[Black \"B2\"]\r\n[Result \"1-0\"]\r\n\r\n"
              "1. e4 e5 1-0\r\n\r\n");
    const std::string command =
        "gbmail -to alice@example.org -file email-1.txt -h smtp.example.org -from "
        "server@example.org -s \"Your_requested_game(s).\"";
    EXPECT_EQ(f.dir.Read("email.log"), command + "\r\n");
    // The mailer itself, no command interpreter: the subject is one plain argument.
    const StartedProcess mailer{
        "gbmail",
        {"-to", "alice@example.org", "-file", "email-1.txt", "-h", "smtp.example.org", "-from",
         "server@example.org", "-s", "Your_requested_game(s)."},
        f.dir.path(),
        f.dir.File("email.log")};
    EXPECT_EQ(f.processes.started, std::vector<StartedProcess>{mailer});
    EXPECT_EQ(f.screen.Text(18, 60, 11), "Emails:  1 ");
    EXPECT_EQ(f.screen.CursorRow(), 21);
    EXPECT_EQ(f.screen.CursorColumn(), 1);

    // The next request has a file of its own; email.log only grows.
    Ask(kAlice, "SEND:");
    EXPECT_EQ(f.dir.Read("email-2.txt"), "");
    EXPECT_TRUE(FileExists(f.dir.File("email-1.txt")));  // its mailer still runs
    EXPECT_EQ(f.dir.Read("email.log"),
              command + "\r\n" + ReplaceAll(command, "email-1", "email-2") + "\r\n");
    EXPECT_EQ(f.processes.started.size(), 2u);
    EXPECT_EQ(f.screen.Text(18, 60, 11), "Emails:  2 ");
}

TEST_F(TourneyTest, AMailerThatCannotBeStartedIsNotedInTheMailLog) {
    f.processes.startResult = false;
    Ask(kAlice, "SEND: 2");
    EXPECT_EQ(Sent(kAlice),
              std::vector<std::string>{
                  "MSG:Your Email request has been received and is being processed."});
    auto log = SplitLines(f.dir.Read("email.log"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(StartsWith(log[0], "gbmail -to alice@example.org "));
    EXPECT_EQ(log[1], "gbmail could not be started");
    EXPECT_FALSE(FileExists(f.dir.File("email-1.txt")));
}

TEST_F(TourneyTest, AMailFileThatCannotBeWrittenStartsNoMailer) {
    std::filesystem::create_directory(f.dir.File("email-1.txt"));
    Ask(kAlice, "SEND: 2");
    EXPECT_TRUE(f.processes.started.empty());
    const std::string line = "Cannot write the mail file " + f.dir.File("email-1.txt") + ": ";
    EXPECT_TRUE(Contains(f.dir.Read("server.log"), line));
    EXPECT_TRUE(Contains(f.dir.Read("email.log"), line));
}

TEST_F(TourneyTest, AnAddressWithShellCharactersIsRefused) {
    const char* addresses[] = {"alice@example.org; rm -rf ~", "$(reboot)@example.org",
                               "alice@example.org|mail x@y", "`id`@x.org", "a@b.c>email.txt"};
    int count = 0;
    for (const char* address : addresses) {
        Receive(kAlice, std::string("EMAIL:") + address);
        Forget();
        Ask(kAlice, "SEND: 1");
        EXPECT_EQ(Sent(kAlice),
                  std::vector<std::string>{
                      "MSG:Sorry, your Email address cannot be used.  Please enter a plain "
                      "address such as name@example.com and ask again."})
            << address;
        EXPECT_EQ(f->net.counters.emailCount, ++count);
    }
    EXPECT_FALSE(FileExists(f.dir.File("email-1.txt")));
    EXPECT_FALSE(FileExists(f.dir.File("email.log")));
    EXPECT_TRUE(f.processes.started.empty());

    // A viewer that never gave an address is told so.
    Forget();
    Ask(kBob, "SEND: 1");
    EXPECT_EQ(Sent(kBob), std::vector<std::string>{
                              "MSG:Sorry, the server has no Email address for you.  Please enter "
                              "your Email address and ask again."});
    EXPECT_TRUE(f.processes.started.empty());
}

TEST_F(TourneyTest, UnsafeMailSettingsAreRefusedAndReported) {
    f->config.mailServer = "smtp.example.org & del *.*";
    Ask(kAlice, "SEND: 1");
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
    Ask(kAlice, "SEND: 1");
    EXPECT_EQ(f.LogLines().back(), "Email refused: RETURNADD= is not a plain Email address");
    EXPECT_TRUE(f.processes.started.empty());
    EXPECT_FALSE(FileExists(f.dir.File("email-1.txt")));
}

TEST_F(TourneyTest, TwoMailRequestsInOneTurnKeepTheirOwnFilesUntilTheirMailersEnd) {
    Receive(kBob, "EMAIL:bob@example.org");
    f.socket.Queue(kAlice, "SEND: 1");
    f.socket.Queue(kBob, "SEND: 2");
    ServiceNetwork(f->net);
    ASSERT_EQ(f.processes.started.size(), 2u);
    EXPECT_EQ(f.processes.started[0].args[3], "email-1.txt");
    EXPECT_EQ(f.processes.started[1].args[3], "email-2.txt");
    EXPECT_TRUE(Contains(f.dir.Read("email-1.txt"), "[White \"W1\"]"));
    EXPECT_TRUE(Contains(f.dir.Read("email-2.txt"), "[White \"W2\"]"));
    EXPECT_FALSE(Contains(f.dir.Read("email-1.txt"), "[White \"W2\"]"));
    auto log = SplitLines(f.dir.Read("email.log"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(Contains(log[0], "-to alice@example.org -file email-1.txt "));
    EXPECT_TRUE(Contains(log[1], "-to bob@example.org -file email-2.txt "));

    // Each file goes in the first main loop pass after its own mailer has ended.
    MainLoopPass(*f);
    EXPECT_TRUE(FileExists(f.dir.File("email-1.txt")));
    f.processes.running.erase(2);
    MainLoopPass(*f);
    EXPECT_TRUE(FileExists(f.dir.File("email-1.txt")));
    EXPECT_FALSE(FileExists(f.dir.File("email-2.txt")));
    f.processes.running.erase(1);
    MainLoopPass(*f);
    EXPECT_FALSE(FileExists(f.dir.File("email-1.txt")));
}

TEST_F(TourneyTest, StartUpRemovesTheMailFilesOfEarlierRuns) {
    const char* leftovers[] = {"email-1.txt", "email-17.txt"};
    const char* others[] = {"email.txt", "email-x.txt", "email-1.txt.bak", "email.log"};
    for (const char* name : leftovers)
        f.dir.Write(name, "old");
    for (const char* name : others)
        f.dir.Write(name, "kept");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    for (const char* name : leftovers)
        EXPECT_FALSE(FileExists(f.dir.File(name))) << name;
    for (const char* name : others)
        EXPECT_EQ(f.dir.Read(name), "kept") << name;
}

TEST_F(TourneyTest, OnlyViewersAreAnswered) {
    for (const char* request : {"RESULTTABLE", "GAMELIST", "SEND: 1"})
        Receive(kStranger, request);
    EXPECT_TRUE(f.socket.sent.empty());
    EXPECT_EQ(f->net.counters.resultTableRequests, 0);
    EXPECT_EQ(f->net.counters.emailCount, 0);
    EXPECT_EQ(f.screen.Text(20, 24, 25), std::string(25, ' '));
    EXPECT_TRUE(f.processes.started.empty());

    // The local viewer needs no logon.
    f.dir.Write("in.dat", "RESULTTABLE\r\n");
    ServiceNetwork(f->net);
    EXPECT_EQ(OutDat(), Expected(Games(3)));
}

TEST_F(TourneyTest, OneRequestPerViewerInTenSeconds) {
    const std::string pleaseWait =
        "MSG:Please wait a few seconds: your previous request is still being answered.";
    const double asked = f.clock.Monotonic();
    Receive(kBob, "RESULTTABLE");
    Forget();
    // Every kind of request waits, but another viewer does not.
    f.clock.Advance(9.5);
    for (const char* request : {"RESULTTABLE", "GAMELIST", "SEND: 1"}) {
        Receive(kBob, request);
        EXPECT_EQ(Sent(kBob), std::vector<std::string>{pleaseWait}) << request;
        Forget();
    }
    EXPECT_EQ(f->net.counters.resultTableRequests, 1);
    EXPECT_EQ(f->net.counters.emailCount, 0);
    Receive(kAlice, "RESULTTABLE");
    EXPECT_EQ(Sent(kAlice), Expected(Games(3)));

    // Turned-away requests do not restart the wait: once ten seconds have passed
    // since the first, the next is answered.
    f.clock.Advance(asked + 10.01 - f.clock.Monotonic());
    Receive(kBob, "GAMELIST");
    EXPECT_EQ(Sent(kBob).size(), 3u);

    // A viewer that leaves and comes back starts afresh.
    Receive(kBob, "LOGOFF");
    Logon(kBob, "Bob");
    Forget();
    Receive(kBob, "RESULTTABLE");
    EXPECT_EQ(Sent(kBob), Expected(Games(3)));
}

}  // namespace
}  // namespace lantrel::testing
