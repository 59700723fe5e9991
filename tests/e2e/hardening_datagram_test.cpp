// Bad datagrams against the real server: empty, the largest, binary, broken
// frames, stray acknowledgements, huge names, rename floods, floods of requests
// and logons from addresses that never logged on, and a forged logon. Each time
// the server stays up, its memory stays bounded, a control viewer keeps being
// answered, and the sender gets the answer the protocol gives or nothing at
// all, never more bytes than it sent while it is not logged on.
#include "hardening_fixture.h"

namespace lantrel::testing {
namespace {

constexpr std::size_t kLargestDatagram = 65507;  // the most an IPv4 UDP datagram carries

struct BadDatagram {
    const char* name;
    std::string bytes;
    std::vector<std::string> answers;  // exactly these come back, in order; none: silence
};

std::vector<BadDatagram> BadDatagrams() {
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    return {
        {"empty", "", {}},
        {"largest", std::string(kLargestDatagram, 'x'), {}},
        {"largest framed", "< 7>" + std::string(kLargestDatagram - 4, 'y'), {"ACK: 7"}},
        {"every byte value", allBytes, {}},
        {"NULs only", std::string(16, '\0'), {}},
        {"NUL inside a command", std::string("PI\0NG", 5), {}},
        {"command followed by a NUL", std::string("LOGOFF\0", 7), {}},
        {"lone <", "<", {}},
        {"empty frame <>", "<>", {}},
        {"empty frame before a command", "<>PING", {}},
        {"negative number", "<-5>", {}},
        {"negative number before a command", "<-5>PING", {}},
        {"zero", "< 0>PING", {}},
        {"no number", "<abc>PING", {}},
        {"NUL as number", std::string("<\0>PING", 7), {}},
        {"no closing bracket", "< 12PING", {}},
        // An address that is not logged on gets no more bytes than it sent: an
        // acknowledgement longer than its message stays unsent.
        {"number beyond 32 bits", "<99999999999>", {}},
        {"number beyond 32 bits, longer text", "<99999999999>PING", {"ACK: 99999999999"}},
        {"framed empty text", "< 31>", {}},
        {"ACK for an unknown number", "ACK: 5", {}},
        {"ACK for a huge number", "ACK: 99999999999", {}},
        {"ACK for a negative number", "ACK:-1", {}},
        {"ACK without a number", "ACK:", {}},
        {"ACK with 60000 digits", "ACK:" + std::string(60000, '9'), {}},
        {"framed ACK", "< 41>ACK: 3", {"ACK: 41"}},
        {"lower-case command", "ping", {}},
        {"old logon", "LOGON:Old", {}},
        {"old logon with a long name",
         "LOGON:" + std::string(101, 'o'),
         {"MSG:Connection refused.  The broadcast server does not support the version of the "
          "viewer you are using."}},
        {"chat while not logged on", "CHAT:hello", {}},
        {"rename while not logged on", "CHANGE:Ghost", {}},
        {"logoff while not logged on", "LOGOFF", {}},
        {"administration from a stranger", "SECURITY", {}},
        {"boot from a stranger", "SRBOOT:127.0.0.2", {}},
    };
}

using DatagramTest = HardeningTest;

TEST_F(DatagramTest, EachBadDatagramGetsItsAnswerOrSilence) {
    StartWithControl();
    // Each case from an address of its own, so that the answers cannot mix.
    const std::vector<BadDatagram> cases = BadDatagrams();
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        peers.push_back(std::make_unique<RawPeer>(PeerAddress(static_cast<int>(i)), port));
        ASSERT_EQ(peers.back()->opened, SocketError::kOk);
        peers.back()->Send(cases[i].bytes);
    }
    ServeControl(0.5);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(peers[i]->Collect(0.02), cases[i].answers);
    }
    ExpectStillServing();
    EXPECT_EQ(UsersOnServer(), 1);  // the booting stranger booted nobody
}

TEST_F(DatagramTest, FloodOfBadDatagramsFromManyAddresses) {
    StartWithControl();
    std::vector<BadDatagram> bad = BadDatagrams();
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int n = 0; n < 20; ++n) {
        peers.push_back(std::make_unique<RawPeer>(PeerAddress(n), port, false));
        ASSERT_EQ(peers.back()->opened, SocketError::kOk);
    }
    for (int round = 0; round < 30; ++round) {
        for (std::size_t i = 0; i < bad.size(); ++i)
            peers[(i + round) % peers.size()]->Send(bad[i].bytes);
        ServeControl(0.02);
    }
    ExpectStillServing();
    EXPECT_EQ(UsersOnServer(), 1);
}

