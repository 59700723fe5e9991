#include "app/server.h"

#include "app/tourney_requests.h"
#include "feed/feed.h"
#include "platform/files.h"

namespace lantrel {

Server::Server(Platform& platform)
    : os(platform),
      journal{ResolvePath(platform.workDir, "server.log")},
      screen(platform.console),
      net(platform, config, screen, journal),
      udp(net),
      record(platform.clock),
      livePgn(record, config.site, config, ResolvePath(platform.workDir, "live.pgn")),
      webFeed(platform.clock, record, config.site, config),
      feed(platform.clock, platform.workDir, config, screen, outputs, journal) {
    net.currentGame = [this] { return SnapshotOf(feed.game); };
    outputs.Attach(udp);
    outputs.Attach(record);
    outputs.Attach(livePgn);  // after the record it writes out
    AddTourneyCommands(*this);
}

std::string Server::File(const std::string& name) const {
    return ResolvePath(os.workDir, name);
}

}  // namespace lantrel
