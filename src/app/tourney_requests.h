// The tournament requests on a running server: each counts and shows what the
// operator follows, computes its answer from the tournament PGN file, and sends
// it to the requester (`channel.remoteIp`) with unnumbered datagrams.
#pragma once

#include <string_view>

namespace lantrel {

struct Server;

// "RESULTTABLE": the crosstable and the most recent games.
void SendResultTable(Server& server);
// "GAMELIST": the numbered list of games.
void SendGameList(Server& server);
// "SEND:": the chosen games by e-mail to the requester's stored address.
void SendGamesByEmail(Server& server);
// The same with the address given (SendGamesByEmail looks it up in the client table).
void SendGamesByEmailTo(Server& server, std::string_view address);

}  // namespace lantrel
