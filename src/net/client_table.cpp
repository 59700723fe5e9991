// The table of logged-on viewers: logon with its welcome, logoff, alias change,
// and what the console shows of them.
#include <algorithm>
#include <utility>

#include "net/net.h"
#include "net/net_detail.h"
#include "net/udp_output.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kMaxNameSuffix = 500;

// True when a logon from `newcomer` may go ahead now. Viewers already logged on
// and the local viewer always may; new addresses share a small rate, so a flood
// of logons with forged addresses draws only a trickle of welcomes.
bool AdmitLogon(NetServer& net, IpAddress newcomer) {
    if (newcomer == kLocalViewerIp || IsLoggedOn(net.clients, newcomer)) return true;
    Channel& ch = net.channel;
    const double now = NetNow(net);
    ch.logonAllowance = std::min(
        kNewLogonsPerSecond, ch.logonAllowance + (now - ch.logonAllowanceAt) * kNewLogonsPerSecond);
    ch.logonAllowanceAt = now;
    if (ch.logonAllowance < 1) return false;
    ch.logonAllowance -= 1;
    return true;
}

// `base`, or `base` followed by the first suffix " 1", " 2", ... that no other
// viewer holds. After " 500" the search gives up and keeps that name.
std::string UniqueName(const NetServer& net, IpAddress asker, const std::string& base) {
    std::string name = base;
    for (int k = 1; k <= kMaxNameSuffix && NameInUse(net, asker, name); ++k)
        name = base + NumberText(k);
    return name;
}

void WriteLogonBlock(NetServer& net, const ClientRecord& record, int slot) {
    net.journal.WriteBlock({
        "",
        std::string(39, '-'),
        "New logon: " + record.ipText,
        "Time: " + ClockText(net.os.clock.Now()),
        "User name: " + record.name,
        "Position in connection table: " + NumberText(slot),
        std::string(39, '='),
    });
}

// The newcomer's picture of the game, in the order viewers expect it.
void SendWelcome(NetServer& net, IpAddress newcomer) {
    const GameSnapshot game = net.currentGame();
    SendToViewer(net, "WPLAYER: " + game.white.text, newcomer);
    SendToViewer(net, "BPLAYER: " + game.black.text, newcomer);
    SendToViewer(net, "SITE:" + net.settings.site, newcomer);
    // The position before the last move first, so the viewer can show that move.
    SendToViewer(net, "FEN: " + game.previousFen, newcomer);
    SendToViewer(net, "FEATURE: PING", newcomer);
    // Empty before the first move.
    SendToViewer(net, game.lastMove ? MoveMessage(*game.lastMove) : std::string(), newcomer);
    SendToViewer(net, "FEN: " + game.fen, newcomer);
    SendToViewer(net, game.level.text, newcomer);
}

}  // namespace

int ClientTable::Count() const {
    int n = 0;
    while (n < kClientSlots && slots[n + 1].ip != 0)
        ++n;
    return n;
}

int FindClientSlot(const ClientTable& table, IpAddress ip) {
    const auto found = table.slotOf.find(ip);
    return found == table.slotOf.end() ? 0 : found->second;
}

bool NameInUse(const NetServer& net, IpAddress asker, std::string_view name) {
    const ClientTable& table = net.clients;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k) {
        const ClientRecord& r = table.slots[k];
        if (r.ip != asker && TrimRightBlanks(r.name) == name) return true;
    }
    return false;
}

void CompactClientTable(ClientTable& table) {
    table.slotOf.clear();
    int to = 1;
    for (int from = 1; from <= kClientSlots; ++from) {
        if (table.slots[from].ip == 0) continue;
        if (from != to) {
            table.slots[to] = std::move(table.slots[from]);
            table.slots[from] = ClientRecord{};
        }
        table.slotOf.emplace(table.slots[to].ip, to);
        ++to;
    }
}

std::string EmailOfViewer(const NetServer& net, IpAddress ip) {
    const int k = FindClientSlot(net.clients, ip);
    return k == 0 ? std::string() : TrimRightBlanks(net.clients.slots[k].email);
}

