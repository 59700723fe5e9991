// The games as each output tells them (the browser feed from its snapshot and
// deltas, /state.json, /games.pgn and live.pgn, the NATS stream and bucket),
// rebuilt and compared with the
// games the GUI saved: players, numbers, start positions, every move, results
// and their reasons, and each ply's clock and evaluation. The replay tests
// call it on every recording, beside their checks of the UDP viewer.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "feed_replay_support.h"

namespace lantrel::testing {

// One ply as an output tells it. The score is the mover's, in centipawns.
struct ToldPly {
    std::string san;
    std::optional<std::int64_t> clockSeconds;
    std::optional<int> depth;
    std::optional<std::int64_t> score;
};

struct ToldGame {
    int number = 0;
    std::string white, black, start, result, reason;
    std::vector<ToldPly> plies;
};

// ---- PGN, the GUI's and ours ------------------------------------------------------

// A PGN game as its tags, moves with the comment after each, and the result
// with the comment before it that is no move's (the GUI's words for it).
struct PgnRecord {
    std::map<std::string, std::string> tags;
    std::vector<std::pair<std::string, std::string>> plies;  // SAN, comment
    std::string result, reason;
};

inline std::vector<PgnRecord> ReadPgnRecords(const std::string& text) {
    std::vector<PgnRecord> games;
    bool inMoves = false;
    std::string reason;
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (c == '[' && (at == 0 || text[at - 1] == '\n')) {
            if (games.empty() || inMoves) games.emplace_back();
            inMoves = false;
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            const std::size_t open = line.find('"'), close = line.rfind('"');
            std::string value;
            for (std::size_t k = open + 1; k < close; ++k) {
                if (line[k] == '\\') ++k;
                value += line[k];
            }
            games.back().tags[line.substr(1, line.find(' ') - 1)] = value;
            at = end == std::string::npos ? text.size() : end + 1;
            continue;
        }
        if (c == '{') {
            const std::size_t close = text.find('}', at);
            std::string comment = text.substr(at + 1, close - at - 1);
            for (char& k : comment)
                if (k == '\n') k = ' ';
            // A runner's move comment, its score, depth and time ("+0.31/7 0.017s",
            // "-M4/1 0s", "0s"), ends the game with the reason after ", ".
            auto runnerScore = [](const std::string& text) {
                return !text.empty() && text.back() == 's' &&
                       text.find_first_not_of("0123456789.+-/M s") == std::string::npos;
            };
            std::string after;
            if (const std::size_t comma = comment.find(", ");
                comma != std::string::npos && runnerScore(comment.substr(0, comma))) {
                after = comment.substr(comma + 2);
                comment.resize(comma);
            }
            // A move's comment: ours ("[%clk ...]") or the GUI's score and depth.
            const bool moveComment =
                StartsWith(comment, "[%") || runnerScore(comment) ||
                (comment.size() > 1 && (comment[0] == '+' || comment[0] == '-') &&
                 std::isdigit(static_cast<unsigned char>(comment[1])));
            if (moveComment && !games.back().plies.empty()) {
                games.back().plies.back().second = comment;
                reason = after;
            } else {
                reason = comment;
            }
            at = close + 1;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
            continue;
        }
        const std::size_t end = std::min(text.find_first_of(" \n{", at), text.size());
        const std::string token = text.substr(at, end - at);
        at = end;
        inMoves = true;
        if (token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*") {
            games.back().result = token;
            games.back().reason = reason;
        } else if (!std::isdigit(static_cast<unsigned char>(token[0]))) {
            games.back().plies.push_back({token, ""});
            reason.clear();
        }
    }
    return games;
}

