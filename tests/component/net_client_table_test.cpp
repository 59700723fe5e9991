// Logon with its welcome, unique names, logoff, alias change, the console grid.
#include "fake_viewers.h"

namespace lantrel::testing {
namespace {

class ClientTableTest : public NetTest {
  protected:
    void SetUp() override {
        f->feed.game.whitePlayer = "Alpha 1.0";
        f->feed.game.blackPlayer = "Beta 2";
        f->config.site = "Club";
        f->feed.game.previousFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq";
        f->feed.game.fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq";
        f->feed.game.lastMove = PlayedMove{1, PieceColour::kWhite, "e4"};
        f->feed.game.level.text = "level 40 5 0";
    }
    static std::string Padded(const std::string& name) { return FixedWidth(name, 30); }
};

TEST_F(ClientTableTest, FirstViewerGetsTheWholeWelcomeInOrder) {
    f->config.menuLines[2] = "MENU ID=2 Results";
    f->config.menuLines[7] = "MENU ID=7 Games";
    Logon(kAlice, "Alice");
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{
                                "LOGON SUCCESSFUL",
                                "< 1>WPLAYER: Alpha 1.0",
                                "< 2>BPLAYER: Beta 2",
                                "< 3>SITE:Club",
                                "< 4>FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq",
                                "< 5>FEATURE: PING",
                                "< 6>WMOVE: 1. e4",
                                "< 7>FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq",
                                "< 8>level 40 5 0",
                                "< 9>ADDUSER: Alice",
                                "< 10>ADDUSER: " + Padded("Alice"),
                                "< 11>MENU ID=2 Results",
                                "< 12>MENU ID=7 Games",
                            }));
    EXPECT_EQ(f.screen.beeps, 1);
    EXPECT_EQ(f->net.counters.connectCount, 1);
    EXPECT_EQ(f.screen.Text(18, 42, 12), "Connects: 1 ");
}

TEST_F(ClientTableTest, EmptyLastMoveAndLevelStillGoOutFramed) {
    f->feed.game.lastMove.reset();
    f->feed.game.level = {};
    Logon(kAlice, "Alice");
    auto sent = Sent(kAlice);
    EXPECT_EQ(sent[6], "< 6>");
    EXPECT_EQ(sent[8], "< 8>");
}

TEST_F(ClientTableTest, SecondViewerIsListedAndAnnouncedAtItsFirstAck) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kBob, "LOGONv15:Bob");
    auto bob = Sent(kBob);
    ASSERT_EQ(bob.size(), 12u);
    EXPECT_EQ(bob[0], "LOGON SUCCESSFUL");
    EXPECT_EQ(bob[1], "< 11>WPLAYER: Alpha 1.0");
    // Its own name, then the list.
    EXPECT_EQ(bob[9], "< 19>ADDUSER: Bob");
    EXPECT_EQ(bob[10], "< 20>ADDUSER: " + Padded("Alice"));
    EXPECT_EQ(bob[11], "< 21>ADDUSER: " + Padded("Bob"));
    // Alice hears of Bob once his acknowledgement proves the address his.
    EXPECT_TRUE(Sent(kAlice).empty());
    AckAll(kBob);
    EXPECT_EQ(Sent(kAlice), (std::vector<std::string>{"< 22>ADDUSER: Bob",
                                                      "< 23>CHAT: [Server] Bob has arrived!"}));
}

TEST_F(ClientTableTest, LogonBlockInServerLog) {
    f.clock.Advance(3723);  // 12:00:00 + 1:02:03
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    auto log = f.LogLines();
    ASSERT_EQ(log.size(), 14u);
    EXPECT_EQ(std::vector<std::string>(log.begin() + 7, log.end()),
              (std::vector<std::string>{"", std::string(39, '-'), "New logon: 10.0.0.3            ",
                                        "Time: 13:02:03", "User name: " + Padded("Bob"),
                                        "Position in connection table:  2", std::string(39, '=')}));
}

TEST_F(ClientTableTest, ClashingNamesGetNumberSuffixes) {
    struct Row {
        IpAddress ip;
        std::string asked, given;
    } rows[] = {
        {kAlice, "Bob", "Bob"},
        {kBob, "Bob", "Bob 1"},
        {kCarol, "Bob", "Bob 2"},
        {Viewer(1), "", "Anonymous"},
        {Viewer(2), "   ", "Anonymous 1"},
        {Viewer(3), "  Ann", "  Ann"},  // leading blanks stay at logon
        {Viewer(4), "bob", "bob"},      // exact comparison, with case
    };
    for (const auto& row : rows)
        Logon(row.ip, row.asked);
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(Name(static_cast<int>(i) + 1), Padded(rows[i].given)) << rows[i].asked;
}

