// The tournament services: answers computed from the tournament PGN file.
#pragma once

namespace lantrel {

struct Server;

struct CrossTable {};

// "RESULTTABLE": the crosstable and the most recent games.
void SendResultTable(Server& server);
// "GAMELIST": the numbered list of games.
void SendGameList(Server& server);
// "SEND:": the chosen games by e-mail.
void SendGamesByEmail(Server& server);

}  // namespace lantrel
