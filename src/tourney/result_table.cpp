// "RESULTTABLE": standings, crosstable and the most recent games of the tournament.
#include <algorithm>
#include <cmath>

#include "text/text.h"
#include "tourney/tourney.h"
#include "tourney/tourney_detail.h"

namespace lantrel {

CrossTable::CrossTable() : cells((kTablePlayers + 1) * (kTablePlayers + 1)) {}

void ClearCrossTable(CrossTable& table) {
    for (auto& p : table.players)
        p = PlayerEntry{};
    for (auto& g : table.recentGames)
        g = GameEntry{};  // entry 0: the ring cursor
    for (auto& cell : table.cells)
        cell.clear();
    table.gameCount = 0;
    table.cellWidth = 0;
    table.leftOutNames.clear();
    table.playerIndex.clear();
}

namespace {

// A name longer than the table's field is cut to it; the cut name, without the
// blanks the cut may leave at its end, is what identifies the player.
std::string TableName(const std::string& name) {
    if (name.size() <= kPlayerNameWidth) return name;
    return TrimRightBlanks(Left(name, kPlayerNameWidth));
}

int FindPlayer(const CrossTable& table, const std::string& name) {
    auto it = table.playerIndex.find(name);
    return it == table.playerIndex.end() ? 0 : it->second;
}

// Table position of `name`, entering it in the first free entry when it is new;
// 0 when every entry is taken by others. (The entries fill from 1 without gaps,
// so the first free entry follows the last name entered.)
int EnterPlayer(CrossTable& table, const std::string& name) {
    if (int i = FindPlayer(table, name)) return i;
    int entered = static_cast<int>(table.playerIndex.size());
    if (entered == kTablePlayers) {
        table.leftOutNames.insert(name);
        return 0;
    }
    table.players[entered + 1].name = name;
    table.playerIndex.emplace(name, entered + 1);
    return entered + 1;
}

void CountPlayer(CrossTable& table, const std::string& name, const std::string& result,
                 const char* win) {
    int i = EnterPlayer(table, name);
    if (i == 0) return;  // no room left: the player gets nothing
    PlayerEntry& p = table.players[i];
    ++p.games;
    if (result == win) p.points += 1.0f;
    if (result == "1/2-1/2") p.points += 0.5f;
}

// Right-aligned digits of a number in `places` places.
std::string Digits(long long n, std::size_t places) {
    return RightAlign(std::to_string(n), places);
}

}  // namespace

void CountGame(CrossTable& table, const TaggedGame& game) {
    std::string white = TableName(game.white);
    std::string black = TableName(game.black);
    int& cursor = table.recentGames[0].number;
    cursor = cursor % kRecentGames + 1;
    ++table.gameCount;
    table.recentGames[cursor] = {table.gameCount, white, black, game.result};
    // A game without a name on one side cannot be credited to anybody: an empty
    // name would claim a free entry that the next new player then takes over,
    // counts and all. Such a game is listed among the recent games only.
    if (white.empty() || black.empty()) return;
    CountPlayer(table, white, game.result, "1-0");
    CountPlayer(table, black, game.result, "0-1");
}

void SortPlayers(CrossTable& table) {
    std::stable_sort(
        table.players.begin() + 1, table.players.end(),
        [](const PlayerEntry& a, const PlayerEntry& b) { return a.points > b.points; });
    table.playerIndex.clear();
    for (int i = 1; i <= kTablePlayers && !table.players[i].name.empty(); ++i)
        table.playerIndex.emplace(table.players[i].name, i);
}

void SortRecentGames(CrossTable& table) {
    std::stable_sort(table.recentGames.begin() + 1, table.recentGames.end(),
                     [](const GameEntry& a, const GameEntry& b) { return a.number > b.number; });
}

void AddCrossTableGame(CrossTable& table, const std::string& white, const std::string& black,
                       const std::string& result) {
    std::string whiteName = TableName(white);
    std::string blackName = TableName(black);
    if (whiteName.empty() || blackName.empty()) return;  // not in the standings either
    int w = FindPlayer(table, whiteName);
    int b = FindPlayer(table, blackName);
    // A player left out of a full table has no row and no column: the game stays
    // in its opponent's count but in no cell.
    if (w == 0 || b == 0) return;
    std::string& wb = table.Cell(w, b);
    std::string& bw = table.Cell(b, w);
    auto append = [](std::string& cell, char c) {
        if (cell.size() < kMaxCellLength) cell += c;
    };
    if (result == "1-0") {
        append(wb, '1');
        append(bw, '0');
    } else if (result == "0-1") {
        append(bw, '1');
        append(wb, '0');
    } else if (result == "1/2-1/2") {
        append(wb, '=');
        append(bw, '=');
    }
    table.cellWidth = std::max({table.cellWidth, static_cast<std::int32_t>(wb.size()),
                                static_cast<std::int32_t>(bw.size())});
}

std::string RankField(std::int32_t rank) {
    return Digits(rank, 4) + ".";
}
std::string GamesField(std::int32_t games) {
    return Digits(games, 5);
}
std::string GameNumberField(std::int32_t number) {
    return Digits(number, 6);
}

std::string PointsField(float points) {
    long long tenths = std::llround(static_cast<double>(points) * 10);
    std::string sign = tenths < 0 ? "-" : "";
    tenths = std::llabs(tenths);
    std::string text = sign + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    return RightAlign(text, 7);
}

std::vector<std::string> CrossTableLines(const CrossTable& table) {
    std::vector<std::string> lines{"CTRESET"};
    int n = 0;
    while (n < kTablePlayers && !table.players[n + 1].name.empty())
        ++n;
    if (n == 0) return lines;

    const std::size_t w = static_cast<std::size_t>(table.cellWidth);
    const std::string dots(w, '.'), stars(w, '*'), blanks(w, ' '), dashes(w, '-');
    // Columns must stay at least two characters wide (three from 100 players on)
    // so that the column numbers above them can be read.
    std::size_t extra = 0;
    if (n > 99 && w < 3) extra = 3 - w;
    if (n > 9 && w < 2) extra = 2 - w;
    const std::string columnPad = blanks.substr(0, extra);
    const std::string dashPad = dashes.substr(0, extra);

    std::string header = " RANK   ENGINE                                    GAMES  POINTS   ";
    std::string rule(67, '-');
    for (int c = 1; c <= n; ++c) {
        header += Left(std::to_string(c) + blanks, w + 1) + columnPad;
        rule += dashes + "-" + dashPad;
    }
    lines.push_back("CT:" + header);
    lines.push_back("CT:" + rule);

    long long totalGames = 0;
    for (int i = 1; i <= n; ++i) {
        const PlayerEntry& p = table.players[i];
        std::string row = RankField(i) + "   " + FixedWidth(p.name, kPlayerNameWidth) + " " +
                          GamesField(p.games) + " " + PointsField(p.points) + "    ";
        row.reserve(row.size() + static_cast<std::size_t>(n) * (w + 1 + extra));
        for (int c = 1; c <= n; ++c) {
            if (c == i) {
                row += stars;
            } else {
                // A cell is padded with dots to the common width.
                const std::string& cell = table.Cell(i, c);
                row += cell;
                row.append(w - std::min(cell.size(), w), '.');
            }
            row += ' ';
            row += columnPad;
        }
        lines.push_back("CT:" + row);
        totalGames += p.games;
    }

    // Each game is counted once for each side; an odd sum (a game whose other
    // side was left out of a full table) shows its half game.
    std::string total = NumberText(totalGames / 2) + (totalGames % 2 ? ".5" : "");
    lines.push_back("CT:");
    lines.push_back("CT:Total games =" + total);
    if (!table.leftOutNames.empty()) {
        lines.push_back("CT:Note: the table holds " + std::to_string(kTablePlayers) + " players;" +
                        NumberText(static_cast<long long>(table.leftOutNames.size())) +
                        " more left out.");
    }
    lines.push_back("CT:");
    lines.push_back("CT:");
    lines.push_back("CT:Most recent games played...");
    lines.push_back("CT:");
    lines.push_back("CT:" + std::string(98, '-'));
    lines.push_back(
        "CT:Game No.  White                                    Black                          "
        "         Result   ");
    lines.push_back("CT:" + std::string(98, '-'));
    for (int i = 1; i <= kRecentGames; ++i) {
        const GameEntry& g = table.recentGames[i];
        if (g.number <= 0) continue;
        lines.push_back(
            "CT:" + GameNumberField(g.number) + "    " + FixedWidth(g.white, kPlayerNameWidth) +
            " " + FixedWidth(g.black, kPlayerNameWidth) + " " + FixedWidth(g.result, kResultWidth));
    }
    return lines;
}

std::vector<std::string> ResultTableReply(CrossTable& table, const PgnLookup& pgn) {
    std::vector<std::string> reply{"CTRESET"};
    switch (pgn.status) {
        case PgnLookup::kNotConfigured:
            reply.push_back("CT:Sorry, this server is not configured to send the results table.");
            return reply;
        case PgnLookup::kNotFound:
            reply.push_back(
                "CT:File not found!  Sorry, the server cannot provide the results at this time.");
            return reply;
        case PgnLookup::kUnreadable:
            // The file is there but another program keeps it from us: say so
            // rather than send an empty or partial table.
            reply.push_back(
                "CT:File cannot be opened!  Sorry, the server cannot provide the results at "
                "this time.");
            return reply;
        case PgnLookup::kRead:
            break;
    }
    ClearCrossTable(table);
    // The file is read once; both passes go over the same games, so a game the GUI
    // appends meanwhile cannot make the passes disagree.
    std::vector<TaggedGame> games = ScanPgnTags(pgn.text);
    reply.push_back("CT:Gathering Information...");
    for (const auto& game : games)
        CountGame(table, game);
    reply.push_back("CT:Sorting...");
    SortPlayers(table);
    SortRecentGames(table);
    reply.push_back("CT:Building crosstable...");
    table.cellWidth = 0;
    for (const auto& game : games) {
        // This pass clears the result after each game: a game whose tags hold no
        // Result line gets no cell rather than the previous game's result.
        AddCrossTableGame(table, game.white, game.black,
                          game.resultTagSeen ? game.result : std::string());
    }
    auto table_lines = CrossTableLines(table);
    reply.insert(reply.end(), table_lines.begin(), table_lines.end());
    return reply;
}

}  // namespace lantrel