TEST_F(ClientTableTest, SameAddressLogsOnAgainWithItsNameAndSlot) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Forget();
    Logon(kAlice, "Alice");
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_EQ(Name(1), Padded("Alice"));
    // No DELUSER for the old record, a new ADDUSER and arrival for the others.
    auto bob = Sent(kBob);
    EXPECT_EQ(bob.size(), 2u);
    EXPECT_NE(bob[0].find("ADDUSER: Alice"), std::string::npos);
    EXPECT_NE(bob[1].find("CHAT: [Server] Alice has arrived!"), std::string::npos);
}

TEST_F(ClientTableTest, LongNamesAreBroadcastWholeButStoredCut) {
    const std::string longName(40, 'x');
    Logon(kAlice, longName);
    EXPECT_EQ(Name(1), std::string(30, 'x'));
    auto alice = Sent(kAlice);
    EXPECT_EQ(alice[9], "< 9>ADDUSER: " + longName);
    EXPECT_EQ(alice[10], "< 10>ADDUSER: " + std::string(30, 'x'));
    EXPECT_EQ(alice.size(), 11u);  // no arrival notice about itself
    // The whole name is compared with the stored 30 characters: no clash seen.
    Logon(kBob, longName);
    EXPECT_EQ(Name(2), std::string(30, 'x'));
    auto toAlice = Sent(kAlice);
    EXPECT_EQ(toAlice.back(), "< 23>CHAT: [Server] " + longName + " has arrived!");
}

TEST_F(ClientTableTest, LogoffCompactsTheTableAndTellsTheOthers) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Logon(kCarol, "Carol");
    EXPECT_EQ(f.screen.Text(11, 24, 15), "10.0.0.4       ");
    Forget();
    Receive(kBob, "LOGOFF");
    EXPECT_EQ(f->net.clients.Count(), 2);
    EXPECT_EQ(Ip(1), kAlice);
    EXPECT_EQ(Ip(2), kCarol);
    EXPECT_EQ(Name(2), Padded("Carol"));
    EXPECT_EQ(f.screen.Text(10, 24, 15), "10.0.0.4       ");
    EXPECT_EQ(f.screen.Text(11, 24, 15), std::string(15, '_'));
    EXPECT_EQ(f.screen.Text(7, 23, 35), "Client Connection Table:  2        ");
    EXPECT_TRUE(Sent(kBob).empty());
    auto carol = Sent(kCarol);
    ASSERT_EQ(carol.size(), 2u);
    EXPECT_EQ(carol[0].substr(carol[0].find('>') + 1), "DELUSER: Bob");
    EXPECT_EQ(carol[1].substr(carol[1].find('>') + 1), "CHAT: [SERVER] - Bob has left!");
}

TEST_F(ClientTableTest, LogoffPurgesReceiptsAndQueuedMessages) {
    Receive(kAlice, "LOGONv15:Alice");
    Receive(kAlice, "< 1>EMAIL:a@b");
    EXPECT_FALSE(f->net.queue.viewers.at(kAlice).waiting.empty());
    Receive(kAlice, "LOGOFF");
    EXPECT_FALSE(f->net.queue.viewers.count(kAlice));
    UpdateQueueStatus(f->net);
    EXPECT_EQ(f->net.queue.pendingCount, 0);
    // Back again, numbering from 1: its first message is not taken for a repeat.
    Receive(kAlice, "< 1>LOGONv15:Alice");
    EXPECT_EQ(f->net.clients.Count(), 1);
}

TEST_F(ClientTableTest, LogoffOfAnUnknownAddressChangesNothingVisible) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kStranger, "LOGOFF");
    EXPECT_EQ(f->net.clients.Count(), 1);
    EXPECT_TRUE(f.socket.sent.empty());
}

TEST_F(ClientTableTest, AliasChange) {
    Logon(kAlice, "Alice");
    Logon(kBob, "Bob");
    Forget();
    Receive(kBob, "CHANGE:  Alice  ");  // blanks go, and the name is taken
    EXPECT_EQ(Name(2), Padded("Alice 1"));
    auto alice = Sent(kAlice);
    ASSERT_EQ(alice.size(), 3u);
    EXPECT_EQ(alice[0].substr(alice[0].find('>') + 1), "DELUSER:Bob");
    EXPECT_EQ(alice[1].substr(alice[1].find('>') + 1), "ADDUSER:Alice 1");
    EXPECT_EQ(alice[2].substr(alice[2].find('>') + 1),
              "CHAT:[SERVER] - Alias changed from Bob to Alice 1");
    EXPECT_EQ(Sent(kBob).size(), 3u);
}