// The GUI's games, told as ours are: XBoard writes each move's score (the
// mover's, in pawns) and depth, "{+0.17/10 1}".
inline std::vector<ToldGame> SavedGames(const std::string& pgn) {
    std::vector<ToldGame> games;
    for (const PgnRecord& record : ReadPgnRecords(pgn)) {
        ToldGame game;
        game.white = record.tags.count("White") ? record.tags.at("White") : "";
        game.black = record.tags.count("Black") ? record.tags.at("Black") : "";
        game.start = record.tags.count("FEN")
                         ? record.tags.at("FEN")
                         : "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
        game.result = record.result;
        game.reason = record.reason;
        for (const auto& [san, comment] : record.plies) {
            ToldPly ply;
            ply.san = san;
            double pawns = 0;
            int depth = 0;
            if (std::sscanf(comment.c_str(), "%lf/%d", &pawns, &depth) == 2) {
                ply.score = std::llround(pawns * 100);
                ply.depth = depth;
            }
            game.plies.push_back(ply);
        }
        games.push_back(game);
    }
    return games;
}

// Our live PGN's games: "[%clk h:mm:ss]" and "[%eval x.xx]" from White's side.
inline std::vector<ToldGame> LivePgnGames(const std::string& pgn) {
    std::vector<ToldGame> games;
    for (const PgnRecord& record : ReadPgnRecords(pgn)) {
        ToldGame game;
        game.number = std::atoi(record.tags.count("Round") ? record.tags.at("Round").c_str() : "0");
        game.white = record.tags.count("White") ? record.tags.at("White") : "";
        game.black = record.tags.count("Black") ? record.tags.at("Black") : "";
        game.result = record.result;
        game.reason = record.reason;
        const bool blackStarts =
            record.tags.count("FEN") && record.tags.at("FEN").find(" b ") != std::string::npos;
        for (const auto& [san, comment] : record.plies) {
            ToldPly ply;
            ply.san = san;
            int h = 0, m = 0, s = 0;
            if (const std::size_t clk = comment.find("[%clk ");
                clk != std::string::npos &&
                std::sscanf(comment.c_str() + clk, "[%%clk %d:%d:%d]", &h, &m, &s) == 3)
                ply.clockSeconds = h * 3600 + m * 60 + s;
            double pawns = 0;
            if (const std::size_t eval = comment.find("[%eval ");
                eval != std::string::npos &&
                std::sscanf(comment.c_str() + eval, "[%%eval %lf]", &pawns) == 1) {
                const bool whiteMoved = (game.plies.size() % 2 == 0) != blackStarts;
                ply.score = std::llround(pawns * 100) * (whiteMoved ? 1 : -1);
            }
            game.plies.push_back(ply);
        }
        games.push_back(game);
    }
    return games;
}

// ---- The browser feed -------------------------------------------------------------

inline ToldPly FeedPly(const nlohmann::json& move) {
    ToldPly ply;
    ply.san = move.value("san", "");
    if (move.contains("clock") && move["clock"].is_number())
        ply.clockSeconds = move["clock"].get<std::int64_t>() / 100;
    if (move.contains("depth")) ply.depth = move["depth"].get<int>();
    if (move.contains("score")) ply.score = move["score"].get<std::int64_t>();
    return ply;
}

inline ToldGame FeedGame(const nlohmann::json& m) {
    ToldGame game;
    game.number = m.value("game", 0);
    game.white = m.value("white", "");
    game.black = m.value("black", "");
    game.start = m.value("startFen", "");
    game.result = m.value("result", "");
    game.reason = m.value("reason", "");
    for (const nlohmann::json& move : m["moves"])
        game.plies.push_back(FeedPly(move));
    return game;
}

