// The real server's web listener on loopback: browsers follow a recorded game
// over the WebSocket feed, resume it, chat with the UDP viewers, and bad clients
// are shut out while a good one keeps everything; a tournament with a refused
// move reaches the browser as XBoard saved it; the tournament pages follow
// the tournament PGN.
#include <cstring>

#include "web/feed_messages.h"
#include "web_fixture.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

TEST_F(WebListenerTest, BrowserFollowsTheGameAndStateMatches) {
    StartWeb();
    Browser browser(webPort);
    const Json snapshot = browser.Next();
    ASSERT_EQ(snapshot["type"], "snapshot");
    AppendGame();
    ExpectSavedGames(browser, snapshot["version"]);
    const Json state = FinalState();
    EXPECT_EQ(state["moves"].size(), 39u);
    EXPECT_EQ(state["result"], "1-0");
}

// Round robins in XBoard's tournament mode: one with a move XBoard refused on
// time, and the eight engines of the field with and without pondering.
class WebTournamentTest : public WebListenerTest,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(WebTournamentTest, BrowserGetsTheSavedGames) {
    StartWeb("DELAYAFTERGAME=0\n", kXBoard + GetParam());
    Browser browser(webPort);
    const Json snapshot = browser.Next();
    ASSERT_EQ(snapshot["type"], "snapshot");
    AppendGame();
    ExpectSavedGames(browser, snapshot["version"]);
}

INSTANTIATE_TEST_SUITE_P(Tournaments, WebTournamentTest,
                         ::testing::Values("tourney_time_loss", "tourney_field",
                                           "tourney_field_ponder"));

// The tournament pages follow the PGN file as it grows; files whose path has a
// segment starting with "." are never served.
TEST_F(WebListenerTest, TournamentPagesFollowThePgnAndDotfilesStayHidden) {
    dir.Write("index.html", "<p>page</p>");
    dir.Write(".secret", "key");
    const std::string pgn = FileText(std::string(LANTREL_FIXTURES) + "/tourney/xboard_tourney.pgn");
    dir.Write("t.pgn", pgn.substr(0, pgn.find("[Event", 1)));
    StartWeb("TOURNEYPGN=t.pgn\nWEBEVENTFEEDS=ws://pc2:8080\nWEBROOT=" + dir.path() + "\n");
    auto get = [&](const std::string& path) {
        TcpPeer peer(webPort);
        peer.Send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        return peer.Receive();
    };
    // The game list's lines start with the game's number, right-aligned in five.
    auto listed = [&](const char* number) { return Contains(get("/gamelist.txt"), number); };
    ASSERT_TRUE(Eventually([&] { return listed("\n    1"); }, 10));
    EXPECT_FALSE(listed("\n    2"));
    dir.Write("t.pgn", pgn);
    EXPECT_TRUE(Eventually([&] { return listed("\n    9"); }, 10));
    const std::string crosstable = get("/crosstable.txt");
    EXPECT_EQ(crosstable.substr(0, 15), "HTTP/1.1 200 OK");
    // Readable by an event page on another server, whose boards the page's
    // policy lets it reach over WebSocket and HTTP alike.
    EXPECT_TRUE(Contains(crosstable, "Access-Control-Allow-Origin: *\r\n"));
    EXPECT_TRUE(Contains(get("/"), "connect-src 'self' ws://pc2:8080 http://pc2:8080;"));
    EXPECT_EQ(get("/.secret").substr(0, 12), "HTTP/1.1 404");
    EXPECT_EQ(get("/").substr(0, 15), "HTTP/1.1 200 OK");
}

