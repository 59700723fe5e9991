#include "app/server.h"

#include "app/tourney_requests.h"
#include "feed/feed.h"
#include "platform/files.h"

namespace lantrel {

Server::Server(Platform& platform)
    : os(platform),
      screen(platform.console),
      net(platform, config, screen),
      udp(net),
      feed(platform, config, screen, outputs) {
    net.currentGame = [this] { return SnapshotOf(feed.game); };
    outputs.Attach(udp);
    AddTourneyCommands(*this);
}

std::string Server::File(const std::string& name) const {
    return ResolvePath(os.workDir, name);
}

void WriteServerLog(Server& server, std::string_view text) {
    // One open-append-close per line keeps the journal complete on disk at all times.
    AppendLine(server.File("server.log"), text);
}

void WriteServerLogBlock(Server& server, const std::vector<std::string>& lines) {
    AppendLines(server.File("server.log"), lines);
}

}  // namespace lantrel
