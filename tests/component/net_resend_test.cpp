// Reliable delivery: numbering, acknowledgements, the re-send schedule, give-ups,
// silent viewers, congestion and the ring.
#include <cmath>

#include "net_fixture.h"

namespace lantrel::testing {
namespace {

class ResendTest : public NetTest {
  protected:
    // Logs a viewer on and acknowledges its welcome, so that only what a test
    // sends afterwards is in flight.
    void Join(IpAddress ip, const std::string& name) {
        Logon(ip, name);
        for (int i = 1; i <= kResendEntries; ++i)
            f->net.queue.entries[i].acked = 1;
        Forget();
    }
    // Moves the clock to `t` seconds after `start_` and runs one re-send pass.
    void PassAt(double t) {
        f.clock.Advance(start_ + t - f.clock.Monotonic());
        ResendPass(f->net);
    }
    int Count(IpAddress to, const std::string& text) const {
        auto sent = Sent(to);
        return static_cast<int>(std::count(sent.begin(), sent.end(), text));
    }
    void StartClockAtWholeSecond() {
        start_ = std::ceil(f.clock.Monotonic()) + 1;
        f.clock.Advance(start_ - f.clock.Monotonic());
    }
    double start_ = 0;
};

TEST_F(ResendTest, ScheduleIsTwoTwoSixThenGiveUpAfterFourSends) {
    Join(kAlice, "Alice");
    StartClockAtWholeSecond();
    SendToViewer(f->net, "FEN: x", kAlice);
    const std::string framed = "< 11>FEN: x";
    struct Step {
        double at;
        int sends;
        int dropped;
    } steps[] = {
        {2.0, 1, 0},  {2.01, 2, 0},   // more than 2 s after the first send
        {4.0, 2, 0},  {4.02, 3, 0},   // more than 2 s after the second
        {10.0, 3, 0}, {10.03, 4, 0},  // then more than 6 s
        {16.0, 4, 0}, {16.04, 4, 1},  // a fifth send would be due: given up
        {40.0, 4, 1},
    };
    for (const auto& step : steps) {
        PassAt(step.at);
        EXPECT_EQ(Count(kAlice, framed), step.sends) << "at " << step.at;
        EXPECT_EQ(f->net.queue.droppedCount, step.dropped) << "at " << step.at;
    }
    EXPECT_EQ(f->net.clients.Count(), 1);  // heard from 16 s ago only: kept
    EXPECT_EQ(f.screen.Text(6, 60, 17), "      Dropped: 1 ");
    EXPECT_EQ(f.screen.ColourAt(6, 60), kBrown);
}

TEST_F(ResendTest, ChatLinesAreTriedTenTimesThenTheViewerIsGivenUp) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    StartClockAtWholeSecond();
    SendToViewer(f->net, "CHAT: [Alice] - hi", kBob);
    const std::string framed = "<" + NumberText(f->net.queue.nextSeq) + ">CHAT: [Alice] - hi";
    // Keep Bob's other traffic out of the way: he acknowledges nothing, but his
    // chat entry is the only one in flight.
    double due[] = {2.01, 4.02, 10.03, 16.04, 22.05, 28.06, 34.07, 40.08, 46.09};
    for (double t : due)
        PassAt(t);
    EXPECT_EQ(Count(kBob, framed), 10);
    EXPECT_EQ(f->net.clients.Count(), 2);
    PassAt(52.0);
    EXPECT_EQ(f->net.clients.Count(), 2);
    Forget();
    PassAt(52.1);  // the eleventh due time
    EXPECT_EQ(f->net.clients.Count(), 1);
    EXPECT_EQ(f->net.queue.droppedCount, 0);  // a lost viewer, not a dropped message
    std::vector<std::string> alice;
    for (const auto& t : Sent(kAlice))
        alice.push_back(t.substr(t.find('>') + 1));
    EXPECT_EQ(alice, (std::vector<std::string>{"DELUSER: Bob", "CHAT: [SERVER] - Bob has left!",
                                               "CHAT: [SERVER]- Lost connection with Bob"}));
    EXPECT_TRUE(Sent(kBob).empty());
    EXPECT_EQ(f.LogLines().size(), 14u);  // two logon blocks, no drop block
}

TEST_F(ResendTest, ViewerThatKeepsPingingIsNotDroppedForLostAcknowledgements) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    for (int round = 0; round < 10; ++round) {
        Broadcast(f->net, "FEN: position " + std::to_string(round));
        // Bob never acknowledges, but pings every 20 s; Alice acknowledges all.
        for (int second = 0; second < 20; ++second) {
            Idle(1);
            AckAll(kAlice);
            Forget();
        }
        Receive(kBob, "PING");
    }
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_GE(f->net.queue.droppedCount, 10);
}

