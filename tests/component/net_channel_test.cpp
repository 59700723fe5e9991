// The receive step (frame, acknowledgement, repeats, bans), raw sends and their
// failures, and the in.dat / out.dat pair of the local viewer.
#include <algorithm>
#include <filesystem>

#include "fake_viewers.h"
#include "platform/files.h"

namespace lantrel::testing {
namespace {

using ChannelTest = NetTest;

TEST_F(ChannelTest, FramedMessageIsAcknowledgedAtOnceAndActedUpon) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kAlice, "< 7>PING");
    auto sent = Sent(kAlice);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], "ACK: 7");  // before anything the request causes
    EXPECT_EQ(sent[1].substr(sent[1].find('>')), ">PONG");
}

TEST_F(ChannelTest, FrameWithoutBlankAndWithLeadingBlanksIsRead) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kAlice, "<12>PING");
    Receive(kAlice, "<   13>PING");
    auto sent = Sent(kAlice);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], "ACK: 12");
    EXPECT_EQ(sent[2], "ACK: 13");
}

TEST_F(ChannelTest, RepeatIsAcknowledgedAgainButNotActedUponTwice) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Forget();
    Receive(kAlice, "< 5>CHAT:hello");
    Receive(kAlice, "< 5>CHAT:hello");
    EXPECT_EQ(f->net.counters.chatRelayCount, 1);
    std::vector<std::string> acks;
    for (const auto& t : Sent(kAlice))
        if (t.rfind("ACK:", 0) == 0) acks.push_back(t);
    EXPECT_EQ(acks, (std::vector<std::string>{"ACK: 5", "ACK: 5"}));
    // The same number from another address is another message.
    Receive(kBob, "< 5>CHAT:hello");
    EXPECT_EQ(f->net.counters.chatRelayCount, 2);
}

TEST_F(ChannelTest, RepeatWindowHoldsTheLastHundredFramedMessagesOfAllViewers) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Receive(kAlice, "< 1>CHAT:first");
    for (int n = 1; n <= 99; ++n)
        Receive(kBob, "<" + NumberText(n) + ">EMAIL:b@x");
    Receive(kAlice, "< 1>CHAT:first");  // still among the last 100
    EXPECT_EQ(f->net.counters.chatRelayCount, 1);

    Receive(kAlice, "< 2>CHAT:second");
    for (int n = 100; n <= 199; ++n)
        Receive(kBob, "<" + NumberText(n) + ">EMAIL:b@x");
    Receive(kAlice, "< 2>CHAT:second");  // pushed out of the window by 100 others
    EXPECT_EQ(f->net.counters.chatRelayCount, 3);
}

// Texts that look framed but are not: handled with the "<" in front, so they
// match no command, and never acknowledged.
TEST_F(ChannelTest, BrokenFramesAreNeitherAcknowledgedNorObeyed) {
    Logon(kAlice, "Alice");
    const char* broken[] = {"< 0>PING", "<>PING", "<PING", "<-4>PING", "<abc>PING", "<"};
    for (const char* text : broken) {
        Forget();
        Receive(kAlice, text);
        EXPECT_TRUE(Sent(kAlice).empty()) << text;
    }
}

TEST_F(ChannelTest, FramedEmptyTextIsAcknowledgedAndEndsTheTurn) {
    Logon(kAlice, "Alice");
    Forget();
    f.socket.Queue(kAlice, "< 3>");
    f.socket.Queue(kAlice, "PING");
    ServiceNetwork(f->net);
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"ACK: 3"}));
    ServiceNetwork(f->net);  // the PING waits for the next turn
    EXPECT_EQ(Sent(kAlice).size(), 2u);
}

TEST_F(ChannelTest, BannedSenderGetsNoAcknowledgement) {
    Logon(kAlice, "Alice");
    f->net.channel.banList[1] = kStranger;
    Forget();
    Receive(kStranger, "< 1>LOGONv15:Mallory");
    Receive(kStranger, "PING");
    EXPECT_TRUE(Sent(kStranger).empty());
    EXPECT_EQ(f->net.clients.Count(), 1);
    EXPECT_EQ(f->net.counters.connectCount, 1);
}

TEST_F(ChannelTest, BanSearchStopsAtTheFirstEmptyEntry) {
    f->net.channel.banList[2] = kStranger;  // entry 1 empty: the list is read as empty
    Receive(kStranger, "PING");
    EXPECT_FALSE(Sent(kStranger).empty());
}

