// Start-up, configuration and the main loop.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace lantrel {

struct Server;

// Reads server.ini into the configuration, starts server.log with its header
// empties the working files (in.dat, out.dat, debug.tmp) and removes the mail
// files an earlier run left behind.
void LoadConfiguration(Server& server);

// The start-up screen and tables, then the UDP port. kOk, or the error
// when the port cannot be opened (after printing "Open UDP Error").
SocketError StartServer(Server& server);

// The web listener when WEBPORT= asks for one: the page, the feed and the live
// PGN over HTTP. A listener that cannot start is reported (on the screen and in
// server.log) and the server goes on without it.
void StartWebListener(Server& server);
// The web listener's turn on the server's thread: hands it the tournament
// pages (and the live PGN its event) when the PGN changed, relays the chat
// lines browsers sent since the last pass to every viewer and writes its
// notes to server.log.
void ServeWebListener(Server& server);

// One pass of the main loop.
void MainLoopPass(Server& server);

// Runs passes until `stop` says so (in production: a stop signal).
void MainLoop(Server& server, const std::function<bool()>& stop);

// The whole program on an opened platform: start-up then the main loop.
// Returns the process exit status.
int ServerMain(Server& server, const std::function<bool()>& stop);

}  // namespace lantrel
