// Shared by the end-to-end tests that replay recorded GUI logs through the real
// server: the expectation files written at recording time, a viewer on loopback
// that notes every game it is shown, and the comparison of positions.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/viewer_client.h"
#include "platform/files.h"
#include "platform/posix.h"
#include "support/nats_reader.h"
#include "support/test_support.h"
#include "support/web_clients.h"
#include "text/text.h"
#include "web/relay_plan.h"

namespace lantrel::testing {

// ---- What the recording says (NAME.expected, written by tools/record) ----------

struct ExpectedPly {
    std::string uci, san, fen;
};

struct ExpectedGame {
    std::string white, black, result, start, final;
    std::vector<ExpectedPly> plies;
};

// A file's bytes; empty when it cannot be read.
inline std::string FileText(const std::string& path) {
    return ReadWholeFile(path).value_or("");
}

inline std::vector<ExpectedGame> ReadExpected(const std::string& path) {
    std::vector<ExpectedGame> games;
    for (const std::string& line : SplitLines(FileText(path))) {
        auto rest = [&](std::size_t n) { return line.substr(std::min(n, line.size())); };
        if (StartsWith(line, "game ")) {
            games.emplace_back();
        } else if (games.empty() || line.empty() || line[0] == '#') {
            continue;
        } else if (StartsWith(line, "white ")) {
            games.back().white = rest(6);
        } else if (StartsWith(line, "black ")) {
            games.back().black = rest(6);
        } else if (StartsWith(line, "result ")) {
            games.back().result = rest(7);
        } else if (StartsWith(line, "start ")) {
            games.back().start = rest(6);
        } else if (StartsWith(line, "final ")) {
            games.back().final = rest(6);
        } else if (StartsWith(line, "ply ")) {
            std::istringstream fields(line);
            std::string word, number;
            ExpectedPly ply;
            fields >> word >> number >> ply.uci >> ply.san;
            std::getline(fields, ply.fen);
            ply.fen = TrimBlanks(ply.fen);
            games.back().plies.push_back(ply);
        }
    }
    return games;
}

// SAN without check and mate marks: the server writes none.
inline std::string WithoutCheckMarks(std::string san) {
    while (!san.empty() && (san.back() == '+' || san.back() == '#'))
        san.pop_back();
    return san;
}

// The move message a viewer must receive for a ply of a game from the start
// position: "WMOVE: 1. e4", "BMOVE: 1. e5", ...
inline std::string MoveMessage(int ply, const std::string& san) {
    return std::string(ply % 2 == 1 ? "WMOVE:" : "BMOVE:") + NumberText((ply + 1) / 2) + ". " +
           WithoutCheckMarks(san);
}

// Compares a received move message with the recorded ply. Empty when they agree,
// otherwise what differs. The server writes the SAN of a move it finds among the
// pseudo-legal moves (a pinned piece included), so a piece move may carry a file
// or rank that standard SAN leaves out ("Nge7" while the c6 knight is pinned);
// that is accepted when the extra letters name the move's real starting square.
inline std::string CompareMoveMessage(const std::string& got, int ply, const std::string& san,
                                      const std::string& uci) {
    const std::string want = MoveMessage(ply, san);
    if (got == want) return "";
    const std::string prefix = want.substr(0, want.find(". ") + 2);
    const std::string bare = WithoutCheckMarks(san);
    const std::string mismatch = "'" + got + "' but the recording has '" + want + "' (" + uci + ")";
    if (got.compare(0, prefix.size(), prefix) != 0 || bare.empty() ||
        std::string("NBRQK").find(bare[0]) == std::string::npos) {
        return mismatch;
    }
    std::string gotSan = got.substr(prefix.size());
    // Piece letter, then the extra from-square letters, then the rest of the SAN.
    const std::string rest = bare.substr(1);
    if (gotSan.size() <= bare.size() || gotSan[0] != bare[0] ||
        gotSan.compare(gotSan.size() - rest.size(), rest.size(), rest) != 0) {
        return mismatch;
    }
    const std::string extra = gotSan.substr(1, gotSan.size() - bare.size());
    const std::string from = uci.substr(0, 2);
    if (extra != from.substr(0, 1) && extra != from.substr(1, 1) && extra != from) return mismatch;
    return "";
}

// Compares the server's position text (placement, side to move, castling letters,
// nothing more) with a full FEN. Empty when they agree, otherwise what differs.
// The server keeps a castling letter when the rook was captured on its corner
// (castling rights change only when the king or that rook moves), so such a
// letter is accepted while the rook is missing from its corner.
inline std::string CompareFen(const std::string& server, const std::string& full) {
    std::istringstream s(server), f(full);
    std::string placement, side, castling, fullPlacement, fullSide, fullCastling;
    s >> placement >> side >> castling;
    f >> fullPlacement >> fullSide >> fullCastling;
    if (fullCastling == "-") fullCastling.clear();
    if (placement != fullPlacement || side != fullSide) {
        return "position '" + server + "' but the recording has '" + full + "'";
    }
    // The placement as 64 squares, a8 first; blanks for empty squares.
    std::string squares;
    for (char c : placement) {
        if (c >= '1' && c <= '8') {
            squares.append(c - '0', ' ');
        } else if (c != '/') {
            squares += c;
        }
    }
    auto pieceAt = [&](int file, int rank) {
        std::size_t index = static_cast<std::size_t>((8 - rank) * 8 + file);
        return index < squares.size() ? squares[index] : ' ';
    };
    // Shredder-FEN's rook files as X-FEN writes them: K or Q for the
    // outermost rook on its side of the king (Fischer random chess).
    std::string xFen;
    for (char c : fullCastling) {
        const bool white = c >= 'A' && c <= 'H';
        if (!white && (c < 'a' || c > 'h')) {
            xFen += c;
            continue;
        }
        const int rank = white ? 1 : 8, rookFile = (c | 0x20) - 'a';
        const char king = white ? 'K' : 'k', rook = white ? 'R' : 'r';
        int kingFile = 0;
        for (int file = 0; file < 8; ++file)
            if (pieceAt(file, rank) == king) kingFile = file;
        const int step = rookFile > kingFile ? 1 : -1;
        bool outermost = true;
        for (int file = rookFile + step; file >= 0 && file < 8; file += step)
            if (pieceAt(file, rank) == rook) outermost = false;
        const char wing = rookFile > kingFile ? 'K' : 'Q';
        xFen += outermost ? static_cast<char>(white ? wing : wing | 0x20) : c;
    }
    fullCastling = xFen;
    struct Corner {
        char letter, rook;
        int file, rank;
    };
    const Corner corners[] = {
        {'K', 'R', 7, 1}, {'Q', 'R', 0, 1}, {'k', 'r', 7, 8}, {'q', 'r', 0, 8}};
    for (const Corner& corner : corners) {
        bool mine = castling.find(corner.letter) != std::string::npos;
        bool theirs = fullCastling.find(corner.letter) != std::string::npos;
        if (mine == theirs) continue;
        if (mine && pieceAt(corner.file, corner.rank) != corner.rook) continue;
        return "castling '" + castling + "' but the recording has '" + fullCastling + "' in '" +
               full + "'";
    }
    return "";
}

// ---- What a viewer is shown ------------------------------------------------------

struct SeenMove {
    std::string message;    // "WMOVE: 1. e4"
    std::string fen;        // the "FEN: " text that came with it
    std::string fenBefore;  // the position it was played from
};

struct SeenGame {
    std::string white, black, result;
    std::vector<SeenMove> moves;
};

// Follows the message stream: a game ends with "result"; the players of a game
// are the names last announced before its result. A position that returns to
// the one before the last move takes that move back (the GUI refused it); the
// start position abandons the game in play.
struct GameWatcher {
    std::vector<SeenGame> games{1};
    std::string white, black, fen, previousFen;
    std::vector<std::string> messages;
    int results = 0;