TEST_F(ResendTest, SilentViewerIsDroppedAtTheFirstGiveUpAfterAMinute) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    Broadcast(f->net, "FEN: one");
    // Bob's copy is given up after about 16 s, but Bob was heard from lately.
    while (f->net.queue.droppedCount == 0) {
        Idle(1);
        AckAll(kAlice);
    }
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_LT(f.clock.Monotonic(), 30);
    f.clock.Advance(45);
    Forget();
    Broadcast(f->net, "FEN: two");
    while (f->net.queue.droppedCount == 1) {
        Idle(1);
        AckAll(kAlice);
        Forget();
    }
    EXPECT_EQ(f->net.clients.Count(), 1);
    EXPECT_EQ(Ip(1), kAlice);
    auto log = f.LogLines();
    ASSERT_EQ(log.size(), 18u);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 14, log.end()),
              (std::vector<std::string>{std::string(31, '-'), FixedWidth("Bob", 30),
                                        "Disconnected due to no response!", std::string(32, '=')}));
}

TEST_F(ResendTest, DroppedViewerIsAnnouncedInOrder) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    SendToViewer(f->net, "FEN: x", kBob);
    f.clock.Advance(100);
    for (int i = 0; i < 4; ++i) {
        f.clock.Advance(7);
        ResendPass(f->net);
    }
    EXPECT_EQ(f->net.clients.Count(), 1);
    std::vector<std::string> alice;
    for (const auto& t : Sent(kAlice))
        alice.push_back(t.substr(t.find('>') + 1));
    EXPECT_EQ(alice, (std::vector<std::string>{"DELUSER: Bob", "CHAT: [SERVER] - Bob has left!",
                                               "CHAT: [SERVER]- Lost connection with Bob"}));
}

TEST_F(ResendTest, PassResendsAtMostSixAndAGiveUpEndsIt) {
    Join(kAlice, "Alice");
    for (int i = 0; i < 8; ++i)
        SendToViewer(f->net, "FEN: " + std::to_string(i), kAlice);
    f.clock.Advance(3);
    ResendPass(f->net);
    EXPECT_EQ(Sent(kAlice).size(), 8u + 6u);
    // Entries are served in entry order: the first six.
    EXPECT_EQ(Sent(kAlice)[8], "< 11>FEN: 0");
    EXPECT_EQ(Sent(kAlice)[13], "< 16>FEN: 5");
    for (int i = 1; i <= kResendEntries; ++i)
        f->net.queue.entries[i].tries = 4;
    f.clock.Advance(10);
    Forget();
    ResendPass(f->net);
    EXPECT_EQ(f->net.queue.droppedCount, 1);
    EXPECT_TRUE(Sent(kAlice).empty());
}

TEST_F(ResendTest, ResentMessageCarriesItsWholeText) {
    Join(kAlice, "Alice");
    const std::string chat = "CHAT: [Bob] - " + std::string(150, 'z') + "  ";
    SendToViewer(f->net, chat, kAlice);
    f.clock.Advance(3);
    ResendPass(f->net);
    auto sent = Sent(kAlice);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], "< 11>" + chat);
    EXPECT_EQ(sent[1], sent[0]);
}

TEST_F(ResendTest, AcknowledgementMustComeFromTheAddressedViewer) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    SendToViewer(f->net, "FEN: x", kAlice);
    const std::int32_t seq = f->net.queue.nextSeq;
    Receive(kBob, "ACK:" + NumberText(seq));
    Receive(kStranger, "ACK:" + NumberText(seq));
    EXPECT_EQ(f->net.queue.entries[seq].acked, 0);
    Receive(kAlice, "ACK:   " + std::to_string(seq));
    EXPECT_EQ(f->net.queue.entries[seq].acked, 1);
    f.clock.Advance(30);
    Forget();
    ResendPass(f->net);
    EXPECT_TRUE(Sent(kAlice).empty());
}

TEST_F(ResendTest, AcknowledgementOfAGivenUpMessageChangesNothing) {
    Join(kAlice, "Alice");
    SendToViewer(f->net, "FEN: x", kAlice);
    const std::int32_t seq = f->net.queue.nextSeq;
    f->net.queue.entries[seq].seq = 0;
    Receive(kAlice, "ACK:" + NumberText(seq));
    EXPECT_EQ(f->net.queue.entries[seq].acked, 0);
    Receive(kAlice, "ACK: 0");
    Receive(kAlice, "ACK: 99999");
}

