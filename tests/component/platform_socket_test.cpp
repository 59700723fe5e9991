// A batch of datagrams: each reaches its receiver whole, head and body, in
// order, and one that the system refuses leaves the others going. A burst is
// received with one wait.
#include <gtest/gtest.h>

#include "platform/fakes.h"
#include "platform/posix.h"
#include "support/test_support.h"

namespace lantrel {
namespace {

TEST(UdpSocketTest, ABatchReachesEveryReceiverPastARefusedDatagram) {
    UdpSocket server;
    ASSERT_EQ(server.Open(0, kLocalViewerIp, 100), SocketError::kOk);
    // Two viewers on the same port at addresses of their own, as on the internet.
    const auto port = static_cast<std::uint16_t>(testing::FreeUdpPort());
    UdpSocket first, second;
    ASSERT_EQ(first.Open(port, MakeIp(127, 0, 0, 2), 100), SocketError::kOk);
    ASSERT_EQ(second.Open(port, MakeIp(127, 0, 0, 3), 100), SocketError::kOk);

    const std::string body = "FEN: rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    std::vector<OutgoingDatagram> batch = {
        {MakeIp(127, 0, 0, 2), "< 1>", body},
        // A broadcast address without permission to broadcast: refused.
        {MakeIp(255, 255, 255, 255), "< 2>", body},
        {MakeIp(127, 0, 0, 3), "< 3>", body},
        {MakeIp(127, 0, 0, 2), "", "WTIME: 100"},
    };
    server.SendBatch(port, batch);
    EXPECT_EQ(batch[0].result, SocketError::kOk);
    EXPECT_EQ(batch[1].result, SocketError::kInProgress);
    EXPECT_EQ(batch[2].result, SocketError::kOk);
    EXPECT_EQ(batch[3].result, SocketError::kOk);

    Datagram got;
    ASSERT_EQ(first.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "< 1>" + body);
    ASSERT_EQ(first.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "WTIME: 100");
    ASSERT_EQ(second.Receive(2000, got), SocketError::kOk);
    EXPECT_EQ(got.text, "< 3>" + body);
}

TEST(UdpSocketTest, ABurstIsTakenAfterOneWait) {
    FakeEventWait wait;  // wakes once for the socket, then only times out
    wait.wakes = {WakeReason::kReadable};
    UdpSocket server(wait);
    const auto port = static_cast<std::uint16_t>(testing::FreeUdpPort());
    ASSERT_EQ(server.Open(port, kLocalViewerIp, 100), SocketError::kOk);
    UdpSocket viewer;
    ASSERT_EQ(viewer.Open(0, kLocalViewerIp, 100), SocketError::kOk);
    for (const char* ack : {"ACK: 1", "ACK: 2"})
        ASSERT_EQ(viewer.Send(kLocalViewerIp, port, ack), SocketError::kOk);

    Datagram got;
    for (const char* ack : {"ACK: 1", "ACK: 2"}) {
        ASSERT_EQ(server.Receive(100, got), SocketError::kOk);
        EXPECT_EQ(got.text, ack);
    }
    EXPECT_EQ(server.Receive(100, got), SocketError::kTimedOut);
    EXPECT_TRUE(got.text.empty());
}

}  // namespace
}  // namespace lantrel