// A chat as long as a datagram can be: relayed to every viewer would make a
// datagram too long to send, which once logged every viewer off. The relayed
// line is cut to what one datagram carries, and everybody stays.
TEST_F(DatagramTest, LongestChatIsRelayedCutAndNobodyIsDropped) {
    StartWithControl();
    RawPeer talker(MakeIp(127, 0, 0, 3), port);
    talker.Send("LOGONv15:Talker");
    ASSERT_TRUE(
        talker.ReceiveUntil([](const std::string& t) { return t == "LOGON SUCCESSFUL"; }, 5));

    std::string relayed;
    onControlMessage = [&](const std::string& text) {
        if (StartsWith(text, "CHAT: [Talker] - ")) relayed = text;
    };
    const std::string chat = "CHAT:" + std::string(kLargestDatagram - 5, 'c');
    talker.Send(chat);
    ASSERT_TRUE(control->client->PollUntil([&] { return !relayed.empty(); }, 5));
    EXPECT_GT(relayed.size(), kLargestDatagram - 100);
    EXPECT_LE(relayed.size(), kLargestDatagram);
    EXPECT_EQ(relayed.find_first_not_of('c', 17), std::string::npos);

    // The longest logon name, whose arrival notice is longer than a datagram.
    RawPeer longName(MakeIp(127, 0, 0, 4), port);
    longName.Send("LOGONv15:" + std::string(kLargestDatagram - 9, 'n'));
    ASSERT_TRUE(
        longName.ReceiveUntil([](const std::string& t) { return t == "LOGON SUCCESSFUL"; }, 5));
    ServeControl(0.5);
    EXPECT_EQ(UsersOnServer(), 3);
    EXPECT_FALSE(Contains(dir.Read("server.log"), "send error"));
    ExpectStillServing();
}

TEST_F(DatagramTest, TenThousandByteNames) {
    StartWithControl();
    const std::string longName(10000, 'L');
    RawPeer first(MakeIp(127, 0, 0, 3), port);
    RawPeer second(MakeIp(127, 0, 0, 4), port);
    ASSERT_TRUE(first.LogOn(longName));
    // The others hear the whole name (once the newcomer has acknowledged its
    // welcome); the table keeps its first 30 characters.
    ASSERT_TRUE(control->client->PollUntil(
        [&] {
            return control->HasChat(" [Server] " + longName + " has arrived!") &&
                   control->HasUser(longName);
        },
        5));
    EXPECT_TRUE(Contains(dir.Read("server.log"), "User name: " + std::string(30, 'L') + "\r\n"));

    // The same name again: compared whole with the 30 stored characters, it is no
    // clash, so the second viewer gets the same name.
    std::vector<std::string> welcome;
    second.Send("LOGONv15:" + longName);
    ASSERT_TRUE(second.ReceiveUntil(
        [](const std::string& t) { return Contains(t, "ADDUSER: " + std::string(30, 'L')); }, 5,
        &welcome));
    EXPECT_EQ(welcome.front(), "LOGON SUCCESSFUL");

    // Renames to huge names and back, chats with them.
    for (int i = 0; i < 50; ++i) {
        first.Send("CHANGE:" + std::string(10000 + i, static_cast<char>('a' + i % 26)));
        first.Send("CHAT:" + std::string(10000, 'z'));
        ServeControl(0.01);
    }
    EXPECT_EQ(UsersOnServer(), 3);
    ExpectStillServing();
}

