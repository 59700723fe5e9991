// The network turn: receive every waiting datagram and run it through the fixed
// list of checks, then now and then the re-send pass.
#include <algorithm>

#include "app/server.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kPollsPerResendPass = 10;  // the pass runs on every eleventh call

std::string TwoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

void RefuseOldViewer(Server& server, Request& request) {
    SendDatagram(server, request.sender,
                 "MSG:Connection refused.  The broadcast server does not support the version of "
                 "the viewer you are using.");
}

void RefreshLastHeard(Server& server, Request& request) {
    if (request.sender == 0) return;
    ClientTable& table = server.clients;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k)
        if (table.slots[k].ip == request.sender) table.slots[k].lastHeard = NetWholeSeconds(server);
}

// "CHAT: <who>" and its siblings: answered raw to the asker, never relayed.
void AnswerQuery(Server& server, Request& request) {
    const Counters& c = server.counters;
    const ResendQueue& q = server.queue;
    std::vector<std::string> answers;
    if (request.text == "CHAT: <who>") {
        int users = 0;
        for (int k = 1; k <= kClientSlots; ++k)
            if (server.clients.slots[k].ip != 0) ++users;
        answers = {"CHAT:[SERVER] Users=" + NumberText(users)};
    } else if (request.text == "CHAT: <time>") {
        LocalDateTime now = server.os.clock.Now();
        answers = {"CHAT:[SERVER] Date=" + DateText(now) + ", Time=" + ClockText(now)};
    } else if (request.text == "CHAT: <ver>") {
        answers = {"CHAT:[SERVER] Version 1.72b (November 2008)"};
    } else if (request.text == "CHAT: <stats>") {
        answers = {
            "CHAT:[SERVER] connects:" + NumberText(c.connectCount),
            "CHAT:[SERVER] result table requests:" + NumberText(c.resultTableRequests),
            "CHAT:[SERVER] e-mails:" + NumberText(c.emailCount),
            "CHAT:[SERVER] Chat relay:" + NumberText(c.chatRelayCount),
            "CHAT:[SERVER] Server start:" + server.config.serverStartTime,
        };
    } else if (request.text == "CHAT: <q>") {
        answers = {
            "CHAT:[SERVER] Dropped=" + NumberText(q.droppedCount),
            "CHAT:[SERVER] Re-send queue=" + NumberText(q.resendCount),
            "CHAT:[SERVER] Message queue=" + NumberText(q.pendingCount),
        };
    } else {
        return;
    }
    request.text.clear();  // so the relay check below does not pass it on
    for (const std::string& answer : answers)
        SendDatagram(server, request.sender, answer);
}

void RelayChat(Server& server, Request& request) {
    ++server.counters.chatRelayCount;
    PrintAt(server.os.console, 18, 24, "Chat relay:" + PrintForm(server.counters.chatRelayCount));
    std::string chat = Mid(request.text, 6);
    int k = FindClientSlot(server.clients, request.sender);
    std::string name;
    if (k != 0) {
        name = TrimRightBlanks(server.clients.slots[k].name);
    } else {
        SendDatagram(server, request.sender,
                     "MSG: You are no longer connected to the server.  Please re-connect.");
        name = "Phantom user";
    }
    // A viewer actually named "Phantom user" is silenced the same way.
    if (name != "Phantom user") Broadcast(server, "CHAT: [" + name + "] - " + chat);
}

void StoreEmail(Server& server, Request& request) {
    for (int k = 1; k <= kClientSlots; ++k) {
        if (server.clients.slots[k].ip != request.sender) continue;
        server.clients.slots[k].email = FixedWidth(Mid(request.text, 7), kEmailWidth);
        return;
    }
}

void AnswerPing(Server& server, Request& request) {
    SendToViewer(server, "PONG", request.sender);
}

void Logoff(Server& server, Request& request) {
    LogoffViewer(server, request.sender);
}

// "SECUSER: name:address" for every viewer, to the asker.
void ListUsers(Server& server, Request& request) {
    if (!IsAdministrator(server, request)) return;
    std::vector<std::string> lines;
    const ClientTable& table = server.clients;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k)
        lines.push_back("SECUSER: " + TrimRightBlanks(table.slots[k].name) + ":" +
                        table.slots[k].ipText);
    for (const std::string& line : lines)
        SendDatagram(server, request.sender, line);
}

