// Fan-out of one move (three reliable messages: "FEN: ", "WMOVE:", "FMR: ") from
// the server to N viewers on loopback, over real UDP sockets.
//
// The server runs in this process on its own thread of control (the main thread),
// exactly as in lantrel-server: Broadcast, then network turns that take the ACKs.
// The viewers are N sockets bound to 127.0.0.2, 127.0.0.3, ... on the server's
// port, served by one receiver thread that acknowledges every framed message.
//
// Reported per N: time from the first send to the last viewer's receipt of the
// third message (median and worst over the rounds), the server's CPU time per
// message sent (the Broadcast calls alone) and per message including the
// handling of its ACK, and how many ACKs the server never saw. Then the floor:
// the same datagrams sent by the socket alone, in batches and one at a time.
//
//   bench_net_fanout [rounds]        (default 50 rounds for each of 24, 100, 300 viewers)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/server.h"
#include "bench_support.h"
#include "net/framing.h"
#include "net/net.h"
#include "platform/posix.h"
#include "text/text.h"

namespace {

using namespace lantrel;
using SteadyClock = std::chrono::steady_clock;

using bench::ThreadCpuSeconds;

long long RealtimeNs() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// N viewer sockets and the thread that serves them.
class ViewerFarm {
  public:
    ViewerFarm(int count, int port) : counts_(static_cast<std::size_t>(count)) {
        epoll_ = ::epoll_create1(0);
        server_.sin_family = AF_INET;
        server_.sin_port = htons(static_cast<std::uint16_t>(port));
        server_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int k = 0; k < count; ++k) {
            int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(static_cast<std::uint16_t>(port));
            IpAddress ip = bench::ViewerIp(k);
            std::memcpy(&local.sin_addr, &ip, 4);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
                std::perror("bind viewer");
                std::exit(1);
            }
            // The kernel notes when each datagram arrived, so the time this one
            // thread needs to serve all viewers does not count as latency.
            int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.u32 = static_cast<std::uint32_t>(k);
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
            fds_.push_back(fd);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~ViewerFarm() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_)
            ::close(fd);
        ::close(epoll_);
    }
    // Starts a round: every viewer is to receive `perViewer` framed messages.
    void StartRound(int perViewer) {
        for (auto& c : counts_)
            c.store(0);
        perViewer_ = perViewer;
        complete_.store(0);
        lastReceipt_.store(0);
    }
    bool RoundDone() const { return complete_.load() == static_cast<int>(fds_.size()); }
    // Arrival of the last message of the round, in CLOCK_REALTIME nanoseconds.
    long long LastReceiptNs() const { return lastReceipt_.load(); }

  private:
    void Run() {
        std::vector<epoll_event> events(512);
        char buffer[2048];
        while (!stop_) {
            int n = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 20);
            for (int i = 0; i < n; ++i) {
                int k = static_cast<int>(events[i].data.u32);
                for (;;) {
                    alignas(cmsghdr) char control[256];
                    iovec io{buffer, sizeof buffer};
                    msghdr msg{};
                    msg.msg_iov = &io;
                    msg.msg_iovlen = 1;
                    msg.msg_control = control;
                    msg.msg_controllen = sizeof control;
                    ssize_t got = ::recvmsg(fds_[k], &msg, 0);
                    if (got <= 0) break;
                    long long arrived = RealtimeNs();
                    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                            timespec t;
                            std::memcpy(&t, CMSG_DATA(c), sizeof t);
                            arrived = t.tv_sec * 1000000000LL + t.tv_nsec;
                        }
                    }
                    Frame frame =
                        ParseFrame(std::string_view(buffer, static_cast<std::size_t>(got)));
                    if (frame.seq == 0) continue;
                    std::string ack = AckText(frame.seq);
                    ::sendto(fds_[k], ack.data(), ack.size(), 0,
                             reinterpret_cast<sockaddr*>(&server_), sizeof server_);
                    if (counts_[k].fetch_add(1) + 1 == perViewer_) {
                        long long last = lastReceipt_.load();
                        while (arrived > last &&
                               !lastReceipt_.compare_exchange_weak(last, arrived)) {
                        }
                        complete_.fetch_add(1);
                    }
                }
            }
        }
    }

    int epoll_ = -1;
    sockaddr_in server_{};
    std::vector<int> fds_;
    std::vector<std::atomic<int>> counts_;
    std::atomic<int> perViewer_{0};
    std::atomic<int> complete_{0};
    std::atomic<long long> lastReceipt_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Result {
    double medianMs, worstMs, sendCpuUs, totalCpuUs;
    long acksMissing;
};

