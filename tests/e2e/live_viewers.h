// The real lantrel-server in a temporary directory, and viewers on loopback
// addresses 127.0.0.2, 127.0.0.3, ... that talk to it over real UDP.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/viewer_client.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "support/test_support.h"
#include "text/text.h"

namespace lantrel::testing {

struct LiveViewer {
    LiveViewer(int lastByte, int port, const std::string& name, ViewerSettings settings = {}) {
        address = MakeIp(127, 0, 0, static_cast<unsigned>(lastByte));
        opened = socket.Open(static_cast<std::uint16_t>(port), address, 100);
        settings.server = kLocalViewerIp;
        settings.port = static_cast<std::uint16_t>(port);
        settings.name = name;
        client = std::make_unique<ViewerClient>(socket, clock, settings);
    }
    const GamePicture& picture() const { return client->picture(); }
    bool HasUser(const std::string& name) const {
        const auto& u = picture().users;
        return std::find(u.begin(), u.end(), name) != u.end();
    }
    bool HasChat(const std::string& line) const { return ChatCount(line) > 0; }
    long ChatCount(const std::string& line) const {
        const auto& c = picture().chat;
        return std::count(c.begin(), c.end(), line);
    }
    bool HasNotice(const std::string& text) const {
        const auto& n = picture().notices;
        return std::find(n.begin(), n.end(), text) != n.end();
    }

    IpAddress address = 0;
    SocketError opened = SocketError::kNotUdpChannel;  // until opened
    SystemClock clock;
    UdpSocket socket;
    std::unique_ptr<ViewerClient> client;
};

class LiveServerTest : public ::testing::Test {
  protected:
    // Starts the server with these server.ini lines after PORT=, BIND= and DELAY=.
    // A port found free may be taken by another program before the server binds
    // it; the server then ends with "Open UDP Error", and starts again on another.
    void StartServer(const std::string& extraIni = "") {
        for (int attempt = 1;; ++attempt) {
            port = FreeUdpPort();
            dir.Write("server.ini",
                      "PORT=" + std::to_string(port) + "\nBIND=127.0.0.1\nDELAY=20\n" + extraIni);
            std::vector<std::string> command = launcher;
            command.insert(command.end(), {LANTREL_SERVER_BIN, "--headless", "--dir", dir.path()});
            server = std::make_unique<ChildProcess>(command, dir.File("stdout.txt"));
            ASSERT_TRUE(Eventually(
                [&] { return Contains(dir.Read("server.log"), "Delay after game="); }, 10))
                << dir.Read("stdout.txt");
            // Bound, or ended because the port was taken first.
            ASSERT_TRUE(Eventually([&] { return !server->Running() || PortTaken(port); }, 10))
                << dir.Read("stdout.txt");
            if (!server->Running() && attempt < 3 &&
                Contains(dir.Read("stdout.txt"), "Open UDP Error"))
                continue;
            ASSERT_TRUE(server->Running()) << dir.Read("stdout.txt");
            return;
        }
    }
    void TearDown() override {
        if (server) {
            EXPECT_EQ(server->Stop(), 0);
        }
    }
    LiveViewer& AddViewer(int lastByte, const std::string& name, ViewerSettings settings = {}) {
        viewers.push_back(std::make_unique<LiveViewer>(lastByte, port, name, settings));
        EXPECT_EQ(viewers.back()->opened, SocketError::kOk) << "127.0.0." << lastByte;
        return *viewers.back();
    }
    // Serves every viewer until `done` holds or `seconds` pass.
    bool PollAll(const std::function<bool()>& done, double seconds) {
        auto served = [&] {
            if (done()) return true;
            for (auto& v : viewers)
                v->client->Poll(v == viewers.front() ? 5 : 0);
            return false;
        };
        return Eventually(served, seconds, std::chrono::milliseconds(0));
    }
    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
    std::vector<std::string> LogLines() const { return SplitLines(dir.Read("server.log")); }

    TempDir dir;
    int port = 0;
    // The words before the server's own in its command ("prlimit", "--nofile=1024:1024", "--").
    std::vector<std::string> launcher;
    std::unique_ptr<ChildProcess> server;
    std::vector<std::unique_ptr<LiveViewer>> viewers;
};

}  // namespace lantrel::testing
