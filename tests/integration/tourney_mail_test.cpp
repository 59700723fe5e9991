// Games by e-mail all the way: the server starts the bundled tools/gbmail, which
// hands the mail to the machine's mail transfer agent (msmtp), and the agent
// delivers it over SMTP to a mail sink listening on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/server.h"
#include "net/net.h"
#include "platform/fakes.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "support/test_support.h"
#include "text/text.h"

extern char** environ;

namespace lantrel::testing {
namespace {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 7);

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

class MailIntegrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!OnPath("msmtp")) GTEST_SKIP() << "msmtp is not installed (Debian package msmtp)";
        if (!OnPath("python3")) GTEST_SKIP() << "python3 is needed for the mail sink";
        socket.clock = &clock;
        pathToTools.emplace(std::string(LANTREL_SOURCE_DIR) + "/tools");
        ::unsetenv("GBMAIL_MTA");
        ::unsetenv("GBMAIL_MSMTP_ACCOUNT");
    }
    void TearDown() override {
        if (sink > 0) ::kill(sink, SIGTERM);  // only if it has not finished by itself
    }
    // Starts the sink and returns its port, or 0.
    int StartSink() {
        std::string script = std::string(LANTREL_SOURCE_DIR) + "/tests/support/smtp_sink.py";
        std::string portFile = dir.File("sink.port"), out = dir.File("mail.eml");
        std::vector<std::string> args{"python3", script, "--port-file", portFile,
                                      "--out",   out,    "--timeout",   "60"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&sink, "python3", nullptr, nullptr, argv.data(), environ) != 0) return 0;
        if (!Eventually([&] { return FileExists(portFile); }, 30)) return 0;
        return std::atoi(dir.Read("sink.port").c_str());
    }
    void Receive(const std::string& text) {
        socket.Queue(kViewer, text);
        ServiceNetwork(server->net);
    }

    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    SpawnProcessStarter processes;
    TempDir dir;
    Platform platform{screen, clock, wait, socket, processes, dir.path()};
    std::unique_ptr<Server> server = std::make_unique<Server>(platform);
    std::optional<PathPrefix> pathToTools;
    pid_t sink = 0;
};

TEST_F(MailIntegrationTest, TheChosenGamesArriveByRealSmtp) {
    int port = StartSink();
    ASSERT_GT(port, 0) << "the mail sink did not start";
    dir.Write("server.ini",
              "TOURNEYPGN=" + std::string(LANTREL_FIXTURES) + "/tourney/xboard_tourney.pgn\n");
    server->config.mailServer = "127.0.0.1:" + std::to_string(port);
    server->config.returnAddress = "server@lantrel.test";
    Receive("LOGONv15:Viewer");
    Receive("EMAIL:viewer@example.org");
    Receive("SEND: 1 3");

    ASSERT_TRUE(Eventually([&] { return FileExists(dir.File("mail.eml")); }, 60))
        << "no mail arrived; email.log:\n"
        << dir.Read("email.log");
    sink = 0;  // it ends by itself after one mail
    std::string mail = dir.Read("mail.eml");
    EXPECT_TRUE(Contains(mail, "MAIL FROM:<server@lantrel.test>")) << mail;
    EXPECT_TRUE(Contains(mail, "RCPT TO:<viewer@example.org>")) << mail;
    EXPECT_TRUE(Contains(mail, "\r\nSubject: Your requested game(s).\r\n")) << mail;
    EXPECT_TRUE(Contains(mail, "\r\nTo: viewer@example.org\r\n")) << mail;
    // Games 1 and 3 of the file, whole; not game 2.
    EXPECT_TRUE(
        Contains(mail, "[White \"Fruit 2.1\"]\r\n[Black \"Crafty-25.2\"]\r\n[Result \"1-0\"]"));
    EXPECT_TRUE(Contains(mail,
                         "Bxd1 {-3.05/14 2} 6. Bxf7+ {+#3/18 1} Ke7 {-#2/20 0.5} 7. Nd5# "
                         "{+#1/99 0.1}\r\n{White mates} 1-0\r\n"));
    EXPECT_TRUE(Contains(mail, "[White \"Crafty-25.2\"]\r\n[Black \"Stockfish 16\"]\r\n"));
    EXPECT_TRUE(Contains(mail,
                         "1. f3 {-0.40/13 2} e5 {+0.55/22 3} 2. g4 {-#1/15 2} Qh4# "
                         "{+#1/99 0.1}\r\n{Black mates} 0-1\r\n"));
    EXPECT_FALSE(Contains(mail, "GNU Chess")) << mail;

    // email.log: the command line, then gbmail's own account of the delivery.
    ASSERT_TRUE(Eventually([&] { return Contains(dir.Read("email.log"), ": sent"); }, 10))
        << dir.Read("email.log");
    auto log = SplitLines(dir.Read("email.log"));
    EXPECT_EQ(log.front(), "gbmail -to viewer@example.org -file email-1.txt -h 127.0.0.1:" +
                               std::to_string(port) +
                               " -from server@lantrel.test -s \"Your_requested_game(s).\"");
}

}  // namespace
}  // namespace lantrel::testing
