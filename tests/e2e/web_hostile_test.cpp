// Hostile browsers against the real server on loopback, started with at most
// 1,024 open files: messages of every JSON shape, impersonating names and
// control characters, a foreign page, chat floods from one address and from
// many, connections that fill the per-address cap and the listener's whole
// share of the open files, HEAD requests. Throughout, a recorded game is played
// into the GUI log; a UDP viewer and a well-behaved browser must get all of it,
// the log must never be taken for a new one and the server's memory must stay
// bounded.
#include <filesystem>

#include "web_fixture.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

constexpr int kOpenFiles = 1024;
constexpr int kPerAddress = 16;

// The files the server holds open, sockets included.
int OpenDescriptors(int pid) {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && it != end; it.increment(error))
        ++count;
    return count;
}

// The server's resident memory in KiB (VmRSS of /proc/PID/status).
long ResidentKiB(int pid) {
    const std::string status = FileText("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

class HostileClientsTest : public WebListenerTest {
  protected:
    // The server under the open-file limit, the UDP viewer logged on, the good
    // browser following, and the rest of the recorded game being played.
    void SetUp() override {
        RaiseOpenFileLimit();  // this process holds more than a thousand sockets below
        std::string prlimit = RunShell("command -v prlimit");
        prlimit = prlimit.substr(0, prlimit.find('\n'));
        ASSERT_FALSE(prlimit.empty()) << "prlimit (util-linux) is needed";
        launcher = {prlimit,
                    "--nofile=" + std::to_string(kOpenFiles) + ":" + std::to_string(kOpenFiles),
                    "--"};
        StartWeb("WEBCHAT=1\nWEBMAXPERADDRESS=" + std::to_string(kPerAddress) + "\n");
        ASSERT_FALSE(HasFatalFailure());
        LiveViewer& viewer = AddViewer(2, "Bob");
        viewer.client->onMessage = [this](const std::string& text) {
            watcher.OnMessage(text);
            if (StartsWith(text, "CHAT: ")) chat.push_back(text.substr(6));
        };
        viewer.client->Logon();
        ASSERT_TRUE(viewer.client->PollUntil([&] { return viewer.picture().loggedOn; }, 10));
        good = std::make_unique<Browser>(webPort, "/feed", "127.0.0.3");
        snapshot = good->Next();
        ASSERT_EQ(snapshot["type"], "snapshot");
        const std::string log = FileText(recorded + ".debug");
        dir.Write("rest.log", log.substr(log.find('\n') + 1));
        replay = std::make_unique<ChildProcess>(
            std::vector<std::string>{LANTREL_REPLAY_BIN, "--speed", "1", dir.File("rest.log"),
                                     dir.File("gui.log")},
            dir.File("replay.out"));
    }
    // Keeps the UDP viewer served for a moment.
    void Serve(double seconds = 0.2) {
        PollAll([] { return false; }, seconds);
    }
    long Rss() const { return ResidentKiB(server->pid()); }

    GameWatcher watcher;
    std::vector<std::string> chat;  // as the UDP viewer got it, after "CHAT: "
    std::unique_ptr<Browser> good;
    Json snapshot;
    std::unique_ptr<ChildProcess> replay;
};

TEST_F(HostileClientsTest, TheGameFlowsWhateverBrowsersDo) {
    const long rssBefore = Rss();

    // Every shape of message is refused on its connection, which stays open.
    Browser talker(webPort, "/feed", "127.0.0.4");
    struct Shape {
        std::string message;
        const char* refusal;
    } shapes[] = {
        {R"({"type":1})", "Not a message"},
        {R"({"type":null})", "Not a message"},
        {R"({"type":["chat"],"name":"Ann","text":"x"})", "Not a message"},
        {R"({"type":"chat","name":{"n":[[[[1]]]]},"text":"x"})", "Not a message"},
        {"[" + std::string(1000, '[') + std::string(1001, ']'), "Not a message"},
        {R"({"type":"chat","name":"Ann","text":")" + std::string(3000, 'x') + "\"}",
         "A chat line is"},
        {R"({"type":"chat","name":"Ann] - I resign, gg","text":"x"})", "A name holds no ["},
        {R"({"type":"chat","name":"SERVER","text":"Users=0"})", "A name holds no ["},
        {R"({"type":"chat","name":"Ann","text":"\u009b2J\u0085"})", "A chat line is"},
        {R"({"type":"chat","name":"\u202eAnn","text":"x"})", "A name is"},
    };
    for (const Shape& shape : shapes) {
        ASSERT_TRUE(talker.Say(shape.message)) << shape.message.substr(0, 80);
        const Json answer = talker.NextOf("error");
        EXPECT_EQ(answer.is_object() ? answer.value("text", "").rfind(shape.refusal, 0) : 1, 0u)
            << shape.message.substr(0, 80) << " got " << answer.dump();
    }
    ASSERT_TRUE(talker.Say(R"({"type":"chat","name":"Ann","text":"caf\u00e9"})"));

    // A page of another site may watch but not post.
    Browser foreign(webPort, "/feed", "127.0.0.5", "https://evil.example");
    EXPECT_EQ(foreign.Next()["type"], "snapshot");
    foreign.Say(R"({"type":"chat","name":"Eve","text":"click here"})");
    EXPECT_EQ(foreign.NextOf("error")["text"], "Chat is open to this server's own page only.");

    // The administrator silences by name (that connection, whatever name it
    // takes next) and by address; both still follow the feed.
    AppendBytes(dir.File("in.dat"), "BOOT:Ann\nSRBOOT:127.0.0.9\n");
    ASSERT_TRUE(Eventually([&] { return CountOf(dir.Read("server.log"), "Web chat: ") == 2; }, 10));
    Browser banned(webPort, "/feed", "127.0.0.9");
    for (Browser* silenced : {&talker, &banned}) {
        silenced->Say(R"({"type":"chat","name":"Someone","text":"x"})");
        EXPECT_EQ(silenced->NextOf("error")["text"], "The administrator has silenced you.");
    }
    Serve();

    // Chat floods: many connections of one address, and one line from each of
    // many addresses at once. Each address gets one line a second, the server
    // ten in all.
    std::vector<std::unique_ptr<Browser>> crowd;
    for (int i = 0; i < 8; ++i)
        crowd.push_back(std::make_unique<Browser>(webPort, "/feed", "127.0.0.6"));
    for (int i = 0; i < 30; ++i)
        crowd.push_back(
            std::make_unique<Browser>(webPort, "/feed", "127.0.1." + std::to_string(i + 1)));
    for (std::size_t i = 0; i < crowd.size(); ++i)
        crowd[i]->Say(R"({"type":"chat","name":"Flood)" + std::to_string(i) + R"(","text":"x"})");
    // Each hears its own line relayed, or the refusal of it.
    int perAddressRefusals = 0, busyRefusals = 0;
    for (std::size_t i = 0; i < crowd.size(); ++i) {
        const std::string own = "[Flood" + std::to_string(i) + " (web)] - x";
        Json m = crowd[i]->Next();
        for (int n = 0;
             n < 1000 && !m.is_null() && m["type"] != "error" && m.value("line", "") != own; ++n)
            m = crowd[i]->Next();
        ASSERT_FALSE(m.is_null()) << "browser " << i << " heard nothing of its line";
        perAddressRefusals += m.value("text", "") == "One chat line a second, please.";
        busyRefusals += m.value("text", "") == "The chat is busy: try again in a moment.";
    }
    EXPECT_GE(perAddressRefusals, 1);
    EXPECT_GE(busyRefusals, 1);
    crowd.clear();
    Serve();

    // Half-sent requests fill one address's share; the next connection from it
    // is closed unanswered, while another address is served (HEAD: the header
    // of GET without its body).
    std::vector<std::unique_ptr<TcpPeer>> halfSent;
    for (int i = 0; i < kPerAddress; ++i) {
        halfSent.push_back(std::make_unique<TcpPeer>(webPort, 0, "127.0.0.7"));
        halfSent.back()->Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    }
    TcpPeer turnedAway(webPort, 0, "127.0.0.7");
    turnedAway.Send("GET /state.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(turnedAway.Receive(2), "");
    TcpPeer head(webPort, 0, "127.0.0.8");
    head.Send("HEAD /games.pgn HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const std::string headAnswer = head.Receive();
    EXPECT_EQ(headAnswer.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(headAnswer.find("ETag: \""), std::string::npos);
    EXPECT_NE(headAnswer.find("X-Frame-Options: DENY"), std::string::npos);
    EXPECT_EQ(headAnswer.substr(headAnswer.find("\r\n\r\n") + 4), "");
    halfSent.clear();

    // Idle connections from many addresses, more than the listener may hold
    // under the open-file limit: the server keeps files for itself (the GUI
    // log), so the game goes on.
    IdleConnections idle;
    for (int i = 0; i < kOpenFiles / kPerAddress + 4; ++i) {
        idle.Open(webPort, "127.0.2." + std::to_string(i + 1), kPerAddress);
        Serve(0.02);
    }
    // The listener holds as many as it may (the open-file limit less 64).
    EXPECT_TRUE(PollAll([&] { return OpenDescriptors(server->pid()) >= kOpenFiles - 64; }, 10));
    const int descriptorsFlooded = OpenDescriptors(server->pid());
    const long rssFlooded = Rss();
    idle.Clear();

    // The game, as the UDP viewer and the good browser got it.
    ASSERT_TRUE(PollAll([&] { return !replay->Running() && watcher.results == 1; }, 60));
    ExpectGamesAsRecorded(watcher.Finished(), ReadExpected(recorded + ".expected"));
    ExpectSavedGames(*good, snapshot["version"]);
    EXPECT_EQ(std::count(chat.begin(), chat.end(), "[Ann (web)] - caf\xE9"), 1);
    for (const std::string& line : chat)
        EXPECT_EQ(line.find_first_of("\x80\x85\x9B"), std::string::npos) << line;
    const std::string log = dir.Read("server.log");
    // One "New Game" for each "new" XBoard sent the engines, none more.
    EXPECT_EQ(CountOf(log, "New Game"), CountOf(FileText(recorded + ".debug"), ": new\n")) << log;
    const long rssAfter = Rss();
    std::printf(
        "open files %d; idle connections %zu; server descriptors %d; "
        "RSS KiB before %ld, flooded %ld, after %ld\n",
        kOpenFiles, static_cast<std::size_t>(kOpenFiles / kPerAddress + 4) * kPerAddress,
        descriptorsFlooded, rssBefore, rssFlooded, rssAfter);
    EXPECT_LT(rssFlooded, rssBefore + 64 * 1024);
}

}  // namespace
}  // namespace lantrel
