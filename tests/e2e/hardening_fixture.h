// Shared by the hardening tests: the real server on loopback with a control
// viewer that must keep getting answers whatever else arrives, raw peers that
// send any bytes at all, and the server's memory and CPU read from /proc.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "live_viewers.h"

namespace lantrel::testing {

// A server built with AddressSanitizer (the asan preset's, whose tests are
// built with LANTREL_SANITIZED) holds freed memory back in a quarantine of up to
// 256 MB, so its resident memory says nothing about what it keeps: the memory
// bounds are checked in the plain build.
#ifdef LANTREL_SANITIZED
constexpr bool kMemoryBounded = false;
#else
constexpr bool kMemoryBounded = true;
#endif

// Resident memory of a process in kB (VmRSS), or -1 when it is gone.
inline long ResidentKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// User plus system CPU time of a process in seconds, or -1 when it is gone.
inline double CpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long ticks = 0;
    // Fields 3.. follow the command name; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14) ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// How often `part` occurs in `text`.
inline int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The address 127.0.x.y for the n-th extra peer (n = 0, 1, ...), from 127.0.0.10 on,
// never .0 or .255 in the last byte.
inline IpAddress PeerAddress(int n) {
    int index = n + 10;
    return MakeIp(127, 0, static_cast<unsigned>(index / 250),
                  static_cast<unsigned>(index % 250 + 1));
}

// A bare datagram socket on a loopback address: sends whatever bytes a test
// likes to the server and collects every datagram that comes back.
struct RawPeer {
    // `listen`: bind the server's port (to hear its answers); otherwise any port.
    RawPeer(IpAddress ip, int serverPort, bool listen = true) : address(ip), port(serverPort) {
        opened = socket.Open(listen ? static_cast<std::uint16_t>(serverPort) : 0, ip, 0);
    }
    void Send(std::string_view bytes) {
        socket.Send(kLocalViewerIp, static_cast<std::uint16_t>(port), bytes);
    }
    // Every datagram that arrives within `seconds`.
    std::vector<std::string> Collect(double seconds) {
        std::vector<std::string> got;
        ReceiveUntil([](const std::string&) { return false; }, seconds, &got);
        return got;
    }
    // Receives until `done` holds for a datagram, or `seconds` pass; what came is
    // added to `got` when given.
    bool ReceiveUntil(const std::function<bool(const std::string&)>& done, double seconds,
                      std::vector<std::string>* got = nullptr) {
        Datagram d;
        auto received = [&] {
            if (socket.Receive(10, d) != SocketError::kOk) return false;
            if (got) got->push_back(d.text);
            return done(d.text);
        };
        return Eventually(received, seconds, std::chrono::milliseconds(0));
    }

    // Logs on as `name` and acknowledges the welcome; true once logged on.
    bool LogOn(const std::string& name) {
        Send("LOGONv15:" + name);
        bool on = false;
        ReceiveUntil(
            [&](const std::string& t) {
                on = on || t == "LOGON SUCCESSFUL";
                Frame frame = ParseFrame(t);
                if (frame.seq != 0) Send(AckText(frame.seq));
                return false;
            },
            0.5);
        return on;
    }

    IpAddress address;
    int port;
    SocketError opened = SocketError::kNotUdpChannel;  // until opened
    UdpSocket socket;
};

inline const std::string kVersionAnswer = "CHAT:[SERVER] Version 1.72b (November 2008)";

class HardeningTest : public LiveServerTest {
  protected:
    // Starts the server (with these server.ini lines) and logs on the control
    // viewer at 127.0.0.2; notes the server's memory once it is up.
    void StartWithControl(const std::string& extraIni = "") {
        StartServer(extraIni);
        ASSERT_FALSE(HasFatalFailure());
        LogOnControl();
    }

    // The control viewer at 127.0.0.2, not yet logged on.
    void AddControl() {
        ViewerSettings settings;
        settings.pingEverySeconds = 5;
        control = &AddViewer(2, "Control", settings);
        control->client->onMessage = [this](const std::string& text) {
            if (text == kVersionAnswer) ++versionAnswers;
            if (text.rfind("CHAT:[SERVER] Users=", 0) == 0) lastUsersAnswer = text;
            if (onControlMessage) onControlMessage(text);
        };
    }

    // Logs the control viewer on (adding it first if need be) and notes the
    // server's memory.
    void LogOnControl() {
        if (!control) AddControl();
        // server.log is written before the port is bound: a first answer shows
        // the port is open, so that the logon is not lost (and retried later).
        ASSERT_TRUE(ControlServed(10)) << "the server does not answer";
        control->client->Logon();
        ASSERT_TRUE(control->client->PollUntil([&] { return control->picture().loggedOn; }, 10));
        rssAtStart = ResidentKb(server->pid());
        ASSERT_GT(rssAtStart, 0);
    }

    // The control viewer asks "CHAT: <ver>" (again every half second, the answer
    // being unnumbered) until the answer comes, at most `seconds`.
    bool ControlServed(double seconds = 5) {
        const int before = versionAnswers;
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            control->client->SendRaw("CHAT: <ver>");
            if (control->client->PollUntil([&] { return versionAnswers > before; }, 0.5))
                return true;
        }
        return false;
    }

    // Number of logged-on viewers as the server counts them ("CHAT: <who>").
    int UsersOnServer(double seconds = 5) {
        lastUsersAnswer.clear();
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (lastUsersAnswer.empty() && std::chrono::steady_clock::now() < end) {
            control->client->SendRaw("CHAT: <who>");
            control->client->PollUntil([&] { return !lastUsersAnswer.empty(); }, 0.5);
        }
        if (lastUsersAnswer.empty()) return -1;
        return ParseNumber(lastUsersAnswer.substr(20));
    }

    // The server is still running, its memory grew by at most `allowanceKb`
    // since start, and the control viewer is still answered.
    void ExpectStillServing(long allowanceKb = 16 * 1024) {
        ASSERT_TRUE(server->Running()) << "the server ended: " << dir.Read("stdout.txt");
        const long rss = ResidentKb(server->pid());
        if (kMemoryBounded) {
            EXPECT_LE(rss, rssAtStart + allowanceKb)
                << "resident memory " << rss << " kB, " << rssAtStart << " kB at start";
        }
        EXPECT_TRUE(ControlServed()) << "the control viewer got no answer";
    }

    // Drains what the control viewer has been sent (keeps its socket from filling).
    void ServeControl(double seconds) {
        control->client->PollUntil([] { return false; }, seconds, 5);
    }

    LiveViewer* control = nullptr;
    // Called with every message the control viewer acts upon.
    std::function<void(const std::string&)> onControlMessage;
    int versionAnswers = 0;
    std::string lastUsersAnswer;
    long rssAtStart = 0;
};

}  // namespace lantrel::testing
