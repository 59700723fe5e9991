// The table of logged-on viewers: logon with its welcome, logoff, alias change,
// and the viewer grid on the console.
#include "app/server.h"
#include "feed/feed.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "net/udp_output.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kMaxNameSuffix = 500;
constexpr int kGridSlots = 24;

// `base`, or `base` followed by the first suffix " 1", " 2", ... that no other
// viewer holds. After " 500" the search gives up and keeps that name.
std::string UniqueName(const Server& server, IpAddress asker, const std::string& base) {
    std::string name = base;
    for (int k = 1; k <= kMaxNameSuffix && NameInUse(server, asker, name); ++k)
        name = base + NumberText(k);
    return name;
}

void WriteLogonBlock(Server& server, const ClientRecord& record, int slot) {
    WriteServerLogBlock(server, {
                                    "",
                                    std::string(39, '-'),
                                    "New logon: " + record.ipText,
                                    "Time: " + ClockText(server.os.clock.Now()),
                                    "User name: " + record.name,
                                    "Position in connection table: " + NumberText(slot),
                                    std::string(39, '='),
                                });
}

// The newcomer's picture of the game, in the order viewers expect it.
void SendWelcome(Server& server, IpAddress newcomer) {
    const GameSnapshot game = SnapshotOf(server.game);
    SendToViewer(server, "WPLAYER: " + game.white, newcomer);
    SendToViewer(server, "BPLAYER: " + game.black, newcomer);
    SendToViewer(server, "SITE:" + server.config.site, newcomer);
    // The position before the last move first, so the viewer can show that move.
    SendToViewer(server, "FEN: " + game.previousFen, newcomer);
    SendToViewer(server, "FEATURE: PING", newcomer);
    // Empty before the first move.
    SendToViewer(server, game.lastMove ? MoveMessage(*game.lastMove) : std::string(), newcomer);
    SendToViewer(server, "FEN: " + game.fen, newcomer);
    SendToViewer(server, game.level, newcomer);
}

}  // namespace

int ClientTable::Count() const {
    int n = 0;
    while (n < kClientSlots && slots[n + 1].ip != 0)
        ++n;
    return n;
}

int FindClientSlot(const ClientTable& table, IpAddress ip) {
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k)
        if (table.slots[k].ip == ip) return k;
    return 0;
}

bool NameInUse(const Server& server, IpAddress asker, std::string_view name) {
    const ClientTable& table = server.clients;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k) {
        const ClientRecord& r = table.slots[k];
        if (r.ip != asker && TrimRightBlanks(r.name) == name) return true;
    }
    return false;
}

void CompactClientTable(ClientTable& table) {
    int to = 1;
    for (int from = 1; from <= kClientSlots; ++from) {
        if (table.slots[from].ip == 0) continue;
        if (from != to) {
            table.slots[to] = std::move(table.slots[from]);
            table.slots[from] = ClientRecord{};
        }
        ++to;
    }
}

void ShowClientTable(Server& server) {
    Console& console = server.os.console;
    int count = 0;
    for (int k = 1; k <= kClientSlots; ++k) {
        const ClientRecord& r = server.clients.slots[k];
        if (r.ip != 0) ++count;
        if (k > kGridSlots) continue;
        int row = 9 + (k - 1) % 8;
        int column = 24 + 18 * ((k - 1) / 8);
        if (r.ip != 0) {
            PrintAt(console, row, column, std::string(15, ' '));
            PrintAt(console, row, column, IpText(r.ip));
        } else {
            PrintAt(console, row, column, std::string(15, '_'));
        }
    }
    PrintAt(console, 7, 23, "Client Connection Table: " + PrintForm(count) + std::string(7, ' '));
}

std::string EmailOfViewer(const Server& server, IpAddress ip) {
    for (int k = 1; k <= kClientSlots; ++k)
        if (server.clients.slots[k].ip == ip) return TrimRightBlanks(server.clients.slots[k].email);
    return {};
}

