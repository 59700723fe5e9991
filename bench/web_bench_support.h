// What the browser-feed benchmarks share: a recorded XBoard game cut at its
// moves so that it can be appended to the GUI log at any pace, a WebSocket
// client of the feed (Boost.Beast, asynchronous: any number of them on one
// thread) with the game it has followed, and raw TCP peers that send whatever
// bytes a benchmark likes.
#pragma once

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace lantrel::bench {

using Clock = std::chrono::steady_clock;

// A TCP port on loopback that nothing holds at the moment of asking.
inline int FreeTcpPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// server.ini lines for the web listener on loopback, with the move pacing of
// bench_feed_move_latency so that the UDP figures compare.
inline std::string WebSettings(int webPort) {
    return "DELAY=100\nDELAYAFTERMOVE=0\nWEBPORT=" + std::to_string(webPort) +
           "\nWEBBIND=127.0.0.1\n";
}

// CPU seconds (user plus system) this process has used.
inline double OwnCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline void AppendToFile(const std::string& path, const std::string& text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

// A GUI log cut so that each piece of `moves` ends with an engine's move line:
// appending a piece plays exactly one ply.
struct RecordedGame {
    std::string prelude;             // up to the first move line
    std::vector<std::string> moves;  // one ply each, with the thinking before it
    std::string tail;                // the result and what follows
};

inline RecordedGame CutAtMoves(const std::string& log) {
    RecordedGame game;
    std::string piece;
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string_view line(log.data() + at, end - at);
        at = end;
        const bool move = line.find(" <first : move ") != std::string_view::npos ||
                          line.find(" <second: move ") != std::string_view::npos;
        // The first move's piece is its line alone: the set-up before it goes first.
        if (move && game.moves.empty()) game.prelude = std::exchange(piece, "");
        piece += line;
        if (move) game.moves.push_back(std::exchange(piece, ""));
    }
    game.tail = std::move(piece);
    return game;
}

// What a load benchmark is asked: how many followers (`--clients`, `--subscribers`
// or the like), at what pace the game is played, and which recorded XBoard game.
struct LoadOptions {
    int followers;
    double pliesPerSecond = 4;
    std::string gameName = "sf_sf";
    RecordedGame game = {};  // read by ReadLoadOptions
};

// Reads the options after the program's name, and the game they name; on a bad
// option, a game without moves, a pace or a count below `fewest`, says what is
// wrong and returns the exit status (2 for the usage, 1 otherwise), else 0.
inline int ReadLoadOptions(int argc, char** argv, const char* program, const char* countOption,
                           int fewest, LoadOptions& options) {
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value && option == countOption) {
            options.followers = std::atoi(value);
        } else if (value && option == "--plies-per-second") {
            options.pliesPerSecond = std::atof(value);
        } else if (value && option == "--game") {
            options.gameName = value;
        } else {
            std::fprintf(stderr, "usage: %s [%s N] [--plies-per-second X] [--game NAME]\n", program,
                         countOption);
            return 2;
        }
    }
    options.game = CutAtMoves(
        ReadFile(std::string(LANTREL_FIXTURES) + "/xboard/" + options.gameName + ".debug"));
    if (options.game.moves.empty() || options.pliesPerSecond <= 0 || options.followers < fewest) {
        std::fprintf(stderr, "no moves in %s, or a pace or count out of range\n",
                     options.gameName.c_str());
        return 1;
    }
    return 0;
}

// Calls `step` with 0 to count - 1 and the moment, `perSecond` calls a second
// from now on; returns when each call began.
inline std::vector<Clock::time_point> AtSteadyPace(
    std::size_t count, double perSecond,
    const std::function<void(std::size_t, Clock::time_point)>& step) {
    const auto start = Clock::now();
    std::vector<Clock::time_point> began;
    for (std::size_t i = 0; i < count; ++i) {
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(i) / perSecond)));
        began.push_back(Clock::now());
        step(i, began.back());
    }
    return began;
}

// Appends the game's moves to the GUI log `log`, `pliesPerSecond` of them a
// second, and its tail one interval after the last; returns when each move went
// in. `appending`, when given, is told each ply (from 1) and its time just before
// it goes in.
inline std::vector<Clock::time_point> AppendMoves(
    const RecordedGame& game, const std::string& log, double pliesPerSecond,
    const std::function<void(std::size_t ply, Clock::time_point at)>& appending = nullptr) {
    std::vector<Clock::time_point> appended = AtSteadyPace(
        game.moves.size() + 1, pliesPerSecond, [&](std::size_t i, Clock::time_point at) {
            if (i == game.moves.size()) return AppendToFile(log, game.tail);
            if (appending) appending(i + 1, at);
            AppendToFile(log, game.moves[i]);
        });
    appended.pop_back();
    return appended;
}

// The number after `"name":` in a feed message, or -1.
inline std::int64_t NumberField(std::string_view message, std::string_view name) {
    const std::string key = "\"" + std::string(name) + "\":";
    const std::size_t at = message.find(key);
    if (at == std::string_view::npos) return -1;
    std::int64_t value = 0;
    bool digits = false;
    for (std::size_t i = at + key.size();
         i < message.size() && std::isdigit(static_cast<unsigned char>(message[i])); ++i) {
        value = value * 10 + (message[i] - '0');
        digits = true;
    }
    return digits ? value : -1;
}

// The `type` of a feed message, without parsing it whole (the server writes it first).
inline std::string_view TypeOf(std::string_view message) {
    constexpr std::string_view key = "{\"type\":\"";
    if (message.substr(0, key.size()) != key) return {};
    const std::size_t end = message.find('"', key.size());
    return end == std::string_view::npos ? std::string_view()
                                         : message.substr(key.size(), end - key.size());
}

