// The broadcast server as the rest of the program sees it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace lantrel {

struct Server;

// Channel state: the current peer and the texts in flight.
struct Channel {
    IpAddress remoteIp = 0;
    std::string outMessage;
    std::string inMessage;
};

struct ClientTable {};

struct ResendQueue {
    std::int32_t resendCount = 0;   // entries awaiting a re-send
    std::int32_t pendingCount = 0;  // entries not yet acknowledged
};

// One network turn: takes every waiting datagram and acts on it. `waitMs` < 0
// means the configured `delay`.
void ServiceNetwork(Server& server, int waitMs = -1);
// Sends `outMessage` once to `remoteIp` (to out.dat for the local viewer).
void SendDatagram(Server& server);
// Unnumbered send to every logged-on viewer.
void BroadcastRaw(Server& server, std::string_view text);
// Numbered, re-sent send to every logged-on viewer.
void Broadcast(Server& server, std::string_view text);
// Numbered, re-sent send to one viewer.
void SendToViewer(Server& server, std::string_view text, IpAddress to);
// Draws the viewer grid and its count.
void ShowClientTable(Server& server);
// The e-mail address stored for the viewer at `ip` (trailing blanks removed), or empty.
std::string EmailOfViewer(const Server& server, IpAddress ip);

}  // namespace lantrel
