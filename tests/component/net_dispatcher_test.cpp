// The network turn's checks: queries, chat relay, PING, administration commands.
#include "fake_viewers.h"
#include "platform/files.h"

namespace lantrel::testing {
namespace {

class DispatcherTest : public NetTest {
  protected:
    // What `to` was sent, frames removed.
    std::vector<std::string> Texts(IpAddress to) const {
        std::vector<std::string> texts;
        for (const auto& t : Sent(to)) {
            std::size_t close = t.find('>');
            texts.push_back(t[0] == '<' && close != std::string::npos ? t.substr(close + 1) : t);
        }
        return texts;
    }
};

TEST_F(DispatcherTest, QueriesAreAnsweredRawAndNotRelayed) {
    f->config.serverStartTime = "12-08-2026 - 11:59:00";
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    f->net.counters.resultTableRequests = 4;
    f->net.counters.emailCount = 2;
    f->net.queue.droppedCount = 3;
    struct Row {
        std::string query;
        std::vector<std::string> answers;
    } rows[] = {
        {"CHAT: <who>", {"CHAT:[SERVER] Users= 2"}},
        {"CHAT: <ver>", {"CHAT:[SERVER] Version 1.72b (November 2008)"}},
        {"CHAT: <stats>",
         {"CHAT:[SERVER] connects: 2", "CHAT:[SERVER] result table requests: 4",
          "CHAT:[SERVER] e-mails: 2", "CHAT:[SERVER] Chat relay: 0",
          "CHAT:[SERVER] Server start:12-08-2026 - 11:59:00"}},
        {"CHAT: <q>",
         {"CHAT:[SERVER] Dropped= 3", "CHAT:[SERVER] Re-send queue= 0",
          "CHAT:[SERVER] Message queue= 0"}},
    };
    for (const auto& row : rows) {
        AckAll(kAlice);
        AckAll(kBob);
        Forget();
        Receive(kAlice, row.query);
        EXPECT_EQ(Sent(kAlice), row.answers) << row.query;
        EXPECT_TRUE(Sent(kBob).empty()) << row.query;
    }
    EXPECT_EQ(f->net.counters.chatRelayCount, 0);
}

TEST_F(DispatcherTest, TimeQueryTellsTheServersDateAndTime) {
    Logon(kStranger, "Eve");
    f.clock.Advance(3723.2);
    Forget();
    Receive(kStranger, "CHAT: <time>");
    EXPECT_EQ(Sent(kStranger),
              (std::vector<std::string>{"CHAT:[SERVER] Date=12-08-2026, Time=13:02:03"}));
}

TEST_F(DispatcherTest, FramedQueryIsAcknowledgedAndAnsweredRaw) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kAlice, "< 9>CHAT: <who>");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"ACK: 9", "CHAT:[SERVER] Users= 1"}));
    EXPECT_EQ(f->net.queue.nextSeq, 10);  // nothing numbered
}

TEST_F(DispatcherTest, QueryWithoutTheBlankIsAnOrdinaryChatLine) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kAlice, "CHAT:<who>");
    EXPECT_EQ(Texts(kAlice), (std::vector<std::string>{"CHAT: [Alice] - <who>"}));
}

TEST_F(DispatcherTest, ChatIsRelayedToAllItsAuthorIncluded) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Forget();
    Receive(kBob, "CHAT: hello  there ");
    EXPECT_EQ(Texts(kAlice), (std::vector<std::string>{"CHAT: [Bob] -  hello  there "}));
    EXPECT_EQ(Texts(kBob), (std::vector<std::string>{"CHAT: [Bob] -  hello  there "}));
    EXPECT_EQ(f->net.counters.chatRelayCount, 1);
    EXPECT_EQ(f.screen.Text(18, 24, 14), "Chat relay: 1 ");
}