// The games a client that followed the feed from its first snapshot knows,
// by number; a fault of the stream (a version skipped, a move out of place)
// fails the test.
inline std::map<int, ToldGame> FeedGames(const std::vector<std::string>& messages) {
    std::map<int, ToldGame> games;
    int current = 0;
    std::int64_t version = -1;
    for (const std::string& text : messages) {
        const nlohmann::json m = nlohmann::json::parse(text, nullptr, false);
        const std::string type = m.value("type", "");
        if (type == "snapshot" && version >= 0) continue;  // the same game, as a newcomer gets it
        if (version >= 0) {
            EXPECT_EQ(m.value("version", -1), version + 1) << text;
        }
        version = m.value("version", -1);
        if (type == "snapshot" || type == "game") {
            ToldGame game = FeedGame(m);
            current = game.number;
            games[current] = game;
        } else if (type == "move") {
            std::vector<ToldPly>& plies = games[current].plies;
            EXPECT_EQ(m.value("ply", 0u), plies.size() + 1) << text;
            plies.push_back(FeedPly(m));
        } else if (type == "takeback") {
            if (!games[current].plies.empty()) games[current].plies.pop_back();
        } else if (type == "clock") {
            // The clocks the GUI told after a move: its mover's time left.
            ToldGame& game = games[current];
            if (game.plies.empty() || game.plies.back().clockSeconds) continue;
            const bool blackStarts = game.start.find(" b ") != std::string::npos;
            const bool whiteMoved = (game.plies.size() % 2 == 1) != blackStarts;
            game.plies.back().clockSeconds = m.value(whiteMoved ? "white" : "black", 0) / 100;
        } else if (type == "result") {
            games[current].result = m.value("result", "");
            games[current].reason = m.value("reason", "");
        }
    }
    return games;
}

// ---- The comparison ---------------------------------------------------------------

inline std::string PlyTrace(const ToldGame& game, std::size_t ply) {
    return "game " + std::to_string(game.number) + " (" + game.white + " - " + game.black +
           ") ply " + std::to_string(ply + 1);
}

// Every game of the feed with a result is in each PGN output alike, and
// /state.json is the feed's last game; the games with moves are the GUI's.
// The games a stream of feed messages tells (the feed itself, the NATS
// stream) are the GUI's: numbered 1, 2, 3 ... in the order played, a game
// over before its first move too (the GUI saves no such game).
inline void ExpectSavedGames(const std::map<int, ToldGame>& told,
                             const std::vector<ToldGame>& saved, const std::string& output) {
    SCOPED_TRACE(output);
    int expectedNumber = 1;
    std::vector<const ToldGame*> played;
    for (const auto& [number, game] : told) {
        EXPECT_EQ(number, expectedNumber++);
        if (!game.plies.empty() && !game.result.empty()) played.push_back(&game);
    }
    ASSERT_EQ(played.size(), saved.size()) << "games with moves and a result";
    for (std::size_t g = 0; g < saved.size(); ++g) {
        const ToldGame& mine = *played[g];
        const ToldGame& theirs = saved[g];
        SCOPED_TRACE("saved game " + std::to_string(g + 1) + ", told game " +
                     std::to_string(mine.number));
        EXPECT_EQ(mine.white, theirs.white);
        EXPECT_EQ(mine.black, theirs.black);
        EXPECT_EQ(mine.result, theirs.result);
        EXPECT_EQ(mine.reason, theirs.reason);
        EXPECT_EQ(CompareFen(mine.start, theirs.start), "");
        ASSERT_EQ(mine.plies.size(), theirs.plies.size());
        for (std::size_t p = 0; p < theirs.plies.size(); ++p) {
            const ToldPly& a = mine.plies[p];
            const ToldPly& b = theirs.plies[p];
            ASSERT_EQ(a.san, b.san) << PlyTrace(mine, p);
            // The GUI's score of a move is the last thinking line it read
            // before it: the feed gives that line (mate scores aside, which
            // the GUI writes in a scale of its own).
            if (b.score && std::llabs(*b.score) < 9000) {
                EXPECT_EQ(std::to_string(a.score.value_or(-1)) + "/" +
                              std::to_string(a.depth.value_or(-1)),
                          std::to_string(*b.score) + "/" + std::to_string(*b.depth))
                    << PlyTrace(mine, p) << " score/depth";
            }
        }
    }
}

