// Reliable delivery: numbering, acknowledgements, the re-send schedule, give-ups,
// silent viewers, each viewer's congestion and budget, and the queue's cap.
#include <cmath>
#include <set>

#include "fake_viewers.h"
#include "feed/parsing.h"

namespace lantrel::testing {
namespace {

class ResendTest : public NetTest {
  protected:
    // Logs a viewer on and acknowledges its welcome, so that only what a test
    // sends afterwards is in flight.
    void Join(IpAddress ip, const std::string& name) {
        Logon(ip, name);
        for (int k = 1; k <= f->net.clients.Count(); ++k)
            AckAll(Ip(k));
        Forget();
    }
    const ViewerQueue& Queue(IpAddress ip) const { return f->net.queue.viewers.at(ip); }
    // Sends `n` messages to `ip` and lets them all be re-sent once.
    void MakeResending(IpAddress ip, int n) {
        for (int i = 0; i < n; ++i)
            SendToViewer(f->net, "FEN: " + std::to_string(i), ip);
        f.clock.Advance(2.5);
        for (int pass = 0; pass <= static_cast<int>(Queue(ip).waiting.size()) / 6; ++pass)
            ResendPass(f->net);
        UpdateQueueStatus(f->net);
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
    EXPECT_EQ(f.screen.ColourAt(6, 60), ConsoleColour::kBrown);
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

TEST_F(ResendTest, EachViewerGetsSixResendsAPassInNumberOrder) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    for (int i = 0; i < 8; ++i)
        Broadcast(f->net, "FEN: " + std::to_string(i));
    const SequenceNumber first = Queue(kAlice).waiting.front().seq;
    Forget();
    f.clock.Advance(3);
    ResendPass(f->net);
    for (IpAddress ip : {kAlice, kBob}) {
        auto sent = Sent(ip);
        ASSERT_EQ(sent.size(), 6u);
        const SequenceNumber own = ip == kAlice ? first : first + 1;
        EXPECT_EQ(sent.front(), "<" + NumberText(own) + ">FEN: 0");
        EXPECT_EQ(sent.back(), "<" + NumberText(own + 10) + ">FEN: 5");
    }
}

TEST_F(ResendTest, GiveUpEndsOnlyThatViewersPass) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    SendToViewer(f->net, "FEN: old", kAlice);
    for (int i = 0; i < 3; ++i) {
        f.clock.Advance(7);
        ResendPass(f->net);
    }
    SendToViewer(f->net, "FEN: a", kAlice);
    SendToViewer(f->net, "FEN: b", kBob);
    f.clock.Advance(7);
    Forget();
    ResendPass(f->net);
    EXPECT_EQ(f->net.queue.droppedCount, 1);
    EXPECT_TRUE(Sent(kAlice).empty());  // the give-up came first and ended her pass
    EXPECT_EQ(Sent(kBob).size(), 1u);
    EXPECT_EQ(Queue(kAlice).waiting.size(), 1u);
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
    const SequenceNumber seq = f->net.queue.nextSeq;
    Receive(kBob, "ACK:" + NumberText(seq));
    Receive(kStranger, "ACK:" + NumberText(seq));
    EXPECT_EQ(Queue(kAlice).waiting.size(), 1u);
    Receive(kAlice, "ACK:   " + std::to_string(seq));
    EXPECT_TRUE(Queue(kAlice).waiting.empty());
    f.clock.Advance(30);
    Forget();
    ResendPass(f->net);
    EXPECT_TRUE(Sent(kAlice).empty());
}

TEST_F(ResendTest, AcknowledgementsFindTheirMessageInAnyOrder) {
    Join(kAlice, "Alice");
    for (int i = 0; i < 5; ++i)
        SendToViewer(f->net, "FEN: " + std::to_string(i), kAlice);
    const SequenceNumber last = f->net.queue.nextSeq;
    for (SequenceNumber seq : {last - 2, last, last - 2, last + 1, SequenceNumber{0}, last - 4})
        Receive(kAlice, "ACK:" + NumberText(seq));
    std::vector<SequenceNumber> left;
    for (const ResendEntry& e : Queue(kAlice).waiting)
        left.push_back(e.seq);
    EXPECT_EQ(left, (std::vector<SequenceNumber>{last - 3, last - 1}));
    UpdateQueueStatus(f->net);
    EXPECT_EQ(f->net.queue.pendingCount, 2);
}

TEST_F(ResendTest, CongestionAtTwentyOneWaitingResends) {
    Join(kAlice, "Alice");
    MakeResending(kAlice, 20);
    EXPECT_EQ(f->net.queue.resendCount, 20);
    EXPECT_EQ(f->net.queue.pendingCount, 20);
    EXPECT_FALSE(Queue(kAlice).congested);
    EXPECT_EQ(f.screen.Text(7, 60, 18), "Re-send queue: 20 ");
    EXPECT_EQ(f.screen.ColourAt(7, 60), ConsoleColour::kLightGreen);
    EXPECT_EQ(f.screen.Text(8, 60, 18), "Message queue: 20 ");
    EXPECT_EQ(f.screen.ColourAt(8, 60), ConsoleColour::kLightCyan);

    MakeResending(kAlice, 1);
    EXPECT_TRUE(Queue(kAlice).congested);
    EXPECT_EQ(f.screen.ColourAt(7, 60), ConsoleColour::kLightRed);
    EXPECT_EQ(f.screen.CurrentColour(), ConsoleColour::kNormal);
    const SequenceNumber before = f->net.queue.nextSeq;
    Forget();
    Receive(kAlice, "PING");
    Broadcast(f->net, "FEN: raw");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"PONG", "FEN: raw"}));
    EXPECT_EQ(f->net.queue.nextSeq, before);

    // Acknowledgements bring the count down and the numbering back.
    for (const ResendEntry& e : Queue(kAlice).waiting)
        f.socket.Queue(kAlice, "ACK:" + NumberText(e.seq));
    ServiceNetwork(f->net);
    ServiceNetwork(f->net);
    EXPECT_FALSE(Queue(kAlice).congested);
    Forget();
    Receive(kAlice, "PING");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"<" + NumberText(before + 1) + ">PONG"}));
}

