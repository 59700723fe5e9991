// Shared by the end-to-end tests of the web listener: a server on loopback with
// WEBPORT=, raw TCP peers and browsers following the feed (from any loopback
// address, with any Origin), every wait bounded.
#pragma once

#include <fstream>
#include <nlohmann/json.hpp>

#include "feed_replay_support.h"
#include "live_viewers.h"
#include "support/web_clients.h"

namespace lantrel::testing {

using Json = nlohmann::json;

inline const std::string kXBoard = std::string(LANTREL_FIXTURES) + "/xboard/";
inline const std::string kGame = kXBoard + "sf_fairymax";

// A browser following the feed, its messages read as JSON.
struct Browser : WebSocketClient {
    using WebSocketClient::WebSocketClient;
    // The next message; null when none came within `seconds` or the connection ended.
    Json Next(double seconds = 5) {
        const std::optional<std::string> text = NextText(seconds);
        return text ? Json::parse(*text) : Json(nullptr);
    }
    // The next message of this type, skipping the others.
    Json NextOf(const std::string& type) {
        for (Json m = Next(); !m.is_null(); m = Next())
            if (m["type"] == type) return m;
        return nullptr;
    }
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
