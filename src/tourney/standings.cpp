// The standings, game list and crosstable the web page shows.
#include <algorithm>
#include <unordered_map>

#include "text/text.h"
#include "tourney/tourney.h"

namespace lantrel {

namespace {

bool Decided(const std::string& result) {
    return result == "1-0" || result == "0-1" || result == "1/2-1/2";
}

std::string PlayerKey(const std::string& name) {
    return UpperAscii(TrimBlanks(name));
}

bool SameGame(const ListedGame& listed, const RunGame& played) {
    return PlayerKey(listed.white) == PlayerKey(played.white) &&
           PlayerKey(listed.black) == PlayerKey(played.black) && listed.result == played.result;
}

// A game of this run in the list, its names without blanks around them as
// the file's are.
ListedGame Listed(std::int32_t number, const RunGame& game) {
    return {number, TrimBlanks(game.white), TrimBlanks(game.black), game.result, game.number};
}

}  // namespace

std::vector<ListedGame> ListTourneyGames(const std::vector<TaggedGame>& pgnGames, bool havePgn,
                                         const std::vector<RunGame>& run) {
    std::vector<RunGame> decided;
    for (const RunGame& game : run)
        if (Decided(game.result) && (game.hasMoves || !havePgn)) decided.push_back(game);
    std::vector<ListedGame> list;
    if (!havePgn) {
        for (const RunGame& game : decided)
            list.push_back(Listed(static_cast<std::int32_t>(list.size()) + 1, game));
        return list;
    }
    for (const TaggedGame& game : pgnGames)
        list.push_back({static_cast<std::int32_t>(list.size()) + 1, game.whiteAsWritten,
                        game.blackAsWritten, game.result, 0});
    // The GUI saves the games in the order played: the file ends with the
    // run's first games, as many as it has saved; the others are to come.
    const auto endsWith = [&](std::size_t count) {
        const std::size_t from = list.size() - count;
        for (std::size_t i = 0; i < count; ++i)
            if (!SameGame(list[from + i], decided[i])) return false;
        return true;
    };
    std::size_t saved = std::min(decided.size(), list.size());
    while (saved > 0 && !endsWith(saved))
        --saved;
    for (std::size_t i = 0; i < saved; ++i)
        list[list.size() - saved + i].runGame = decided[i].number;
    for (std::size_t i = saved; i < decided.size(); ++i)
        list.push_back(Listed(static_cast<std::int32_t>(list.size()) + 1, decided[i]));
    return list;
}

std::vector<Standing> RankPlayers(const std::vector<ListedGame>& games) {
    std::vector<Standing> standings;
    std::unordered_map<std::string, std::size_t> index;
    auto count = [&](const std::string& name, std::int32_t gameNumber, double points,
                     bool decided) {
        auto [at, isNew] = index.emplace(PlayerKey(name), standings.size());
        if (isNew) standings.push_back({TrimBlanks(name), 0, 0, gameNumber});
        Standing& player = standings[at->second];
        if (!decided) return;
        ++player.games;
        player.points += points;
    };
    for (const ListedGame& game : games) {
        if (TrimBlanks(game.white).empty() || TrimBlanks(game.black).empty()) continue;
        const bool decided = Decided(game.result);
        const double white = game.result == "1-0" ? 1 : game.result == "0-1" ? 0 : 0.5;
        count(game.white, game.number, white, decided);
        count(game.black, game.number, 1 - white, decided);
    }
    std::stable_sort(standings.begin(), standings.end(),
                     [](const Standing& a, const Standing& b) { return a.points > b.points; });
    return standings;
}

std::vector<std::vector<std::string>> CrossResults(const std::vector<ListedGame>& games,
                                                   const std::vector<Standing>& standings) {
    std::unordered_map<std::string, std::size_t> row;
    for (std::size_t i = 0; i < standings.size(); ++i)
        row.emplace(PlayerKey(standings[i].name), i);
    std::vector<std::vector<std::string>> cells(standings.size(),
                                                std::vector<std::string>(standings.size()));
    for (const ListedGame& game : games) {
        const auto w = row.find(PlayerKey(game.white));
        const auto b = row.find(PlayerKey(game.black));
        if (w == row.end() || b == row.end() || !Decided(game.result)) continue;
        const char white = game.result == "1-0" ? '1' : game.result == "0-1" ? '0' : '=';
        const char black = white == '=' ? '=' : white == '1' ? '0' : '1';
        cells[w->second][b->second] += white;
        cells[b->second][w->second] += black;
    }
    return cells;
}

}  // namespace lantrel