void LogonViewer(NetServer& net, Request& request) {
    ClientTable& table = net.clients;
    if (!AdmitLogon(net, request.sender)) return;  // a retry is welcome a moment later
    ++net.counters.connectCount;
    net.screen.ShowConnects(net.counters.connectCount);

    const IpAddress newcomer = request.sender;
    std::string name = TrimRightBlanks(Mid(request.text, 10));  // leading blanks stay
    if (name.empty()) name = "Anonymous";
    name = UniqueName(net, newcomer, name);

    int slot = 0;
    for (int k = 1; k <= kClientSlots; ++k) {
        if (table.slots[k].ip == 0 || table.slots[k].ip == newcomer) {
            slot = k;
            break;
        }
    }
    // A full table turns the newcomer away without a word: with no slot it gets
    // no welcome, and nobody hears of a viewer that is not there.
    if (slot == 0) return;
    ClientRecord& r = table.slots[slot];
    r.ipText = FixedWidth(IpText(newcomer), kIpTextWidth);
    r.ip = newcomer;
    table.slotOf[newcomer] = slot;
    r.name = FixedWidth(name, kNameWidth);
    r.email = std::string(kEmailWidth, ' ');
    r.lastHeard = NetWholeSeconds(net);
    const ClientRecord entered = r;  // a failed send may empty the slot again
    SetWelcomed(net, newcomer, false);
    SendDatagram(net, newcomer, "LOGON SUCCESSFUL");
    WriteLogonBlock(net, entered, slot);
    CompactClientTable(table);
    net.screen.ShowClientTable(table);

    SendWelcome(net, newcomer);
    SendToViewer(net, "ADDUSER: " + name, newcomer);
    for (IpAddress ip : ViewerAddresses(table)) {
        int k = FindClientSlot(table, ip);
        if (k == 0) continue;  // removed meanwhile by a failed send
        SendToViewer(net, "ADDUSER: " + table.slots[k].name, newcomer);
    }
    for (int i = 1; i <= 10; ++i) {
        const std::string& line = net.settings.menuLines[i];
        if (!line.empty()) SendToViewer(net, line, newcomer);
    }
    SetWelcomed(net, newcomer, true);
    // The others hear of the newcomer once its first ACK proves that the logon
    // came from its address: at once for in.dat and for an address that has
    // acknowledged before.
    if (const int k = FindClientSlot(table, newcomer); k != 0) {
        table.slots[k].arrivalToAnnounce = name;
        if (newcomer == kLocalViewerIp || HasAcknowledged(net, newcomer))
            AnnounceArrival(net, newcomer);
    }
    net.screen.Beep();
}

void AnnounceArrival(NetServer& net, IpAddress newcomer) {
    ClientTable& table = net.clients;
    const int slot = FindClientSlot(table, newcomer);
    if (slot == 0 || table.slots[slot].arrivalToAnnounce.empty()) return;
    const std::string name = std::exchange(table.slots[slot].arrivalToAnnounce, {});
    // Compared by address: a name longer than 30 characters is stored cut, so
    // comparing names would greet the newcomer with its own arrival.
    for (IpAddress ip : ViewerAddresses(table)) {
        if (ip == newcomer || !IsLoggedOn(table, ip)) continue;
        SendToViewer(net, "ADDUSER: " + name, ip);
        SendToViewer(net, "CHAT: [Server] " + name + " has arrived!", ip);
    }
}

int LogoffViewers(NetServer& net, const std::vector<IpAddress>& leavers) {
    Channel& ch = net.channel;
    ClientTable& table = net.clients;

    // Everyone leaves first, and then the others hear of them: told of each in
    // turn, they would be told while the other leavers were still there to send
    // to, and a send failing for all would log them off one by one, each time
    // telling all the others.
    std::vector<std::string> announced;
    for (IpAddress leaver : leavers) {
        const int k = FindClientSlot(table, leaver);
        if (k == 0 || table.slots[k].ip != leaver) continue;  // gone already
        // Only a viewer the others heard of is announced as leaving.
        if (table.slots[k].arrivalToAnnounce.empty())
            announced.push_back(TrimRightBlanks(table.slots[k].name));
        table.slots[k] = ClientRecord{};
        // A viewer that comes back may number its messages from 1 again.
        for (int i = 1; i <= kReceiptCount; ++i)
            if (ch.recentReceipts[i].ip == leaver) ch.recentReceipts[i].ip = 0;
        // Nothing more is re-sent to the leaver.
        ForgetViewerQueue(net, leaver);
    }
    CompactClientTable(table);

    for (const std::string& name : announced) {
        Broadcast(net, "DELUSER: " + name);
        Broadcast(net, "CHAT: [SERVER] - " + name + " has left!");
    }
    net.screen.ShowClientTable(table);
    return static_cast<int>(announced.size());
}

bool LogoffViewer(NetServer& net, IpAddress leaver) {
    return LogoffViewers(net, {leaver}) > 0;
}

void ChangeAlias(NetServer& net, Request& request) {
    std::string name = TrimBlanks(Mid(request.text, 8));
    if (name.empty()) name = "Anonymous";
    name = UniqueName(net, request.sender, name);

    const int slot = FindClientSlot(net.clients, request.sender);
    if (slot == 0) return;

    ClientRecord& record = net.clients.slots[slot];
    std::string oldName = TrimRightBlanks(record.name);
    record.name = FixedWidth(name, kNameWidth);
    // The others have not heard of this viewer yet: they will, by its new name,
    // and only the viewer itself hears of the change now.
    const bool announced = record.arrivalToAnnounce.empty();
    if (!announced) record.arrivalToAnnounce = name;
    const IpAddress renamer = request.sender;
    auto tell = [&](const std::string& text) {
        if (announced)
            Broadcast(net, text);
        else
            SendToViewer(net, text, renamer);
    };
    // No blank after the colon here, unlike at logon and logoff: viewers know both.
    tell("DELUSER:" + oldName);
    tell("ADDUSER:" + name);
    tell("CHAT:[SERVER] - Alias changed from " + oldName + " to " + name);
}

}  // namespace lantrel
