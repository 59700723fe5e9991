// "GAMELIST": the games of the tournament file, most recent first.
#include "text/text.h"
#include "tourney/tourney.h"
#include "tourney/tourney_detail.h"

namespace lantrel {

std::vector<std::string> GameListLines(CrossTable& table, const std::vector<TaggedGame>& games) {
    // The list is built in the ring of recent games: only the last 300 survive.
    for (auto& g : table.recentGames)
        g = GameEntry{};
    table.gameCount = 0;
    int& cursor = table.recentGames[0].number;
    for (const auto& game : games) {
        cursor = cursor % kRecentGames + 1;
        ++table.gameCount;
        // Names are cut to 20 characters here and not trimmed after the cut.
        table.recentGames[cursor] = {table.gameCount, Left(game.white, kListNameWidth),
                                     Left(game.black, kListNameWidth), game.result};
    }
    SortRecentGames(table);

    std::vector<std::string> lines;
    for (int i = 1; i <= kRecentGames; ++i) {
        const GameEntry& g = table.recentGames[i];
        if (g.number <= 0) continue;
        lines.push_back("GL:" + RightAlign(std::to_string(g.number), 5) +
                        FixedWidth(g.white, kPlayerNameWidth) +
                        FixedWidth(g.black, kPlayerNameWidth) + FixedWidth(g.result, kResultWidth));
    }
    return lines;
}

std::vector<std::string> GameListReply(CrossTable& table, const PgnLookup& pgn,
                                       std::string_view mailServer,
                                       std::string_view returnAddress) {
    // The list only serves to pick games for e-mail: it is offered only when
    // "SEND:" would accept the mail settings.
    if (pgn.status == PgnLookup::kNotConfigured || mailServer.empty() ||
        !MailSettingsProblem(mailServer, returnAddress).empty())
        return {"MSG:Sorry, the server is not configured to provide you with a list of games"};
    if (pgn.status == PgnLookup::kNotFound)
        return {
            "MSG:PGN file not found!  Sorry, the server cannot provide you with a list of games."};
    if (pgn.status == PgnLookup::kUnreadable)
        return {
            "MSG:PGN file cannot be opened!  Sorry, the server cannot provide you with a list of "
            "games."};
    return GameListLines(table, ScanPgnTags(pgn.text));
}

}  // namespace lantrel