// Where a request ends is never in doubt: a Transfer-Encoding that does not
// end with chunked, or HTTP/1.1 without Host, is one 400 and the connection
// closed, never a second request read out of the body.
TEST_F(WebListenerTest, RequestsOfDoubtfulLengthAreOneRefusal) {
    StartWeb();
    const std::string smuggled = "GET /state.json HTTP/1.1\r\nHost: x\r\n\r\n";
    for (const std::string head :
         {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: xchunked\r\n",
          "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, identity\r\n",
          "POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: identity\r\n", "GET / HTTP/1.1\r\n"}) {
        TcpPeer peer(webPort);
        peer.Send(head + "\r\n" + smuggled);
        const std::string answer = peer.Receive();
        EXPECT_EQ(CountOf(answer, "HTTP/1.1 "), 1) << head << answer;
        EXPECT_TRUE(StartsWith(answer, "HTTP/1.1 400 ")) << head << answer;
    }
    TcpPeer sound(webPort);
    sound.Send(smuggled);
    EXPECT_TRUE(StartsWith(sound.Receive(1), "HTTP/1.1 200 "));
}

// From one address, feeds count apart from page loads: with room for two
// of each, a third feed is answered 503, and a connection that waits for
// its next request gives way to a new one. (An address of each, as new
// connections from one also come at a bounded rate.)
TEST_F(WebListenerTest, OneAddressHasItsFeedsAndItsPageLoads) {
    StartWeb("WEBMAXPERADDRESS=2\n");
    const std::string feeds = "127.0.0.2", pages = "127.0.0.3";
    Browser first(webPort, "/feed", feeds), second(webPort, "/feed", feeds);
    ASSERT_EQ(first.Next()["type"], "snapshot");
    ASSERT_EQ(second.Next()["type"], "snapshot");
    TcpPeer third(webPort, 0, feeds);
    third.Send(
        "GET /feed HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
    const std::string refused = third.Receive();
    EXPECT_TRUE(StartsWith(refused, "HTTP/1.1 503 ")) << refused;
    EXPECT_TRUE(refused.ends_with("\r\n\r\nToo many browsers from this address follow the feed\n"))
        << refused;
    const std::string page = "GET /state.json HTTP/1.1\r\nHost: x\r\n\r\n";
    TcpPeer idleA(webPort, 0, pages), idleB(webPort, 0, pages);
    for (TcpPeer* idle : {&idleA, &idleB}) {
        idle->Send(page);
        EXPECT_TRUE(StartsWith(idle->Receive(1), "HTTP/1.1 200 "));
    }
    TcpPeer newcomer(webPort, 0, pages);
    newcomer.Send(page);
    EXPECT_TRUE(StartsWith(newcomer.Receive(1), "HTTP/1.1 200 "));
}

TEST_F(WebListenerTest, BrowsersAreToldTheServerGoesAway) {
    StartWeb();
    Browser browser(webPort);
    ASSERT_EQ(browser.Next()["type"], "snapshot");
    EXPECT_EQ(std::exchange(server, nullptr)->Stop(), 0);
    // The messages sent before it (the viewers' count), then the close frame.
    for (int n = 0; n < 10 && !browser.Next().is_null(); ++n) {
    }
    EXPECT_EQ(browser.CloseCode(), 1001);  // going away
}

TEST_F(WebListenerTest, ResumeSendsTheMissingDeltasOfThisRunOnly) {
    StartWeb();
    AppendGame();
    const Json state = FinalState();
    const std::int64_t version = state["version"];
    const std::string since = "&since=" + std::to_string(version - 5);

    Browser resumed(webPort, "/feed?run=" + state["run"].get<std::string>() + since);
    for (std::int64_t v = version - 4; v <= version; ++v) {
        const Json delta = resumed.Next();
        EXPECT_EQ(delta["version"], v);
        EXPECT_NE(delta["type"], "snapshot");
    }
    Browser otherRun(webPort, "/feed?run=1" + since);
    const Json first = otherRun.Next();
    EXPECT_EQ(first["type"], "snapshot");
    EXPECT_GE(first["version"], version);
}

TEST_F(WebListenerTest, BrowserChatReachesUdpViewersOneLineASecond) {
    StartWeb("WEBCHAT=1\n");
    LiveViewer& viewer = AddViewer(2, "Bob");
    std::vector<std::string> heard;
    viewer.client->onMessage = [&](const std::string& text) { heard.push_back(text); };
    viewer.client->Logon();
    ASSERT_TRUE(viewer.client->PollUntil([&] { return viewer.picture().loggedOn; }, 10));

    Browser browser(webPort);
    const std::string chat = R"({"type":"chat","name":"Ann","text":"hi"})";
    ASSERT_TRUE(browser.Say(chat));
    ASSERT_TRUE(browser.Say(chat));
    EXPECT_EQ(browser.NextOf("error")["text"], "One chat line a second, please.");
    EXPECT_TRUE(viewer.client->PollUntil(
        [&] { return std::count(heard.begin(), heard.end(), "CHAT: [Ann (web)] - hi") == 1; }, 5));
}

TEST_F(WebListenerTest, BadClientsAreShutOutWhileAGoodOneGetsEverything) {
    StartWeb();
    Browser good(webPort);
    const Json snapshot = good.Next();

    Browser big(webPort);
    big.SendRaw(ClientFrame(std::string(1 << 20, 'x')));
    while (!big.Next().is_null()) {
    }
    EXPECT_TRUE(big.Ended()) << "a 1 MB frame left the connection open";

    // Frames sent with the upgrade request, before its answer: a ping is
    // answered, then an unmasked frame ends the connection with 1002.
    const std::string upgrade =
        "GET /feed HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    TcpPeer early(webPort);
    early.Send(upgrade + std::string("\x89\x82\0\0\0\0hi", 8) + "\x81\x01x");
    const std::string answer = early.Receive();
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 101");
    EXPECT_TRUE(answer.ends_with("\x8a\x02hi\x88\x02\x03\xea")) << answer;

    TcpPeer garbage(webPort);
    garbage.Send("\x16\x03\x01\x02\x00 not http\r\n\r\n");
    EXPECT_EQ(garbage.Receive().substr(0, 12), "HTTP/1.1 400");

    // Error answers pile up at a client that never reads until it is dropped.
    TcpPeer deaf(webPort, 4096);
    deaf.Send(upgrade);
    std::string batch;
    for (int i = 0; i < 10000; ++i)
        batch += ClientFrame("x");
    int batches = 0;
    while (batches < 200 && deaf.Send(batch))
        ++batches;
    EXPECT_LT(batches, 200) << "a client that never reads was not dropped";

    AppendGame();
    ExpectSavedGames(good, snapshot["version"]);
}

// Knights out and back, legal for as long as a game need be: its ply-th move (0 first).
const char* KnightMove(int ply) {
    static const char* const kCycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    return kCycle[ply % 4];
}

// What the engine on move at `ply` of a knights' game writes to XBoard's log
// after `head`: a thinking line of `words` moves, its move first.
std::string KnightHead(int ply) {
    return std::to_string(100 + ply) + (ply % 2 ? " <second: " : " <first : ");
}
std::string KnightThinking(int ply, int words) {
    std::string text = KnightHead(ply) + "30 +20 " + std::to_string(ply) + " 1000000";
    for (int w = 0; w < words; ++w)
        text += std::string(" ") + KnightMove(ply + w);
    return text + "\n";
}

// Plies [from, to) of a knights' game, each move after its thinking line.
std::string KnightPlies(int from, int to, int words) {
    std::string text;
    for (int ply = from; ply < to; ++ply)
        text += KnightThinking(ply, words) + KnightHead(ply) + "move " + KnightMove(ply) + "\n";
    return text;
}

class HugeThinkingTest : public WebListenerTest {
  protected:
    static constexpr int kHugeLines = 64;  // the first plies, of lines of 5,000 moves

    // Once /state.json has `plies` moves, a browser that comes in gets them
    // all in its snapshot, each with its line as the feed cuts it, then the
    // next moves (after lines of `words` moves) as they are played.
    void ExpectNewcomerFollows(int plies, int words) {
        ASSERT_TRUE(StateReaches(plies));
        Browser browser(webPort);
        const std::string text = browser.NextText(10).value_or("");
        ASSERT_FALSE(text.empty())
            << "no snapshot at " << plies << " plies; connection "
            << (browser.Ended() ? "ended" : "open") << ", close code " << browser.CloseCode();
        snapshotBytes = text.size();
        RecordProperty("snapshot_bytes_at_" + std::to_string(plies), std::to_string(text.size()));
        const Json snapshot = Json::parse(text);
        ASSERT_EQ(snapshot["type"], "snapshot");
        ASSERT_EQ(snapshot["moves"].size(), std::size_t(plies));
        for (int ply = 0; ply < plies; ++ply) {
            const std::string pv = snapshot["moves"][ply]["pv"];
            EXPECT_TRUE(StartsWith(pv, KnightMove(ply))) << ply;
            EXPECT_LE(pv.size(), kFeedPvBytes + std::strlen(kPvCutMark)) << ply;
            EXPECT_EQ(pv.ends_with(kPvCutMark), ply < kHugeLines) << ply;
        }
        std::ofstream(dir.File("gui.log"), std::ios::app) << KnightPlies(plies, plies + 4, words);
        for (int ply = plies + 1; ply <= plies + 4; ++ply)
            EXPECT_EQ(browser.NextOf("move")["ply"], ply);
    }
    std::size_t snapshotBytes = 0;

  private:
    // True once /state.json has `plies` moves; false only when it has had no
    // new one for 30 s (a sanitizer build plays a long game slowly, and each
    // look at a megabyte of state costs the server too: one every half second).
    bool StateReaches(int plies) {
        std::size_t seen = 0;
        auto moved = std::chrono::steady_clock::now();
        Eventually(
            [&] {
                const std::size_t now = State()["moves"].size();
                if (now != seen) moved = std::chrono::steady_clock::now();
                seen = now;
                return seen == std::size_t(plies) ||
                       std::chrono::steady_clock::now() - moved > std::chrono::seconds(30);
            },
            600, std::chrono::milliseconds(500));
        return seen == std::size_t(plies);
    }
};

// An engine that writes every move of a 5,000-move line (25 KB) before each
// of its moves: sixty such moves once made a snapshot of 1.5 MB, over what a
// connection may have waiting, and every browser that came afterwards was
// dropped before its first message. The UDP viewers still get every line
// whole. Then a game so long that its snapshot is over that limit even with
// the lines cut: a newcomer is never refused for its snapshot.
TEST_F(HugeThinkingTest, NewcomersGetTheSnapshotAndWhatFollows) {
    const std::string header =
        "StartChildProcess (dir=.) knightA\nStartChildProcess (dir=.) knightB\n"
        "1 >first : new\n2 >second: new\n";
    dir.Write("knights.debug", header + KnightPlies(0, 60, 5000));
    StartWeb("", dir.File("knights"));
    LiveViewer& viewer = AddViewer(2, "Bob");
    int moves = 0;
    std::size_t longest = 0;
    viewer.client->onMessage = [&](const std::string& text) {
        moves += StartsWith(text, "WMOVE:") || StartsWith(text, "BMOVE:");
        if (StartsWith(text, "WPV: ")) longest = std::max(longest, text.size());
    };
    viewer.client->Logon();
    ASSERT_TRUE(viewer.client->PollUntil([&] { return viewer.picture().loggedOn; }, 10));
    AppendGame();
    ASSERT_TRUE(viewer.client->PollUntil([&] { return moves == 60; }, 30)) << moves;
    std::ofstream(dir.File("gui.log"), std::ios::app) << KnightThinking(60, 5000);
    EXPECT_TRUE(viewer.client->PollUntil([&] { return longest > 25000; }, 10)) << longest;
    ExpectNewcomerFollows(60, 5000);

    std::ofstream(dir.File("gui.log"), std::ios::app) << KnightPlies(64, 2400, int(kFeedPvMoves));
    ExpectNewcomerFollows(2400, int(kFeedPvMoves));
    EXPECT_GT(snapshotBytes, WebServer::kMaxQueuedBytes);
}

}  // namespace
}  // namespace lantrel
