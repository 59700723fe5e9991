// Shared by the end-to-end tests of the web listener: a server on loopback with
// WEBPORT=, raw TCP peers and browsers following the feed (from any loopback
// address, with any Origin), every wait bounded.
#pragma once

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <fstream>
#include <nlohmann/json.hpp>

#include "feed_replay_support.h"
#include "live_viewers.h"

namespace lantrel::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using Json = nlohmann::json;

inline const std::string kXBoard = std::string(LANTREL_FIXTURES) + "/xboard/";
inline const std::string kGame = kXBoard + "sf_fairymax";

// Runs `io` until `done` or `seconds` pass; what is pending then is cancelled.
inline void Await(asio::io_context& io, const bool& done, double seconds, tcp::socket& socket) {
    io.restart();
    io.run_for(std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(seconds)));
    if (done) return;
    beast::error_code ignored;
    socket.cancel(ignored);
    io.restart();
    io.run();
}

// A TCP peer on loopback that sends any bytes; every wait has a limit.
struct TcpPeer {
    explicit TcpPeer(int port, int receiveBuffer = 0, const std::string& source = "127.0.0.1") {
        socket.open(tcp::v4());
        socket.bind({asio::ip::make_address(source), 0});
        if (receiveBuffer > 0)
            socket.set_option(asio::socket_base::receive_buffer_size(receiveBuffer));
        socket.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)});
    }
    // False when the connection ended (or `seconds` passed) before all was sent.
    bool Send(const std::string& bytes, double seconds = 5) {
        bool done = false;
        beast::error_code error;
        asio::async_write(socket, asio::buffer(bytes), [&](beast::error_code e, std::size_t) {
            error = e;
            done = true;
        });
        Await(io, done, seconds, socket);
        return done && !error;
    }
    // What arrives until the peer closes or `seconds` pass.
    std::string Receive(double seconds = 5) {
        std::string got;
        bool done = false;
        asio::async_read(socket, asio::dynamic_buffer(got),
                         [&](beast::error_code, std::size_t) { done = true; });
        Await(io, done, seconds, socket);
        return got;
    }
    asio::io_context io;
    tcp::socket socket{io};
};

// A browser following the feed at `target`.
struct Browser {
    // From the loopback address `source`, with the page's `origin` (none when empty).
    explicit Browser(int port, const std::string& target = "/feed",
                     const std::string& source = "127.0.0.1", const std::string& origin = "") {
        ws.next_layer().open(tcp::v4());
        ws.next_layer().bind({asio::ip::make_address(source), 0});
        ws.next_layer().connect(
            {asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)});
        if (!origin.empty())
            ws.set_option(beast::websocket::stream_base::decorator(
                [origin](beast::websocket::request_type& request) {
                    request.set(beast::http::field::origin, origin);
                }));
        ws.handshake("127.0.0.1:" + std::to_string(port), target);
    }
    // Sends one text message; false when the connection is gone.
    bool Say(const std::string& text) {
        beast::error_code error;
        ws.write(asio::buffer(text), error);
        return !error;
    }
    // The next message; null when none came within `seconds` or the connection ended.
    Json Next(double seconds = 5) {
        beast::flat_buffer buffer;
        bool done = false;
        ws.async_read(buffer, [&](beast::error_code e, std::size_t) {
            ended = ended || e;
            done = true;
        });
        Await(io, done, seconds, ws.next_layer());
        if (!done || ended) return nullptr;
        return Json::parse(beast::buffers_to_string(buffer.data()));
    }
    // The next message of this type, skipping the others.
    Json NextOf(const std::string& type) {
        for (Json m = Next(); !m.is_null(); m = Next())
            if (m["type"] == type) return m;
        return nullptr;
    }
    asio::io_context io;
    beast::websocket::stream<tcp::socket> ws{io};
    bool ended = false;
};

// A client's masked text frame with the key 0, which leaves the bytes as they are.
inline std::string ClientFrame(const std::string& payload) {
    std::string frame = "\x81";
    const std::size_t n = payload.size();
    const int lengthBytes = n < 126 ? 0 : n < 65536 ? 2 : 8;
    frame += static_cast<char>(0x80 | (lengthBytes == 0 ? n : lengthBytes == 2 ? 126 : 127));
    for (int i = lengthBytes - 1; i >= 0; --i)
        frame += static_cast<char>((n >> (8 * i)) & 0xFF);
    return frame + std::string(4, '\0') + payload;
}