void LogonViewer(Server& server, Request& request) {
    ClientTable& table = server.clients;
    ++server.counters.connectCount;
    PrintAt(server.os.console, 18, 42, "Connects:" + PrintForm(server.counters.connectCount));

    const IpAddress newcomer = request.sender;
    std::string name = TrimRightBlanks(Mid(request.text, 10));  // leading blanks stay
    if (name.empty()) name = "Anonymous";
    name = UniqueName(server, newcomer, name);

    int slot = 0;
    for (int k = 1; k <= kClientSlots; ++k) {
        if (table.slots[k].ip == 0 || table.slots[k].ip == newcomer) {
            slot = k;
            break;
        }
    }
    // A full table turns nobody away explicitly: the newcomer just gets no slot.
    if (slot != 0) {
        ClientRecord& r = table.slots[slot];
        r.ipText = FixedWidth(IpText(newcomer), kIpTextWidth);
        r.ip = newcomer;
        r.name = FixedWidth(name, kNameWidth);
        r.email = std::string(kEmailWidth, ' ');
        r.lastHeard = NetWholeSeconds(server);
        const ClientRecord entered = r;  // a failed send may empty the slot again
        SendDatagram(server, newcomer, "LOGON SUCCESSFUL");
        WriteLogonBlock(server, entered, slot);
    }
    CompactClientTable(table);
    ShowClientTable(server);

    SendWelcome(server, newcomer);
    Broadcast(server, "ADDUSER: " + name);  // the newcomer hears its own name here too
    for (IpAddress ip : ViewerAddresses(table)) {
        int k = FindClientSlot(table, ip);
        if (k == 0) continue;  // removed meanwhile by a failed send
        std::string storedName = table.slots[k].name;
        SendToViewer(server, "ADDUSER: " + storedName, newcomer);
        // Every viewer but the newcomer hears of its arrival. Compared by address:
        // a name longer than 30 characters is stored cut, so comparing names would
        // greet the newcomer with its own arrival.
        if (ip != newcomer) SendToViewer(server, "CHAT: [Server] " + name + " has arrived!", ip);
    }
    for (int i = 1; i <= 10; ++i) {
        const std::string& line = server.config.menuLines[i];
        if (!line.empty()) SendToViewer(server, line, newcomer);
    }
    server.os.console.Beep();
}

void LogoffViewer(Server& server, IpAddress leaver) {
    Channel& ch = server.channel;
    ClientTable& table = server.clients;

    std::string name;
    for (int k = 1; k <= kClientSlots; ++k) {
        if (table.slots[k].ip != leaver) continue;
        name = TrimRightBlanks(table.slots[k].name);
        table.slots[k] = ClientRecord{};
        break;
    }
    CompactClientTable(table);

    // A viewer that comes back may number its messages from 1 again.
    for (int i = 1; i <= kReceiptCount; ++i)
        if (ch.recentReceipts[i].ip == leaver) ch.recentReceipts[i].ip = 0;
    // Nothing more is re-sent to the leaver.
    for (int i = 1; i <= kResendEntries; ++i)
        if (server.queue.entries[i].ip == leaver) server.queue.entries[i].seq = 0;

    if (!name.empty()) {
        Broadcast(server, "DELUSER: " + name);
        Broadcast(server, "CHAT: [SERVER] - " + name + " has left!");
    }
    ShowClientTable(server);
}

void ChangeAlias(Server& server, Request& request) {
    std::string name = TrimBlanks(Mid(request.text, 8));
    if (name.empty()) name = "Anonymous";
    name = UniqueName(server, request.sender, name);

    int slot = 0;
    for (int k = 1; k <= kClientSlots && slot == 0; ++k)
        if (server.clients.slots[k].ip == request.sender) slot = k;
    if (slot == 0) return;

    std::string oldName = TrimRightBlanks(server.clients.slots[slot].name);
    server.clients.slots[slot].name = FixedWidth(name, kNameWidth);
    // No blank after the colon here, unlike at logon and logoff: viewers know both.
    Broadcast(server, "DELUSER:" + oldName);
    Broadcast(server, "ADDUSER:" + name);
    Broadcast(server, "CHAT:[SERVER] - Alias changed from " + oldName + " to " + name);
}

}  // namespace lantrel