TEST_F(DatagramTest, RenameFloodFromOneViewer) {
    StartWithControl("ADMIN=127.0.0.2\n");
    RawPeer flooder(MakeIp(127, 0, 0, 3), port, false);
    flooder.Send("LOGONv15:Flooder");
    ServeControl(0.3);
    ASSERT_EQ(UsersOnServer(), 2);

    // Names that clash with each other and with the control viewer, names with
    // blanks only, names with binary bytes, framed and unframed.
    const std::vector<std::string> names = {"Control", "   ",       "",  std::string("N\0N", 3),
                                            "Flooder", "Control 1", "x", std::string(300, 'q')};
    const long before = ResidentKb(server->pid());
    for (int i = 0; i < 20000; ++i) {
        const std::string& name = names[static_cast<std::size_t>(i) % names.size()];
        flooder.Send(i % 2 ? "CHANGE:" + name : "<" + std::to_string(i + 1) + ">CHANGE:" + name);
        if (i % 200 == 0) ServeControl(0.005);
    }
    // An answer to the control viewer means the flood queued before its question
    // has been handled; the last rename is sent after that, so that the server's
    // full receive buffer cannot lose it.
    ASSERT_TRUE(ControlServed(30));
    for (int i = 0; i < 3; ++i)
        flooder.Send("CHANGE:Finally");
    ServeControl(0.3);
    if (kMemoryBounded) {
        EXPECT_LE(ResidentKb(server->pid()), before + 16 * 1024);
    }
    ExpectStillServing();

    // The last rename stands: the administrator's list shows it.
    std::vector<std::string> secUsers;
    onControlMessage = [&](const std::string& text) {
        if (StartsWith(text, "SECUSER: ")) secUsers.push_back(text);
    };
    control->client->SendRaw("SECURITY");
    ASSERT_TRUE(control->client->PollUntil([&] { return secUsers.size() >= 2; }, 5));
    EXPECT_EQ(secUsers[1], "SECUSER: Finally:" + FixedWidth("127.0.0.3", 20));
}

// 600 addresses that never logged on ask for everything at once: logons are
// taken ten a second, and each address gets back no more bytes than it sent.
TEST_F(DatagramTest, FloodOfStrangersDrawsNoMoreThanItSends) {
    StartWithControl("TOURNEYPGN=" + std::string(LANTREL_FIXTURES) +
                     "/tourney/xboard_tourney.pgn\nMAILSERVER=mail.example.org\n");
    const std::vector<std::string> requests = {
        "RESULTTABLE",     "GAMELIST",       "SEND: 1 2 3", "EMAIL:eve@example.org",
        "CHAT: <who>",     "CHAT: <time>",   "CHAT: <ver>", "CHAT: <stats>",
        "CHAT: <q>",       "CHAT:hello",     "PING",        "< 7>PING",
        "< 8>RESULTTABLE", "<99999999999>",  "LOGON:Old",   "CHANGE:Eve",
        "SECURITY",        "BOOT:127.0.0.2", "ACK: 1",      "LOGOFF",
    };
    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int n = 0; n < 600; ++n) {
        peers.push_back(std::make_unique<RawPeer>(PeerAddress(n), port));
        ASSERT_EQ(peers.back()->opened, SocketError::kOk);
    }
    std::vector<std::size_t> sent(peers.size());
    for (std::size_t n = 0; n < peers.size(); ++n) {
        for (const std::string& request : requests) {
            peers[n]->Send(request);
            sent[n] += request.size();
        }
    }
    ServeControl(1);
    for (std::size_t n = 0; n < peers.size(); ++n) {
        std::size_t received = 0;
        for (const std::string& datagram : peers[n]->Collect(0.005))
            received += datagram.size();
        EXPECT_LE(received, sent[n]) << IpText(PeerAddress(static_cast<int>(n)));
    }
    // The same addresses log on all at once: about ten a second get in.
    for (auto& peer : peers)
        peer->Send("LOGONv15:Flood");
    ServeControl(1);
    const int users = UsersOnServer();
    EXPECT_GE(users, 1 + 10);
    EXPECT_LE(users, 1 + 30);
    ExpectStillServing(32 * 1024);
}

// A logon with a forged address costs that address the welcome and its re-sends,
// and the viewer that never acknowledges is gone after about 20 seconds.
TEST_F(DatagramTest, ForgedLogonIsDroppedAfterTwentySeconds) {
    StartWithControl();
    RawPeer forged(PeerAddress(0), port);
    ASSERT_EQ(forged.opened, SocketError::kOk);
    const std::string logon = "LOGONv15:Forged";
    forged.Send(logon);
    std::size_t received = 0;
    bool dropped = false;
    for (int second = 0; second < 26 && !dropped; ++second) {
        for (const std::string& datagram : forged.Collect(0.9))
            received += datagram.size();
        dropped = UsersOnServer() == 1;
    }
    EXPECT_TRUE(dropped);
    EXPECT_LE(received, 4096u) << "for " << logon.size() << " bytes sent";
    ExpectStillServing();
    // The viewers never heard of it, coming or going.
    for (const std::string& line : control->picture().chat)
        EXPECT_EQ(line.find("Forged"), std::string::npos) << line;
}

}  // namespace
}  // namespace lantrel::testing
