// Routines shared by the files of the broadcast server (not used outside src/net).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/net.h"
#include "platform/platform.h"

namespace lantrel {

// The clock every elapsed-time rule of the network uses: monotonic seconds, so
// that nothing breaks at midnight.
double NetNow(NetServer& net);
// The same, rounded to a whole second (lastHeard, stamp).
std::int64_t NetWholeSeconds(NetServer& net);

// "hh:mm:ss" and "MM-DD-YYYY" of a local date and time.
std::string ClockText(const LocalDateTime& t);
std::string DateText(const LocalDateTime& t);

// The addresses of the occupied slots, in slot order. Sends that fail may remove
// viewers (and so shift the table) while a loop is still going through it; loops
// that send therefore walk a copy and skip viewers that have left meanwhile.
std::vector<IpAddress> ViewerAddresses(const ClientTable& table);
// True when the logged-on viewer at `ip` is to get an unnumbered broadcast: it
// has acknowledged its welcome (or gets no numbered messages at all) and has
// fewer than `backlogLimit` messages awaiting a re-send, as of the last count.
bool TakesRawBroadcast(const NetServer& net, IpAddress ip, std::int32_t backlogLimit);
bool IsLoggedOn(const ClientTable& table, IpAddress ip);

// Datagrams to logged-on viewers are gathered into a batch, then sent together:
// the system takes many in one call where it can. AddToBatch adds `head` and
// `body` for `to` (the local viewer's goes to out.dat at once); SendBatch sends
// them in order and handles each failure as SendDatagram does, once all have gone.
void AddToBatch(NetServer& net, std::vector<OutgoingDatagram>& batch, IpAddress to,
                std::string head, std::string_view body);
void SendBatch(NetServer& net, std::vector<OutgoingDatagram>& batch);

}  // namespace lantrel
