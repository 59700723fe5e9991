// The socket's wait: only the watched log ends it early, however busy its folder,
// and a wake-up with nothing to read ends the receive instead of blocking it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/fakes.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "support/fake_server.h"

namespace lantrel {
namespace {

using testing::TempDir;
using Steady = std::chrono::steady_clock;

// Receives with a wait of `waitMs` while `written` is appended to every few
// milliseconds; returns how long the receive took.
Steady::duration ReceiveWhileWriting(const TempDir& dir, const std::string& written, int waitMs) {
    PosixEventWait wait;
    UdpSocket socket(wait);
    EXPECT_EQ(socket.Open(0, kLocalViewerIp, 100), SocketError::kOk);
    wait.WatchFile(dir.File("gui.log"));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        while (!done) {
            AppendBytes(dir.File(written), "x\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Datagram datagram;
    const Steady::time_point start = Steady::now();
    EXPECT_EQ(socket.Receive(waitMs, datagram), SocketError::kTimedOut);
    const Steady::duration took = Steady::now() - start;
    done = true;
    writer.join();
    EXPECT_TRUE(datagram.text.empty());
    return took;
}

TEST(EventWaitTest, OnlyTheWatchedLogEndsTheWaitEarly) {
    TempDir dir;
    for (const char* ownFile : {"server.log", "out.dat", "debug.tmp"})
        EXPECT_GE(ReceiveWhileWriting(dir, ownFile, 400), std::chrono::milliseconds(400))
            << ownFile;
    EXPECT_LT(ReceiveWhileWriting(dir, "gui.log", 5000), std::chrono::milliseconds(2500));
}

TEST(EventWaitTest, WakeWithoutDatagramEndsTheReceive) {
    FakeEventWait wait;
    wait.wakes = {WakeReason::kReadable, WakeReason::kFileChanged, WakeReason::kStopRequested};
    UdpSocket socket(wait);
    ASSERT_EQ(socket.Open(0, kLocalViewerIp, 100), SocketError::kOk);
    Datagram datagram;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(socket.Receive(60000, datagram), SocketError::kTimedOut);
        EXPECT_TRUE(datagram.text.empty());
    }
}

}  // namespace
}  // namespace lantrel
