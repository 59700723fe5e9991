// Lantrel's browser fan-out beside nginx with the nchan pub/sub module and
// beside a floor, in one sitting: does the feed reach N browsers as fast, as
// cheaply and as completely as a general pub/sub server, and how far is either
// from one write() a socket? The bytes are the feed's own: a first run records
// every message a feed client gets while a recorded XBoard game is appended to
// the GUI log, grouped by the ply append that caused it. Then, at each audience
// size, the same client (one epoll thread, N WebSocket connections) follows
//   Lantrel  lantrel-server, the game appended to its GUI log at the pace;
//   nchan    nginx + nchan, each group published by pipelined POSTs at the pace;
//   floor    this program, each group written to every socket by one write().
// It prints, for each, the time from append (or publish) to the first and to
// the last subscriber having the move, the CPU a message delivered, the memory
// a connection and the messages lost, then Lantrel's ratios to the other two.
//   bench_web_peers [--subscribers N[,N...]] [--plies-per-second X] [--game NAME]
//                   [--runs K]
// Defaults: 50,250,1000,4000 subscribers, 4 plies a second, tests/fixtures/xboard
// sf_sf, one run (with more, each figure is the median of the runs). Needs nginx
// and Debian's nchan module; installs them (scripts/install-deps.sh, as root)
// when missing.
#include <netinet/tcp.h>
#include <sys/epoll.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "platform/files.h"
#include "web_bench_support.h"

namespace {

using namespace lantrel::bench;
using lantrel::ChildProcess;

// ---- Ending early: Ctrl-C unwinds, so that servers and folders go with it.

std::atomic<bool> interrupted{false};
struct Interrupted {};
void ThrowIfInterrupted() {
    if (interrupted) throw Interrupted{};
}
void SleepMs(int ms) {
    ThrowIfInterrupted();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- The subscribers: one epoll thread, raw sockets, a minimal WebSocket reader.

struct Arrival {
    Clock::time_point at;
    std::int64_t version;
    std::int64_t ply;    // of a move message, else 0
    std::uint32_t read;  // which of its connection's reads completed it
};

struct Subscriber {
    enum class State { kConnecting, kUpgrading, kOpen, kClosed };
    int fd = -1;
    State state = State::kConnecting;
    bool joined = false;
    std::string in;         // bytes read and not yet taken
    std::string fragments;  // a message coming in several frames
    std::uint32_t reads = 0;
    std::int64_t snapshotVersion = -1;
    bool sawResult = false;
    std::vector<Arrival> heard;
    std::vector<std::string> texts;  // when asked to keep them
};

class Audience {
  public:
    Audience(int port, std::string path, int count, bool keepTexts = false)
        : port_(port), path_(std::move(path)), keepTexts_(keepTexts), subscribers_(count) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Audience() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (Subscriber& s : subscribers_)
            if (s.fd >= 0) ::close(std::exchange(s.fd, -1));
    }
    int joined() const { return joined_; }
    int failed() const { return failed_; }
    int dropped() const { return dropped_; }
    int withResult() const { return withResult_; }
    const std::vector<Subscriber>& subscribers() const { return subscribers_; }

  private:
    static constexpr int kHandshakesAtOnce = 64;  // a burst beyond overflows listen queues

    void Run() {
        epoll_ = ::epoll_create1(0);
        std::size_t next = 0;
        epoll_event events[256];
        std::vector<char> buffer(1 << 16);
        while (!stop_) {
            while (handshaking_ < kHandshakesAtOnce && next < subscribers_.size())
                StartConnecting(static_cast<std::uint32_t>(next++));
            const int n = ::epoll_wait(epoll_, events, 256, 10);
            for (int i = 0; i < n; ++i)
                Serve(subscribers_[events[i].data.u32], buffer);
        }
        ::close(epoll_);
    }

    void StartConnecting(std::uint32_t index) {
        Subscriber& s = subscribers_[index];
        s.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(static_cast<uint16_t>(port_));
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(s.fd, reinterpret_cast<sockaddr*>(&server), sizeof server);
        epoll_event watch{EPOLLIN | EPOLLOUT, {.u32 = index}};
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, s.fd, &watch);
        ++handshaking_;
    }

