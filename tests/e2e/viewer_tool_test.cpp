// lantrel-viewer as a program: its command line, its hint when it cannot receive,
// and the game it prints for a person against a stand-in server on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "net/framing.h"
#include "platform/posix.h"
#include "support/test_support.h"
#include "text/text.h"

namespace lantrel::testing {
namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs the viewer with these arguments and no input; one that does not end by
// itself is stopped after 20 seconds (status 124).
Outcome RunViewer(const std::vector<std::string>& args) {
    TempDir dir;
    std::string command = "timeout 20 '" + std::string(LANTREL_VIEWER_BIN) + "'";
    for (const auto& a : args)
        command += " '" + a + "'";
    command += " </dev/null >'" + dir.File("out") + "' 2>'" + dir.File("err") + "'; echo $?";
    Outcome o;
    o.status = std::stoi(RunShell(command));
    o.out = dir.Read("out");
    o.err = dir.Read("err");
    return o;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(ViewerToolTest, HelpGoesToStandardOutputAndSucceeds) {
    for (const char* help : {"--help", "-h"}) {
        Outcome o = RunViewer({"--port", "17001", help});
        EXPECT_EQ(o.status, 0) << help;
        EXPECT_EQ(FirstLine(o.out), "Usage: lantrel-viewer [options]") << help;
        EXPECT_TRUE(Contains(o.out, "/quit")) << help;  // the typed commands too
        EXPECT_EQ(o.err, "") << help;
    }
}

TEST(ViewerToolTest, BadArgumentsAreNamedBeforeTheUsage) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--port", "abc"}, "--port needs a port number from 1 to 65535, not 'abc'"},
        {{"--port", "70000"}, "--port needs a port number from 1 to 65535, not '70000'"},
        {{"--port", "123abc"}, "--port needs a port number from 1 to 65535, not '123abc'"},
        {{"--port", "0"}, "--port needs a port number from 1 to 65535, not '0'"},
        {{"--port", "-5"}, "--port needs a port number from 1 to 65535, not '-5'"},
        {{"--port", ""}, "--port needs a port number from 1 to 65535, not ''"},
        {{"--port"}, "--port needs a value"},
        {{"--server", "999.1.1.1"},
         "--server needs an IPv4 address such as 192.168.1.10, not '999.1.1.1'"},
        {{"--server", "chess.example"},
         "--server needs an IPv4 address such as 192.168.1.10, not 'chess.example'"},
        {{"--server"}, "--server needs a value"},
        {{"--bind", "127.0.0"},
         "--bind needs a local IPv4 address such as 127.0.0.2, not '127.0.0'"},
        {{"--seconds", "abc"}, "--seconds needs a number of 0 or more, not 'abc'"},
        {{"--seconds", "-1"}, "--seconds needs a number of 0 or more, not '-1'"},
        {{"--seconds", "2s"}, "--seconds needs a number of 0 or more, not '2s'"},
        {{"--seconds", "inf"}, "--seconds needs a number of 0 or more, not 'inf'"},
        {{"--name"}, "--name needs a value"},
        {{"--name", "Tess", "--port", "1x"},
         "--port needs a port number from 1 to 65535, not '1x'"},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += " [" + a + "]";
        Outcome o = RunViewer(c.args);
        EXPECT_EQ(o.status, 2) << shown;
        EXPECT_EQ(o.out, "") << shown;
        EXPECT_EQ(FirstLine(o.err), "lantrel-viewer: " + c.error) << shown;
        EXPECT_TRUE(Contains(o.err, "\n\nUsage: lantrel-viewer [options]\n")) << shown;
    }
}