TEST_F(ResendTest, CongestionAndTheBacklogRulesArePerViewer) {
    Join(kAlice, "Alice");
    Join(kBob, "Bob");
    Join(kCarol, "Carol");
    MakeResending(kAlice, 21);  // congested
    MakeResending(kBob, 1);     // behind, not congested
    AckAll(kCarol);
    UpdateQueueStatus(f->net);
    Forget();
    f->outputs.MovePlayed({12, PieceColour::kWhite, "e4"}, "fen", 0, true);
    f->outputs.Thinking(PieceColour::kWhite, ReadThinking("10 25 100 5000 e4 e5"));
    f->outputs.ClocksTold(ReadClocks(PieceColour::kWhite, "6000", "5900"), true);
    auto bodies = [&](IpAddress ip) {
        std::vector<std::string> texts;
        for (const std::string& t : Sent(ip))
            texts.push_back(t[0] == '<' ? "#" + t.substr(t.find('>') + 1) : t);
        return texts;
    };
    EXPECT_EQ(bodies(kAlice), (std::vector<std::string>{"FEN: fen", "WMOVE: 12. e4", "FMR:  0"}));
    EXPECT_EQ(bodies(kBob), (std::vector<std::string>{"#FEN: fen", "#WMOVE: 12. e4", "#FMR:  0",
                                                      "WPV: 10 25 100 5000 e4 e5"}));
    EXPECT_EQ(bodies(kCarol),
              (std::vector<std::string>{"#FEN: fen", "#WMOVE: 12. e4", "#FMR:  0",
                                        "WPV: 10 25 100 5000 e4 e5", "WTIME: 6000  otim 5900"}));
    EXPECT_EQ(f.screen.ColourAt(7, 60), ConsoleColour::kLightRed);  // the console shows the totals
    EXPECT_EQ(f.screen.Text(7, 60, 18), "Re-send queue: 22 ");
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
    EXPECT_EQ(Queue(kBob).waiting.back().seq, 25);
    EXPECT_EQ(Queue(kBob).waiting.back().tries, 1);
}