    void OnMessage(const std::string& text) {
        messages.push_back(text);
        if (StartsWith(text, "FEN: ")) {
            std::vector<SeenMove>& moves = games.back().moves;
            if (!moves.empty() && moves.back().fenBefore == text.substr(5)) moves.pop_back();
            // The start position in the middle of a game: the GUI started again
            // and the game without a result is abandoned.
            if (StartsWith(text, "FEN: rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"))
                moves.clear();
            previousFen = fen;
            fen = text.substr(5);
        } else if (StartsWith(text, "WPLAYER: ")) {
            white = text.substr(9);
        } else if (StartsWith(text, "BPLAYER: ")) {
            black = text.substr(9);
        } else if (StartsWith(text, "WMOVE:") || StartsWith(text, "BMOVE:")) {
            games.back().moves.push_back({text, fen, previousFen});
        } else if (StartsWith(text, "result ")) {
            games.back().white = white;
            games.back().black = black;
            games.back().result = text.substr(7);
            games.emplace_back();
            ++results;
        }
    }
    // The games that ended with a result.
    std::vector<SeenGame> Finished() const { return {games.begin(), games.end() - 1}; }
};

inline bool WaitForFileText(const std::string& path, const std::string& text, double seconds) {
    return Eventually([&] { return FileText(path).find(text) != std::string::npos; }, seconds);
}

struct ReplayOutcome {
    GameWatcher watcher;
    std::string serverLog;
    std::string livePgn;  // live.pgn as the server left it
    // The browser feed's messages from its first snapshot on, and what the
    // web listener answered at the end for /state.json and /games.pgn.
    std::vector<std::string> feed;
    std::string state;
    std::string gamesPgn;
    // Through NATS: what lantrel-relay left in the channel's stream, and its
    // snapshot for newcomers in the bucket ({"sequence":N,"snapshot":{...}}).
    std::vector<std::string> natsStream;
    std::string natsSnapshot;
    bool setUp = false;  // server started, viewer logged on
    bool replayEnded = false;
};

inline int CountOf(const std::string& text, const std::string& pattern) {
    int count = 0;
    for (std::size_t at = text.find(pattern); at != std::string::npos;
         at = text.find(pattern, at + 1)) {
        ++count;
    }
    return count;
}

// The results an XBoard log gives: every result the GUI sends its first engine.
inline int ResultsInLog(const std::string& debugPath) {
    return CountOf(FileText(debugPath), ">first : result ");
}

// The body of the web listener's answer to a GET of `target`.
inline std::string HttpBody(int port, const std::string& target) {
    TcpPeer peer(port);
    peer.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    const std::string answer = peer.Receive();
    const std::size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : answer.substr(body + 4);
}

// Runs the real server on an empty directory, lets a viewer on 127.0.0.2 log on,
// and plays `recordedLog` into the server's GUI log with lantrel-replay at `speed`;
// then, when given, `restartedLog` in its place, as a GUI started again writes
// its log anew.
// The lines up to the first "new" go in before the server starts, so that its
// first read (which stays silent about moves until it has sent the game header)
// holds no move. Waits for `results` game results, at most `seconds`. A
// browser follows the feed all the while and, `throughNats`, lantrel-relay
// publishes it into a NATS server with JetStream of the test's own.
inline ReplayOutcome ReplayThroughServer(const std::string& recordedLog, int results,
                                         const std::string& restartedLog = "",
                                         bool throughNats = false, double speed = 25,
                                         double seconds = 60) {
    ReplayOutcome outcome;
    TempDir dir;
    const std::string log = FileText(recordedLog);
    // The first "new" sent to an engine: WinBoard's ">first : new", Arena's
    // "-->1:new" (WinBoard engines) or "-->1:ucinewgame" (UCI engines).
    std::size_t firstNew = std::string::npos;
    for (const char* pattern : {" : new", ":new", ":ucinewgame"}) {
        firstNew = std::min(firstNew, log.find(pattern));
    }
    std::size_t primerEnd = firstNew == std::string::npos ? 0 : log.find('\n', firstNew) + 1;
    dir.Write("gui.log", log.substr(0, primerEnd));
    dir.Write("rest.log", log.substr(primerEnd));

    // A port found free may be taken by another program before the server binds
    // it; the server then ends with "Open UDP Error", and starts again on another.
    int port = 0;
    const int webPort = FreeTcpPort();
    std::unique_ptr<ChildProcess> server;
    const std::string marker = primerEnd > 0 ? "New Game" : "Delay after game=";
    for (int attempt = 1;; ++attempt) {
        port = FreeUdpPort();
        dir.Write("server.ini", "PORT=" + std::to_string(port) +
                                    "\nBIND=127.0.0.1\nPATH=gui.log\nDELAY=20\nDELAYAFTERMOVE=0\n"
                                    "DELAYAFTERGAME=0\nSITE=Replay\nLIVEPGN=1\nWEBBIND=127.0.0.1\n"
                                    "WEBPORT=" +
                                    std::to_string(webPort) + "\n");
        server = std::make_unique<ChildProcess>(
            std::vector<std::string>{LANTREL_SERVER_BIN, "--headless", "--dir", dir.path()},
            dir.File("server.out"));
        const bool started = WaitForFileText(dir.File("server.log"), marker, 10) &&
                             Eventually([&] { return !server->Running() || PortTaken(port); }, 10);
        if (started && server->Running()) break;
        if (attempt < 3 && Contains(dir.Read("server.out"), "Open UDP Error")) {
            server->Wait(5);
            continue;
        }
        ADD_FAILURE() << "the server did not start: " << dir.Read("server.out") << "\nserver.log:\n"
                      << dir.Read("server.log") << "\ngui.log holds " << dir.Read("gui.log").size()
                      << " bytes";
        return outcome;
    }

    UdpSocket socket;
    if (socket.Open(static_cast<std::uint16_t>(port), ParseIp("127.0.0.2"), 0) !=
        SocketError::kOk) {
        ADD_FAILURE() << "cannot bind 127.0.0.2:" << port;
        return outcome;
    }
    SystemClock clock;
    ViewerSettings settings;
    settings.server = ParseIp("127.0.0.1");
    settings.port = static_cast<std::uint16_t>(port);
    settings.name = "Tester";
    settings.pingEverySeconds = 0;
    ViewerClient viewer(socket, clock, settings);
    auto lastHeard = std::chrono::steady_clock::now();
    viewer.onMessage = [&](const std::string& text) {
        lastHeard = std::chrono::steady_clock::now();
        outcome.watcher.OnMessage(text);
    };
    viewer.Logon();
    if (!viewer.PollUntil([&] { return viewer.picture().loggedOn; }, 10)) {
        ADD_FAILURE() << "the viewer could not log on";
        return outcome;
    }
    if (!WaitForFileText(dir.File("server.log"), "Web page:", 10)) {
        ADD_FAILURE() << "the web listener did not start: " << dir.Read("server.log");
        return outcome;
    }
    outcome.setUp = true;
    // From its snapshot until the server goes, and with it the connection.
    std::atomic<bool> following = false;
    std::thread browser([&outcome, &following, webPort] {
        WebSocketClient feed(webPort);
        while (std::optional<std::string> text = feed.NextText(600)) {
            outcome.feed.push_back(*text);
            following = true;
        }
    });
    if (!Eventually([&] { return following.load(); }, 10)) ADD_FAILURE() << "no feed snapshot";
    const std::string natsUrl = "nats://127.0.0.1:" + std::to_string(FreeTcpPort());
    const RelayNames channel = RelayNamesOf("replay");
    std::unique_ptr<ChildProcess> nats, relay;
    if (throughNats) {
        nats = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/sbin/nats-server", "-js", "-a", "127.0.0.1", "-p",
                                     natsUrl.substr(natsUrl.rfind(':') + 1), "-sd",
                                     dir.File("jetstream")},
            dir.File("nats.out"));
        if (!WaitForFileText(dir.File("nats.out"), "Server is ready", 10))
            ADD_FAILURE() << "nats-server (scripts/install-deps.sh installs it) did not start: "
                          << dir.Read("nats.out");
        relay = std::make_unique<ChildProcess>(
            std::vector<std::string>{LANTREL_RELAY_BIN, "--feed",
                                     "ws://127.0.0.1:" + std::to_string(webPort) + "/feed",
                                     "--nats", natsUrl, "--channel", "replay"},
            dir.File("relay.out"));
        if (!Eventually([&] { return StreamMessages(natsUrl, channel.stream).has_value(); }, 10))
            ADD_FAILURE() << "the relay made no stream: " << dir.Read("relay.out");
    }

    std::ostringstream speedText;
    speedText << speed;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    // Each replay ends once its log is written and the viewer has seen `awaited` results.
    auto play = [&](std::vector<std::string> args, int awaited) {
        args.insert(args.begin(), {LANTREL_REPLAY_BIN, "--speed", speedText.str()});
        args.push_back(dir.File("gui.log"));
        ChildProcess replay(args, dir.File("replay.out"));
        while (std::chrono::steady_clock::now() < deadline &&
               (replay.Running() || outcome.watcher.results < awaited)) {
            viewer.Poll(20);
        }
        return !replay.Running();
    };
    if (restartedLog.empty()) {
        outcome.replayEnded = play({dir.File("rest.log")}, results);
    } else {
        // The GUI was started again long after the server had read its first
        // log: a server slowed down by a busy machine must not lose that log's
        // last lines to the new one.
        outcome.replayEnded = play({dir.File("rest.log")}, ResultsInLog(recordedLog));
        outcome.replayEnded = play({"--from-start", restartedLog}, results) && outcome.replayEnded;
    }
    // Whatever is still on its way (the moves a busy server has yet to read and
    // send, the last thinking lines, re-sends): until nothing has come for a second.
    viewer.PollUntil(
        [&] {
            const auto now = std::chrono::steady_clock::now();
            return now - lastHeard > std::chrono::seconds(1) || now > deadline;
        },
        seconds);
    outcome.state = HttpBody(webPort, "/state.json");
    outcome.gamesPgn = HttpBody(webPort, "/games.pgn");
    if (throughNats) {
        // Until the relay has published the version /state.json holds (or a
        // later one: a held thinking line or a clock may follow it).
        auto versionOf = [](std::string_view json) {
            return ReadFeedMessageHead(json).value_or(FeedMessageHead{}).version;
        };
        const std::int64_t version = versionOf(outcome.state);
        const bool published = Eventually(
            [&] {
                outcome.natsStream =
                    StreamMessages(natsUrl, channel.stream).value_or(outcome.natsStream);
                return !outcome.natsStream.empty() &&
                       versionOf(outcome.natsStream.back()) >= version;
            },
            10);
        if (!published)
            ADD_FAILURE() << "the relay did not publish version " << version << " ("
                          << outcome.natsStream.size() << " messages): " << dir.Read("relay.out");
        // The relay renews the snapshot for newcomers about every second.
        const bool refreshed = Eventually(
            [&] {
                outcome.natsSnapshot =
                    BucketValue(natsUrl, channel.bucket, channel.key).value_or("");
                const nlohmann::json entry =
                    nlohmann::json::parse(outcome.natsSnapshot, nullptr, false);
                return entry.is_object() && entry.contains("snapshot") &&
                       versionOf(entry["snapshot"].dump()) >= version;
            },
            10);
        if (!refreshed) ADD_FAILURE() << "the bucket's snapshot is not " << version;
    }
    server->Stop();
    browser.join();
    outcome.serverLog = dir.Read("server.log");
    outcome.livePgn = dir.Read("live.pgn");
    return outcome;
}