    void Serve(Subscriber& s, std::vector<char>& buffer) {
        if (s.state == Subscriber::State::kConnecting) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            const std::string request = UpgradeRequest(path_);
            if (error != 0 || ::send(s.fd, request.data(), request.size(), MSG_NOSIGNAL) !=
                                  static_cast<ssize_t>(request.size()))
                return Close(s);
            s.state = Subscriber::State::kUpgrading;
            epoll_event watch{EPOLLIN, {.u32 = static_cast<std::uint32_t>(&s - &subscribers_[0])}};
            ::epoll_ctl(epoll_, EPOLL_CTL_MOD, s.fd, &watch);
            return;
        }
        for (;;) {
            const ssize_t n = ::recv(s.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0 && errno == EAGAIN) return;
            if (n <= 0) return Close(s);
            const Clock::time_point at = Clock::now();
            ++s.reads;
            s.in.append(buffer.data(), static_cast<std::size_t>(n));
            if (s.state == Subscriber::State::kUpgrading && !TakeUpgradeReply(s)) return;
            if (s.state == Subscriber::State::kOpen) TakeFrames(s, at);
            if (s.state == Subscriber::State::kClosed) return;
        }
    }

    // False until the reply's head is in; closes on anything but 101.
    bool TakeUpgradeReply(Subscriber& s) {
        const std::size_t end = s.in.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        if (s.in.rfind("HTTP/1.1 101", 0) != 0) {
            Close(s);
            return false;
        }
        s.in.erase(0, end + 4);
        s.state = Subscriber::State::kOpen;
        s.joined = true;
        ++joined_;
        --handshaking_;
        return true;
    }

    // Takes every whole frame of `s.in`: messages, pings (answered), a close.
    void TakeFrames(Subscriber& s, Clock::time_point at) {
        std::size_t pos = 0;
        for (;;) {
            const std::string_view rest(s.in.data() + pos, s.in.size() - pos);
            if (rest.size() < 2) break;
            const unsigned char first = static_cast<unsigned char>(rest[0]);
            const unsigned char second = static_cast<unsigned char>(rest[1]);
            if (second & 0x80) return Close(s);  // servers never mask
            std::size_t head = 2, length = second & 0x7F;
            if (length >= 126) {
                head += length == 126 ? 2 : 8;
                if (rest.size() < head) break;
                length = 0;
                for (std::size_t i = 2; i < head; ++i)
                    length = (length << 8) | static_cast<unsigned char>(rest[i]);
            }
            if (rest.size() < head + length) break;
            const std::string_view payload = rest.substr(head, length);
            pos += head + length;
            const int opcode = first & 0x0F;
            if (opcode == 0x8) return Close(s);
            if (opcode == 0x9) {
                const std::string pong = WebSocketFrame(0x8A, payload, true);
                ::send(s.fd, pong.data(), pong.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            } else if (opcode <= 0x2) {
                s.fragments.append(payload);
                if (first & 0x80) TakeMessage(s, std::exchange(s.fragments, ""), at);
            }
        }
        s.in.erase(0, pos);
    }

    void TakeMessage(Subscriber& s, const std::string& message, Clock::time_point at) {
        const std::string_view type = TypeOf(message);
        const std::int64_t version = NumberField(message, "version");
        if (type == "snapshot") {
            s.snapshotVersion = version;
            return;
        }
        s.heard.push_back({at, version, type == "move" ? NumberField(message, "ply") : 0, s.reads});
        if (keepTexts_) s.texts.push_back(message);
        if (type == "result" && !std::exchange(s.sawResult, true)) ++withResult_;
    }

    void Close(Subscriber& s) {
        if (s.state == Subscriber::State::kClosed) return;
        if (s.joined) {
            ++dropped_;
        } else {
            ++failed_;
            --handshaking_;
        }
        s.state = Subscriber::State::kClosed;
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, s.fd, nullptr);
    }

    int port_;
    std::string path_;
    bool keepTexts_;
    std::vector<Subscriber> subscribers_;
    int epoll_ = -1;
    int handshaking_ = 0;
    std::atomic<int> joined_{0}, failed_{0}, dropped_{0}, withResult_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ---- The recorded bytes.