TEST_F(DispatcherTest, ChatFromStrangerIsCountedAndRefusedWithinWhatItSent) {
    Logon(kAlice, "Alice");
    Forget();
    // An address that is not logged on is never sent more bytes than it sent:
    // the 68-byte notice waits until its chat lines add up to as much.
    Receive(kStranger, "CHAT:hi");
    EXPECT_TRUE(Sent(kStranger).empty());
    Receive(kStranger, "CHAT:" + std::string(56, 'x'));
    EXPECT_EQ(Sent(kStranger),
              (std::vector<std::string>{
                  "MSG: You are no longer connected to the server.  Please re-connect."}));
    EXPECT_TRUE(Sent(kAlice).empty());
    EXPECT_EQ(f->net.counters.chatRelayCount, 2);
}

TEST_F(DispatcherTest, ViewerNamedPhantomUserIsSilencedWithoutNotice) {
    Logon(kAlice, "Phantom user");
    Forget();
    Receive(kAlice, "CHAT:boo");
    EXPECT_TRUE(Sent(kAlice).empty());
    EXPECT_EQ(f->net.counters.chatRelayCount, 1);
}

TEST_F(DispatcherTest, PingIsAnsweredWithANumberedPongThatIsResent) {
    Logon(kAlice, "Alice");
    AckAll(kAlice);
    Forget();
    Receive(kAlice, "PING");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"< 11>PONG"}));
    Idle(3.5);
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"< 11>PONG", "< 11>PONG"}));
    Receive(kAlice, "ACK: 11");
    Idle(10);
    EXPECT_EQ(Sent(kAlice).size(), 2u);
}

TEST_F(DispatcherTest, OldViewersAreRefused) {
    Receive(kAlice, "LOGON:Alice");
    EXPECT_TRUE(Sent(kAlice).empty());  // 11 bytes do not buy a 107-byte answer
    Receive(kAlice, "LOGON:" + std::string(90, 'A'));
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{
                                "MSG:Connection refused.  The broadcast server does not support "
                                "the version of the viewer you are using."}));
    EXPECT_EQ(f->net.clients.Count(), 0);
}

TEST_F(DispatcherTest, UnknownAndLowerCaseCommandsAreIgnored) {
    Logon(kAlice, "Alice");
    Forget();
    for (const char* text : {"ping", "HELLO", "Chat:x", " PING", "PING "})
        Receive(kAlice, text);
    EXPECT_TRUE(f.socket.sent.empty());
}

TEST_F(DispatcherTest, AllWaitingDatagramsAreTakenInOneTurnInOrder) {
    Logon(kAlice, "Alice");
    Forget();
    for (const char* text : {"CHAT:1", "CHAT:2", "CHAT:3"})
        f.socket.Queue(kAlice, text);
    ServiceNetwork(f->net);
    EXPECT_EQ(Texts(kAlice), (std::vector<std::string>{"CHAT: [Alice] - 1", "CHAT: [Alice] - 2",
                                                       "CHAT: [Alice] - 3"}));
    EXPECT_EQ(f.socket.receiveWaits.back(), 100);
}

TEST_F(DispatcherTest, EveryDatagramRefreshesItsSender) {
    Logon(kAlice, "Alice");
    f.clock.Advance(30.4);
    Receive(kAlice, "HELLO");  // not even a command
    EXPECT_NEAR(static_cast<double>(f->net.clients.slots[1].lastHeard), f.clock.Monotonic(), 0.7);
    f.clock.Advance(30);
    Receive(kAlice, "< 1>x");
    Receive(kAlice, "< 1>x");  // a repeat refreshes too
    EXPECT_NEAR(static_cast<double>(f->net.clients.slots[1].lastHeard), f.clock.Monotonic(), 0.7);
}

TEST_F(DispatcherTest, TurnRunsTheResendPassEveryEleventhCall) {
    Receive(kAlice, "LOGONv15:Alice");  // call 1; the welcome is not acknowledged
    for (int i = 0; i < 9; ++i)
        ServiceNetwork(f->net);
    EXPECT_EQ(f->net.queue.idlePolls, 10);
    f.clock.Advance(5);
    Forget();
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.queue.idlePolls, 0);
    EXPECT_EQ(Sent(kAlice).size(), 6u);  // at most six re-sends in one pass
}

