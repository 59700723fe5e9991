// A tournament PGN file through the results table, the game list and the
// selection of games by e-mail, as a viewer asks for them, and through the
// web page's standings (with this run's games: the file's first ones).
//
// The input is the PGN file. When its first line starts with "SEND:" that line
// is the viewer's request (otherwise "SEND: 1 2 3 5 8 13 300 "), and when the
// next line starts with "EMAIL:" that is the viewer's stored address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/tourney_requests.h"
#include "fuzz_support.h"
#include "net/net.h"
#include "text/text.h"
#include "tourney/tourney.h"
#include "web/feed_messages.h"

using namespace lantrel;
using namespace lantrel::fuzzing;

namespace {

constexpr IpAddress kViewer = MakeIp(10, 0, 0, 2);

// Takes the first line of `text` when it starts with `key`.
std::string TakeLine(std::string_view& text, std::string_view key) {
    if (!StartsWith(text, key)) return {};
    std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string request = TakeLine(input, "SEND:");
    if (request.empty()) request = "SEND: 1 2 3 5 8 13 300 ";
    std::string email = TakeLine(input, "EMAIL:");
    if (email.empty()) email = "EMAIL:viewer@example.com";

    FuzzServer& f = FuzzServer::Start(
        "PATH=gui.log\nMAILSERVER=mail.example.com\nRETURNADD=server@example.com\n"
        "TOURNEYPGN=tourney.pgn\n");
    WriteScratchFile("tourney.pgn", input);
    Server& server = *f;

    f.socket.Queue(kViewer, "LOGONv15:Viewer");
    f.socket.Queue(kViewer, email);
    ServiceNetwork(server.net);
    f.socket.sent.clear();

    Request resultTable{kViewer, "RESULTTABLE"};
    SendResultTable(server, resultTable);
    Request gameList{kViewer, "GAMELIST"};
    SendGameList(server, gameList);
    Request send{kViewer, request};
    SendGamesByEmail(server, send);

    // A reply that does not fit in one UDP datagram would fail to send and cost
    // the viewer its connection.
    for (const SentDatagram& d : f.socket.sent)
        FUZZ_CHECK(d.text.size() <= 65507);
    // The mailer's arguments carry the viewer's address: it must be a plain one,
    // and no value may be read as an option or break email.log's line.
    const std::vector<std::string> options{"-to", "-file", "-h", "-from", "-s"};
    for (const StartedProcess& mailer : f.processes.started) {
        FUZZ_CHECK(mailer.program == "gbmail");
        FUZZ_CHECK(mailer.outputFile == server.File("email.log"));
        FUZZ_CHECK(mailer.args.size() == 2 * options.size());
        for (std::size_t i = 0; i + 1 < mailer.args.size(); i += 2) {
            FUZZ_CHECK(mailer.args[i] == options[i / 2]);
            const std::string& value = mailer.args[i + 1];
            FUZZ_CHECK(!StartsWith(value, "-"));
            FUZZ_CHECK(value.find_first_of("\n\r") == std::string::npos);
        }
        FUZZ_CHECK(IsPlainMailAddress(mailer.args[1]));
    }
    // The page's tournament: every game with a result and both names counts
    // once for each of its players, whatever the file holds.
    const std::vector<TaggedGame> pgnGames = ScanPgnTags(input);
    std::vector<RunGame> run;
    for (std::size_t i = 0; i < pgnGames.size() && i < 3; ++i)
        run.push_back({static_cast<std::int32_t>(i + 1), pgnGames[i].whiteAsWritten,
                       pgnGames[i].blackAsWritten, TrimBlanks(pgnGames[i].result), i != 1});
    TourneyDocument document{PgnEvent(input), {}, {}, ListTourneyGames(pgnGames, true, run), run};
    document.standings = RankPlayers(document.games);
    document.crossResults = CrossResults(document.games, document.standings);
    std::int64_t counted = 0;
    for (const Standing& player : document.standings)
        counted += player.games;
    std::int64_t decided = 0;
    for (const ListedGame& game : document.games)
        if ((game.result == "1-0" || game.result == "0-1" || game.result == "1/2-1/2") &&
            !TrimBlanks(game.white).empty() && !TrimBlanks(game.black).empty())
            ++decided;
    FUZZ_CHECK(counted == 2 * decided);
    FUZZ_CHECK(document.crossResults.size() == document.standings.size());
    FUZZ_CHECK(StartsWith(DocumentText(document), "{\"event\":"));
    CheckServerInvariants(server);
    return 0;
}
