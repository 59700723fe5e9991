// The viewer's side of the protocol, on the fake socket and clock.
#include <gtest/gtest.h>

#include "net/viewer_client.h"
#include "platform/fakes.h"

namespace lantrel {
namespace {

constexpr IpAddress kServer = MakeIp(10, 0, 0, 1);

class ViewerClientTest : public ::testing::Test {
  protected:
    ViewerClientTest() { socket.clock = &clock; }
    ViewerClient Make(ViewerSettings s = {}) {
        s.server = kServer;
        s.port = 17001;
        if (s.name.empty()) s.name = "Vera";
        return ViewerClient(socket, clock, s);
    }
    void Arrive(const std::string& text) { socket.Queue(kServer, text); }
    std::vector<std::string> Sent() const { return socket.SentTo(kServer); }
    FakeClock clock;
    FakeSocket socket;
};

TEST(ApplyMessageTest, BuildsThePictureOfTheGame) {
    GamePicture p;
    const char* messages[] = {
        "LOGON SUCCESSFUL",
        "WPLAYER: Alpha",
        "BPLAYER: Beta",
        "SITE:Club",
        "FEN: before w KQkq",
        "FEATURE: PING",
        "WMOVE: 1. e4",
        "FEN: after b KQkq",
        "FMR:  0",
        "level 40 5 0",
        "ADDUSER: Vera",
        "ADDUSER: Vera                         ",
        "ADDUSER: Bob",
        "ADDUSER:Bob 1",
        "DELUSER:Bob",
        "WTIME: 30000   otim 29500 ",
        "WPV: 12 e4 e5",
        "BPV: -3 e5",
        "CHAT: [Bob] - hi",
        "MSG: You have been booted!",
        "result 1-0",
        "PONG",
        "",
    };
    for (const char* m : messages)
        EXPECT_TRUE(ApplyMessage(p, m)) << m;
    EXPECT_FALSE(ApplyMessage(p, "NONSENSE"));
    EXPECT_TRUE(p.loggedOn);
    EXPECT_TRUE(p.pingFeature);
    EXPECT_EQ(p.whitePlayer, "Alpha");
    EXPECT_EQ(p.blackPlayer, "Beta");
    EXPECT_EQ(p.site, "Club");
    EXPECT_EQ(p.previousFen, "before w KQkq");
    EXPECT_EQ(p.fen, "after b KQkq");
    EXPECT_EQ(p.lastMove, "WMOVE: 1. e4");
    EXPECT_EQ(p.fiftyMoves, "0");
    EXPECT_EQ(p.level, "level 40 5 0");
    EXPECT_EQ(p.users, (std::vector<std::string>{"Vera", "Bob 1"}));
    EXPECT_EQ(p.whiteTime, "30000   otim 29500 ");
    EXPECT_EQ(p.whitePv, "12 e4 e5");
    EXPECT_EQ(p.blackPv, "-3 e5");
    EXPECT_EQ(p.chat, (std::vector<std::string>{" [Bob] - hi"}));
    EXPECT_EQ(p.notices, (std::vector<std::string>{" You have been booted!"}));
    EXPECT_EQ(p.result, "1-0");
    EXPECT_EQ(p.pongs, 1);
}

TEST(ApplyMessageTest, ALateRepeatDoesNotUndoANewerMessage) {
    GamePicture p;
    ApplyMessage(p, "FEN: second", 12);
    ApplyMessage(p, "WMOVE: 2. Nf3", 11);
    ApplyMessage(p, "FEN: first", 9);  // re-sent after a loss, arrives late
    ApplyMessage(p, "WMOVE: 1. e4", 8);
    EXPECT_EQ(p.fen, "second");
    EXPECT_EQ(p.lastMove, "WMOVE: 2. Nf3");
    ApplyMessage(p, "DELUSER: Bob", 20);
    ApplyMessage(p, "ADDUSER: Bob", 15);
    EXPECT_TRUE(p.users.empty());
    ApplyMessage(p, "FEN: raw", 0);  // unframed messages always count
    EXPECT_EQ(p.fen, "raw");
}

TEST_F(ViewerClientTest, AcknowledgesEveryFramedMessageAndActsOnItOnce) {
    ViewerSettings s;
    s.recordActedOn = true;
    auto viewer = Make(s);
    viewer.Logon();
    Arrive("LOGON SUCCESSFUL");
    Arrive("< 4>CHAT: [Bob] - one");
    Arrive("< 4>CHAT: [Bob] - one");
    Arrive("< 5>CHAT: [Bob] - two");
    viewer.Poll(10);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"LOGONv15:Vera", "ACK: 4", "ACK: 4", "ACK: 5"}));
    EXPECT_EQ(viewer.picture().chat.size(), 2u);
    EXPECT_EQ(viewer.stats().repeats, 1);
    EXPECT_EQ(viewer.actedOn(), (std::map<SequenceNumber, int>{{4, 1}, {5, 1}}));
}

