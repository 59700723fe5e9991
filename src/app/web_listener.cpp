#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "platform/files.h"
#include "text/text.h"
#include "tourney/tourney.h"

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
        text += Latin1ToUtf8(line.substr(prefix.size())) + "\n";
    }
    return text;
}

// The crosstable and the game list, computed afresh on each request on the web
// listener's thread: they read only server.ini and the tournament PGN.
std::map<std::string, WebListenerSetup::TextPage> TourneyPages(const Server& server) {
    const std::string ini = server.File("server.ini");
    const std::string workDir = server.os.workDir;
    const std::string missing = "This server has no tournament PGN file.";
    auto lookUp = [ini, workDir]() -> std::optional<PgnLookup> {
        PgnLookup pgn = LookUpTourneyPgn(ini, workDir);
        if (pgn.status == PgnLookup::kNotConfigured) return std::nullopt;
        return pgn;
    };
    return {
        {"/crosstable.txt",
         {[lookUp]() -> std::optional<std::string> {
              auto pgn = lookUp();
              if (!pgn) return std::nullopt;
              auto table = std::make_unique<CrossTable>();  // about 3 MB: not on the stack
              return PageText(ResultTableReply(*table, *pgn), "CT:");
          },
          missing}},
        {"/gamelist.txt",
         {[lookUp]() -> std::optional<std::string> {
              auto pgn = lookUp();
              if (!pgn) return std::nullopt;
              if (pgn->status != PgnLookup::kRead)
                  return "The tournament PGN cannot be read now.\n";
              auto table = std::make_unique<CrossTable>();
              return PageText(GameListLines(*table, ScanPgnTags(pgn->text)), "GL:");
          },
          missing}},
    };
}

std::vector<std::string> UserNames(const ClientTable& clients) {
    std::vector<std::string> names;
    for (int k = 1; k <= kClientSlots && clients.slots[k].ip != 0; ++k)
        names.push_back(TrimRightBlanks(clients.slots[k].name));
    return names;
}

}  // namespace

void StartWebListener(Server& server) {
    const ServerConfig& config = server.config;
    if (config.webPort == 0) return;
    std::string problem;
    if (config.webPort < 0) {
        problem = "WEBPORT= must be a number from 1 to 65535";
    } else {
        WebListenerSetup setup;
        setup.bindAddress = config.webBind == "0.0.0.0" ? std::string() : config.webBind;
        setup.port = config.webPort;
        setup.chatAllowed = config.webChat;
        setup.run = server.webFeed.run();
        const std::string folder = PageFolder(config, server.os.workDir);
        setup.files = LoadPageFiles(folder);
        if (setup.files.empty()) server.journal.Write("Web page: no page files in " + folder);
        setup.textPages = TourneyPages(server);
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
    const std::string host = config.webBind.empty() ? "0.0.0.0" : config.webBind;
    server.journal.Write("Web page: http://" + host + ":" + std::to_string(web.Port()) + "/");
    server.screen.ShowWebListener(web.Port());
}

void RelayWebChat(Server& server) {
    if (!server.web) return;
    for (const WebChatLine& line : server.web->TakeChatLines())
        RelayChatFrom(server.net, Utf8ToLatin1(line.name) + " (web)", Utf8ToLatin1(line.text));
}

}  // namespace lantrel
