// The status screen as an operator sees it: the server runs on a real terminal
// (a tmux pane of 80 x 25) and the screen is read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/test_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

class TerminalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunShell("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
        session_ = "lantrel-test-" + std::to_string(::getpid());
        int port = FreeUdpPort();
        dir_.Write("server.ini", "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n");
        RunShell("tmux kill-session -t " + session_ + " 2>/dev/null; tmux new-session -d -s " +
                 session_ + " -x 80 -y 25 '" + LANTREL_SERVER_BIN + " --dir " + dir_.path() + "'");
        ASSERT_TRUE(WaitForPortRow());
    }
    void TearDown() override {
        if (!session_.empty()) RunShell("tmux kill-session -t " + session_ + " 2>/dev/null");
    }
    std::vector<std::string> Screen() {
        return SplitLines(RunShell("tmux capture-pane -p -t " + session_));
    }
    // The text of a 1-based row, padded to 80 columns.
    std::string Row(int row) {
        auto rows = Screen();
        std::string text = row <= static_cast<int>(rows.size()) ? rows[row - 1] : "";
        text.resize(80, ' ');
        return text;
    }
    bool WaitForRow(int row, const std::string& text, bool present = true) {
        return Eventually([&] { return (Row(row).find(text) != std::string::npos) == present; }, 6);
    }
    // The "Port  :" row follows the machine's addresses, one row each from row 18.
    bool WaitForPortRow() {
        return Eventually(
            [&] {
                auto rows = Screen();
                for (std::size_t r = 18; r <= rows.size(); ++r) {
                    if (rows[r - 1].rfind("Port  :", 0) == 0) {
                        portRow_ = static_cast<int>(r);
                        return true;
                    }
                }
                return false;
            },
            6);
    }
    void Key(const std::string& key) { RunShell("tmux send-keys -t " + session_ + " " + key); }

    TempDir dir_;
    std::string session_;
    int portRow_ = 0;
};

TEST_F(TerminalTest, StartScreenAndIcsIndicator) {
    EXPECT_EQ(Row(1).substr(11, 42), "Lantrel1Server v1.72b for Winboard & Arena");
    EXPECT_EQ(Row(2).substr(11, 51), std::string(51, '-'));
    EXPECT_GT(portRow_, 18);
    for (int row = 18; row < portRow_; ++row)
        EXPECT_EQ(Row(row).substr(0, 7), "IP  " + std::to_string(row - 17) + " :");
    EXPECT_EQ(Row(3).substr(69, 8), "        ");

    Key("i");
    ASSERT_TRUE(WaitForRow(3, "ICS Mode"));
    EXPECT_EQ(Row(3).substr(69, 8), "ICS Mode");
    Key("I");
    ASSERT_TRUE(WaitForRow(3, "ICS Mode", false));
    EXPECT_EQ(Row(3).substr(69, 8), "        ");
}

}  // namespace
}  // namespace lantrel
