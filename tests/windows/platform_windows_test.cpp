// The Windows backend against the real system (run under wine in the build).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/win.h"

namespace lantrel {
namespace {

// A fresh folder under the system's temporary folder (a Windows path, with
// backslashes), removed again at the end.
class WindowsBackendTest : public ::testing::Test {
  protected:
    WindowsBackendTest() {
        dir_ = (std::filesystem::temp_directory_path() /
                ("lantrel-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                   .string();
        std::filesystem::create_directories(dir_);
    }
    ~WindowsBackendTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string File(const std::string& name) const { return ResolvePath(dir_, name); }

    std::string dir_;
};

TEST(WindowsPathTest, BothSeparatorsAndDrivesCount) {
    struct Case {
        const char* dir;
        const char* name;
        const char* resolved;
    } cases[] = {
        {"C:\\logs", "game.log", "C:\\logs\\game.log"},
        {"C:\\logs\\", "game.log", "C:\\logs\\game.log"},
        {"C:/logs/", "game.log", "C:/logs/game.log"},
        {"C:\\logs", "D:\\other\\game.log", "D:\\other\\game.log"},
        {"C:\\logs", "\\\\server\\share\\game.log", "\\\\server\\share\\game.log"},
        {"C:\\logs", "/rooted/game.log", "/rooted/game.log"},
        {"", "game.log", "game.log"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolvePath(c.dir, c.name), c.resolved) << c.dir << " + " << c.name;
}

TEST_F(WindowsBackendTest, AnOpenLogCanBeRemovedAndStartedAgain) {
    const std::string log = File("gui.log");
    ReadOnlyFile reader;
    ASSERT_TRUE(reader.Open(log));
    EXPECT_TRUE(reader.Created());
    EXPECT_NE(reader.Identity().inode, 0u);

    // The GUI writes, deletes and starts its log again while the server holds it.
    ASSERT_EQ(AppendLine(log, "first game"), kFileOk);
    char bytes[64] = {};
    EXPECT_EQ(reader.ReadAt(6, bytes, sizeof bytes), 6u);
    EXPECT_EQ(std::string(bytes, 6), "game\r\n");
    EXPECT_EQ(reader.ReadAt(100, bytes, sizeof bytes), 0u);
    EXPECT_TRUE(RemoveFile(log));
    reader.Close();
    ASSERT_EQ(AppendLine(log, "second game"), kFileOk);

    ASSERT_TRUE(reader.Open(log));
    EXPECT_FALSE(reader.Created());
    EXPECT_EQ(reader.Length(), 13);
    // The identity is the file's own (the system may hand a removed file's on).
    ReadOnlyFile other;
    ASSERT_TRUE(other.Open(File("other.log")));
    EXPECT_NE(other.Identity(), reader.Identity());
    EXPECT_EQ(other.Identity().device, reader.Identity().device);
}

// A program holding the log without sharing it makes the open fail for a
// while: that is no missing log. A missing folder is.
TEST_F(WindowsBackendTest, ALogHeldWithoutSharingIsNotMissing) {
    const std::string log = File("gui.log");
    ASSERT_EQ(AppendLine(log, "line"), kFileOk);
    const HANDLE held =
        ::CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ReadOnlyFile reader;
    EXPECT_FALSE(reader.Open(log));
    EXPECT_FALSE(reader.Missing());
    EXPECT_NE(reader.OpenErrorText(), "");
    ::CloseHandle(held);
    EXPECT_TRUE(reader.Open(log));
    EXPECT_FALSE(reader.Open(File("no such folder\\gui.log")));
    EXPECT_TRUE(reader.Missing());
}

TEST_F(WindowsBackendTest, RenameKeepsAnExistingFileReplaceTakesItsPlace) {
    const std::string page = File("live.pgn");
    ASSERT_EQ(CreateEmptyFile(page), kFileOk);
    ASSERT_EQ(AppendBytes(File("live.tmp"), "new"), kFileOk);
    EXPECT_FALSE(RenameFile(File("live.tmp"), page));
    // (Over a file someone holds open only where the system offers POSIX
    // renames, which wine does not.)
    EXPECT_TRUE(ReplaceFile(File("live.tmp"), page));
    EXPECT_EQ(ReadWholeFile(page), "new");
    EXPECT_EQ(ListFolder(dir_).files, std::vector<std::string>{"live.pgn"});
    std::string whyNot;
    EXPECT_FALSE(ReadNamedFile(dir_, whyNot));
    EXPECT_FALSE(whyNot.empty());
}

// The page's folder is known by its real name: a file reached through ".."
// or through a link to a folder elsewhere lies outside it.
TEST_F(WindowsBackendTest, RealPathsTellWhatLiesInsideAFolder) {
    std::filesystem::create_directories(File("web\\js"));
    ASSERT_EQ(AppendLine(File("web\\js\\app.js"), "app"), kFileOk);
    ASSERT_EQ(AppendLine(File("secret.txt"), "key"), kFileOk);
    const auto root = RealPath(File("web"));
    ASSERT_TRUE(root);
    EXPECT_FALSE(root->starts_with("\\\\?\\")) << *root;
    const auto inside = RealPath(File("web\\js\\..\\js\\app.js"));
    const auto above = RealPath(File("web\\..\\secret.txt"));
    ASSERT_TRUE(inside && above);
    EXPECT_TRUE(PathWithin(*root, *inside)) << *inside;
    EXPECT_FALSE(PathWithin(*root, *above)) << *above;
    EXPECT_FALSE(PathWithin(*root, *root + "-beside\\x"));
    EXPECT_FALSE(RealPath(File("web\\missing.js")));
    std::error_code linkError;
    std::filesystem::create_directory_symlink(dir_, File("web\\out"), linkError);
    if (linkError) GTEST_SKIP() << "no folder links here: " << linkError.message();
    const auto linked = RealPath(File("web\\out\\secret.txt"));
    ASSERT_TRUE(linked);
    EXPECT_FALSE(PathWithin(*root, *linked)) << *linked;
}

TEST_F(WindowsBackendTest, AppendFileWritesAtTheStartAfterTruncate) {
    AppendFile out;
    ASSERT_TRUE(out.Open(File("play.log"), true));
    ASSERT_TRUE(out.Write("one two three"));
    ASSERT_TRUE(out.Truncate());
    ASSERT_TRUE(out.Write("four"));
    out.Close();
    EXPECT_EQ(ReadWholeFile(File("play.log")), "four");
}

TEST(WindowsClockTest, MonotonicAdvancesAcrossASleep) {
    SystemClock clock;
    const double before = clock.Monotonic();
    clock.SleepMs(50);
    EXPECT_GE(clock.Monotonic() - before, 0.04);
    const double timeOfDay = clock.TimeOfDay();
    EXPECT_TRUE(timeOfDay >= 0 && timeOfDay < 86400) << timeOfDay;
}

TEST(WindowsSocketTest, DatagramsGoBothWaysOnLoopback) {
    const auto port = static_cast<std::uint16_t>(40000 + ::GetCurrentProcessId() % 20000);
    UdpSocket server, viewer;
    ASSERT_EQ(server.Open(port, 0, 0), SocketError::kOk);
    EXPECT_EQ(server.Open(port, 0, 0), SocketError::kAlreadyOpen);
    UdpSocket taker;
    EXPECT_EQ(taker.Open(port, 0, 0), SocketError::kFailure);  // the port is held
    ASSERT_EQ(viewer.Open(static_cast<std::uint16_t>(port + 1), kLocalViewerIp, 0),
              SocketError::kOk);

    Datagram got;
    EXPECT_EQ(server.Receive(0, got), SocketError::kTimedOut);
    EXPECT_TRUE(got.text.empty());
    ASSERT_EQ(viewer.Send(kLocalViewerIp, port, "hello"), SocketError::kOk);
    ASSERT_EQ(server.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "hello");
    EXPECT_EQ(got.sender, kLocalViewerIp);
    EXPECT_EQ(got.senderPort, port + 1);
    // A batch: each datagram its head and the shared body, in order.
    std::vector<OutgoingDatagram> batch = {{kLocalViewerIp, "< 1>", "FEN: x"},
                                           {kLocalViewerIp, "", "WTIME: 100"}};
    viewer.SendBatch(port, batch);
    EXPECT_EQ(batch[0].result, SocketError::kOk);
    EXPECT_EQ(batch[1].result, SocketError::kOk);
    ASSERT_EQ(server.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "< 1>FEN: x");
    ASSERT_EQ(server.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "WTIME: 100");

    // A viewer that went away: the system's "unreachable" answer is no failure.
    ASSERT_EQ(server.Send(kLocalViewerIp, static_cast<std::uint16_t>(port + 2), "gone"),
              SocketError::kOk);
    ASSERT_EQ(server.Send(kLocalViewerIp, static_cast<std::uint16_t>(port + 1), "ack"),
              SocketError::kOk);
    EXPECT_EQ(viewer.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(server.Receive(100, got), SocketError::kTimedOut);
    EXPECT_FALSE(server.LocalAddresses().empty());
}

TEST_F(WindowsBackendTest, OnlyTheWatchedFileEndsAWait) {
    const std::string log = File("gui.log");
    ASSERT_EQ(CreateEmptyFile(log), kFileOk);
    WinEventWait wait;
    wait.WatchFile(log);
    ASSERT_EQ(AppendLine(File("server.log"), "the server's own journal"), kFileOk);
    EXPECT_EQ(wait.Wait(-1, 300), WakeReason::kTimedOut);
    ASSERT_EQ(AppendLine(log, "a move"), kFileOk);
    EXPECT_EQ(wait.Wait(-1, 2000), WakeReason::kFileChanged);
}

TEST_F(WindowsBackendTest, AStartedProgramGetsItsWordsAsTheyAre) {
    // Argument 1 shown with its quotes, which the interpreter must not act on.
    ASSERT_EQ(AppendLine(File("show.bat"), "@echo %1"), kFileOk);
    ShellProcessStarter starter;
    std::string whyNot;
    auto started = starter.Start("show", {"a & b | c > d ^ (e)"}, dir_, "out.txt", whyNot);
    ASSERT_TRUE(started) << whyNot;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!starter.Ended(*started) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ReadWholeFile(File("out.txt")), "\"a & b | c > d ^ (e)\"\r\n");
    EXPECT_FALSE(FileExists(File("d")));
}

TEST_F(WindowsBackendTest, WordsTheInterpreterWouldChangeAreRefusedWithTheReason) {
    ASSERT_EQ(AppendLine(File("show.cmd"), "@echo %1"), kFileOk);
    const struct {
        const char* program;
        const char* word;
        const char* reason;
    } cases[] = {
        {"show", "x\"&echo.INJECTED>pwned.txt&rem.", "double quote"},
        {"show", "100%PATH%", "percent sign"},
        {"show", "one\ntwo", "line break"},
        {"no-such-program", "", "no program 'no-such-program'"},
    };
    ShellProcessStarter starter;
    for (const auto& c : cases) {
        std::string whyNot;
        EXPECT_FALSE(starter.Start(c.program, {c.word}, dir_, "out.txt", whyNot)) << c.word;
        EXPECT_NE(whyNot.find(c.reason), std::string::npos) << whyNot;
    }
    EXPECT_FALSE(FileExists(File("pwned.txt")));
}

TEST(WindowsTextTest, NamesCrossAsUtf16WithAnAnsiFallback) {
    EXPECT_EQ(Wide("Jos\xC3\xA9"), L"Jos\u00E9");
    EXPECT_EQ(Narrow(L"Jos\u00E9"), "Jos\xC3\xA9");
    // Not UTF-8: a byte of the system's ANSI code page, not a replacement mark.
    const std::wstring ansi = Wide("Jos\xE9");
    ASSERT_EQ(ansi.size(), 4u);
    EXPECT_NE(ansi.back(), L'\uFFFD');
}

TEST(WindowsPathTest, TheFolderOfALogAtADrivesRootIsTheRoot) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"C:\\game.log", "C:\\"}, {"C:\\logs\\game.log", "C:\\logs"},
        {"\\game.log", "\\"},     {"C:game.log", "C:"},
        {"game.log", "."},        {"\\\\server\\share\\game.log", "\\\\server\\share"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DirectoryOf(c.path), c.folder) << c.path;
}

}  // namespace
}  // namespace lantrel