TEST_F(ResendTest, QueueKeepsEveryViewersMessagesUpToItsCap) {
    // Hundreds of viewers' messages in flight at once: none is lost until a
    // viewer's own cap, and then only that viewer's oldest.
    for (int n = 1; n <= 8; ++n)
        Join(Viewer(n), "v" + std::to_string(n));
    for (int i = 0; i < kMaxWaitingPerViewer; ++i)
        Broadcast(f->net, "FEN: " + std::to_string(i));
    EXPECT_EQ(f->net.queue.droppedCount, 0);
    for (int i = 0; i < 4; ++i)
        SendToViewer(f->net, "FEN: more", Viewer(1));
    EXPECT_EQ(f->net.queue.droppedCount, 4);
    EXPECT_EQ(f.screen.Text(6, 60, 17), "      Dropped: 4 ");
    const ViewerQueue& first = Queue(Viewer(1));
    EXPECT_EQ(first.waiting.size(), static_cast<std::size_t>(kMaxWaitingPerViewer));
    EXPECT_EQ(*first.waiting.front().text, "FEN: 4");
    UpdateQueueStatus(f->net);
    EXPECT_EQ(f->net.queue.pendingCount, 8 * kMaxWaitingPerViewer);
}

TEST_F(ResendTest, NumbersPastThirtyTwoBitsStayPositiveAndAreAcknowledged) {
    Join(kAlice, "Alice");
    f->net.queue.nextSeq = 2147483647;  // a server that has run for weeks
    SendToViewer(f->net, "FEN: x", kAlice);
    EXPECT_EQ(Sent(kAlice).back(), "< 2147483648>FEN: x");
    Receive(kAlice, "ACK: 2147483648");
    EXPECT_TRUE(Queue(kAlice).waiting.empty());
}

TEST_F(ResendTest, ViewerThatNeverAcknowledgesGetsOnlyItsWelcomeAndGoesAfterTwentySeconds) {
    Join(kAlice, "Alice");
    Forget();
    Receive(kBob, "LOGONv15:Bob");  // says nothing more: perhaps a forged address
    std::set<std::string> welcome;
    for (const std::string& t : Sent(kBob))
        welcome.insert(t);
    for (int second = 0; second < 19; ++second) {
        Broadcast(f->net, "FEN: " + std::to_string(second));
        f->outputs.Thinking(PieceColour::kWhite, ReadThinking("10 25 100 5000 e4 e5"));
        Idle(0.9);
        AckAll(kAlice);
    }
    EXPECT_EQ(f->net.clients.Count(), 2);
    for (const std::string& t : Sent(kBob))
        EXPECT_TRUE(welcome.count(t)) << t;  // the welcome and its re-sends, nothing else
    Idle(3);
    EXPECT_EQ(f->net.clients.Count(), 1);
    auto log = f.LogLines();
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{std::string(31, '-'), FixedWidth("Bob", 30),
                                        "Disconnected due to no response!", std::string(32, '=')}));
    EXPECT_FALSE(f->net.queue.viewers.count(kBob));
    // Alice never heard of Bob: no arrival, no departure.
    for (const std::string& t : Sent(kAlice))
        EXPECT_EQ(t.find("Bob"), std::string::npos) << t;
}

TEST_F(ResendTest, WhatWaitedForTheFirstAcknowledgementFollowsIt) {
    Join(kAlice, "Alice");
    Receive(kBob, "LOGONv15:Bob");
    const std::string firstWelcome = Sent(kBob).at(1);
    Broadcast(f->net, "FEN: one");
    Broadcast(f->net, "FEN: two");
    Forget();
    Receive(kBob, "ACK:" + firstWelcome.substr(1, firstWelcome.find('>') - 1));
    auto sent = Sent(kBob);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].substr(sent[0].find('>') + 1), "FEN: one");
    EXPECT_EQ(sent[1].substr(sent[1].find('>') + 1), "FEN: two");
}

}  // namespace
}  // namespace lantrel::testing
