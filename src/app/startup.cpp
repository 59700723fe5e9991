#include <cstdio>

#include "app/app.h"
#include "app/server.h"
#include "app/tourney_requests.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

std::string TwoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string StartTimeText(const LocalDateTime& t) {
    return TwoDigits(t.month) + "-" + TwoDigits(t.day) + "-" + std::to_string(t.year) + " - " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

}  // namespace

void LoadConfiguration(Server& server) {
    ServerConfig& config = server.config;
    config = ServerConfig{};
    config.serverStartTime = StartTimeText(server.os.clock.Now());
    auto lines = ReadLines(server.File("server.ini"));
    config.iniFound = lines.has_value();
    if (lines) ApplyConfigurationLines(config, *lines);

    std::string log = server.File("server.log");
    CreateEmptyFile(log);
    std::vector<std::string> header = ServerLogHeader(config);
    if (!config.iniFound) header.push_back(kNoIniNote);
    if (!config.logFormatRefused.empty())
        header.push_back("LOGFORMAT=" + config.logFormatRefused +
                         " is none of cutechess, fastchess, winboard: the log's own lines tell");
    header.insert(header.end(), server.os.setupNotes.begin(), server.os.setupNotes.end());
    AppendLines(log, header);

    for (const char* name : {"in.dat", "out.dat", "debug.tmp"})
        CreateEmptyFile(server.File(name));
    RemoveLeftoverMailFiles(server);
}

SocketError StartServer(Server& server) {
    Console& console = server.os.console;
    server.screen.ShowBanner();

    InitialiseChess(server.feed.chess);
    server.feed.game = LiveGame{};
    server.feed.reader = FeedState{};
    LoadConfiguration(server);
    if (!server.config.iniFound) server.screen.ShowNoIniNote();

    server.screen.DrawBoard(server.feed.chess.cells);
    WriteFen(server.feed);

    server.screen.ShowAddresses(server.os.socket.LocalAddresses(), server.config.port);

    const std::string problem = NetworkSettingProblem(server.config);
    const SocketError error =
        !problem.empty() ? SocketError::kFailure
                         : server.os.socket.Open(static_cast<std::uint16_t>(server.config.port),
                                                 server.config.bindAddress, server.config.delay);
    if (error != SocketError::kOk) {
        console.Flush();
        if (!problem.empty()) {
            server.journal.Write(problem);
            std::printf("%s\n", problem.c_str());
        }
        std::printf("Open UDP Error%s\n", PrintForm(ErrorNumber(error)).c_str());
        const std::string why = server.os.socket.OpenErrorText();
        if (!why.empty()) {
            const std::string line =
                "UDP port " + std::to_string(server.config.port) + " cannot be opened: " + why;
            server.journal.Write(line);
            std::printf("%s\n", line.c_str());
        }
        std::fflush(stdout);
        return error;
    }
    server.os.wait.WatchFile(ResolvePath(server.os.workDir, server.config.path));
    StartWebListener(server);

    if (server.config.icsMode) server.screen.ShowIcsMode(true);
    server.screen.ShowClientTable(server.net.clients);
    console.Flush();
    return SocketError::kOk;
}

int ServerMain(Server& server, const std::function<bool()>& stop) {
    if (StartServer(server) != SocketError::kOk) return 1;
    server.feed.stopRequested = stop;
    MainLoop(server, stop);
    return 0;
}

}  // namespace lantrel