TEST_F(ResendTest, CongestionAtTwentyOneWaitingResends) {
    Join(kAlice, "Alice");
    for (int i = 0; i < 21; ++i)
        SendToViewer(f->net, "FEN: " + std::to_string(i), kAlice);
    for (int i = 1; i <= 20; ++i)
        f->net.queue.entries[10 + i].tries = 2;
    UpdateQueueStatus(f->net);
    EXPECT_EQ(f->net.queue.resendCount, 20);
    EXPECT_EQ(f->net.queue.pendingCount, 21);
    EXPECT_EQ(f->net.queue.congested, 0);
    EXPECT_EQ(f.screen.Text(7, 60, 18), "Re-send queue: 20 ");
    EXPECT_EQ(f.screen.ColourAt(7, 60), kLightGreen);
    EXPECT_EQ(f.screen.Text(8, 60, 18), "Message queue: 21 ");
    EXPECT_EQ(f.screen.ColourAt(8, 60), kLightCyan);

    f->net.queue.entries[31].tries = 2;
    Forget();
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.queue.congested, 1);
    EXPECT_EQ(f.screen.ColourAt(7, 60), kLightRed);
    EXPECT_EQ(f.screen.CurrentColour(), kNormal);
    const std::int32_t before = f->net.queue.nextSeq;
    Receive(kAlice, "PING");
    Broadcast(f->net, "FEN: raw");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"PONG", "FEN: raw"}));
    EXPECT_EQ(f->net.queue.nextSeq, before);

    // Acknowledgements bring the count down and the numbering back.
    for (int i = 11; i <= 31; ++i)
        Receive(kAlice, "ACK:" + NumberText(i));
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.queue.congested, 0);
    Forget();
    Receive(kAlice, "PING");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"<" + NumberText(before + 1) + ">PONG"}));
}

TEST_F(ResendTest, BroadcastWithoutViewersUsesNoNumbers) {
    Broadcast(f->net, "FEN: x");
    EXPECT_EQ(f->net.queue.nextSeq, 0);
    EXPECT_TRUE(f.socket.sent.empty());
}

TEST_F(ResendTest, EachViewerGetsItsOwnNumberAndEntry) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    Broadcast(f->net, "FMR:  0");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"< 24>FMR:  0"}));
    EXPECT_EQ(Sent(kBob), (std::vector<std::string>{"< 25>FMR:  0"}));
    EXPECT_EQ(f->net.queue.entries[25].ip, kBob);
    EXPECT_EQ(f->net.queue.entries[25].tries, 1);
}

TEST_F(ResendTest, RingWrapsAndNumbersKeepRising) {
    Join(kAlice, "Alice");
    for (int i = 0; i < 990; ++i)
        SendToViewer(f->net, "x", kAlice);
    for (int i = 1; i <= kResendEntries; ++i)
        f->net.queue.entries[i].acked = 1;
    EXPECT_EQ(f->net.queue.resendCursor, 1000);
    SendToViewer(f->net, "after", kAlice);
    EXPECT_EQ(f->net.queue.resendCursor, 1);
    EXPECT_EQ(f->net.queue.entries[1].seq, 1001);
    EXPECT_EQ(f->net.queue.droppedCount, 0);  // overwrote an acknowledged entry
    Receive(kAlice, "ACK: 1001");
    EXPECT_EQ(f->net.queue.entries[1].acked, 1);
}

TEST_F(ResendTest, NumbersPastThirtyTwoBitsStayPositiveAndAreAcknowledged) {
    Join(kAlice, "Alice");
    f->net.queue.nextSeq = 2147483647;  // a server that has run for weeks
    f->net.queue.resendCursor = 647;    // message n lives in entry ((n - 1) mod 1000) + 1
    SendToViewer(f->net, "FEN: x", kAlice);
    EXPECT_EQ(Sent(kAlice).back(), "< 2147483648>FEN: x");
    Receive(kAlice, "ACK: 2147483648");
    EXPECT_EQ(f->net.queue.entries[648].acked, 1);
}

TEST_F(ResendTest, OverwritingAnUnacknowledgedEntryCountsItAsDropped) {
    Join(kAlice, "Alice");
    for (int i = 0; i < 995; ++i)
        SendToViewer(f->net, "x", kAlice);  // entries 11..1000, 1..5
    EXPECT_EQ(f->net.queue.droppedCount, 0);
    SendToViewer(f->net, "y", kAlice);  // entry 6 still awaits... no: 1..10 were acked
    EXPECT_EQ(f->net.queue.droppedCount, 0);
    for (int i = 0; i < 10; ++i)
        SendToViewer(f->net, "z", kAlice);  // 7..16: 11..16 unacked
    EXPECT_EQ(f->net.queue.droppedCount, 6);
}

}  // namespace
}  // namespace lantrel::testing