// A server started again answers the viewer's PING as a stranger's, with a
// plain PONG, and sends nothing numbered: the viewer logs on again, says so,
// and takes the new game. A congested viewer's plain PONG among its re-sends
// is no such sign.
TEST_F(ViewerClientTest, LogsOnAgainWhenTheServerNoLongerKnowsIt) {
    auto viewer = Make();
    std::vector<std::string> notices;
    viewer.onNotice = [&](const std::string& notice) { notices.push_back(notice); };
    viewer.Logon();
    Arrive("LOGON SUCCESSFUL");
    Arrive("< 7>PONG");
    viewer.Poll(10);
    clock.Advance(5);
    Arrive("PONG");
    viewer.Poll(10);
    EXPECT_TRUE(notices.empty());
    clock.Advance(6);
    Arrive("PONG");
    viewer.Poll(10);
    EXPECT_EQ(
        notices,
        (std::vector<std::string>{"The server no longer knew this viewer: logging on again"}));
    EXPECT_EQ(Sent().back(), "LOGONv15:Vera");
    EXPECT_FALSE(viewer.picture().loggedOn);
    Arrive("LOGON SUCCESSFUL");
    Arrive("< 1>FEN: new w KQkq");  // the new server's numbers start again
    viewer.Poll(10);
    EXPECT_EQ(viewer.picture().fen, "new w KQkq");
}

TEST_F(ViewerClientTest, IgnoresDatagramsFromOthers) {
    auto viewer = Make();
    socket.Queue(MakeIp(10, 0, 0, 66), "< 1>CHAT: [x] - spoof");
    viewer.Poll(10);
    EXPECT_TRUE(viewer.picture().chat.empty());
    EXPECT_TRUE(socket.sent.empty());
}

TEST_F(ViewerClientTest, OwnMessagesAreFramedAndSentAgainUntilAcknowledged) {
    auto viewer = Make();
    viewer.Chat("hello");
    ASSERT_EQ(Sent().size(), 1u);
    const std::string framed = Sent()[0];
    EXPECT_EQ(framed.substr(framed.find('>')), ">CHAT:hello");
    clock.Advance(2.5);
    viewer.Tick();
    EXPECT_EQ(Sent(), (std::vector<std::string>{framed, framed}));
    Arrive("ACK:" + framed.substr(1, framed.find('>') - 1));
    viewer.Poll(10);
    EXPECT_EQ(viewer.unacknowledged(), 0u);
    clock.Advance(10);
    viewer.Tick();
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(ViewerClientTest, LogonIsRepeatedUntilItSucceedsThenPingsEveryTwentySeconds) {
    auto viewer = Make();
    viewer.Logon();
    clock.Advance(3);
    viewer.Tick();
    EXPECT_EQ(Sent(), (std::vector<std::string>{"LOGONv15:Vera", "LOGONv15:Vera"}));
    Arrive("LOGON SUCCESSFUL");
    viewer.Poll(0);
    socket.sent.clear();
    clock.Advance(19);
    viewer.Tick();
    EXPECT_TRUE(Sent().empty());
    clock.Advance(2);
    viewer.Tick();
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0].substr(Sent()[0].find('>')), ">PING");
}

TEST_F(ViewerClientTest, SimulatedLossDropsAboutTheGivenShare) {
    ViewerSettings s;
    s.dropReceivedShare = 0.3;
    s.dropAckShare = 0.3;
    s.lossSeed = 7;
    auto viewer = Make(s);
    for (int n = 1; n <= 2000; ++n)
        Arrive("<" + std::to_string(n) + ">CHAT: [a] - x");
    viewer.Poll(0);
    EXPECT_NEAR(viewer.stats().lost, 600, 80);
    EXPECT_EQ(viewer.stats().framed, 2000 - viewer.stats().lost);
    EXPECT_NEAR(viewer.stats().acksLost, 0.3 * viewer.stats().framed, 80);
    EXPECT_EQ(static_cast<long>(Sent().size()), viewer.stats().acksSent);
}

TEST_F(ViewerClientTest, SilentViewerAcknowledgesNothing) {
    ViewerSettings s;
    s.acknowledge = false;
    auto viewer = Make(s);
    Arrive("< 1>FEN: x");
    viewer.Poll(0);
    EXPECT_TRUE(socket.sent.empty());
    EXPECT_EQ(viewer.picture().fen, "x");
}

}  // namespace
}  // namespace lantrel