// Disconnects the viewer whose address text follows the keyword; with `ban`
// its address is refused from then on.
void Boot(Server& server, const Request& request, std::size_t targetFrom, bool ban) {
    Channel& ch = server.channel;
    if (!IsAdministrator(server, request)) return;
    std::string target = TrimBlanks(Mid(request.text, targetFrom));
    const ClientTable& table = server.clients;
    int slot = 0;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0 && slot == 0; ++k)
        if (TrimRightBlanks(table.slots[k].ipText) == target) slot = k;
    if (slot == 0) return;  // not logged on: nothing happens, and nobody is banned

    const IpAddress victim = table.slots[slot].ip;
    SendDatagram(server, victim, "MSG: You have been booted!");
    if (ban) {
        ch.banCursor = ch.banCursor % kBanCount + 1;
        ch.banList[ch.banCursor] = victim;
    }
    LogoffViewer(server, victim);
}

void BootViewer(Server& server, Request& request) {
    Boot(server, request, 6, false);
}
void BootAndBan(Server& server, Request& request) {
    Boot(server, request, 8, true);
}

bool Prefix(std::string_view text, std::string_view keyword) {
    return StartsWith(text, keyword);
}

// The checks, in the order they are made. They do not exclude each other: each
// is tried on the current text, and a handler that empties it stops the rest.
struct Check {
    bool (*matches)(const std::string& text);
    void (*act)(Server& server, Request& request);
};

constexpr Check kChecks[] = {
    {[](const std::string& t) { return Prefix(t, "LOGON:"); }, RefuseOldViewer},
    {[](const std::string& t) { return Prefix(t, "LOGONv15:"); }, LogonViewer},
    {[](const std::string& t) { return t == "LOGOFF"; }, Logoff},
    // Any datagram, even a repeat emptied by the receive step, shows the sender is alive.
    {[](const std::string&) { return true; }, RefreshLastHeard},
    {[](const std::string& t) { return Prefix(t, "CHANGE:"); }, ChangeAlias},
    {[](const std::string& t) { return Contains(t, "CHAT:"); }, AnswerQuery},
    {[](const std::string& t) { return Prefix(t, "CHAT:"); }, RelayChat},
    {[](const std::string& t) { return Prefix(t, "EMAIL:"); }, StoreEmail},
    {[](const std::string& t) { return t == "PING"; }, AnswerPing},
    {[](const std::string& t) { return Prefix(t, "ACK:"); }, HandleAck},
    {[](const std::string& t) { return t == "SECURITY"; }, ListUsers},
    {[](const std::string& t) { return Prefix(t, "BOOT:"); }, BootViewer},
    {[](const std::string& t) { return Prefix(t, "SRBOOT:"); }, BootAndBan},
};

void Dispatch(Server& server, Request& request) {
    for (const Check& check : kChecks)
        if (check.matches(request.text)) check.act(server, request);
    for (const Command& command : server.addedCommands)
        if (command.matches(request.text)) command.act(request);
}

}  // namespace

std::string ClockText(const LocalDateTime& t) {
    return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string DateText(const LocalDateTime& t) {
    return TwoDigits(t.month) + "-" + TwoDigits(t.day) + "-" + std::to_string(t.year);
}

void AddCommand(Server& server, Command command) {
    server.addedCommands.push_back(std::move(command));
}

bool IsAdministrator(const Server& server, const Request& request) {
    if (request.fromInbox) return true;
    const IpAddress ip = request.sender;
    const auto& admins = server.config.adminAddresses;
    return ip != 0 && std::find(admins.begin(), admins.end(), ip) != admins.end();
}

void ServiceNetwork(Server& server, int waitMs) {
    // The idle wait paces the main loop; a DELAY= of 0 or less would make it spin.
    const int wait = waitMs < 0 ? std::max(1, server.config.delay) : waitMs;
    UpdateQueueStatus(server);
    // Take every waiting datagram; the receive that finds nothing (or a text the
    // receive step emptied: a repeat or a banned sender) ends the call.
    for (;;) {
        Request request = ReceiveDatagram(server, wait);
        const bool took = !request.text.empty();
        Dispatch(server, request);
        if (!took) break;
    }
    if (++server.queue.idlePolls > kPollsPerResendPass) {
        ResendPass(server);
        server.queue.idlePolls = 0;
    }
}

}  // namespace lantrel