// A snapshot (/state.json, the relay's entry in the bucket) is the told game
// in play.
inline void ExpectSnapshotOf(const std::string& json, const ToldGame& last,
                             const std::string& output) {
    const nlohmann::json snapshot = nlohmann::json::parse(json, nullptr, false);
    ASSERT_TRUE(snapshot.is_object()) << output << ": " << json;
    const ToldGame now = FeedGame(snapshot);
    EXPECT_EQ(
        std::to_string(now.number) + " " + now.white + " - " + now.black + " " + now.result,
        std::to_string(last.number) + " " + last.white + " - " + last.black + " " + last.result)
        << output;
    EXPECT_EQ(now.plies.size(), last.plies.size()) << output;
}

// Every output tells the games the GUI saved in `savedPgnPath`: the feed and
// the NATS stream game by game, /state.json and the bucket the game in play,
// and /games.pgn and live.pgn every game with a result as the feed does.
inline void ExpectEveryOutputTellsTheSavedGames(const ReplayOutcome& outcome,
                                                const std::string& savedPgnPath) {
    const std::vector<ToldGame> saved = SavedGames(FileText(savedPgnPath));
    ASSERT_FALSE(saved.empty()) << savedPgnPath;
    std::map<int, ToldGame> feed = FeedGames(outcome.feed);
    ASSERT_FALSE(feed.empty()) << "no feed message";
    ExpectSavedGames(feed, saved, "the feed");
    ExpectSnapshotOf(outcome.state, feed.rbegin()->second, "/state.json");
    if (!outcome.natsStream.empty()) {
        ExpectSavedGames(FeedGames(outcome.natsStream), saved, "the NATS stream");
        const nlohmann::json entry = nlohmann::json::parse(outcome.natsSnapshot, nullptr, false);
        ExpectSnapshotOf(entry.is_object() ? entry["snapshot"].dump() : "", feed.rbegin()->second,
                         "the NATS bucket");
    }

    // live.pgn and /games.pgn are one text, the download, which pgn-extract
    // reads without complaint; it tells what the feed tells, game by game and
    // ply by ply.
    EXPECT_EQ(outcome.gamesPgn, outcome.livePgn);
    TempDir dir;
    dir.Write("live.pgn", outcome.livePgn);
    EXPECT_EQ(std::system(("/usr/games/pgn-extract -r -s " + dir.File("live.pgn") + " 2> " +
                           dir.File("errors.txt") + " > /dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(dir.Read("errors.txt"), "");
    std::vector<ToldGame> pgn = LivePgnGames(outcome.gamesPgn);
    std::erase_if(pgn, [](const ToldGame& game) { return game.result == "*"; });
    std::size_t finished = 0;
    for (const auto& [number, game] : feed)
        finished += !game.result.empty();
    ASSERT_EQ(pgn.size(), finished) << "games with a result in /games.pgn";
    for (const ToldGame& game : pgn) {
        ASSERT_TRUE(feed.count(game.number)) << "[Round \"" << game.number << "\"]";
        const ToldGame& told = feed.at(game.number);
        SCOPED_TRACE("PGN game " + std::to_string(game.number));
        EXPECT_EQ(game.white + " - " + game.black + " " + game.result + " {" + game.reason + "}",
                  told.white + " - " + told.black + " " + told.result + " {" + told.reason + "}");
        ASSERT_EQ(game.plies.size(), told.plies.size());
        for (std::size_t p = 0; p < game.plies.size(); ++p) {
            const ToldPly& a = game.plies[p];
            const ToldPly& b = told.plies[p];
            EXPECT_EQ(a.san, b.san) << PlyTrace(game, p);
            if (b.clockSeconds && *b.clockSeconds >= 0) {
                EXPECT_EQ(a.clockSeconds, b.clockSeconds) << PlyTrace(game, p) << " clock";
            }
            if (b.score && std::llabs(*b.score) < 90000) {
                EXPECT_EQ(a.score, b.score) << PlyTrace(game, p) << " evaluation";
            }
        }
    }
}

}  // namespace lantrel::testing