struct Recording {
    std::int64_t snapshotVersion = -1;             // the messages count on from it
    std::int64_t lastVersion = -1;                 // of the last message
    std::vector<std::string> prelude;              // caused by the game's set-up lines
    std::vector<std::vector<std::string>> groups;  // by ply append, then the tail's
    std::vector<std::int64_t> plies;               // the move each group carries, 0 if none
};

// ---- The targets: where subscribers connect, what sends a group, whose CPU counts.

struct Target {
    virtual ~Target() = default;
    virtual int port() const = 0;
    virtual std::string path() const = 0;
    virtual bool sendsSnapshot() const { return false; }
    virtual long RssKb() const { return -1; }  // of the serving process; -1 for none
    virtual double CpuSeconds() const = 0;     // of what does the fan-out
    virtual void SendPrelude() = 0;
    virtual void SendGroup(std::size_t i) = 0;  // the last group is the game's tail
    virtual void Finish() {}
};

struct FolderRemover {
    std::string dir;
    ~FolderRemover() {
        std::error_code ignored;
        if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }
};

class LantrelTarget : public Target {
  public:
    LantrelTarget(const RecordedGame& game, int subscribers)
        : game_(game),
          webPort_(FreeTcpPort()),
          run_(
              LANTREL_SERVER_BIN, "peers",
              WebSettings(webPort_) + "WEBMAXPERADDRESS=" + std::to_string(subscribers + 1) + "\n"),
          remover_{run_.dir} {
        if (!run_.started() || !WaitForPort(webPort_, 10))
            throw std::runtime_error("lantrel-server did not start");
    }
    ~LantrelTarget() override { run_.process.reset(); }  // before its folder goes
    int port() const override { return webPort_; }
    std::string path() const override { return "/feed"; }
    bool sendsSnapshot() const override { return true; }
    long RssKb() const override { return StatusKb(run_.pid(), "VmRSS"); }
    double CpuSeconds() const override { return ProcessCpuSeconds(run_.pid()); }
    void SendPrelude() override { AppendToFile(log(), game_.prelude); }
    void SendGroup(std::size_t i) override {
        AppendToFile(log(), i < game_.moves.size() ? game_.moves[i] : game_.tail);
    }

  private:
    std::string log() const { return run_.dir + "/gui.log"; }
    const RecordedGame& game_;
    int webPort_;
    ServerRun run_;
    FolderRemover remover_;
};

// The first child of process `parent` (nginx's worker), or the parent itself.
pid_t FirstChildOf(pid_t parent) {
    const std::string path =
        "/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children";
    const pid_t child = static_cast<pid_t>(std::atol(ReadFile(path).c_str()));
    return child > 0 ? child : parent;
}

// The nchan module Debian installs, or "".
std::string NchanModule() {
    for (const char* path : {"/usr/lib/nginx/modules/ngx_nchan_module.so",
                             "/usr/share/nginx/modules/ngx_nchan_module.so",
                             "/usr/lib64/nginx/modules/ngx_nchan_module.so"})
        if (std::filesystem::exists(path)) return path;
    return "";
}
const char* const kNginx = "/usr/sbin/nginx";

