// lantrel-relay while what it links is down: it tries again on a backoff,
// says once that a link is lost and once that it is back, and takes next to no
// processor time while it waits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "feed_replay_support.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

// The processor seconds a process has used so far (user and system).
double CpuSecondsOf(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k)
        if (k >= 14) ticks += std::stol(field);  // utime, stime
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TEST(RelayOutageTest, OneLineEachWayAndNoBusyLoop) {
    TempDir dir;
    const std::string nats = std::to_string(FreeTcpPort());
    const std::string feed = std::to_string(FreeTcpPort());
    ChildProcess relay({LANTREL_RELAY_BIN, "--feed", "ws://127.0.0.1:" + feed + "/feed", "--nats",
                        "nats://127.0.0.1:" + nats, "--channel", "outage"},
                       dir.File("relay.out"));
    std::this_thread::sleep_for(std::chrono::seconds(6));  // NATS down
    ChildProcess server({"/usr/sbin/nats-server", "-js", "-a", "127.0.0.1", "-p", nats, "-sd",
                         dir.File("jetstream")},
                        dir.File("nats.out"));
    // Back on the next try (at most 16 s after the first), then the feed is
    // down in its turn.
    ASSERT_TRUE(WaitForFileText(dir.File("relay.out"), "cannot reach the feed", 30))
        << dir.Read("relay.out");
    std::this_thread::sleep_for(std::chrono::seconds(4));  // the feed down
    const double cpu = CpuSecondsOf(relay.pid());
    relay.Stop();

    std::vector<std::string> said;
    for (const std::string& line : SplitLines(dir.Read("relay.out")))
        said.push_back(line.substr(0, line.find_first_of("(:0123456789", 15)));
    EXPECT_EQ(said,
              (std::vector<std::string>{
                  "lantrel-relay: cannot reach NATS ", "lantrel-relay: NATS reachable again after ",
                  "lantrel-relay: the stream is empty", "lantrel-relay: cannot reach the feed"}))
        << dir.Read("relay.out");
    // A busy loop takes a whole core: ten seconds of it.
    EXPECT_LT(cpu, 1.0);
}

}  // namespace
}  // namespace lantrel
