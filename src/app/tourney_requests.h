// The tournament requests on a running server: each counts and shows what the
// operator follows, computes its answer from the tournament PGN file, and sends
// it to the requester with unnumbered datagrams.
#pragma once

#include <string>
#include <string_view>

#include "tourney/tourney.h"

namespace lantrel {

struct Server;
struct Request;

// The path given by the first line of server.ini that starts with "TOURNEYPGN="
// (the rest of that line, untrimmed); empty when there is none or the file cannot
// be read. server.ini is read again on every request.
std::string FindTourneyPgn(const std::string& iniPath);

// FindTourneyPgn over `iniPath`, a relative PGN path resolved against `workDir`,
// then the file read whole.
PgnLookup LookUpTourneyPgn(const std::string& iniPath, const std::string& workDir);

// Adds RESULTTABLE, GAMELIST and SEND: to the viewer commands.
void AddTourneyCommands(Server& server);

// "RESULTTABLE": the crosstable and the most recent games.
void SendResultTable(Server& server, const Request& request);
// "GAMELIST": the numbered list of games.
void SendGameList(Server& server, const Request& request);
// "SEND:": the chosen games by e-mail to the requester's stored address.
void SendGamesByEmail(Server& server, const Request& request);
// The same with the address given (SendGamesByEmail looks it up in the client table).
void SendGamesByEmailTo(Server& server, const Request& request, std::string_view address);

}  // namespace lantrel
