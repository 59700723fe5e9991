// Placeholders until the broadcast server lands.
#include "app/server.h"

namespace lantrel {

void ServiceNetwork(Server& server, int waitMs) {
    Datagram d;
    server.os.socket.Receive(waitMs < 0 ? server.config.delay : waitMs, d);
}
void SendDatagram(Server&) {}
void BroadcastRaw(Server&, std::string_view) {}
void Broadcast(Server&, std::string_view) {}
void SendToViewer(Server&, std::string_view, IpAddress) {}
void ShowClientTable(Server&) {}
std::string EmailOfViewer(const Server&, IpAddress) { return {}; }

}  // namespace lantrel