// Whether the player a viewer was shown is the one XBoard saved. An engine that
// never gave its own name (GNU Chess too slow to start) is shown by its command
// line ("gnuchess --xboard "); XBoard saves the name its tournament gave it,
// the program's.
inline bool SamePlayer(const std::string& shown, const std::string& saved) {
    return shown == saved || StartsWith(shown, saved + " ");
}

inline bool BlackStarts(const ExpectedGame& game) {
    return game.start.find(" b ") != std::string::npos;
}

// Move numbers count plies from the position the game started in, two to a
// number, so a game that Black starts reads "BMOVE: 1. Bb4", "WMOVE: 1. e3",
// "BMOVE: 2. c5": ply p carries the message of ply p + 1 (Black's plies) or
// p - 1 (White's) of a game that White starts.
inline int WhiteFirstPly(int ply, bool blackStarts) {
    if (!blackStarts) return ply;
    return ply % 2 == 1 ? ply + 1 : ply - 1;
}

// Checks the games a viewer saw against the recording.
inline void ExpectGamesAsRecorded(const std::vector<SeenGame>& seen,
                                  const std::vector<ExpectedGame>& expected) {
    ASSERT_EQ(seen.size(), expected.size()) << "games that ended with a result";
    for (std::size_t g = 0; g < expected.size(); ++g) {
        SCOPED_TRACE("game " + std::to_string(g + 1));
        const ExpectedGame& want = expected[g];
        const SeenGame& got = seen[g];
        EXPECT_PRED2(SamePlayer, got.white, want.white);
        EXPECT_PRED2(SamePlayer, got.black, want.black);
        EXPECT_EQ(got.result, want.result);
        EXPECT_EQ(got.moves.size(), want.plies.size());
        for (std::size_t p = 0; p < std::min(got.moves.size(), want.plies.size()); ++p) {
            const int ply = static_cast<int>(p) + 1;
            ASSERT_EQ(
                CompareMoveMessage(got.moves[p].message, WhiteFirstPly(ply, BlackStarts(want)),
                                   want.plies[p].san, want.plies[p].uci),
                "")
                << "ply " << ply;
            ASSERT_EQ(CompareFen(got.moves[p].fen, want.plies[p].fen), "") << "ply " << ply;
        }
        if (!got.moves.empty()) {
            EXPECT_EQ(CompareFen(got.moves.back().fen, want.final), "");
        }
    }
}

// The games that had a move: XBoard saves no game that ended before its first.
inline std::vector<SeenGame> GamesWithMoves(std::vector<SeenGame> games) {
    std::erase_if(games, [](const SeenGame& game) { return game.moves.empty(); });
    return games;
}

}  // namespace lantrel::testing