// `ownSocket`: lantrel-server's socket; otherwise one with the default buffer.
Result RunFanOut(int viewers, int rounds, bool ownSocket) {
    NullConsole console;
    SystemClock clock;
    PosixEventWait wait;
    UdpSocket serverSocket(wait);
    // A socket with the system's default receive buffer, to show why
    // lantrel-server's own socket asks for a larger one: the burst of ACKs that
    // answers a move sent to a few hundred viewers does not fit the default.
    bench::PlainUdpSocket defaultSocket;
    DatagramSocket& socket = ownSocket ? static_cast<DatagramSocket&>(serverSocket)
                                       : static_cast<DatagramSocket&>(defaultSocket);
    SpawnProcessStarter processes;
    char dirTemplate[] = "/tmp/lantrel-bench-XXXXXX";
    std::string dir = ::mkdtemp(dirTemplate);
    Platform platform{console, clock, wait, socket, processes, dir};
    Server server(platform);
    server.config.port = bench::FreePort();
    server.config.delay = 100;
    if (socket.Open(static_cast<std::uint16_t>(server.config.port), kLocalViewerIp, 100) !=
        SocketError::kOk) {
        std::fprintf(stderr, "cannot open the server's port\n");
        std::exit(1);
    }
    // The viewers are entered directly: logging 300 viewers on one by one would
    // only measure the logon storm.
    for (int k = 0; k < viewers; ++k) {
        ClientRecord& r = server.net.clients.slots[k + 1];
        r.ip = bench::ViewerIp(k);
        r.ipText = FixedWidth(IpText(r.ip), kIpTextWidth);
        r.name = FixedWidth("viewer" + std::to_string(k), kNameWidth);
        r.lastHeard = static_cast<std::int64_t>(clock.Monotonic());
    }
    CompactClientTable(server.net.clients);
    ViewerFarm farm(viewers, server.config.port);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    std::vector<double> latencies;
    double sendCpu = 0, totalCpu = 0;
    long missing = 0;
    for (int round = 0; round < rounds; ++round) {
        farm.StartRound(3);
        const double cpu0 = ThreadCpuSeconds();
        const auto t0 = SteadyClock::now();
        const long long t0Ns = RealtimeNs();
        // As the server sends a move: the three messages in one batch.
        Broadcast(server.net, {"FEN: r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq",
                               "WMOVE: 3. Bb5", "FMR:  3"});
        const double cpu1 = ThreadCpuSeconds();
        // Network turns take the ACKs until every viewer has all three and the
        // queue is empty (or a second has passed: ACKs that never come).
        const auto deadline = t0 + std::chrono::seconds(1);
        while (SteadyClock::now() < deadline) {
            ServiceNetwork(server.net, 1);
            UpdateQueueStatus(server.net);
            if (farm.RoundDone() && server.net.queue.pendingCount == 0) break;
        }
        const double cpu2 = ThreadCpuSeconds();
        // Whatever the viewers still hold is read before the round is judged.
        for (int i = 0; i < 100 && !farm.RoundDone(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!farm.RoundDone()) {
            std::fprintf(stderr, "round %d: not every viewer got the move\n", round);
            continue;
        }
        latencies.push_back(static_cast<double>(farm.LastReceiptNs() - t0Ns) / 1e6);
        sendCpu += cpu1 - cpu0;
        totalCpu += cpu2 - cpu0;
        missing += server.net.queue.pendingCount;
        // What the server never heard about is forgotten, so that no re-send
        // falls into the next round.
        std::vector<IpAddress> inFlight;
        for (const auto& [ip, queue] : server.net.queue.viewers)
            inFlight.push_back(ip);
        for (IpAddress ip : inFlight)
            ForgetViewerQueue(server.net, ip);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::sort(latencies.begin(), latencies.end());
    const double messages = 3.0 * viewers * static_cast<double>(latencies.size());
    Result r{};
    if (!latencies.empty()) {
        r.medianMs = latencies[latencies.size() / 2];
        r.worstMs = latencies.back();
        r.sendCpuUs = sendCpu / messages * 1e6;
        r.totalCpuUs = totalCpu / messages * 1e6;
    }
    r.acksMissing = missing;
    std::filesystem::remove_all(dir);
    return r;
}

// The floor: the same 3 x N framed datagrams sent by the socket alone, with no
// server code around it (one batch per message, as Broadcast sends them, or
// one `sendto` each), to the same viewers.
Result RunSocketAlone(int viewers, int rounds, bool batched) {
    UdpSocket socket;
    const auto port = static_cast<std::uint16_t>(bench::FreePort());
    if (socket.Open(port, kLocalViewerIp, 100) != SocketError::kOk) {
        std::fprintf(stderr, "cannot open the server's port\n");
        std::exit(1);
    }
    ViewerFarm farm(viewers, port);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string texts[] = {"FEN: r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq",
                                 "WMOVE: 3. Bb5", "FMR:  3"};
    std::vector<double> latencies;
    double sendCpu = 0;
    SequenceNumber seq = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::vector<OutgoingDatagram>> batches;
        for (const std::string& text : texts) {
            std::vector<OutgoingDatagram>& batch = batches.emplace_back();
            for (int k = 0; k < viewers; ++k)
                batch.push_back({bench::ViewerIp(k), FrameHead(++seq), text});
        }
        farm.StartRound(3);
        const double cpu0 = ThreadCpuSeconds();
        const long long t0Ns = RealtimeNs();
        for (std::vector<OutgoingDatagram>& batch : batches) {
            if (batched) {
                socket.SendBatch(port, batch);
            } else {
                for (OutgoingDatagram& d : batch)
                    socket.Send(d.to, port, d.head + std::string(d.body));
            }
        }
        sendCpu += ThreadCpuSeconds() - cpu0;
        for (int i = 0; i < 1000 && !farm.RoundDone(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        latencies.push_back(static_cast<double>(farm.LastReceiptNs() - t0Ns) / 1e6);
        Datagram ack;  // the viewers' ACKs are read and dropped
        while (socket.Receive(0, ack) == SocketError::kOk) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::sort(latencies.begin(), latencies.end());
    Result r{};
    r.medianMs = latencies[latencies.size() / 2];
    r.worstMs = latencies.back();
    r.sendCpuUs = sendCpu / (3.0 * viewers * rounds) * 1e6;
    r.totalCpuUs = r.sendCpuUs;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    std::printf("%-26s %8s %10s %10s %12s %16s %13s\n", "server socket", "viewers", "median ms",
                "worst ms", "send us/msg", "with ACK us/msg", "ACKs missing");
    for (bool own : {true, false}) {
        for (int viewers : {24, 100, 300}) {
            Result r = RunFanOut(viewers, rounds, own);
            std::printf("%-26s %8d %10.3f %10.3f %12.2f %16.2f %13ld\n",
                        own ? "lantrel-server (4 MB)" : "default receive buffer", viewers,
                        r.medianMs, r.worstMs, r.sendCpuUs, r.totalCpuUs, r.acksMissing);
        }
    }
    for (bool batched : {true, false}) {
        for (int viewers : {24, 100, 300}) {
            Result r = RunSocketAlone(viewers, rounds, batched);
            std::printf("%-26s %8d %10.3f %10.3f %12.2f %16s %13s\n",
                        batched ? "socket alone, batches" : "socket alone, sendto each", viewers,
                        r.medianMs, r.worstMs, r.sendCpuUs, "-", "-");
        }
    }
    return 0;
}
