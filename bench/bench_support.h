// Small helpers the benchmark programs share: a free port, elapsed and CPU time,
// the `cat` baseline the readers are measured against, a plain UDP socket for
// viewers, and the real lantrel-server started in a scratch folder and stopped.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes.h"
#include "platform/platform.h"
#include "platform/posix.h"
#include "support/child_process.h"

namespace lantrel::bench {

// A UDP port on loopback that nothing holds at the moment of asking.
inline int FreePort() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// User plus system CPU seconds of another process, from /proc/PID/stat; -1 when unknown.
inline double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14) ticks += std::atof(field.c_str());  // utime and stime
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// CPU seconds the calling thread has used.
inline double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Seconds `cat` takes to read the file to /dev/null, after one read to warm the
// page cache so that both readers see the same conditions.
inline double CatSeconds(const std::string& path) {
    const std::string command = "cat '" + path + "' > /dev/null";
    std::system(command.c_str());
    auto start = std::chrono::steady_clock::now();
    std::system(command.c_str());
    return SecondsSince(start);
}

// The address of the k-th viewer on loopback (k from 0): 127.0.0.2 to
// 127.0.0.251, then 127.0.1.2 and on.
inline IpAddress ViewerIp(int k) {
    return MakeIp(127, 0, static_cast<unsigned>(k / 250), static_cast<unsigned>(k % 250 + 2));
}

// A loss-free viewer that watches the run: an address no ViewerIp takes.
constexpr IpAddress kMonitorIp = MakeIp(127, 0, 0, 254);

// A UDP socket without the platform layer's wait: its descriptor can join an
// epoll set, and its receive buffer is the system's default unless asked for.
class PlainUdpSocket : public DatagramSocket {
  public:
    explicit PlainUdpSocket(int receiveBufferBytes = 0) : receiveBufferBytes_(receiveBufferBytes) {}
    ~PlainUdpSocket() override {
        if (fd_ >= 0) ::close(fd_);
    }
    PlainUdpSocket(const PlainUdpSocket&) = delete;
    PlainUdpSocket& operator=(const PlainUdpSocket&) = delete;

    SocketError Open(std::uint16_t port, IpAddress bindIp, int) override {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (receiveBufferBytes_ > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes_,
                         sizeof receiveBufferBytes_);
        }
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        std::memcpy(&local.sin_addr, &bindIp, 4);
        return ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0
                   ? SocketError::kOk
                   : SocketError::kFailure;
    }
    SocketError Receive(int waitMs, Datagram& out) override {
        out = {};
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return SocketError::kTimedOut;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) return SocketError::kFailure;
        out.text.assign(buffer_.data(), static_cast<std::size_t>(n));
        std::memcpy(&out.sender, &from.sin_addr, 4);
        return SocketError::kOk;
    }
    SocketError Send(IpAddress to, std::uint16_t port, std::string_view text) override {
        sockaddr_in dest{};
        dest.sin_family = AF_INET;
        dest.sin_port = htons(port);
        std::memcpy(&dest.sin_addr, &to, 4);
        ssize_t n = ::sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&dest),
                             sizeof dest);
        return n == static_cast<ssize_t>(text.size()) ? SocketError::kOk : SocketError::kFailure;
    }
    std::vector<IpAddress> LocalAddresses() override { return {}; }
    int fd() const { return fd_; }

  private:
    int receiveBufferBytes_;
    int fd_ = -1;
    std::vector<char> buffer_ = std::vector<char>(65536);
};

// A "Name:   1234 kB" line of /proc/PID/status in kB (VmRSS now, VmHWM its
// peak), or -1.
inline long StatusKb(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
    return -1;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// lantrel-server running headless in a scratch folder /tmp/lantrel-NAME-XXXXXX,
// bound to 127.0.0.1 on a free port and following the GUI log gui.log there,
// which holds `guiLog` when it starts; its output goes to server.out. `settings`
// are further server.ini lines. The server is ended when the object goes away.
struct ServerRun {
    ServerRun(const std::string& program, const std::string& name, const std::string& settings,
              const std::string& guiLog = "") {
        std::string pattern = "/tmp/lantrel-" + name + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        dir = pattern;
        port = FreePort();
        std::ofstream(dir + "/server.ini") << "PORT=" << port << "\nBIND=127.0.0.1\nPATH=gui.log\n"
                                           << settings;
        std::ofstream(dir + "/gui.log") << guiLog;
        process = std::make_unique<ChildProcess>(
            std::vector<std::string>{program, "--headless", "--dir", dir}, dir + "/server.out");
        if (started()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    bool started() const { return process && process->pid() >= 0; }
    pid_t pid() const { return process->pid(); }

    std::string dir;
    int port = 0;
    std::unique_ptr<ChildProcess> process;
};

// A viewer on 127.0.0.2 that talks to the server on `port` with plain datagrams,
// acknowledging what comes framed.
struct Viewer {
    int fd;
    sockaddr_in server{};

    explicit Viewer(int port) {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.2", &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            std::perror("bind 127.0.0.2");
            std::exit(1);
        }
        server.sin_family = AF_INET;
        server.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    }
    void Send(const std::string& text) {
        ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&server),
                 sizeof server);
    }
    // Next datagram (acknowledged when framed), or kNothing after `ms`.
    static constexpr const char* kNothing = "\x01nothing";
    std::string Receive(int ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return kNothing;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return kNothing;
        std::string text(buffer, static_cast<std::size_t>(n));
        if (text[0] == '<') {
            std::size_t close = text.find('>');
            Send("ACK:" + text.substr(1, close - 1));
            text = text.substr(close + 1);
        }
        return text;
    }
};

// A server's platform of fakes (console, clock, socket, processes) over the
// real files of `dir`; the socket's waits move the clock on.
struct FakePlatform {
    explicit FakePlatform(const std::string& dir)
        : platform{screen, clock, wait, socket, processes, dir} {
        socket.clock = &clock;
    }
    ScreenBuffer screen;
    FakeClock clock;
    FakeEventWait wait;
    FakeSocket socket;
    FakeProcesses processes;
    Platform platform;
};

}  // namespace lantrel::bench
