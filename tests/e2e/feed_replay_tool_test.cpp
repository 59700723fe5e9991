// lantrel-replay as a program: what it writes, in which steps, and how it fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

long FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

// Notes every size a file goes through until stopped.
class SizeWatcher {
  public:
    explicit SizeWatcher(std::string path) : path_(std::move(path)) {
        thread_ = std::thread([this] {
            long last = -2;
            while (!stop_) {
                long size = FileSize(path_);
                if (size != last) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    sizes_.push_back(size);
                    last = size;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    ~SizeWatcher() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<long> sizes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sizes_;
    }

  private:
    std::string path_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<long> sizes_;
    std::thread thread_;
};

const std::string kPacedLog =
    "locale = C.UTF-8\n"
    "0 >first : xboard\n"
    "protover 2\n"
    "400 <first : feature done=1\n"
    "800 >first : new\n"
    "random\n";

TEST(ReplayToolTest, InstantCopiesTheLogByteForByte) {
    TempDir dir;
    const std::string log = FileText(std::string(LANTREL_FIXTURES) + "/xboard/sf_fairymax.debug");
    ASSERT_GT(log.size(), 10000u);
    dir.Write("recorded.log", log);
    dir.Write("gui.log", "old run\n");
    ChildProcess replay({LANTREL_REPLAY_BIN, "--from-start", "--instant", dir.File("recorded.log"),
                         dir.File("gui.log")},
                        dir.File("out.txt"));
    EXPECT_EQ(replay.Wait(30), 0) << dir.Read("out.txt");
    EXPECT_EQ(dir.Read("gui.log"), log);
}

TEST(ReplayToolTest, WithoutFromStartItAppends) {
    TempDir dir;
    dir.Write("recorded.log", "5 >first : new\n");
    dir.Write("gui.log", "earlier\n");
    ChildProcess replay(
        {LANTREL_REPLAY_BIN, "--speed", "0", dir.File("recorded.log"), dir.File("gui.log")},
        dir.File("out.txt"));
    EXPECT_EQ(replay.Wait(30), 0);
    EXPECT_EQ(dir.Read("gui.log"), "earlier\n5 >first : new\n");
}

TEST(ReplayToolTest, WritesOneStampedLineWithItsFollowersAtATime) {
    TempDir dir;
    dir.Write("recorded.log", kPacedLog);
    SizeWatcher watcher(dir.File("gui.log"));
    ChildProcess replay(
        {LANTREL_REPLAY_BIN, "--from-start", dir.File("recorded.log"), dir.File("gui.log")},
        dir.File("out.txt"));
    EXPECT_EQ(replay.Wait(30), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    watcher.Stop();
    EXPECT_EQ(dir.Read("gui.log"), kPacedLog);
    // The file grows in three steps, 400 ms apart: the header with the first
    // stamped line and its continuation, the feature line, "new" with "random".
    const long first = static_cast<long>(std::string("locale = C.UTF-8\n0 >first : xboard\n"
                                                     "protover 2\n")
                                             .size());
    const long second =
        first + static_cast<long>(std::string("400 <first : feature done=1\n").size());
    std::vector<long> sizes = watcher.sizes();
    std::vector<long> grown;
    for (long size : sizes)
        if (size > 0) grown.push_back(size);
    EXPECT_EQ(grown, (std::vector<long>{first, second, static_cast<long>(kPacedLog.size())}));
}

TEST(ReplayToolTest, LoopStartsAgainFromAnEmptyFileUntilStopped) {
    TempDir dir;
    const std::string first = "0 >first : new\n";
    const std::string log = first + "100 >first : go\n";
    dir.Write("recorded.log", log);
    SizeWatcher watcher(dir.File("gui.log"));
    ChildProcess replay({LANTREL_REPLAY_BIN, "--loop", "--pause", "60", dir.File("recorded.log"),
                         dir.File("gui.log")},
                        dir.File("out.txt"));
    // Each new round empties the file and writes the first line at once: the
    // file shrinks from the whole log back to its first line.
    auto restarts = [&] {
        int count = 0;
        std::vector<long> sizes = watcher.sizes();
        for (std::size_t i = 1; i < sizes.size(); ++i)
            if (sizes[i] < sizes[i - 1]) ++count;
        return count;
    };
    for (int i = 0; i < 1000 && restarts() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(restarts(), 2);
    EXPECT_TRUE(replay.Running());
    EXPECT_EQ(replay.Stop(), 0);  // SIGTERM ends the loop cleanly
    watcher.Stop();
    for (long size : watcher.sizes()) {
        EXPECT_TRUE(size <= 0 || size == static_cast<long>(first.size()) ||
                    size == static_cast<long>(log.size()))
            << size;
    }
}

TEST(ReplayToolTest, StopsPromptlyDuringALongWait) {
    TempDir dir;
    dir.Write("recorded.log", "0 >first : new\n3600000 >first : go\n");
    ChildProcess replay(
        {LANTREL_REPLAY_BIN, "--from-start", dir.File("recorded.log"), dir.File("gui.log")},
        dir.File("out.txt"));
    ASSERT_TRUE(WaitForFileText(dir.File("gui.log"), "new", 10));
    EXPECT_EQ(replay.Stop(10), 0);
    EXPECT_EQ(dir.Read("gui.log"), "0 >first : new\n");
}

struct ErrorCase {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test directory
    int status;
    const char* message;
};

class ReplayToolErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReplayToolErrorTest, ExplainsAndFails) {
    TempDir dir;
    dir.Write("recorded.log", "1 >first : new\n");
    std::vector<std::string> argv{LANTREL_REPLAY_BIN};
    for (std::string arg : GetParam().args) {
        if (!arg.empty() && arg[0] == '@') arg = dir.path() + arg.substr(1);
        argv.push_back(arg);
    }
    ChildProcess replay(argv, dir.File("out.txt"));
    EXPECT_EQ(replay.Wait(10), GetParam().status);
    std::string out = dir.Read("out.txt");
    for (std::size_t at; (at = out.find(dir.path())) != std::string::npos;)
        out.replace(at, dir.path().size(), "@");
    EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ReplayToolErrorTest,
    ::testing::Values(
        ErrorCase{"MissingInput",
                  {"@/nothing.log", "@/gui.log"},
                  1,
                  "lantrel-replay: cannot read the recorded log '@/nothing.log': No such file or "
                  "directory\n"},
        ErrorCase{"InputIsADirectory",
                  {"@", "@/gui.log"},
                  1,
                  "lantrel-replay: cannot read the recorded log '@': Is a directory\n"},
        ErrorCase{"TargetFolderMissing",
                  {"@/recorded.log", "@/no/gui.log"},
                  1,
                  "lantrel-replay: cannot write the target log '@/no/gui.log': No such file or "
                  "directory\n"},
        ErrorCase{"BadSpeed",
                  {"--speed", "quick", "@/recorded.log", "@/gui.log"},
                  2,
                  "lantrel-replay: --speed needs a number of 0 or more, not 'quick'\n\nUsage: "
                  "lantrel-replay [options] RECORDED_LOG TARGET_LOG\n"},
        ErrorCase{"UnknownOption",
                  {"--rewind", "@/recorded.log", "@/gui.log"},
                  2,
                  "lantrel-replay: unknown option '--rewind'\n"},
        ErrorCase{"NoTarget", {"@/recorded.log"}, 2, "RECORDED_LOG and TARGET_LOG are needed"},
        ErrorCase{"Help", {"--help"}, 0, "Usage: lantrel-replay [options]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lantrel
