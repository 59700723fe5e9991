// A Server on the fake platform, and short ways to play viewers against it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/server.h"
#include "net/net.h"
#include "support/fake_server.h"
#include "text/text.h"

namespace lantrel::testing {

constexpr IpAddress kAlice = MakeIp(10, 0, 0, 2);
constexpr IpAddress kBob = MakeIp(10, 0, 0, 3);
constexpr IpAddress kCarol = MakeIp(10, 0, 0, 4);
constexpr IpAddress kStranger = MakeIp(10, 0, 0, 99);

inline IpAddress Viewer(int n) {
    return MakeIp(10, 1, static_cast<unsigned>(n / 250), n % 250 + 1);
}

class NetTest : public ::testing::Test {
  protected:
    // One network turn with `text` arriving from `from`.
    void Receive(IpAddress from, const std::string& text) {
        f.socket.Queue(from, text);
        ServiceNetwork(f->net);
    }
    // A logon whose welcome is acknowledged: what follows reaches the viewer.
    void Logon(IpAddress from, const std::string& name) {
        Receive(from, "LOGONv15:" + name);
        AcknowledgeAll(f, from);
    }
    // Texts sent to `to` since the last Forget.
    std::vector<std::string> Sent(IpAddress to) const { return f.socket.SentTo(to); }
    void Forget() { f.socket.sent.clear(); }
    // Every framed text sent to `to`, acknowledged by `to`.
    void AckAll(IpAddress to) {
        for (const auto& text : Sent(to)) {
            if (text.empty() || text[0] != '<') continue;
            f.socket.Queue(to, "ACK:" + text.substr(1, text.find('>') - 1));
        }
        ServiceNetwork(f->net);
    }
    // Network turns until `seconds` of fake time have passed.
    void Idle(double seconds) {
        double end = f.clock.Monotonic() + seconds;
        while (f.clock.Monotonic() < end)
            ServiceNetwork(f->net);
    }
    std::string Name(int slot) const { return f.server->net.clients.slots[slot].name; }
    IpAddress Ip(int slot) const { return f.server->net.clients.slots[slot].ip; }
    std::vector<std::string> OutDat() const { return SplitLines(f.dir.Read("out.dat")); }

    FakeServer f;
};

}  // namespace lantrel::testing