TEST(ViewerToolTest, CannotReceiveExplainsTheServerOnThisMachine) {
    // A server bound to all addresses on the port leaves none for the viewer.
    const int port = FreeUdpPort();
    UdpSocket server;
    ASSERT_EQ(server.Open(static_cast<std::uint16_t>(port), 0, 100), SocketError::kOk);
    Outcome o = RunViewer({"--port", std::to_string(port), "--seconds", "1"});
    EXPECT_EQ(o.status, 1);
    std::vector<std::string> lines = SplitLines(o.err);
    ASSERT_GE(lines.size(), 2u) << o.err;
    EXPECT_EQ(lines[0], "lantrel-viewer: cannot receive on 127.0.0.2 port " + std::to_string(port) +
                            " (error 57)");
    EXPECT_TRUE(Contains(lines[1], "BIND=127.0.0.1")) << o.err;
    EXPECT_TRUE(Contains(o.err, "--server <that address> --bind 127.0.0.2")) << o.err;
}

// Plays the server's side on 127.0.0.1 for one viewer program on 127.0.0.2.
class StandInServer {
  public:
    StandInServer() : port_(FreeUdpPort()) {
        opened_ = socket_.Open(static_cast<std::uint16_t>(port_), kLocalViewerIp, 100);
    }
    int port() const { return port_; }
    bool opened() const { return opened_ == SocketError::kOk; }

    // Waits for the viewer's logon and answers it.
    bool AwaitLogon(double seconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            Datagram d;
            if (socket_.Receive(50, d) != SocketError::kOk || !StartsWith(d.text, "LOGONv15:"))
                continue;
            viewer_ = d.sender;
            viewerPort_ = d.senderPort;
            socket_.Send(viewer_, viewerPort_, "LOGON SUCCESSFUL");
            return true;
        }
        return false;
    }
    // Numbered messages, in this order.
    void Send(const std::vector<std::string>& texts) {
        for (const auto& text : texts)
            socket_.Send(viewer_, viewerPort_, FrameMessage(++seq_, text));
    }

  private:
    int port_;
    SocketError opened_ = SocketError::kNotUdpChannel;
    UdpSocket socket_;
    IpAddress viewer_ = 0;
    std::uint16_t viewerPort_ = 0;
    std::int32_t seq_ = 0;
};

// Every board the viewer printed: its FEN and the "Last move" under it (empty when none).
std::vector<std::pair<std::string, std::string>> Boards(const std::string& output) {
    std::vector<std::pair<std::string, std::string>> boards;
    std::vector<std::string> lines = SplitLines(output);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!StartsWith(lines[i], "  FEN ")) continue;
        std::string move;
        if (i + 1 < lines.size() && StartsWith(lines[i + 1], "  Last move: "))
            move = lines[i + 1].substr(13);
        boards.emplace_back(lines[i].substr(6), move);
    }
    return boards;
}

// Runs the viewer against the stand-in, which sends `messages` after the logon.
std::string ViewerOutput(const std::vector<std::string>& messages) {
    StandInServer server;
    EXPECT_TRUE(server.opened());
    TempDir dir;
    ChildProcess viewer({LANTREL_VIEWER_BIN, "--port", std::to_string(server.port()), "--name",
                         "Tess", "--seconds", "2"},
                        dir.File("viewer.txt"));
    EXPECT_TRUE(server.AwaitLogon(10));
    server.Send(messages);
    EXPECT_EQ(viewer.Wait(15), 0);
    return dir.Read("viewer.txt");
}

const std::string kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
const std::string kAfterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq";
const std::string kAfterE5 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq";
const std::string kAfterNf3 = "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq";
const std::string kAfterNc6 = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq";
const std::string kAfterBb5 = "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq";

