#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/test_support.h"
#include "text/text.h"

namespace lantrel {
namespace {

using namespace lantrel::testing;

// Waits until `path` holds `text`, or gives up after a few seconds.
bool WaitForText(const TempDir& dir, const std::string& name, const std::string& text) {
    return Eventually([&] { return dir.Read(name).find(text) != std::string::npos; }, 5);
}

TEST(ServerBinaryTest, OpensItsPortAndRefusesASecondServer) {
    TempDir dir;
    int port = FreeUdpPort();
    dir.Write("server.ini", "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n");
    ChildProcess server({LANTREL_SERVER_BIN, "--headless", "--dir", dir.path()},
                        dir.File("stdout.txt"));
    ASSERT_TRUE(WaitForText(dir, "server.log", "Delay after game="));
    // The journal is written before the port is opened: wait until it is taken.
    ASSERT_TRUE(WaitForPortTaken(port));

    // A connected UDP socket reports a closed port (ICMP refusal) as ECONNREFUSED
    // on its next call; an open port reports nothing.
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_EQ(::send(fd, "PING", 4, 0), 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(::send(fd, "PING", 4, 0), 4) << std::strerror(errno);
    ::close(fd);

    TempDir second;
    second.Write("server.ini", "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\n");
    ChildProcess other({LANTREL_SERVER_BIN, "--headless", "--dir", second.path()},
                       second.File("stdout.txt"));
    int status = other.Wait(10);
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    EXPECT_NE(second.Read("stdout.txt").find("Open UDP Error 57"), std::string::npos);
    const std::string why = "UDP port " + std::to_string(port) + " cannot be opened: ";
    EXPECT_TRUE(lantrel::Contains(second.Read("stdout.txt"), why + "Address already in use"));
    EXPECT_TRUE(lantrel::Contains(second.Read("server.log"), why));

    EXPECT_TRUE(server.Running());
    EXPECT_EQ(server.Stop(), 0);  // SIGTERM ends the server cleanly
}

// A web port another program holds: said in server.log, and the UDP viewers
// are served all the same.
TEST(ServerBinaryTest, AWebPortTakenIsReportedAndTheServerGoesOn) {
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string webPort = std::to_string(ntohs(address.sin_port));

    TempDir dir;
    const int port = FreeUdpPort();
    dir.Write("server.ini", "PORT=" + std::to_string(port) +
                                "\nBIND=127.0.0.1\nWEBPORT=" + webPort + "\nWEBBIND=127.0.0.1\n");
    ChildProcess server({LANTREL_SERVER_BIN, "--headless", "--dir", dir.path()},
                        dir.File("stdout.txt"));
    EXPECT_TRUE(WaitForText(
        dir, "server.log",
        "Web listener: cannot listen on 127.0.0.1:" + webPort + ": Address already in use"));
    EXPECT_TRUE(WaitForPortTaken(port));
    EXPECT_TRUE(server.Running());
    EXPECT_EQ(server.Stop(), 0);
    ::close(holder);
}

TEST(ServerBinaryTest, VersionAndHelp) {
    TempDir dir;
    ChildProcess version({LANTREL_SERVER_BIN, "--version"}, dir.File("v.txt"));
    EXPECT_EQ(version.Wait(10), 0);
    EXPECT_EQ(dir.Read("v.txt"), "Lantrel1Server v1.72b for Winboard & Arena\n");
    ChildProcess bad({LANTREL_SERVER_BIN, "--bogus"}, dir.File("b.txt"));
    EXPECT_EQ(bad.Wait(10), 2);
    EXPECT_NE(dir.Read("b.txt").find("Usage: lantrel-server"), std::string::npos);
    ChildProcess noDir({LANTREL_SERVER_BIN, "--dir"}, dir.File("d.txt"));
    EXPECT_EQ(noDir.Wait(10), 2);
    EXPECT_EQ(SplitLines(dir.Read("d.txt")).front(), "lantrel-server: --dir needs a directory");
}

}  // namespace
}  // namespace lantrel