class NchanTarget : public Target {
  public:
    NchanTarget(const Recording& recording, int subscribers) : recording_(recording) {
        std::string pattern = "/tmp/lantrel-nchan-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temp folder");
        remover_.dir = dir_ = pattern;
        port_ = FreeTcpPort();
        WriteConfig(subscribers);
        nginx_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{kNginx, "-p", dir_, "-e", dir_ + "/error.log", "-c",
                                     dir_ + "/nginx.conf"},
            dir_ + "/nginx.out");
        if (nginx_->pid() < 0 || !WaitForPort(port_, 10))
            throw std::runtime_error("nginx did not start: see " + dir_ + "/error.log");
        worker_ = FirstChildOf(nginx_->pid());
        publisher_ = TcpConnect(port_);
        const int noDelay = 1;  // as a publisher would: each group goes at once
        ::setsockopt(publisher_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        for (const auto& group : recording.groups)
            posts_.push_back(Posts(group));
    }
    ~NchanTarget() override {
        if (publisher_ >= 0) ::close(publisher_);
        nginx_.reset();
    }
    int port() const override { return port_; }
    std::string path() const override { return "/sub"; }
    long RssKb() const override { return StatusKb(worker_, "VmRSS"); }
    double CpuSeconds() const override {
        return ProcessCpuSeconds(worker_) + ProcessCpuSeconds(nginx_->pid());
    }
    void SendPrelude() override { Publish(Posts(recording_.prelude)); }
    void SendGroup(std::size_t i) override { Publish(posts_[i]); }
    // Reads the answers to every POST; says so when one was refused or missing.
    void Finish() override {
        const int sent = Occurrences(sentRequests_, "POST /pub ");
        for (int wait = 0; wait < 100 && Occurrences(answers_, "HTTP/1.1 ") < sent; ++wait) {
            pollfd p{publisher_, POLLIN, 0};
            ::poll(&p, 1, 50);
            ReadAnswers();
        }
        const int accepted = Occurrences(answers_, "HTTP/1.1 20");
        if (accepted != sent)
            std::printf("  nchan accepted %d of %d publications\n", accepted, sent);
    }

  private:
    void WriteConfig(int subscribers) {
        std::ofstream conf(dir_ + "/nginx.conf");
        conf << "load_module " << NchanModule() << ";\n"
             << (::geteuid() == 0 ? "user root;\n" : "") << "daemon off;\nmaster_process on;\n"
             << "worker_processes 1;\nworker_rlimit_nofile " << 4 * subscribers + 2048 << ";\n"
             << "pid " << dir_ << "/nginx.pid;\nerror_log " << dir_ << "/error.log warn;\n"
             << "events { worker_connections " << 2 * subscribers + 1024 << "; }\n"
             << "http {\n  access_log off;\n  keepalive_requests 1000000;\n"
             << "  keepalive_timeout 600s;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << temp << "_temp_path " << dir_ << "/" << temp << ";\n";
        conf << "  server {\n    listen 127.0.0.1:" << port_ << ";\n"
             << "    location = /pub { nchan_publisher http; nchan_channel_id feed; }\n"
             << "    location = /sub { nchan_subscriber websocket; nchan_channel_id feed; }\n"
             << "  }\n}\n";
    }
    static std::string Posts(const std::vector<std::string>& messages) {
        std::string requests;
        for (const std::string& m : messages)
            requests +=
                "POST /pub HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                "application/json\r\nContent-Length: " +
                std::to_string(m.size()) + "\r\n\r\n" + m;
        return requests;
    }
    void Publish(const std::string& requests) {
        sentRequests_ += requests;
        if (!SendAll(publisher_, requests, 5000) && !std::exchange(stuck_, true))
            std::printf("  nchan stopped taking the publisher's POSTs\n");
        ReadAnswers();
    }
    void ReadAnswers() {
        char buffer[65536];
        for (ssize_t n; (n = ::recv(publisher_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            answers_.append(buffer, static_cast<std::size_t>(n));
    }

    const Recording& recording_;
    FolderRemover remover_;
    std::string dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> nginx_;
    pid_t worker_ = -1;
    int publisher_ = -1;
    std::vector<std::string> posts_;
    std::string sentRequests_, answers_;
    bool stuck_ = false;
};

// The floor: N sockets accepted and upgraded on a thread of this program, then
// each group's frames written to each socket by one write(). The sends run on
// the replaying (main) thread, which does nothing else meanwhile: its CPU time
// is the floor's.
class FloorTarget : public Target {
  public:
    FloorTarget(const Recording& recording, int subscribers) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4096);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        prelude_ = Frames(recording.prelude);
        for (const auto& group : recording.groups)
            frames_.push_back(Frames(group));
        accepting_ = std::thread([this, subscribers] { Accept(subscribers); });
    }
    ~FloorTarget() override {
        stop_ = true;
        if (accepting_.joinable()) accepting_.join();
        for (int fd : sockets_)
            ::close(fd);
        ::close(listener_);
    }
    int port() const override { return port_; }
    std::string path() const override { return "/feed"; }
    double CpuSeconds() const override { return ThreadCpuSeconds(); }
    void SendPrelude() override {
        accepting_.join();
        WriteToAll(prelude_);
    }
    void SendGroup(std::size_t i) override { WriteToAll(frames_[i]); }

  private:
    static std::string Frames(const std::vector<std::string>& messages) {
        std::string frames;
        for (const std::string& m : messages)
            frames += WebSocketFrame(0x81, m, false);
        return frames;
    }
    // The client sends RFC 6455's sample key: the answer is the RFC's own.
    void Accept(int subscribers) {
        const std::string reply =
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: "
            "Upgrade\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
        while (!stop_ && static_cast<int>(sockets_.size()) < subscribers) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            std::string request;
            char buffer[4096];
            for (ssize_t n; request.find("\r\n\r\n") == std::string::npos &&
                            (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                request.append(buffer, static_cast<std::size_t>(n));
            SendAll(fd, reply, 5000);
            sockets_.push_back(fd);
        }
    }
    void WriteToAll(const std::string& frames) {
        if (frames.empty()) return;
        int shortWrites = 0;
        for (int fd : sockets_)
            if (::send(fd, frames.data(), frames.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(frames.size()))
                ++shortWrites;
        if (shortWrites > 0) std::printf("  floor: %d short writes\n", shortWrites);
    }

    int listener_ = -1, port_ = 0;
    std::string prelude_;
    std::vector<std::string> frames_;
    std::vector<int> sockets_;
    std::atomic<bool> stop_{false};
    std::thread accepting_;
};

// ---- One run: connect, send the prelude, replay the groups at the pace.

struct Played {
    std::unique_ptr<Audience> audience;
    std::vector<Clock::time_point> sent;  // when each group went
    double cpuSeconds = 0;                // the target's, over the replay
    long rssAloneKb = -1, rssJoinedKb = -1;
};

Played Play(Target& target, int subscribers, std::size_t groups, double pliesPerSecond,
            bool keepTexts = false) {
    Played played;
    played.rssAloneKb = target.RssKb();
    played.audience =
        std::make_unique<Audience>(target.port(), target.path(), subscribers, keepTexts);
    Audience& audience = *played.audience;
    const auto connectStart = Clock::now();
    while (audience.joined() + audience.failed() < subscribers && SecondsSince(connectStart) < 120)
        SleepMs(50);
    std::printf("  %d of %d subscribers connected in %.1f s\n", audience.joined(), subscribers,
                SecondsSince(connectStart));
    target.SendPrelude();
    SleepMs(1500);  // the set-up's messages, and a server's viewer count, go out first
    played.rssJoinedKb = target.RssKb();
    const double cpuBefore = target.CpuSeconds();
    played.sent = AtSteadyPace(groups, pliesPerSecond, [&](std::size_t i, Clock::time_point) {
        ThrowIfInterrupted();
        target.SendGroup(i);
    });
    const auto endWait = Clock::now();
    while (audience.withResult() < audience.joined() - audience.dropped() &&
           SecondsSince(endWait) < 20)
        SleepMs(10);
    SleepMs(300);  // whatever follows the result
    played.cpuSeconds = target.CpuSeconds() - cpuBefore;
    target.Finish();
    audience.Stop();
    return played;
}

// A feed client's messages after its snapshot, cut where each ply was appended.
Recording Record(const RecordedGame& game, double pliesPerSecond) {
    LantrelTarget lantrel(game, 1);
    const Played played = Play(lantrel, 1, game.moves.size() + 1, pliesPerSecond, true);
    const Subscriber& feed = played.audience->subscribers().front();
    Recording recording;
    recording.snapshotVersion = feed.snapshotVersion;
    recording.groups.resize(played.sent.size());
    recording.plies.resize(played.sent.size());
    for (std::size_t m = 0; m < feed.heard.size(); ++m) {
        const Arrival& a = feed.heard[m];
        const auto after = std::upper_bound(played.sent.begin(), played.sent.end(), a.at);
        if (after == played.sent.begin()) {
            recording.prelude.push_back(feed.texts[m]);
            continue;
        }
        const std::size_t group = static_cast<std::size_t>(after - played.sent.begin()) - 1;
        recording.groups[group].push_back(feed.texts[m]);
        if (a.ply > 0) recording.plies[group] = a.ply;
        recording.lastVersion = a.version;
    }
    return recording;
}

// ---- What a run tells.

struct Figures {
    double firstP50 = 0, firstP99 = 0, lastP50 = 0, lastP99 = 0;  // ms
    double cpuMicrosAMessage = 0;
    double rssKbAConnection = -1;  // -1: not measured
    double messagesAPly = 0, readsAPly = 0;
    long lost = 0;
    int unreached = 0;  // subscribers that never joined or were dropped
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

Figures Analyse(const Played& played, const Recording& recording, bool snapshots, int subscribers) {
    const std::vector<Subscriber>& all = played.audience->subscribers();
    const std::size_t moves = played.sent.size() - 1;
    Figures f;
    // Each version's group: the window its earliest arrival fell in.
    std::map<std::int64_t, Clock::time_point> earliest;
    // The last message of the run: the recorded one, or what the live server sent last.
    std::int64_t lastVersion = snapshots ? -1 : recording.lastVersion;
    for (const Subscriber& s : all)
        for (const Arrival& a : s.heard) {
            auto [it, fresh] = earliest.emplace(a.version, a.at);
            if (!fresh) it->second = std::min(it->second, a.at);
            if (snapshots) lastVersion = std::max(lastVersion, a.version);
        }
    auto groupOf = [&](std::int64_t version) {
        const auto after =
            std::upper_bound(played.sent.begin(), played.sent.end(), earliest.at(version));
        return static_cast<long>(after - played.sent.begin()) - 1;  // -1: the prelude
    };
    std::vector<double> first, last;
    std::vector<Clock::time_point> firstAt(moves, Clock::time_point::max()), lastAt(moves);
    std::vector<int> reached(moves, 0);
    double deliveries = 0, reads = 0;
    int counted = 0;
    for (const Subscriber& s : all) {
        if (!s.joined || s.state == Subscriber::State::kClosed) {
            ++f.unreached;
            continue;
        }
        ++counted;
        const std::int64_t base = snapshots ? s.snapshotVersion : recording.snapshotVersion;
        std::int64_t previous = base, distinct = 0;
        std::uint32_t previousRead = 0;
        for (const Arrival& a : s.heard) {
            if (a.version > previous && a.version <= lastVersion) ++distinct;
            previous = std::max(previous, a.version);
            const long group = groupOf(a.version);
            if (group < 0) continue;
            ++deliveries;
            // The reads that brought the plies' messages, however the
            // target grouped them (Lantrel's own versions need not fall in
            // the recording's groups).
            if (group < static_cast<long>(moves) && a.read != previousRead) ++reads;
            previousRead = a.read;
        }
        f.lost += static_cast<long>(lastVersion - base - distinct);
        std::map<std::int64_t, Clock::time_point> moveAt;  // by ply, the first arrival
        for (const Arrival& a : s.heard)
            if (a.ply > 0) moveAt.emplace(a.ply, a.at);
        for (std::size_t g = 0; g < moves; ++g) {
            const auto move = moveAt.find(recording.plies[g]);
            if (move == moveAt.end()) continue;
            ++reached[g];
            firstAt[g] = std::min(firstAt[g], move->second);
            lastAt[g] = std::max(lastAt[g], move->second);
        }
    }
    for (std::size_t g = 0; g < moves; ++g) {
        if (counted == 0 || reached[g] < counted) continue;
        first.push_back(Ms(firstAt[g] - played.sent[g]));
        last.push_back(Ms(lastAt[g] - played.sent[g]));
    }
    std::sort(first.begin(), first.end());
    std::sort(last.begin(), last.end());
    f.firstP50 = Quantile(first, 0.5);
    f.firstP99 = Quantile(first, 0.99);
    f.lastP50 = Quantile(last, 0.5);
    f.lastP99 = Quantile(last, 0.99);
    f.cpuMicrosAMessage = deliveries > 0 ? 1e6 * played.cpuSeconds / deliveries : 0;
    if (played.rssAloneKb >= 0)
        f.rssKbAConnection =
            static_cast<double>(played.rssJoinedKb - played.rssAloneKb) / subscribers;
    f.messagesAPly = counted > 0 ? deliveries / counted / static_cast<double>(moves) : 0;
    f.readsAPly = counted > 0 ? reads / counted / static_cast<double>(moves) : 0;
    return f;
}

// ---- Options, set-up and the tables.

struct Options {
    std::vector<int> sizes{50, 250, 1000, 4000};
    double pliesPerSecond = 4;
    std::string gameName = "sf_sf";
    int runs = 1;
};

bool ReadOptions(int argc, char** argv, Options& options) try {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--subscribers") {
            options.sizes.clear();
            std::istringstream list(value);
            for (std::string n; std::getline(list, n, ',');)
                options.sizes.push_back(std::stoi(n));
        } else if (option == "--plies-per-second") {
            options.pliesPerSecond = std::stod(value);
        } else if (option == "--game") {
            options.gameName = value;
        } else if (option == "--runs") {
            options.runs = std::stoi(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.pliesPerSecond > 0 && options.runs > 0 &&
           !options.sizes.empty() &&
           *std::min_element(options.sizes.begin(), options.sizes.end()) > 0;
} catch (const std::exception&) {  // a number that is none
    return false;
}

// nginx and its nchan module, installed when missing; false when they cannot be.
bool HaveNginxWithNchan() {
    if (std::filesystem::exists(kNginx) && !NchanModule().empty()) return true;
    std::printf("nginx or nchan missing: installing them\n");
    const std::string install =
        std::string(LANTREL_SOURCE_DIR) + "/scripts/install-deps.sh nginx libnginx-mod-nchan";
    std::system(install.c_str());
    return std::filesystem::exists(kNginx) && !NchanModule().empty();
}

const char* const kTargets[] = {"Lantrel", "nchan", "floor"};

std::unique_ptr<Target> MakeTarget(int which, const RecordedGame& game, const Recording& recording,
                                   int subscribers) {
    if (which == 0) return std::make_unique<LantrelTarget>(game, subscribers);
    if (which == 1) return std::make_unique<NchanTarget>(recording, subscribers);
    return std::make_unique<FloorTarget>(recording, subscribers);
}

// The median of each figure over the runs.
Figures Median(std::vector<Figures> runs) {
    auto median = [&](double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : runs)
            values.push_back(f.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    Figures m = runs.front();
    for (double Figures::*field :
         {&Figures::firstP50, &Figures::firstP99, &Figures::lastP50, &Figures::lastP99,
          &Figures::cpuMicrosAMessage, &Figures::rssKbAConnection, &Figures::messagesAPly,
          &Figures::readsAPly})
        m.*field = median(field);
    for (const Figures& f : runs) {
        m.lost = std::max(m.lost, f.lost);
        m.unreached = std::max(m.unreached, f.unreached);
    }
    return m;
}

// "n/a" for a figure not measured (below 0).
std::string Number(double value) {
    if (value < 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}
std::string Ratio(double a, double b) {
    return b > 0 && a >= 0 ? Number(a / b) : "n/a";
}

// A row of the figures' table; `indent` for the one printed after each run.
void PrintRow(const char* indent, int subscribers, int target, const Figures& f) {
    std::printf("%s| %d | %s | %.2f / %.2f | %.2f / %.2f | %.2f | %s | %.2f | %.2f | %ld / %d |\n",
                indent, subscribers, kTargets[target], f.firstP50, f.firstP99, f.lastP50, f.lastP99,
                f.cpuMicrosAMessage, Number(f.rssKbAConnection).c_str(), f.messagesAPly,
                f.readsAPly, f.lost, f.unreached);
}

void PrintTables(const Options& options, std::map<std::pair<int, int>, Figures>& figures) {
    std::printf(
        "\n| subscribers | target | to first p50 / p99 (ms) | to last p50 / p99 (ms) | "
        "CPU a message (us) | RSS a connection (KB) | messages a ply | reads a ply | "
        "lost / unreached |\n|---|---|---|---|---|---|---|---|---|\n");
    for (int n : options.sizes)
        for (int t = 0; t < 3; ++t)
            PrintRow("", n, t, figures[{n, t}]);
    std::printf(
        "\n| subscribers | versus | to last p50 | to last p99 | to first p50 | CPU a message | "
        "RSS a connection |\n|---|---|---|---|---|---|---|\n");
    for (int n : options.sizes)
        for (int t = 1; t < 3; ++t) {
            const Figures &l = figures[{n, 0}], &o = figures[{n, t}];
            std::printf("| %d | %s | %s | %s | %s | %s | %s |\n", n, kTargets[t],
                        Ratio(l.lastP50, o.lastP50).c_str(), Ratio(l.lastP99, o.lastP99).c_str(),
                        Ratio(l.firstP50, o.firstP50).c_str(),
                        Ratio(l.cpuMicrosAMessage, o.cpuMicrosAMessage).c_str(),
                        Ratio(l.rssKbAConnection, o.rssKbAConnection).c_str());
        }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: bench_web_peers [--subscribers N[,N...]] [--plies-per-second X] "
                     "[--game NAME] [--runs K]\n");
        return 2;
    }
    const RecordedGame game = CutAtMoves(
        ReadFile(std::string(LANTREL_FIXTURES) + "/xboard/" + options.gameName + ".debug"));
    if (game.moves.empty()) {
        std::fprintf(stderr, "no moves in %s\n", options.gameName.c_str());
        return 1;
    }
    // The floor holds both ends of its connections in this program.
    const int most = *std::max_element(options.sizes.begin(), options.sizes.end());
    const std::int64_t limit = lantrel::RaiseOpenFileLimit();
    if (limit != 0 && limit < 2 * most + 256) {
        std::fprintf(stderr, "open-file limit %lld: %d subscribers need %d\n",
                     static_cast<long long>(limit), most, 2 * most + 256);
        return 1;
    }
    if (!HaveNginxWithNchan()) {
        std::fprintf(stderr,
                     "nginx with the nchan module is missing and could not be installed "
                     "(apt-get install nginx libnginx-mod-nchan, as root)\n");
        return 1;
    }
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    std::signal(SIGPIPE, SIG_IGN);

    try {
        std::printf("recording the feed of %s (%zu plies at %.1f a second)\n",
                    options.gameName.c_str(), game.moves.size(), options.pliesPerSecond);
        const Recording recording = Record(game, options.pliesPerSecond);
        std::size_t messages = recording.prelude.size();
        std::string unmoved;  // appends whose move came late or not at all: left out of the times
        for (std::size_t g = 0; g < recording.groups.size(); ++g) {
            messages += recording.groups[g].size();
            if (g + 1 < recording.groups.size() && recording.plies[g] == 0)
                unmoved += " " + std::to_string(g + 1);
        }
        std::printf(
            "recorded %zu messages: %zu before the first ply, %.2f a ply; appends "
            "without their move message:%s\n",
            messages, recording.prelude.size(),
            static_cast<double>(messages - recording.prelude.size()) /
                static_cast<double>(game.moves.size()),
            unmoved.empty() ? " none" : unmoved.c_str());

        std::map<std::pair<int, int>, std::vector<Figures>> runs;
        for (int run = 1; run <= options.runs; ++run)
            for (int n : options.sizes)
                for (int t = 0; t < 3; ++t) {
                    std::printf("run %d of %d: %s with %d subscribers\n", run, options.runs,
                                kTargets[t], n);
                    std::fflush(stdout);
                    const auto target = MakeTarget(t, game, recording, n);
                    const Played played =
                        Play(*target, n, recording.groups.size(), options.pliesPerSecond);
                    runs[{n, t}].push_back(Analyse(played, recording, target->sendsSnapshot(), n));
                    PrintRow("  ", n, t, runs[{n, t}].back());
                }
        std::map<std::pair<int, int>, Figures> figures;
        long lost = 0;
        for (auto& [key, values] : runs) {
            figures[key] = Median(values);
            lost += figures[key].lost + figures[key].unreached;
        }
        PrintTables(options, figures);
        return lost == 0 ? 0 : 1;
    } catch (const Interrupted&) {
        std::fprintf(stderr, "interrupted\n");
        return 130;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
