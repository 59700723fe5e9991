// Server: the running program composed of its parts.
//
// The server is one thread and one loop. Each part owns its records and is lent
// what it needs of the others (settings, the screen it reports to, the journal,
// the outputs); keeping it all in one object (instead of globals) lets a test
// build as many servers as it likes.
#pragma once

#include <string>

#include "app/config.h"
#include "app/screen.h"
#include "app/tourney_requests.h"
#include "events/game_output.h"
#include "feed/feed.h"
#include "net/net.h"
#include "net/udp_output.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "web/game_record.h"
#include "web/live_pgn.h"
#include "web/web_feed.h"
#include "web/web_server.h"

namespace lantrel {

struct Server {
    // Attaches the viewers as the feed's output and adds the tournament requests
    // to their commands.
    explicit Server(Platform& platform);
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    Platform& os;
    ServerConfig config;
    Journal journal;  // server.log
    StatusScreen screen;
    NetServer net;        // the viewers' broadcast server
    UdpBroadcaster udp;   // the viewers as an output of the feed
    GameRecorder record;  // the games of this run, move by move
    LivePgnFile livePgn;  // live.pgn, kept when LIVEPGN=1
    WebFeed webFeed;      // the browser feed's messages, once the web listener runs
    GameOutputs outputs;  // everything the feed reports to: the viewers first
    Feed feed;            // the game followed in the GUI's log
    TourneyDesk tourney;  // the tournament requests' own records
    // The web listener when WEBPORT= is set and it could listen. Last, so that
    // its thread stops before anything it reads goes.
    std::unique_ptr<WebServer> web;

    bool headless = false;  // no screen, never waits for a key

    // A working file's full name (server.ini, server.log, email.log, ...).
    std::string File(const std::string& name) const;
};

}  // namespace lantrel
