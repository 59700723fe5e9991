// The POSIX process starter: the program itself, its arguments as given, in the
// working directory asked for, output and error output appended to one file; its
// end seen without waiting.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/posix.h"
#include "support/test_support.h"

namespace lantrel::testing {
namespace {

// Waits (at most 10 s) for `name` in `dir` to hold `lines` lines.
std::vector<std::string> WaitForLines(const TempDir& dir, const std::string& name,
                                      std::size_t lines) {
    for (int i = 0; i < 1000 && SplitLines(dir.Read(name)).size() < lines; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return SplitLines(dir.Read(name));
}

TEST(SpawnProcessStarter, AppendsOutputAndErrorsOfTheProgramRunInItsDirectory) {
    TempDir dir;
    dir.Write("out.log", "before\n");
    SpawnProcessStarter starter;
    std::string whyNot;
    // Words a command interpreter would split or act on arrive as they are.
    const std::string script = "echo \"$1\"; echo \"$2\" >&2; pwd -P";
    ASSERT_TRUE(starter.Start("/bin/sh", {"-c", script, "sh", "two words", "a;b >x $(id)"},
                              dir.path(), "out.log", whyNot));
    ASSERT_EQ(WaitForLines(dir, "out.log", 4).size(), 4u);
    ASSERT_TRUE(starter.Start("sh", {"-c", "echo again"}, dir.path(), "out.log", whyNot));
    EXPECT_EQ(WaitForLines(dir, "out.log", 5),
              (std::vector<std::string>{"before", "two words", "a;b >x $(id)",
                                        std::filesystem::canonical(dir.path()).string(), "again"}));
}

TEST(SpawnProcessStarter, AProgramIsSeenToEndAndLeavesNoZombie) {
    TempDir dir;
    SpawnProcessStarter starter;
    std::string whyNot;
    auto waiting = starter.Start("sh", {"-c", "while [ ! -e go ]; do sleep 0.02; done"}, dir.path(),
                                 "out.log", whyNot);
    ASSERT_TRUE(waiting);
    EXPECT_FALSE(starter.Ended(*waiting));
    dir.Write("go", "");
    bool ended = false;
    for (int i = 0; i < 1000 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ended = starter.Ended(*waiting);
    }
    EXPECT_TRUE(ended);
    // Reaped: the system keeps nothing of it.
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(*waiting)));
}

TEST(SpawnProcessStarter, ASocketKeptFromChildrenIsNotInherited) {
    TempDir dir;
    const int kept = ::socket(AF_INET, SOCK_STREAM, 0);  // inheritable, as Asio opens them
    KeepFromChildren(kept);
    SpawnProcessStarter starter;
    std::string whyNot;
    ASSERT_TRUE(starter.Start("sh", {"-c", "ls /proc/$$/fd"}, dir.path(), "out.log", whyNot));
    const std::vector<std::string> fds = WaitForLines(dir, "out.log", 3);
    ::close(kept);
    EXPECT_EQ(std::count(fds.begin(), fds.end(), std::to_string(kept)), 0);
}

TEST(SpawnProcessStarter, AProgramThatCannotRunIsReported) {
    TempDir dir;
    SpawnProcessStarter starter;
    std::string whyNot;
    EXPECT_FALSE(starter.Start("lantrel-no-such-program", {}, dir.path(), "out.log", whyNot));
    EXPECT_EQ(whyNot, "No such file or directory");
    EXPECT_FALSE(starter.Start("/bin/sh", {"-c", "true"}, dir.File("missing"), "out.log", whyNot));
}

}  // namespace
}  // namespace lantrel::testing
