// Placeholders until the tournament services land.
#include "app/server.h"

namespace lantrel {

void SendResultTable(Server&) {}
void SendGameList(Server&) {}
void SendGamesByEmail(Server&) {}

}  // namespace lantrel
