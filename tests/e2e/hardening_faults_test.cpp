// Faults around the server: its journal made read-only, its disk full, the local
// viewer's inbox removed, its port taken by another program, and the stop
// signals (with the operator's terminal given back intact).
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hardening_fixture.h"

namespace lantrel::testing {
namespace {

bool LogonBlockFor(const std::string& log, const std::string& address) {
    return Contains(log, "New logon: " + FixedWidth(address, 20) + "\r\n");
}

// The logon block follows "LOGON SUCCESSFUL" on the server's side: waits for it.
bool LogonBlockAppears(const std::function<std::string()>& journal, const std::string& address) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!LogonBlockFor(journal(), address)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool Logs(RawPeer& peer, const std::string& name) {
    peer.Send("LOGONv15:" + name);
    return peer.ReceiveUntil([](const std::string& t) { return t == "LOGON SUCCESSFUL"; }, 5);
}

// ---- server.log read-only ------------------------------------------------------

class ReadOnlyJournalTest : public HardeningTest {
  protected:
    void SetUp() override {
        // Root writes through any file mode, so the server runs as "nobody" then.
        if (::geteuid() == 0) {
            if (RunShell("command -v setpriv").empty()) GTEST_SKIP() << "setpriv is missing";
            ::chmod(dir.path().c_str(), 0777);
            std::string setpriv = RunShell("command -v setpriv");
            while (!setpriv.empty() && setpriv.back() == '\n')
                setpriv.pop_back();
            launcher = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
    }
    std::vector<std::string> launcher;
};

TEST_F(ReadOnlyJournalTest, LinesAreLostSilentlyAndWrittenAgainLater) {
    port = FreeUdpPort();
    dir.Write("server.ini", "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n");
    std::vector<std::string> argv = launcher;
    for (const char* arg : {LANTREL_SERVER_BIN, "--headless", "--dir"})
        argv.push_back(arg);
    argv.push_back(dir.path());
    server = std::make_unique<ChildProcess>(argv, dir.File("stdout.txt"));
    ASSERT_TRUE(
        Eventually([&] { return Contains(dir.Read("server.log"), "Delay after game="); }, 10))
        << dir.Read("stdout.txt");
    LogOnControl();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(LogonBlockAppears([&] { return dir.Read("server.log"); }, "127.0.0.2"));

    ASSERT_EQ(::chmod(dir.File("server.log").c_str(), 0444), 0);
    const std::string frozen = dir.Read("server.log");
    RawPeer lost(MakeIp(127, 0, 0, 3), port);
    ASSERT_TRUE(Logs(lost, "Lost"));
    lost.Send("CHAT:nobody writes this down");
    ServeControl(0.3);
    ExpectStillServing();
    EXPECT_EQ(dir.Read("server.log"), frozen);
    EXPECT_EQ(dir.Read("stdout.txt"), "");

    ASSERT_EQ(::chmod(dir.File("server.log").c_str(), 0644), 0);
    RawPeer kept(MakeIp(127, 0, 0, 4), port);
    ASSERT_TRUE(Logs(kept, "Kept"));
    EXPECT_TRUE(LogonBlockAppears([&] { return dir.Read("server.log"); }, "127.0.0.4"));
    EXPECT_FALSE(LogonBlockFor(dir.Read("server.log"), "127.0.0.3"));
    ExpectStillServing();
}

// ---- The working directory's disk full -----------------------------------------

class DiskFullTest : public HardeningTest {
  protected:
    void SetUp() override {
        disk = dir.File("disk");
        ::mkdir(disk.c_str(), 0755);
        if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a 1 MB tmpfs for the full disk (" << std::strerror(errno)
                         << "); run as root to include this test";
        }
        mounted = true;
        port = FreeUdpPort();
        AppendBytes(disk + "/server.ini",
                    "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n");
    }
    void TearDown() override {
        HardeningTest::TearDown();  // the server leaves the disk first
        server.reset();
        if (mounted && ::umount(disk.c_str()) != 0) ::umount2(disk.c_str(), MNT_DETACH);
    }
    void StartOnDisk() {
        server = std::make_unique<ChildProcess>(
            std::vector<std::string>{LANTREL_SERVER_BIN, "--headless", "--dir", disk},
            dir.File("stdout.txt"));
        LogOnControl();
    }
    // Fills the disk to the last byte.
    void FillDisk() {
        std::string block(64 * 1024, 'f');
        while (AppendBytes(disk + "/filler", block) == 0) {
        }
        while (AppendBytes(disk + "/filler", "f") == 0) {
        }
        // A file's last page may have room left: the journal's is taken up too.
        while (AppendBytes(disk + "/server.log", "\n") == 0) {
        }
    }
    std::string Journal() { return ReadWholeFile(disk + "/server.log").value_or(""); }