TEST_F(ChannelTest, LocalInboxLineWrittenInTwoPartsArrivesOnceAndWhole) {
    AppendBytes(f.dir.File("in.dat"), "LOGONv15:Lo");
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.clients.Count(), 0);
    AppendBytes(f.dir.File("in.dat"), "c\ral\r\n");
    ServiceNetwork(f->net);
    ASSERT_EQ(f->net.clients.Count(), 1);
    EXPECT_EQ(TrimRightBlanks(Name(1)), "Local");
    EXPECT_EQ(Ip(1), kLocalViewerIp);
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.counters.connectCount, 1);
}

TEST_F(ChannelTest, LocalViewerIsAnsweredThroughOutDatOnly) {
    AppendBytes(f.dir.File("in.dat"), "LOGONv15:Local\r\nPING\r\n< 4>PING\r\n");
    ServiceNetwork(f->net);
    ServiceNetwork(f->net);
    ServiceNetwork(f->net);
    EXPECT_TRUE(f.socket.sent.empty());
    auto out = OutDat();
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "LOGON SUCCESSFUL");
    EXPECT_EQ(out[1], "WPLAYER: ");  // never framed
    EXPECT_EQ(out.back(), "PONG");   // the second PING still had its "<" and was ignored
    EXPECT_EQ(std::count(out.begin(), out.end(), "PONG"), 1);
    EXPECT_EQ(f.dir.Read("out.dat").substr(0, 18), "LOGON SUCCESSFUL\r\n");
}

// out.dat that cannot grow (a full disk; here a folder in its place) logs the
// local viewer off no more: what it missed reaches out.dat once there is room.
TEST_F(ChannelTest, LocalViewerStaysThroughAFullDiskAndMissesNothing) {
    AppendBytes(f.dir.File("in.dat"), "LOGONv15:Local\r\n");
    ServiceNetwork(f->net);
    ASSERT_EQ(f->net.clients.Count(), 1);
    std::filesystem::remove(f.dir.File("out.dat"));
    std::filesystem::create_directory(f.dir.File("out.dat"));
    AppendBytes(f.dir.File("in.dat"), "PING\r\nTIME\r\n");
    ServiceNetwork(f->net);
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.clients.Count(), 1);
    std::filesystem::remove(f.dir.File("out.dat"));
    ServiceNetwork(f->net);
    const auto out = OutDat();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front(), "PONG");
    EXPECT_EQ(f->net.clients.Count(), 1);
}

TEST_F(ChannelTest, InboxLinesAreTakenOneAtATimeAfterTheDatagrams) {
    Logon(kAlice, "Alice");
    AppendBytes(f.dir.File("in.dat"), "LOGONv15:Local\nCHAT:one\nCHAT:two\n");
    f.socket.Queue(kAlice, "CHAT:net");
    ServiceNetwork(f->net);
    // One call drains the socket, then takes inbox lines until an empty receive.
    EXPECT_EQ(f->net.counters.chatRelayCount, 3);
    std::vector<std::string> chats;
    for (const auto& t : Sent(kAlice))
        if (t.find("CHAT: [") != std::string::npos) chats.push_back(t.substr(t.find('>') + 1));
    EXPECT_EQ(chats,
              (std::vector<std::string>{"CHAT: [Alice] - net", "CHAT: [Server] Local has arrived!",
                                        "CHAT: [Local] - one", "CHAT: [Local] - two"}));
}

TEST_F(ChannelTest, EmptyInboxLineCountsAsNothingReceived) {
    AppendBytes(f.dir.File("in.dat"), "\nPING\n");
    ServiceNetwork(f->net);
    EXPECT_TRUE(OutDat().empty());
    ServiceNetwork(f->net);
    EXPECT_EQ(OutDat(), (std::vector<std::string>{"PONG"}));
}

// An inbox that cannot be opened is written to server.log once, with the reason,
// though it is looked at on every receive.
TEST_F(ChannelTest, InboxThatCannotBeOpenedIsNotedOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "a link to a missing folder needs the right to make links on Windows";
#endif
    std::filesystem::remove(f.dir.File("in.dat"));
    std::filesystem::create_symlink(f.dir.File("gone/in.dat"), f.dir.File("in.dat"));
    for (int i = 0; i < 3; ++i)
        ServiceNetwork(f->net);
    const std::vector<std::string> log = f.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Error:  57 in.dat cannot be opened: No such file or directory"),
              1)
        << ::testing::PrintToString(log);
}

// A busy log is read with receives that do not wait: they look at the inbox
// once a millisecond, and what waits there is taken then.
TEST_F(ChannelTest, ReceivesWithoutAWaitLookAtTheInboxOnceAMillisecond) {
    ServiceNetwork(f->net, 0);
    AppendBytes(f.dir.File("in.dat"), "PING\n");
    ServiceNetwork(f->net, 0);
    EXPECT_TRUE(OutDat().empty());
    f.clock.Advance(0.001);
    ServiceNetwork(f->net, 0);
    EXPECT_EQ(OutDat(), (std::vector<std::string>{"PONG"}));
}