// A rename before the first acknowledgement: the renamer is told as always, the
// others hear of the newcomer by its new name once it has acknowledged.
TEST_F(ClientTableTest, AliasChangeBeforeTheFirstAck) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kBob, "LOGONv15:Bob");
    Receive(kBob, "CHANGE:Zed");
    EXPECT_TRUE(Sent(kAlice).empty());
    AckAll(kBob);
    auto bob = Sent(kBob);
    EXPECT_EQ(bob.back().substr(bob.back().find('>') + 1),
              "CHAT:[SERVER] - Alias changed from Bob to Zed");
    auto alice = Sent(kAlice);
    ASSERT_EQ(alice.size(), 2u);
    EXPECT_EQ(alice[0].substr(alice[0].find('>') + 1), "ADDUSER: Zed");
    EXPECT_EQ(alice[1].substr(alice[1].find('>') + 1), "CHAT: [Server] Zed has arrived!");
}

TEST_F(ClientTableTest, AliasChangeToOwnNameAndFromStrangers) {
    Logon(kAlice, "Alice");
    Forget();
    Receive(kAlice, "CHANGE:Alice");
    auto alice = Sent(kAlice);
    ASSERT_EQ(alice.size(), 3u);
    EXPECT_EQ(alice[2].substr(alice[2].find('>') + 1),
              "CHAT:[SERVER] - Alias changed from Alice to Alice");
    Forget();
    Receive(kStranger, "CHANGE:Eve");
    EXPECT_TRUE(f.socket.sent.empty());
    Receive(kAlice, "CHANGE:");
    EXPECT_EQ(Name(1), Padded("Anonymous"));
}

TEST_F(ClientTableTest, GridShowsTwentyFourAndCountsAll) {
    for (int n = 1; n <= 26; ++n)
        Logon(Viewer(n), "v" + std::to_string(n));
    EXPECT_EQ(f.screen.Text(9, 24, 15), "10.1.0.2       ");   // slot 1
    EXPECT_EQ(f.screen.Text(16, 42, 15), "10.1.0.17      ");  // slot 16
    EXPECT_EQ(f.screen.Text(16, 60, 15), "10.1.0.25      ");  // slot 24
    EXPECT_EQ(f.screen.Text(7, 23, 29), "Client Connection Table:  26 ");
    f->screen.ShowClientTable(f->net.clients);
    EXPECT_EQ(f.screen.Text(9, 60, 15), "10.1.0.18      ");
}

TEST_F(ClientTableTest, FullTableTurnsTheNewcomerAwaySilently) {
    for (int n = 1; n <= kClientSlots; ++n) {
        ClientRecord& r = f->net.clients.slots[n];
        r.ip = Viewer(n);
        r.ipText = FixedWidth(IpText(r.ip), kIpTextWidth);
        r.name = FixedWidth("v" + std::to_string(n), kNameWidth);
    }
    CompactClientTable(f->net.clients);
    Logon(kAlice, "Alice");
    Receive(kAlice, "CHAT:hi");
    EXPECT_EQ(f->net.clients.Count(), kClientSlots);
    EXPECT_EQ(f->net.counters.connectCount, 1);
    EXPECT_TRUE(f.socket.sent.empty());  // not a word to anyone
}

TEST_F(ClientTableTest, LogonsFromNewAddressesAreTakenTenASecond) {
    for (int n = 1; n <= 15; ++n)
        f.socket.Queue(Viewer(n), "LOGONv15:v" + std::to_string(n));
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.clients.Count(), 10);
    EXPECT_TRUE(Sent(Viewer(11)).empty());  // turned away without a word
    Receive(Viewer(1), "LOGONv15:again");   // a viewer already on is always taken
    EXPECT_EQ(Name(1), Padded("again"));
    f.clock.Advance(0.5);
    for (int n = 11; n <= 15; ++n)
        f.socket.Queue(Viewer(n), "LOGONv15:v" + std::to_string(n));
    ServiceNetwork(f->net);
    EXPECT_EQ(f->net.clients.Count(), 15);
}

TEST_F(ClientTableTest, EmailOfViewer) {
    Logon(kAlice, "Alice");
    Receive(kAlice, "EMAIL: alice@example.org");
    EXPECT_EQ(EmailOfViewer(f->net, kAlice), " alice@example.org");
    Receive(kAlice, "EMAIL:" + std::string(60, 'm'));
    EXPECT_EQ(EmailOfViewer(f->net, kAlice), std::string(50, 'm'));
    EXPECT_EQ(EmailOfViewer(f->net, kBob), "");
    Receive(kBob, "EMAIL:bob@example.org");  // not logged on: dropped
    EXPECT_EQ(EmailOfViewer(f->net, kBob), "");
}

}  // namespace
}  // namespace lantrel::testing