TEST(ViewerToolTest, EachBoardShowsTheMoveThatLedToIt) {
    // The welcome before the first move, the engines' names, then moves as the
    // server sends them: the position first, then the move, then the fifty-move count.
    const std::string edited = "4k3/8/8/8/8/8/8/4K3 b ";
    std::string out = ViewerOutput({
        "WPLAYER: ",
        "BPLAYER: ",
        "SITE:Club",
        "FEN: ",
        "FEATURE: PING",
        "",
        "FEN: " + kStart,
        "",  //
        "WPLAYER: Alpha",
        "BPLAYER: Beta",  //
        "FEN: " + kAfterE4,
        "WMOVE: 1. e4",
        "FMR: 0",  //
        "FEN: " + kAfterE5,
        "BMOVE: 1. e5",
        "FMR: 0",  //
        "FEN: " + kAfterNf3,
        "WMOVE: 2. Nf3",
        "FMR: 1",          //
        "FEN: " + edited,  // a position set up by hand: no move led to it
        // Control characters, C0 and C1, would be commands to the terminal.
        "CHAT: [Ann] - x\x1B[2J\x9B"
        "2J\xE9",
    });
    using Board = std::pair<std::string, std::string>;
    EXPECT_EQ(Boards(out), (std::vector<Board>{{kStart, ""},
                                               {kAfterE4, "1. e4"},
                                               {kAfterE5, "1... e5"},
                                               {kAfterNf3, "2. Nf3"},
                                               {edited, ""}}))
        << out;
    EXPECT_TRUE(Contains(out, "\n  White: ?   Black: ?   at Club\n")) << out;
    EXPECT_TRUE(Contains(out, "\n  White: Alpha\n  Black: Beta\n")) << out;
    EXPECT_TRUE(Contains(out, "\n  White: Alpha   Black: Beta   at Club\n")) << out;
    EXPECT_TRUE(Contains(out, "\n [Ann] - x?[2J?2J\xE9\n")) << out;
    EXPECT_EQ(out.find_first_of("\x1B\x9B"), std::string::npos) << out;
    // No protocol keyword reaches the reader.
    for (const auto& line : SplitLines(out))
        for (const char* keyword : {"WPLAYER:", "BPLAYER:", "WMOVE:", "BMOVE:", "SITE:"})
            EXPECT_FALSE(Contains(line, keyword)) << line;
}

TEST(ViewerToolTest, JoiningDuringAGameShowsTheLastMoveWithTheCurrentBoard) {
    // The welcome gives the position before the last move, the move, then the
    // position after it; play goes on right away.
    std::string out = ViewerOutput({
        "WPLAYER: Alpha", "BPLAYER: Beta", "SITE:Club", "FEN: " + kAfterNf3, "FEATURE: PING",
        "BMOVE: 2. Nc6", "FEN: " + kAfterNc6, "level 40 5 0",  //
        "FEN: " + kAfterBb5, "WMOVE: 3. Bb5", "FMR: 3",        //
    });
    using Board = std::pair<std::string, std::string>;
    EXPECT_EQ(Boards(out),
              (std::vector<Board>{{kAfterNf3, ""}, {kAfterNc6, "2... Nc6"}, {kAfterBb5, "3. Bb5"}}))
        << out;
    EXPECT_TRUE(Contains(out, "\n  Move 2... Nc6\n")) << out;
}

TEST(ViewerToolTest, ClocksAndThinkingAreShownReadably) {
    std::string out = ViewerOutput({
        "WTIME: 29800   otim 30000",
        "BPV: 9 -100002 250 1234567 15 730 0 Na5 Qxf7+ Kd7 Qd5+ Kc7 Qc5+ Kd7 Qc6+ Kc8 "
        "Qb7+ Kd8 Qb8+ Kd7 Qb7+ Kd8 Qb8+ Kd7 Qb7+ Kd8\x1B[2J",
    });
    EXPECT_TRUE(Contains(out, "\n  Clocks  White 0:04:58  Black 0:05:00\n")) << out;
    EXPECT_TRUE(Contains(out,
                         "\n  Black thinks: depth 9, -#2, 2.50 s, 1,234,567 nodes\n"
                         "    Na5 Qxf7+ Kd7 Qd5+ Kc7 Qc5+ Kd7 Qc6+ Kc8 Qb7+ Kd8 Qb8+ Kd7 "
                         "Qb7+ Kd8 Qb8+ Kd7\n    Qb7+ Kd8?[2J\n"))
        << out;
}

}  // namespace
}  // namespace lantrel::testing