TEST_F(ChannelTest, InboxStartedAfreshIsReadFromItsStart) {
    AppendBytes(f.dir.File("in.dat"), "PING\nPING\n");
    ServiceNetwork(f->net);
    ServiceNetwork(f->net);
    f.dir.Write("in.dat", "PING\n");  // shorter than what was consumed
    ServiceNetwork(f->net);
    EXPECT_EQ(OutDat().size(), 3u);
}

// The local viewer removes in.dat and writes the same number of bytes anew before
// we look again: the length alone cannot tell, the file is another one.
TEST_F(ChannelTest, InboxReplacedByOneAsLongIsReadFromItsStart) {
    AppendBytes(f.dir.File("in.dat"), "PING\n");
    ServiceNetwork(f->net);
    ASSERT_EQ(OutDat().size(), 1u);
    f.dir.Write("in.dat.new", "PING\n");
    std::filesystem::rename(f.dir.File("in.dat.new"), f.dir.File("in.dat"));  // replaces it
    ServiceNetwork(f->net);
    EXPECT_EQ(OutDat().size(), 2u);
}

TEST_F(ChannelTest, SendToUnreachableViewerIsLoggedAndRemovesIt) {
    Logon(kBob, "Bob");
    f.socket.sendResult = SocketError::kFailure;
    SendDatagram(f->net, kBob, "MSG:test");
    f.socket.sendResult = SocketError::kOk;
    auto log = f.LogLines();
    auto at = std::find(log.begin(), log.end(), "send error 57");
    ASSERT_NE(at, log.end());
    std::vector<std::string> block(at, at + 6);
    EXPECT_EQ(block, (std::vector<std::string>{
                         "send error 57", "Port Num= 16000 ", "RemoteIp=10.0.0.3",
                         "RemoteIp#= " + std::to_string(static_cast<std::int32_t>(kBob)) + " ",
                         "message=MSG:test", std::string(75, '_')}));
    EXPECT_EQ(f->net.clients.Count(), 0);
}

// A network that fails every send: each viewer's failure is logged once and
// each is logged off once, however many are on.
TEST_F(ChannelTest, BroadcastThatFailsForEveryViewerLogsEachOffOnce) {
    for (int n = 1; n <= 200; ++n)
        Logon(Viewer(n), "v" + std::to_string(n));
    f.socket.sendResult = SocketError::kFailure;
    // A move's three messages in one batch: the first failure of each viewer counts.
    Broadcast(f->net, {"FEN: x", "WMOVE: 1. e4", "FMR: 0"});
    f.socket.sendResult = SocketError::kOk;
    EXPECT_EQ(f->net.clients.Count(), 0);
    const auto log = f.LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), "send error 57"), 200);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& line) { return StartsWith(line, "message="); }),
              200);
}

TEST_F(ChannelTest, ChannelNotOpenAndPermissionDeniedKeepTheViewer) {
    for (SocketError error : {SocketError::kChannelNotOpen, SocketError::kInProgress}) {
        Logon(kAlice, "Alice");
        f.socket.sendResult = error;
        SendDatagram(f->net, kAlice, "MSG:x");
        f.socket.sendResult = SocketError::kOk;
        EXPECT_EQ(f->net.clients.Count(), 1) << ErrorNumber(error);
        auto log = f.LogLines();
        EXPECT_NE(std::find(log.begin(), log.end(), "send error" + NumberText(ErrorNumber(error))),
                  log.end());
    }
}

TEST_F(ChannelTest, BroadcastRawGoesUnframedToEveryViewerInSlotOrder) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Forget();
    BroadcastRaw(f->net, "WPV: 12 e4 e5");
    ASSERT_EQ(f.socket.sent.size(), 2u);
    EXPECT_EQ(f.socket.sent[0].to, kAlice);
    EXPECT_EQ(f.socket.sent[1].to, kBob);
    EXPECT_EQ(f.socket.sent[1].text, "WPV: 12 e4 e5");
    EXPECT_EQ(f.socket.sent[1].port, 16000);
}

TEST_F(ChannelTest, EveryTurnEndsWithAReceiveOfTheConfiguredWait) {
    f->config.delay = 37;
    ServiceNetwork(f->net);
    ServiceNetwork(f->net, 1);
    EXPECT_EQ(f.socket.receiveWaits, (std::vector<int>{37, 1}));
}

}  // namespace
}  // namespace lantrel::testing