    std::string disk;
    bool mounted = false;
};

TEST_F(DiskFullTest, ServerGoesOnAndWritesAgainOnceThereIsRoom) {
    StartOnDisk();
    ASSERT_FALSE(HasFatalFailure());
    FillDisk();
    RawPeer lost(MakeIp(127, 0, 0, 3), port);
    ASSERT_TRUE(Logs(lost, "Lost"));
    AppendBytes(disk + "/in.dat", "CHAT: <ver>\n");  // fails too: no room
    lost.Send("CHAT:still here");
    ServeControl(0.3);
    ExpectStillServing();
    EXPECT_FALSE(LogonBlockFor(Journal(), "127.0.0.3"));

    ASSERT_EQ(::unlink((disk + "/filler").c_str()), 0);
    RawPeer kept(MakeIp(127, 0, 0, 4), port);
    ASSERT_TRUE(Logs(kept, "Kept"));
    EXPECT_TRUE(LogonBlockAppears([&] { return Journal(); }, "127.0.0.4"));
    ExpectStillServing();
}

TEST_F(DiskFullTest, StartsOnAFullDisk) {
    FillDisk();  // nothing the server empties at start could make room
    StartOnDisk();
    ASSERT_FALSE(HasFatalFailure());
    RawPeer viewer(MakeIp(127, 0, 0, 3), port);
    ASSERT_TRUE(Logs(viewer, "Viewer"));
    ExpectStillServing();
}

// ---- in.dat removed ----------------------------------------------------------------

using InboxTest = HardeningTest;

TEST_F(InboxTest, RemovedInboxIsStartedAgain) {
    StartWithControl();
    ASSERT_FALSE(HasFatalFailure());
    auto versionLines = [&] { return Occurrences(dir.Read("out.dat"), kVersionAnswer + "\r\n"); };
    AppendBytes(dir.File("in.dat"), "CHAT: <ver>\n");
    ASSERT_TRUE(control->client->PollUntil([&] { return versionLines() == 1; }, 5));

    for (int round = 2; round <= 4; ++round) {
        ASSERT_EQ(::unlink(dir.File("in.dat").c_str()), 0);
        if (round == 3) ::unlink(dir.File("out.dat").c_str());
        // The server creates the inbox again for the local viewer to write to.
        ASSERT_TRUE(control->client->PollUntil([&] { return FileExists(dir.File("in.dat")); }, 5));
        AppendBytes(dir.File("in.dat"), "CHAT: <ver>\n");
        const int expected = round == 2 ? 2 : round - 2;
        EXPECT_TRUE(control->client->PollUntil([&] { return versionLines() == expected; }, 5))
            << "round " << round;
    }
    EXPECT_FALSE(Contains(dir.Read("server.log"), "Error:"));
    ExpectStillServing();
}

// A local viewer that writes 64 MB without a line end: the line is cut to what a
// datagram carries, and the lines after it are read as usual.
TEST_F(InboxTest, EndlessInboxLineIsCut) {
    StartWithControl();
    ASSERT_FALSE(HasFatalFailure());
    const std::string chunk(1 << 20, 'q');
    for (int i = 0; i < 64; ++i)
        AppendBytes(dir.File("in.dat"), chunk);
    AppendBytes(dir.File("in.dat"), "\nCHAT: <ver>\n");
    EXPECT_TRUE(control->client->PollUntil(
        [&] { return Contains(dir.Read("out.dat"), kVersionAnswer + "\r\n"); }, 10));
    ExpectStillServing();
}

// ---- The port taken by another program at start ------------------------------------

struct TakenPort {
    const char* name;
    IpAddress holder;      // the other program's address
    std::string bindLine;  // the server's BIND= line
};

TEST(PortTakenTest, OpenUdpErrorAndNonZeroExit) {
    const TakenPort cases[] = {
        {"same address", MakeIp(127, 0, 0, 1), "BIND=127.0.0.1\n"},
        {"all addresses taken", 0, "BIND=127.0.0.1\n"},
        {"server on all addresses", MakeIp(127, 0, 0, 1), ""},
    };
    for (const TakenPort& taken : cases) {
        SCOPED_TRACE(taken.name);
        TempDir dir;
        const int port = FreeUdpPort();
        UdpSocket holder;
        ASSERT_EQ(holder.Open(static_cast<std::uint16_t>(port), taken.holder, 0), SocketError::kOk);
        dir.Write("server.ini", "PORT=" + std::to_string(port) + "\n" + taken.bindLine);
        for (bool headless : {true, false}) {
            std::vector<std::string> argv = {LANTREL_SERVER_BIN, "--dir", dir.path()};
            if (headless) argv.push_back("--headless");
            ChildProcess server(argv, dir.File("stdout.txt"));
            // Without a terminal to press a key on, the server does not wait for one.
            const int status = server.Wait(5);
            EXPECT_NE(status, -1) << "still running";
            EXPECT_NE(status, 0);
            EXPECT_TRUE(Contains(dir.Read("stdout.txt"), "Open UDP Error 57"))
                << dir.Read("stdout.txt");
            // server.log was started before the port was tried.
            EXPECT_TRUE(Contains(dir.Read("server.log"), "Port=" + PrintForm(port)));
        }
    }
}

// ---- Stop signals --------------------------------------------------------------------

struct StopCase {
    const char* name;
    int signal;
    std::string extraIni;
    bool game = false;    // a recorded game is written to gui.log once the server runs
    bool result = false;  // the signal comes in the pause after its result, else after a move
};

using StopSignalTest = HardeningTest;

TEST_F(StopSignalTest, SigtermAndSigintEndTheServerCleanly) {
    const std::string game =
        ReadWholeFile(std::string(LANTREL_FIXTURES) + "/xboard/sf_sf.debug").value_or("");
    ASSERT_FALSE(game.empty());
    const StopCase cases[] = {
        {"SIGTERM idle", SIGTERM, ""},
        {"SIGINT idle", SIGINT, ""},
        {"SIGTERM in a minute's pause after a move", SIGTERM,
         "PATH=gui.log\nDELAYAFTERMOVE=60000\n", true, false},
        {"SIGINT in a minute's pause after a result", SIGINT,
         "PATH=gui.log\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=60000\n", true, true},
    };
    for (const StopCase& stop : cases) {
        SCOPED_TRACE(stop.name);
        viewers.clear();  // a new control viewer for each server
        control = nullptr;
        // The lines before the first "new" are read at start, so that the game
        // header has gone out and the server pauses as it follows the moves.
        const std::size_t primer = game.find('\n', game.find(" : new")) + 1;
        dir.Write("gui.log", stop.game ? game.substr(0, primer) : "");
        ::unlink(dir.File("server.log").c_str());  // StartServer waits for a new one
        StartWithControl(stop.extraIni);
        ASSERT_FALSE(HasFatalFailure());
        if (stop.game) {
            AppendBytes(dir.File("gui.log"), game.substr(primer));
            ASSERT_TRUE(control->client->PollUntil(
                [&] {
                    return stop.result ? !control->picture().result.empty()
                                       : Contains(dir.Read("server.log"), "> Move");
                },
                20));
            ServeControl(0.2);  // well inside the pause
        }
        ::kill(server->pid(), stop.signal);
        EXPECT_EQ(server->Wait(3), 0);
        server.reset();
    }
}

// ---- The operator's terminal ---------------------------------------------------------

// The server on a real terminal (a tmux pane running a shell): after it ends, the
// shell's terminal settings are the ones it had (line editing and echo back on).
class TerminalRestoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RunShell("command -v tmux").empty()) GTEST_SKIP() << "tmux is not installed";
        session = "lantrel-harden-" + std::to_string(::getpid());
        RunShell("tmux kill-session -t " + session + " 2>/dev/null; tmux new-session -d -s " +
                 session + " -x 80 -y 25 'sh'");
    }
    void TearDown() override {
        if (!session.empty()) RunShell("tmux kill-session -t " + session + " 2>/dev/null");
    }
    // Types a command line into the pane's shell.
    void Type(const std::string& line) {
        RunShell("tmux send-keys -t " + session + " -l '" + line + "'");
        RunShell("tmux send-keys -t " + session + " Enter");
    }
    void Key(const std::string& key) { RunShell("tmux send-keys -t " + session + " " + key); }
    std::string Pane() { return RunShell("tmux capture-pane -p -t " + session); }
    bool WaitForFile(const std::string& path, double seconds = 10) {
        return Eventually([&] { return !dir.Read(path).empty(); }, seconds);
    }
    // Runs the server in the pane; its process id lands in "pid", the shell's
    // `stty -a` after it in "stty", its exit status in "status".
    void RunServer(int port) {
        dir.Write("server.ini", "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n");
        const std::string d = dir.path() + "/";
        // Ctrl-C goes to the whole foreground group: the script ignores it, the
        // server (which sets its own handler) does not.
        dir.Write("run.sh",
                  "trap '' INT\n"
                  "stty -a > " +
                      d +
                      "stty.before\n"
                      "sh -c 'echo $$ > " +
                      d + "pid; exec " + LANTREL_SERVER_BIN + " --dir " + d +
                      "'\n"
                      "echo $? > " +
                      d +
                      "status.tmp\n"
                      "stty -a > " +
                      d +
                      "stty\n"
                      "mv " +
                      d + "status.tmp " + d + "status\n");
        Type("sh " + d + "run.sh");
    }
    bool ScreenShows(const std::string& text) {
        return Eventually([&] { return Contains(Pane(), text); }, 10);
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    // Line editing and echo as `stty -a` shows them ("icanon" or "-icanon", ...).
    static std::string Modes(const std::string& stty) {
        std::string modes;
        std::istringstream words(stty);
        for (std::string w; words >> w;)
            if (w == "icanon" || w == "-icanon" || w == "echo" || w == "-echo") modes += w + " ";
        return modes;
    }

    TempDir dir;
    std::string session;
};

TEST_F(TerminalRestoreTest, CtrlCRestoresTheTerminal) {
    RunServer(FreeUdpPort());
    ASSERT_TRUE(ScreenShows("Port  :")) << Pane();
    Key("C-c");
    ASSERT_TRUE(WaitForFile("status")) << Pane();
    EXPECT_EQ(dir.Read("status"), "0\n");
    EXPECT_EQ(Modes(dir.Read("stty")), "icanon echo ");
    EXPECT_EQ(Modes(dir.Read("stty")), Modes(dir.Read("stty.before")));
}

TEST_F(TerminalRestoreTest, SigtermRestoresTheTerminal) {
    RunServer(FreeUdpPort());
    ASSERT_TRUE(ScreenShows("Port  :")) << Pane();
    ASSERT_TRUE(WaitForFile("pid"));
    ::kill(std::stoi(dir.Read("pid")), SIGTERM);
    ASSERT_TRUE(WaitForFile("status")) << Pane();
    EXPECT_EQ(dir.Read("status"), "0\n");
    EXPECT_EQ(Modes(dir.Read("stty")), "icanon echo ");
}

TEST_F(TerminalRestoreTest, PortTakenWaitsForAKeyThenRestores) {
    const int port = FreeUdpPort();
    UdpSocket holder;
    ASSERT_EQ(holder.Open(static_cast<std::uint16_t>(port), kLocalViewerIp, 0), SocketError::kOk);
    RunServer(port);
    ASSERT_TRUE(ScreenShows("Press a key to end.")) << Pane();
    EXPECT_TRUE(Contains(Pane(), "Open UDP Error 57"));
    Key("x");
    ASSERT_TRUE(WaitForFile("status")) << Pane();
    EXPECT_EQ(dir.Read("status"), "1\n");
    EXPECT_EQ(Modes(dir.Read("stty")), "icanon echo ");
}

}  // namespace
}  // namespace lantrel::testing