// The game as one feed client has followed it, and when each move reached it.
struct GameFollower {
    std::int64_t version = -1;  // of the last message; -1 before the snapshot
    std::size_t plies = 0;
    bool hasResult = false;
    int faults = 0;                               // versions out of order, plies missing or twice
    std::vector<Clock::time_point> moveArrivals;  // by ply - 1; moves of a snapshot untimed

    void Take(std::string_view message, Clock::time_point at) {
        const std::string_view type = TypeOf(message);
        if (type == "error") return;
        const std::int64_t messageVersion = NumberField(message, "version");
        if (type != "snapshot" && messageVersion != version + 1) ++faults;
        version = messageVersion;
        if (type == "snapshot" || type == "game") {
            const nlohmann::json whole = nlohmann::json::parse(message);
            plies = whole["moves"].size();
            hasResult = !whole["result"].get<std::string>().empty();
            moveArrivals.resize(plies);
        } else if (type == "move") {
            const std::int64_t ply = NumberField(message, "ply");
            if (ply != static_cast<std::int64_t>(plies) + 1) ++faults;
            plies = static_cast<std::size_t>(std::max<std::int64_t>(ply, 0));
            moveArrivals.resize(plies);
            if (plies > 0) moveArrivals[plies - 1] = at;
        } else if (type == "result") {
            hasResult = true;
        }
    }
};

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;

// One browser following the feed: connects, opens the WebSocket on `target`
// and hands every message, with the moment it arrived, to `heard`.
class FeedClient : public std::enable_shared_from_this<FeedClient> {
  public:
    using Heard = std::function<void(std::string_view message, Clock::time_point at)>;

    FeedClient(asio::io_context& io, int port, Heard heard, std::string target = "/feed")
        : ws_(io), port_(port), target_(std::move(target)), heard_(std::move(heard)) {}

    void Start() {
        const asio::ip::tcp::endpoint server(asio::ip::address_v4::loopback(),
                                             static_cast<unsigned short>(port_));
        ws_.next_layer().async_connect(server, [self = shared_from_this()](beast::error_code e) {
            if (e) return self->Fail(e);
            self->ws_.async_handshake("127.0.0.1", self->target_, [self](beast::error_code e) {
                if (e) return self->Fail(e);
                self->Read();
            });
        });
    }
    void Close() {
        beast::error_code ignored;
        ws_.next_layer().close(ignored);
    }
    bool open() const { return !failed_; }
    const std::string& error() const { return error_; }

  private:
    void Read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code e, std::size_t) {
            if (e) return self->Fail(e);
            const auto at = Clock::now();
            const auto data = self->buffer_.cdata();
            self->heard_(std::string_view(static_cast<const char*>(data.data()), data.size()), at);
            self->buffer_.consume(self->buffer_.size());
            self->Read();
        });
    }
    void Fail(beast::error_code e) {
        failed_ = true;
        error_ = e.message();
    }

    websocket::stream<asio::ip::tcp::socket> ws_;
    int port_;
    std::string target_;
    Heard heard_;
    beast::flat_buffer buffer_;
    bool failed_ = false;
    std::string error_;
};

// The value at quantile `q` (0..1) of sorted values.
inline double Quantile(const std::vector<double>& sorted, double q) {
    return sorted.empty() ? 0 : sorted[static_cast<std::size_t>(q * (sorted.size() - 1))];
}

// ---- Raw peers: blocking TCP sockets on loopback that send any bytes at all.

// A connected socket, or -1; `receiveBuffer` > 0 shrinks the receive buffer first.
inline int TcpConnect(int port, int receiveBuffer = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits until a TCP port on loopback takes connections.
inline bool WaitForPort(int port, double seconds) {
    const auto start = Clock::now();
    while (SecondsSince(start) < seconds) {
        const int fd = TcpConnect(port);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The HTTP request that opens the feed's WebSocket (or one at `path`), with the
// sample key of RFC 6455.
inline std::string UpgradeRequest(const std::string& path = "/feed") {
    return "GET " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
           "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
           "Sec-WebSocket-Version: 13\r\n\r\n";
}

// A whole WebSocket frame: `firstByte` (0x81 a text frame, 0x8A a pong) and
// `payload`; a client's is masked with the key 0 (which leaves the bytes as
// they are), a server's not at all.
inline std::string WebSocketFrame(unsigned char firstByte, std::string_view payload, bool masked) {
    std::string frame(1, static_cast<char>(firstByte));
    const std::size_t n = payload.size();
    const int mask = masked ? 0x80 : 0;
    if (n < 126) {
        frame += static_cast<char>(mask | n);
    } else if (n < 65536) {
        frame += static_cast<char>(mask | 126);
        for (int shift = 8; shift >= 0; shift -= 8)
            frame += static_cast<char>((n >> shift) & 0xFF);
    } else {
        frame += static_cast<char>(mask | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((n >> shift) & 0xFF);
    }
    if (masked) frame.append(4, '\0');
    return frame.append(payload);
}

// A client's text frame holding `payload`.
inline std::string ClientFrame(const std::string& payload) {
    return WebSocketFrame(0x81, payload, true);
}

// Sends all of `bytes` within `ms`; false when the peer closed (or time ran out).
inline bool SendAll(int fd, std::string_view bytes, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!bytes.empty()) {
        pollfd p{fd, POLLOUT, 0};
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0 || ::poll(&p, 1, left) <= 0) return false;
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// What the peer sends until it closes the connection or `ms` pass; `closed`
// tells which.
inline std::string ReceiveUntilClosed(int fd, int ms, bool& closed) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string got;
    char buffer[65536];
    closed = false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0 || ::poll(&p, 1, left) <= 0) return got;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = true;
            return got;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace lantrel::bench
