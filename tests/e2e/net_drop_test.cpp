// A viewer that stops answering is dropped once it has been silent for a minute
// and a message to it has been given up. This test runs for about 70 seconds.
#include "live_viewers.h"

namespace lantrel::testing {
namespace {

using DropTest = LiveServerTest;

TEST_F(DropTest, SilentViewerIsDroppedWithTheLogBlock) {
    StartServer();
    auto& anna = AddViewer(2, "Anna");
    auto& ben = AddViewer(3, "Ben");
    auto& carl = AddViewer(4, "Carl");
    for (auto& v : viewers)
        v->client->Logon();
    ASSERT_TRUE(PollAll([&] { return anna.HasUser("Carl") && carl.HasUser("Ben"); }, 10));
    anna.client->Chat("last words for Carl");
    ASSERT_TRUE(PollAll([&] { return carl.HasChat(" [Anna] - last words for Carl"); }, 10));
    PollAll([] { return false; }, 0.5);  // let Carl's acknowledgements arrive

    // From here on Carl neither reads nor sends anything.
    viewers.pop_back();
    const auto silentSince = std::chrono::steady_clock::now();

    // Anna and Ben keep talking (PING every 20 s) but send Carl nothing for 46 s,
    // so that no chat line to him runs into its own, earlier give-up.
    PollAll([] { return false; }, 46);
    // Then a rename: its DELUSER/ADDUSER to Carl are given up after about 16 s,
    // when Carl has been silent for more than a minute.
    anna.client->Send("CHANGE:Anja");
    ASSERT_TRUE(PollAll([&] { return ben.HasChat(" [SERVER]- Lost connection with Carl"); }, 30));
    EXPECT_GT(std::chrono::steady_clock::now() - silentSince, std::chrono::seconds(60));

    // The others hear of it in datagrams of their own.
    EXPECT_TRUE(PollAll(
        [&] {
            return !anna.HasUser("Carl") && anna.HasUser("Anja") &&
                   anna.HasChat(" [SERVER] - Carl has left!");
        },
        10));
    auto log = LogLines();
    auto at = std::find(log.begin(), log.end(), std::string(31, '-'));
    ASSERT_NE(at, log.end());
    ASSERT_GE(log.end() - at, 4);
    EXPECT_EQ(std::vector<std::string>(at, at + 4),
              (std::vector<std::string>{std::string(31, '-'), FixedWidth("Carl", 30),
                                        "Disconnected due to no response!", std::string(32, '=')}));
    // Anna and Ben answered everything and stay.
    EXPECT_TRUE(anna.HasUser("Ben"));
    EXPECT_TRUE(ben.HasUser("Anja"));
}

}  // namespace
}  // namespace lantrel::testing
