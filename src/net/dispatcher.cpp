// The network turn: receive every waiting datagram and run it through the fixed
// list of checks, then now and then the re-send pass.
#include <algorithm>

#include "net/net.h"
#include "net/net_detail.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kPollsPerResendPass = 10;  // the pass runs on every eleventh call

std::string TwoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

void RefuseOldViewer(NetServer& net, Request& request) {
    SendDatagram(net, request.sender,
                 "MSG:Connection refused.  The broadcast server does not support the version of "
                 "the viewer you are using.");
}

void RefreshLastHeard(NetServer& net, Request& request) {
    if (request.sender == 0) return;
    if (const int k = FindClientSlot(net.clients, request.sender); k != 0)
        net.clients.slots[k].lastHeard = NetWholeSeconds(net);
}

// "CHAT: <who>" and its siblings: answered raw to the asker, never relayed.
void AnswerQuery(NetServer& net, Request& request) {
    const Counters& c = net.counters;
    const ResendQueue& q = net.queue;
    std::vector<std::string> answers;
    if (request.text == "CHAT: <who>") {
        int users = 0;
        for (int k = 1; k <= kClientSlots; ++k)
            if (net.clients.slots[k].ip != 0) ++users;
        answers = {"CHAT:[SERVER] Users=" + NumberText(users)};
    } else if (request.text == "CHAT: <time>") {
        LocalDateTime now = net.os.clock.Now();
        answers = {"CHAT:[SERVER] Date=" + DateText(now) + ", Time=" + ClockText(now)};
    } else if (request.text == "CHAT: <ver>") {
        answers = {"CHAT:[SERVER] Version 1.72b (November 2008)"};
    } else if (request.text == "CHAT: <stats>") {
        answers = {
            "CHAT:[SERVER] connects:" + NumberText(c.connectCount),
            "CHAT:[SERVER] result table requests:" + NumberText(c.resultTableRequests),
            "CHAT:[SERVER] e-mails:" + NumberText(c.emailCount),
            "CHAT:[SERVER] Chat relay:" + NumberText(c.chatRelayCount),
            "CHAT:[SERVER] Server start:" + net.settings.serverStartTime,
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
        SendDatagram(net, request.sender, answer);
}

void CountChatRelay(NetServer& net) {
    ++net.counters.chatRelayCount;
    net.screen.ShowChatRelays(net.counters.chatRelayCount);
}

void BroadcastChat(NetServer& net, const std::string& name, const std::string& chat) {
    const std::string line = "[" + name + "] - " + chat;
    Broadcast(net, "CHAT: " + line);
    net.chatRelayed(line);
}

void RelayChat(NetServer& net, Request& request) {
    CountChatRelay(net);
    std::string chat = Mid(request.text, 6);
    int k = FindClientSlot(net.clients, request.sender);
    std::string name;
    if (k != 0) {
        name = TrimRightBlanks(net.clients.slots[k].name);
    } else {
        SendDatagram(net, request.sender,
                     "MSG: You are no longer connected to the server.  Please re-connect.");
        name = "Phantom user";
    }
    // A viewer actually named "Phantom user" is silenced the same way.
    if (name != "Phantom user") BroadcastChat(net, name, chat);
}

}  // namespace

void RelayChatFrom(NetServer& net, const std::string& name, const std::string& chat) {
    CountChatRelay(net);
    BroadcastChat(net, name, chat);
}

namespace {

void StoreEmail(NetServer& net, Request& request) {
    if (const int k = FindClientSlot(net.clients, request.sender); k != 0)
        net.clients.slots[k].email = FixedWidth(Mid(request.text, 7), kEmailWidth);
}

void AnswerPing(NetServer& net, Request& request) {
    SendToViewer(net, "PONG", request.sender);
}

void Logoff(NetServer& net, Request& request) {
    LogoffViewer(net, request.sender);
}

// "SECUSER: name:address" for every viewer, to the asker.
void ListUsers(NetServer& net, Request& request) {
    if (!IsAdministrator(net, request)) return;
    std::vector<std::string> lines;
    const ClientTable& table = net.clients;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k)
        lines.push_back("SECUSER: " + TrimRightBlanks(table.slots[k].name) + ":" +
                        table.slots[k].ipText);
    for (const std::string& line : lines)
        SendDatagram(net, request.sender, line);
}

// Disconnects the viewer whose address text follows the keyword; with `ban`
// its address is refused from then on.
void Boot(NetServer& net, const Request& request, std::size_t targetFrom, bool ban) {
    Channel& ch = net.channel;
    if (!IsAdministrator(net, request)) return;
    std::string target = TrimBlanks(Mid(request.text, targetFrom));
    const ClientTable& table = net.clients;
    int slot = 0;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0 && slot == 0; ++k)
        if (TrimRightBlanks(table.slots[k].ipText) == target) slot = k;
    if (slot == 0) return;  // not logged on: nothing happens, and nobody is banned

    const IpAddress victim = table.slots[slot].ip;
    SendDatagram(net, victim, "MSG: You have been booted!");
    if (ban) {
        ch.banCursor = ch.banCursor % kBanCount + 1;
        ch.banList[ch.banCursor] = victim;
    }
    LogoffViewer(net, victim);
}

void BootViewer(NetServer& net, Request& request) {
    Boot(net, request, 6, false);
}
void BootAndBan(NetServer& net, Request& request) {
    Boot(net, request, 8, true);
}

bool Prefix(std::string_view text, std::string_view keyword) {
    return StartsWith(text, keyword);
}

// The checks, in the order they are made. They do not exclude each other: each
// is tried on the current text, and a handler that empties it stops the rest.
struct Check {
    bool (*matches)(const std::string& text);
    void (*act)(NetServer& net, Request& request);
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

void Dispatch(NetServer& net, Request& request) {
    for (const Check& check : kChecks)
        if (check.matches(request.text)) check.act(net, request);
    for (const Command& command : net.addedCommands)
        if (command.matches(request.text)) command.act(request);
}

}  // namespace

std::string ClockText(const LocalDateTime& t) {
    return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string DateText(const LocalDateTime& t) {
    return TwoDigits(t.month) + "-" + TwoDigits(t.day) + "-" + std::to_string(t.year);
}

void AddCommand(NetServer& net, Command command) {
    net.addedCommands.push_back(std::move(command));
}

bool IsAdministrator(const NetServer& net, const Request& request) {
    if (request.fromInbox) return true;
    const IpAddress ip = request.sender;
    const auto& admins = net.settings.adminAddresses;
    return ip != 0 && std::find(admins.begin(), admins.end(), ip) != admins.end();
}

void ServiceNetwork(NetServer& net, int waitMs) {
    // The idle wait paces the main loop; a DELAY= of 0 or less would make it spin.
    const int wait = waitMs < 0 ? std::max(1, net.settings.delay) : waitMs;
    UpdateQueueStatus(net);
    WriteOutbox(net);
    // Take every waiting datagram; the receive that finds nothing (or a text the
    // receive step emptied: a repeat or a banned sender) ends the call.
    for (;;) {
        Request request = ReceiveDatagram(net, wait);
        const bool took = !request.text.empty();
        Dispatch(net, request);
        if (!took) break;
    }
    if (++net.queue.idlePolls > kPollsPerResendPass) {
        ResendPass(net);
        net.queue.idlePolls = 0;
    }
}

}  // namespace lantrel
