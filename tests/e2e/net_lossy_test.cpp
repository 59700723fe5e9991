// Reliable delivery over a lossy network: a viewer that loses 30% of what it
// receives and of the ACKs it sends follows a whole recorded game. Every numbered
// message meant for it must either arrive whole (and be acted upon once) or be
// counted by the server as given up. Runs for about a minute.
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "live_viewers.h"

namespace lantrel::testing {
namespace {

std::string ReadFixture(const std::string& name) {
    std::ifstream in(std::string(LANTREL_FIXTURES) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using LossyTest = LiveServerTest;

TEST_F(LossyTest, NothingIsLostSilently) {
    const std::string log = ReadFixture("xboard/sf_sf.debug");
    ASSERT_FALSE(log.empty());
    // The lines up to the first "new" go in before the start: the server's first
    // read stays silent about moves until it has sent the game header.
    std::size_t primerEnd = log.find('\n', log.find(" : new")) + 1;
    dir.Write("gui.log", log.substr(0, primerEnd));
    StartServer("PATH=" + dir.File("gui.log") + "\nDELAYAFTERMOVE=0\nDELAYAFTERGAME=0\n");

    ViewerSettings quiet;
    quiet.pingEverySeconds = 0;  // so every broadcast numbers the two viewers n, n + 1
    auto& steady = AddViewer(2, "Steady", quiet);
    steady.client->Logon();
    ASSERT_TRUE(PollAll([&] { return steady.picture().loggedOn; }, 10));
    ViewerSettings lossy = quiet;
    lossy.recordActedOn = true;
    lossy.lossSeed = 20261208;
    auto& flaky = AddViewer(3, "Flaky", lossy);
    flaky.client->Logon();
    ASSERT_TRUE(PollAll([&] { return steady.HasUser("Flaky") && flaky.HasUser("Steady"); }, 10));
    PollAll([] { return false; }, 3);  // the welcome settles before the loss starts

    std::map<SequenceNumber, std::string> toSteady, toFlaky;
    std::vector<std::pair<SequenceNumber, std::string>> flakyFens;  // as acted upon; 0: unnumbered
    steady.client->onNumberedMessage = [&](SequenceNumber seq, const std::string& text) {
        if (seq > 0) toSteady[seq] = text;
    };
    flaky.client->onNumberedMessage = [&](SequenceNumber seq, const std::string& text) {
        if (seq > 0) toFlaky[seq] = text;
        if (StartsWith(text, "FEN: ")) flakyFens.emplace_back(seq, text.substr(5));
    };
    flaky.client->settings().dropReceivedShare = 0.3;
    flaky.client->settings().dropAckShare = 0.3;

    // Feed the game move by move, a little slower than the engines played it.
    std::istringstream rest(log.substr(primerEnd));
    std::string line;
    int plies = 0;
    while (std::getline(rest, line)) {
        AppendBytes(dir.File("gui.log"), line + "\n");
        if (line.find("<first : move ") != std::string::npos ||
            line.find("<second: move ") != std::string::npos) {
            ++plies;
            PollAll([] { return false; }, 0.3);
        }
    }
    ASSERT_GT(plies, 100);

    // The loss ends; wait until nothing awaits an acknowledgement any more.
    flaky.client->settings().dropReceivedShare = 0;
    flaky.client->settings().dropAckShare = 0;
    std::string dropped;
    auto settled = [&] {
        steady.client->picture().chat.clear();
        steady.client->Send("CHAT: <q>");
        PollAll([&] { return steady.picture().chat.size() >= 3; }, 2);
        const auto& chat = steady.picture().chat;
        if (chat.size() < 3 || chat[2] != "[SERVER] Message queue= 0") return false;
        dropped = chat[0];
        return true;
    };
    bool done = false;
    for (int i = 0; i < 60 && !done; ++i) {
        PollAll([] { return false; }, 1);
        done = settled();
    }
    std::string lastAnswer;
    for (const auto& c : steady.picture().chat)
        lastAnswer += c + " | ";
    ASSERT_TRUE(done) << "the re-send queue did not empty: " << lastAnswer;
    ASSERT_TRUE(StartsWith(dropped, "[SERVER] Dropped="));
    const int droppedCount = ParseNumber(dropped.substr(17));

    // Every number the server gave out meanwhile went to one of the two viewers,
    // and the steady one loses nothing: a number it did not get was meant for the
    // lossy one (which, while it is congested, gets unnumbered copies instead). A
    // number the lossy viewer got came in the same broadcast as the steady
    // viewer's number before it, so the texts must agree.
    int paired = 0, missing = 0, garbled = 0;
    const SequenceNumber first = toSteady.begin()->first;
    const SequenceNumber last = toSteady.rbegin()->first + 1;
    for (SequenceNumber seq = first; seq <= last; ++seq) {
        if (toSteady.count(seq)) continue;
        ++paired;
        auto got = toFlaky.find(seq);
        if (got == toFlaky.end()) {
            ++missing;
        } else if (auto twin = toSteady.find(seq - 1);
                   twin == toSteady.end() || twin->second != got->second) {
            ++garbled;
            ADD_FAILURE() << "message " << seq << " arrived as '" << got->second << "'";
        }
    }
    for (const auto& [seq, times] : flaky.client->actedOn())
        EXPECT_EQ(times, 1) << "message " << seq << " acted upon " << times << " times";

    const auto& stats = flaky.client->stats();
    std::cout << "[ lossy    ] plies " << plies << ", numbered messages to the lossy viewer "
              << paired << ", arrived " << paired - missing << ", missing " << missing
              << ", server dropped " << droppedCount << "; datagrams " << stats.datagrams
              << ", lost " << stats.lost << ", repeats " << stats.repeats << ", ACKs lost "
              << stats.acksLost << "\n";
    EXPECT_GT(paired, 300) << "a few hundred reliable messages";
    EXPECT_GT(stats.lost, 0);
    EXPECT_GT(stats.acksLost, 0);
    EXPECT_GT(stats.repeats, 0);
    EXPECT_EQ(garbled, 0);
    EXPECT_LE(missing, droppedCount) << "messages lost without being counted";
    EXPECT_TRUE(steady.HasUser("Flaky"));  // kept: it kept acknowledging
    // The picture shows the newest position that arrived, whatever the order of
    // arrival: the highest number, or an unnumbered one that came after it.
    std::string newestFen;
    SequenceNumber newest = 0;
    for (const auto& [seq, fen] : flakyFens) {
        if (seq != 0 && seq < newest) continue;
        newestFen = fen;
        newest = std::max(newest, seq);
    }
    EXPECT_EQ(flaky.picture().fen, newestFen);
}

}  // namespace
}  // namespace lantrel::testing
