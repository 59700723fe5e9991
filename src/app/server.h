// Server: every record of the running program, in one object.
//
// The server is one thread and one loop; its state is a handful of fixed
// records that every subsystem reads and writes. Keeping them in one object
// (instead of globals) lets a test build as many servers as it likes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/config.h"
#include "app/screen.h"
#include "chess/chess.h"
#include "feed/game_output.h"
#include "feed/live_game.h"
#include "net/net.h"
#include "net/udp_output.h"
#include "platform/platform.h"

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
    GameOutputs outputs;  // everything the feed reports to: the viewers first
    Feed feed;            // the game followed in the GUI's log

    bool headless = false;  // no screen, never waits for a key

    // A working file's full name (server.log, in.dat, ...).
    std::string File(const std::string& name) const;
};

}  // namespace lantrel
