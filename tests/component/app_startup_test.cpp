#include <gtest/gtest.h>

#include "app/app.h"
#include "platform/files.h"
#include "support/fake_server.h"

namespace lantrel {
namespace {

using testing::FakeServer;

TEST(StartupTest, BannerRuleAddressesAndPort) {
    FakeServer f;
    f.dir.Write("server.ini", "PORT=17000\r\n");
    f.socket.localAddresses = {MakeIp(192, 168, 0, 20), MakeIp(10, 1, 2, 3)};
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    EXPECT_EQ(f.screen.Text(1, 12, 42), "Lantrel1Server v1.72b for Winboard & Arena");
    EXPECT_EQ(f.screen.Text(1, 1, 11), std::string(11, ' '));
    EXPECT_EQ(f.screen.Text(2, 12, 52), std::string(51, '-') + " ");
    EXPECT_EQ(f.screen.Text(18, 1, 22), "IP  1 : 192.168.0.20  ");
    EXPECT_EQ(f.screen.Text(19, 1, 18), "IP  2 : 10.1.2.3  ");
    EXPECT_EQ(f.screen.Text(20, 1, 14), "Port  : 17000 ");
    f->screen.ShowWebListener(8080);
    EXPECT_EQ(f.screen.Text(20, 1, 22), "Port  : 17000 Web:8080");
    EXPECT_TRUE(f.socket.opened);
    EXPECT_EQ(f.socket.openedPort, 17000);
}

TEST(StartupTest, TheWaitWatchesTheGuiLog) {
    FakeServer f;
    f.dir.Write("server.ini", "PATH=logs/xboard.debug\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    EXPECT_EQ(f.wait.watchedPath, ResolvePath(f.dir.path(), "logs/xboard.debug"));
}

TEST(StartupTest, ServerLogHeaderAndWorkingFilesEmptied) {
    FakeServer f;
    f.dir.Write("server.ini", "PORT=17000\n");
    f.dir.Write("server.log", "old journal\r\n");
    for (const char* name : {"in.dat", "out.dat", "debug.tmp"})
        f.dir.Write(name, "stale");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    EXPECT_EQ(f.dir.Read("server.log"),
              "Path=\r\nPort= 17000 \r\nSite=Lantrel viewer\r\nDelay= 100 \r\n"
              "Delay after move= 300 \r\nDelay after game= 1000 \r\n");
    for (const char* name : {"in.dat", "out.dat", "debug.tmp"})
        EXPECT_EQ(f.dir.Read(name), "");
}

TEST(StartupTest, MissingIniRunsOnDefaultsAndSaysSo) {
    FakeServer f;
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    EXPECT_EQ(f.socket.openedPort, 16000);
    auto lines = f.LogLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "Port= 16000 ");
    EXPECT_EQ(lines[6], "No server.ini found: running on the default settings.");
    EXPECT_NE(f.screen.Row(3).find("No server.ini found"), std::string::npos);
}

TEST(StartupTest, IcsModeIndicator) {
    FakeServer f;
    f.dir.Write("server.ini", "ICSMODE=1\n");
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    EXPECT_EQ(f.screen.Text(3, 70, 8), "ICS Mode");
    EXPECT_EQ(f.screen.ColourAt(3, 70), ConsoleColour::kMagenta);
    EXPECT_EQ(f.screen.CurrentColour(), ConsoleColour::kNormal);
}

TEST(StartupTest, UdpFailureIsReported) {
    FakeServer f;
    f.socket.openResult = SocketError::kFailure;
    EXPECT_EQ(StartServer(*f), SocketError::kFailure);
    f.socket.openResult = SocketError::kOk;
}

// A value that cannot be used is named in server.log; the socket is not opened.
TEST(StartupTest, UnusablePortOrBindIsNamed) {
    const struct {
        const char* ini;
        const char* problem;  // empty: starts
    } cases[] = {
        {"PORT=70000\n", "PORT= must be a number from 1 to 65535"},
        {"PORT=abc\n", "PORT= must be a number from 1 to 65535"},
        {"PORT=-1\n", "PORT= must be a number from 1 to 65535"},
        {"BIND=foo.bar\n", "BIND=foo.bar is not an IPv4 address such as 192.168.1.10"},
        {"BIND=10.0.0.300 \n", "BIND=10.0.0.300 is not an IPv4 address such as 192.168.1.10"},
        {"BIND=foo\nBIND=127.0.0.1\n", ""},  // a later line overrides
        {"BIND=0.0.0.0\n", ""},
        {"BIND=\n", ""},
    };
    for (const auto& c : cases) {
        FakeServer f;
        f.dir.Write("server.ini", c.ini);
        const std::string problem = c.problem;
        EXPECT_EQ(StartServer(*f), problem.empty() ? SocketError::kOk : SocketError::kFailure)
            << c.ini;
        if (!problem.empty()) {
            EXPECT_EQ(f.LogLines().back(), problem) << c.ini;
        }
        EXPECT_EQ(f.socket.opened, problem.empty()) << c.ini;
    }
}

TEST(StartupTest, SecondStartEmptiesTheJournalAgain) {
    FakeServer f;
    ASSERT_EQ(StartServer(*f), SocketError::kOk);
    f->journal.Write("a line of the first run");
    FakeServer g;
    g.dir.Write("server.log", f.dir.Read("server.log"));
    ASSERT_EQ(StartServer(*g), SocketError::kOk);
    EXPECT_EQ(g.LogLines().front(), "Path=");
    for (const auto& line : g.LogLines())
        EXPECT_NE(line, "a line of the first run");
}

}  // namespace
}  // namespace lantrel