class AdminTest : public DispatcherTest {
  protected:
    void SetUp() override {
        f->config.adminAddresses = {kCarol};
        Logon(kAlice, "Alice");
        Logon(kBob, "Bob");
        Logon(kCarol, "Carol");
        Forget();
    }
};

TEST_F(AdminTest, SecurityListsEveryViewerToAnAdministrator) {
    Receive(kCarol, "SECURITY");
    EXPECT_EQ(Sent(kCarol), (std::vector<std::string>{
                                "SECUSER: Alice:" + FixedWidth("10.0.0.2", 20),
                                "SECUSER: Bob:" + FixedWidth("10.0.0.3", 20),
                                "SECUSER: Carol:" + FixedWidth("10.0.0.4", 20),
                            }));
}

TEST_F(AdminTest, AdministrationFromOthersIsIgnoredLikeAnUnknownCommand) {
    Receive(kAlice, "SECURITY");
    Receive(kAlice, "BOOT:10.0.0.3");
    Receive(kStranger, "SRBOOT:10.0.0.3");
    // Any program on this machine can send a datagram from 127.0.0.1: only
    // lines of in.dat speak for the local viewer.
    Receive(kLocalViewerIp, "SECURITY");
    Receive(kLocalViewerIp, "SRBOOT:10.0.0.3");
    EXPECT_TRUE(f.socket.sent.empty());
    EXPECT_TRUE(OutDat().empty());
    EXPECT_EQ(f->net.clients.Count(), 3);
    EXPECT_EQ(f->net.channel.banList[1], 0u);
}

TEST_F(AdminTest, LocalViewerMayAdministerThroughTheInbox) {
    AppendBytes(f.dir.File("in.dat"), "SECURITY\nBOOT: 10.0.0.2 \n");
    ServiceNetwork(f->net);
    EXPECT_EQ(OutDat().size(), 3u);
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"MSG: You have been booted!"}));
}

TEST_F(AdminTest, BootTellsTheOthersAndASecondBootDoesNothing) {
    Receive(kCarol, "BOOT: 10.0.0.3");
    EXPECT_EQ(Sent(kBob), (std::vector<std::string>{"MSG: You have been booted!"}));
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_EQ(Texts(kAlice),
              (std::vector<std::string>{"DELUSER: Bob", "CHAT: [SERVER] - Bob has left!"}));
    Forget();
    Receive(kCarol, "BOOT: 10.0.0.3");
    EXPECT_TRUE(f.socket.sent.empty());
    // A booted viewer may come back.
    Logon(kBob, "Bob");
    EXPECT_EQ(f->net.clients.Count(), 3);
}

TEST_F(AdminTest, BanLeavesTheAddressWithoutAnyAnswer) {
    Receive(kCarol, "SRBOOT:10.0.0.3");
    EXPECT_EQ(Sent(kBob), (std::vector<std::string>{"MSG: You have been booted!"}));
    EXPECT_EQ(f->net.channel.banList[1], kBob);
    Forget();
    Receive(kBob, "< 1>LOGONv15:Bob");
    EXPECT_TRUE(f.socket.sent.empty());
    EXPECT_EQ(f->net.clients.Count(), 2);
    // An address that is not logged on is neither booted nor banned.
    Receive(kCarol, "SRBOOT:10.0.0.77");
    EXPECT_EQ(f->net.channel.banList[2], 0u);
}

TEST_F(AdminTest, HundredFirstBanOverwritesTheFirst) {
    for (int n = 1; n <= 101; ++n) {
        Logon(Viewer(n), "v");
        Receive(kCarol, "SRBOOT:" + IpText(Viewer(n)));
    }
    EXPECT_EQ(f->net.channel.banList[1], Viewer(101));
    EXPECT_EQ(f->net.channel.banList[2], Viewer(2));
    EXPECT_EQ(f->net.channel.banList[100], Viewer(100));
    // The first banned address is free again.
    Logon(Viewer(1), "back");
    EXPECT_EQ(f->net.clients.Count(), 4);
}

}  // namespace
}  // namespace lantrel::testing