inline int FreeTcpPort() {
    asio::io_context io;
    tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint().port();
}

class WebListenerTest : public LiveServerTest {
  protected:
    void StartWeb(const std::string& extraIni = "", const std::string& game = kGame) {
        webPort = FreeTcpPort();
        recorded = game;
        // The server takes what the log holds when it first reads it as written
        // before it looked (one "game" message); what comes later is played live.
        const std::string log = FileText(recorded + ".debug");
        dir.Write("gui.log", log.substr(0, log.find('\n') + 1));
        StartServer("PATH=gui.log\nDELAYAFTERMOVE=0\nWEBPORT=" + std::to_string(webPort) +
                    "\nWEBBIND=127.0.0.1\n" + extraIni);
        ASSERT_TRUE(Eventually([&] { return Contains(dir.Read("server.log"), "Web page:"); }, 10));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // its first read
    }
    void AppendGame() {
        const std::string log = FileText(recorded + ".debug");
        std::ofstream(dir.File("gui.log"), std::ios::app) << log.substr(log.find('\n') + 1);
    }
    Json State() {
        TcpPeer peer(webPort);
        peer.Send("GET /state.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        const std::string answer = peer.Receive();
        return Json::parse(answer.substr(answer.find("\r\n\r\n") + 4), nullptr, false);
    }
    // Waits until /state.json shows the game ended.
    Json FinalState() {
        Json state;
        Eventually([&] { return (state = State()).value("result", "") != ""; }, 10);
        return state;
    }
    // Follows the feed from the snapshot to the log's last result, checking
    // every version: each game's moves (SAN and UCI), a move taken back
    // dropped, and its result. A game that ended before its first move is
    // announced but not saved.
    void ExpectSavedGames(Browser& browser, std::int64_t version) {
        const std::vector<ExpectedGame> saved = ReadExpected(recorded + ".expected");
        const std::size_t announced = static_cast<std::size_t>(ResultsInLog(recorded + ".debug"));
        // A "game" message restates the game in play, or starts the next one
        // once the last has its result.
        std::vector<std::vector<std::string>> games(1);
        std::vector<std::string> results;
        // "e4 e2e4"; the squares are the UCI text's.
        auto plyText = [](const Json& move) {
            const std::string uci = move["uci"];
            EXPECT_EQ(move["from"].get<std::string>() + move["to"].get<std::string>(),
                      uci.substr(0, 4));
            return move["san"].get<std::string>() + " " + uci;
        };
        for (Json m = browser.Next(); !m.is_null(); m = browser.Next()) {
            ASSERT_EQ(m["version"], ++version) << m.dump();
            if (m["type"] == "game") {
                if (results.size() == games.size()) games.emplace_back();
                games.back().clear();
            }
            std::vector<std::string>& plies = games.back();
            for (const Json& move : m["type"] == "game" ? m["moves"] : Json::array())
                plies.push_back(plyText(move));
            if (m["type"] == "move") {
                EXPECT_EQ(m["ply"], plies.size() + 1);
                plies.push_back(plyText(m));
            }
            if (m["type"] == "takeback") {
                EXPECT_EQ(m["ply"], plies.size());
                plies.pop_back();
            }
            if (m["type"] == "result") results.push_back(m["result"]);
            if (results.size() == announced) break;
        }
        ASSERT_EQ(results.size(), announced);
        for (std::size_t g = games.size(); g-- > 0;) {
            if (!games[g].empty()) continue;
            games.erase(games.begin() + static_cast<std::ptrdiff_t>(g));
            results.erase(results.begin() + static_cast<std::ptrdiff_t>(g));
        }
        ASSERT_EQ(games.size(), saved.size());
        for (std::size_t g = 0; g < saved.size(); ++g) {
            std::vector<std::string> expected;
            for (const ExpectedPly& ply : saved[g].plies)
                expected.push_back(ply.san + " " + ply.uci);
            EXPECT_EQ(games[g], expected) << "game " << g + 1;
            EXPECT_EQ(results[g], saved[g].result.substr(0, saved[g].result.find(' ')));
        }
    }
    int webPort = 0;
    std::string recorded;
};

}  // namespace lantrel::testing
