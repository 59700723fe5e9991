#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "platform/files.h"
#include "text/text.h"
#include "tourney/tourney.h"
#include "web/feed_messages.h"
#include "web/page_files.h"

namespace lantrel {

namespace {

// WEBROOT= when given, else the installed page, else this source tree's. The
// installed page's folder is absolute on Linux; on Windows it is "web", in the
// server's working folder, where the zip puts it beside the programs.
std::string PageFolder(const WebSettings& settings, const std::string& workDir) {
    if (!settings.webRoot.empty()) return settings.webRoot;
    const std::string installed = ResolvePath(workDir, LANTREL_INSTALLED_PAGE);
    return FileExists(installed + "/index.html") ? installed : LANTREL_SOURCE_PAGE;
}

// Lines of a tournament answer without their "CT:" or "GL:" prefix, in UTF-8.
std::string PageText(const std::vector<std::string>& lines, std::string_view prefix) {
    std::string text;
    for (const std::string& line : lines) {
        if (!StartsWith(line, prefix)) continue;
        text += TextToUtf8(line.substr(prefix.size())) + "\n";
    }
    return text;
}

const char* const kCrosstable = "/crosstable.txt";
const char* const kGameList = "/gamelist.txt";

// The crosstable and the game list of the tournament PGN (nullopt for both
// when server.ini names none).
std::map<std::string, std::optional<std::string>> TourneyPages(const PgnLookup& pgn) {
    if (pgn.status == PgnLookup::kNotConfigured) return {{kCrosstable, {}}, {kGameList, {}}};
    auto table = std::make_unique<CrossTable>();  // about 3 MB: not on the stack
    std::string crosstable = PageText(ResultTableReply(*table, pgn), "CT:");
    std::string gameList = "The tournament PGN cannot be read now.\n";
    if (pgn.status == PgnLookup::kRead) {
        table = std::make_unique<CrossTable>();
        gameList = PageText(GameListLines(*table, ScanPgnTags(pgn.text)), "GL:");
    }
    return {{kCrosstable, std::move(crosstable)}, {kGameList, std::move(gameList)}};
}

// Builds the tournament pages and the live PGN's event again when the PGN
// changed (another name in server.ini, another length or time of writing),
// looking once a second: a large PGN is read and scanned once per change,
// never once per request.
void RefreshTourneyTexts(Server& server) {
    if (!server.web && !server.config.livePgn) return;
    TourneyDesk& desk = server.tourney;
    const double now = server.os.clock.Monotonic();
    if (now - desk.webPagesCheckedAt < 1) return;
    desk.webPagesCheckedAt = now;
    TourneyDesk::PagesSource source{FindTourneyPgn(server.File("server.ini")), std::nullopt};
    if (!source.path.empty()) source.stamp = StampOf(ResolvePath(server.os.workDir, source.path));
    if (desk.webPagesSource == source) return;
    const PgnLookup pgn = LookUpTourneyPgn(server.File("server.ini"), server.os.workDir);
    // A file the GUI holds for a moment: the pages stay as they are, and the
    // next look tries again.
    if (pgn.status == PgnLookup::kUnreadable) return;
    desk.webPagesSource = source;
    desk.pgnEvent = PgnEvent(pgn.text);
    desk.pgnRead = pgn.status == PgnLookup::kRead;
    desk.pgnGames = desk.pgnRead ? ScanPgnTags(pgn.text) : std::vector<TaggedGame>{};
    desk.tourneyPageFor.reset();
    server.livePgn.TourneyEvent(desk.pgnEvent);
    if (server.web) server.web->TextPages(TourneyPages(pgn));
}

RunGame RunGameOf(const RecordedGame& game) {
    return {game.number, game.white, game.black, game.result, !game.plies.empty()};
}

// This run's earlier games as pages of their own, each once it is over, and
// the page's tournament again whenever the PGN or this run's games changed.
void ServeRunPages(Server& server) {
    TourneyDesk& desk = server.tourney;
    const std::vector<RecordedGame>& finished = server.record.finished();
    const RecordedGame& current = server.record.current();
    std::map<std::string, std::optional<std::string>> pages;
    // The record starts afresh when the log is read again; its games come
    // back under the same numbers and replace their pages.
    if (finished.size() < desk.earlierGamesServed) desk.earlierGamesServed = 0;
    for (; desk.earlierGamesServed < finished.size(); ++desk.earlierGamesServed) {
        const RecordedGame& game = finished[desk.earlierGamesServed];
        pages["/games/" + std::to_string(game.number) + ".json"] = DocumentText(game);
    }
    const TourneyDesk::RunProgress progress{finished.size(), current.number, current.result};
    if (desk.tourneyPageFor != progress) {
        desk.tourneyPageFor = progress;
        std::vector<RunGame> run;
        for (const RecordedGame& game : finished)
            run.push_back(RunGameOf(game));
        TourneyDocument document{desk.pgnEvent, {}, {}, {}, run};
        run.push_back(RunGameOf(current));
        document.games = ListTourneyGames(desk.pgnGames, desk.pgnRead, run);
        document.standings = RankPlayers(document.games);
        document.crossResults = CrossResults(document.games, document.standings);
        pages["/tourney.json"] = DocumentText(document);
    }
    if (!pages.empty()) server.web->TextPages(std::move(pages));
}

// The administrator silences browsers as it boots viewers: "BOOT:name" stops
// the chat of the browsers that chatted under that name, "SRBOOT:address" that
// of every browser at the address. UDP viewers are booted by the dispatcher's
// own commands, which see the same text.
void AddChatSilencing(Server& server) {
    auto command = [&server](std::string_view keyword, bool byAddress) {
        return Command{[keyword](const std::string& text) { return StartsWith(text, keyword); },
                       [&server, keyword, byAddress](Request& request) {
                           if (!server.web || !IsAdministrator(server.net, request)) return;
                           const std::string target =
                               TrimBlanks(request.text.substr(keyword.size()));
                           if (target.empty()) return;
                           if (byAddress) {
                               server.web->Ban(target);
                           } else {
                               server.web->Silence(target);
                           }
                           server.journal.Write("Web chat: " + target + " silenced");
                       }};
    };
    AddCommand(server.net, command("BOOT:", false));
    AddCommand(server.net, command("SRBOOT:", true));
}

std::vector<std::string> UserNames(const ClientTable& clients) {
    std::vector<std::string> names;
    for (int k = 1; k <= kClientSlots && clients.slots[k].ip != 0; ++k)
        names.push_back(TrimRightBlanks(clients.slots[k].name));
    return names;
}

// What server.log says of the page's files that are not served, ten by name.
std::string LeftOutNote(const std::vector<std::string>& leftOut) {
    constexpr std::size_t kNamed = 10;
    std::string note = "Web page: not served, as they lead out of the page's folder or back up it:";
    for (std::size_t i = 0; i < leftOut.size() && i < kNamed; ++i)
        note += " " + leftOut[i];
    if (leftOut.size() > kNamed)
        note += " and " + std::to_string(leftOut.size() - kNamed) + " more";
    return note;
}

}  // namespace

void StartWebListener(Server& server) {
    const ServerConfig& config = server.config;
    if (config.webPort == 0) return;
    for (const std::string& word : config.webEventFeedsRefused)
        server.journal.Write("Web setting: WEBEVENTFEEDS= leaves out \"" + word +
                             "\", not an origin such as ws://192.168.1.21:8080");
    std::string problem;
    if (config.webPort < 0) {
        problem = "WEBPORT= must be a number from 1 to 65535";
    } else {
        WebListenerSetup setup;
        setup.bindAddress = config.webBind == "0.0.0.0" ? std::string() : config.webBind;
        setup.port = config.webPort;
        setup.chatAllowed = config.webChat;
        setup.maxConnections = ConnectionCeiling(RaiseOpenFileLimit());
        setup.maxPerAddress = config.webMaxPerAddress;
        setup.chatOrigins = config.webChatOrigins;
        setup.frameAncestors = config.webFrameAncestors;
        setup.natsServers = config.webNatsServers;
        setup.eventFeeds = config.webEventFeeds;
        setup.run = server.webFeed.run();
        const std::string folder = PageFolder(config, server.os.workDir);
        PageFiles page = LoadPageFiles(folder);
        if (page.files.empty()) server.journal.Write("Web page: no page files in " + folder);
        if (!page.leftOut.empty()) server.journal.Write(LeftOutNote(page.leftOut));
        setup.files = std::move(page.files);
        const std::string missing = "This server has no tournament PGN file.";
        setup.textPages = {{kCrosstable, missing}, {kGameList, missing}};
        auto web = std::make_unique<WebServer>();
        problem = web->Start(std::move(setup));
        if (problem.empty()) server.web = std::move(web);
    }
    if (!server.web) {
        server.journal.Write("Web listener: " + problem);
        server.screen.ShowWebListener(std::nullopt);
        return;
    }
    WebServer& web = *server.web;
    server.webFeed.audience.userNames = [&server] { return UserNames(server.net.clients); };
    server.webFeed.audience.webViewers = [&web] { return web.Viewers(); };
    server.webFeed.AddListener(web);
    server.outputs.Attach(server.webFeed);  // after the record it reads the moves from
    server.livePgn.published = [&web](const std::string& pgn) { web.Pgn(pgn); };
    server.net.chatRelayed = [&server](const std::string& line) { server.webFeed.ChatLine(line); };
    AddChatSilencing(server);
    const std::string host = config.webBind.empty() ? "0.0.0.0" : config.webBind;
    server.journal.Write("Web page: http://" + host + ":" + std::to_string(web.Port()) + "/");
    if (web.PortExclusive())
        server.journal.Write("Web port: " + std::to_string(web.Port()) +
                             " held exclusively, no other program can listen on it");
    server.screen.ShowWebListener(web.Port());
}

void ServeWebListener(Server& server) {
    RefreshTourneyTexts(server);
    if (!server.web) return;
    ServeRunPages(server);
    for (const WebChatLine& line : server.web->TakeChatLines())
        RelayChatFrom(server.net, Utf8ToLatin1(line.name) + " (web)", Utf8ToLatin1(line.text));
    for (const std::string& note : server.web->TakeNotes())
        server.journal.Write(note);
}

}  // namespace lantrel
