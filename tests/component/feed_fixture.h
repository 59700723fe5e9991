// A Server on the fake platform fed log lines one by one through ProcessLogLine,
// with one viewer logged on whose datagrams are read back.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/app.h"
#include "feed/feed.h"
#include "net/net.h"
#include "support/fake_server.h"

namespace lantrel::testing {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 2);

class FeedTest : public ::testing::Test {
  protected:
    // Starts the server on `ini` with the game header already sent, logs the
    // viewer on and forgets what was sent so far.
    void StartWithViewer(const std::string& ini) {
        f.dir.Write("server.ini", ini);
        ASSERT_EQ(StartServer(*f), SocketError::kOk);
        f->feed.game.headerSent = true;
        f.socket.Queue(kViewer, "LOGONv15:Viewer");
        ServiceNetwork(f->net);
        AcknowledgeAll(f, kViewer);
        f.socket.sent.clear();
    }
    void Lines(std::initializer_list<std::string> lines) {
        for (const auto& line : lines)
            ProcessLogLine(f->feed, line);
    }
    // What the viewer received, frames removed.
    std::vector<std::string> Received() const {
        std::vector<std::string> texts;
        for (auto text : f.socket.SentTo(kViewer)) {
            if (!text.empty() && text[0] == '<') text = text.substr(text.find('>') + 1);
            texts.push_back(text);
        }
        return texts;
    }
    FakeServer f;
};

}  // namespace lantrel::testing
