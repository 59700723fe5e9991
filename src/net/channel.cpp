// The datagram channel: receive step with the sequence frame, raw sends, and the
// in.dat / out.dat pair that stands in for the network for the local viewer.
#include <algorithm>
#include <cmath>

#include "net/framing.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

// File failures reported with the channel's error numbers: permission problems
// as "permission denied" (70), everything else as a general failure (57).
SocketError FileErrorNumber(FileResult result) {
    return result == kFileDenied ? SocketError::kInProgress : SocketError::kFailure;
}

// Addresses whose credit is kept; past this the table starts afresh, which only
// ever withholds replies.
constexpr std::size_t kMaxStrangers = 4096;

bool IsBanned(const Channel& channel, IpAddress sender) {
    for (int i = 1; i <= kBanCount; ++i) {
        if (channel.banList[i] == 0) break;
        if (channel.banList[i] == sender) return true;
    }
    return false;
}

// Takes `bytes` from what the address not logged on at `to` has sent; false
// (and nothing taken) when it has not sent that much.
bool SpendStrangerCredit(Channel& channel, IpAddress to, std::size_t bytes) {
    auto credit = channel.strangerCredit.find(to);
    const auto cost = static_cast<std::int64_t>(bytes);
    if (credit == channel.strangerCredit.end() || credit->second < cost) return false;
    credit->second -= cost;
    return true;
}

void LogSendFailure(NetServer& net, SocketError error, IpAddress to, std::string_view text) {
    net.journal.WriteBlock({
        "send error" + NumberText(ErrorNumber(error)),
        "Port Num=" + PrintForm(net.settings.port),
        "RemoteIp=" + IpText(to),
        "RemoteIp#=" + PrintForm(static_cast<std::int32_t>(to)),
        "message=" + std::string(text),
        std::string(75, '_'),
    });
}

}  // namespace

double NetNow(NetServer& net) {
    return net.os.clock.Monotonic();
}

std::int64_t NetWholeSeconds(NetServer& net) {
    return std::llround(NetNow(net));
}

std::vector<IpAddress> ViewerAddresses(const ClientTable& table) {
    std::vector<IpAddress> ips;
    for (int k = 1; k <= kClientSlots && table.slots[k].ip != 0; ++k)
        ips.push_back(table.slots[k].ip);
    return ips;
}

bool IsLoggedOn(const ClientTable& table, IpAddress ip) {
    return FindClientSlot(table, ip) != 0;
}

std::string ReadLocalInbox(NetServer& net) {
    Channel& ch = net.channel;
    ReadOnlyFile inbox;
    if (!inbox.Open(net.File("in.dat"))) {
        // Once for each reason: the inbox is looked at on every receive.
        if (inbox.OpenErrorText() != ch.inboxOpenFailure)
            net.journal.Write(
                "Error: " + PrintForm(ErrorNumber(FileErrorNumber(inbox.OpenError()))) +
                "in.dat cannot be opened: " + inbox.OpenErrorText());
        ch.inboxOpenFailure = inbox.OpenErrorText();
        return {};
    }
    ch.inboxOpenFailure.clear();
    std::int64_t length = inbox.Length();
    // A local viewer that started in.dat afresh (or removed it, and we made it
    // anew): read the new file from its start, whatever its length.
    FileIdentity identity = inbox.Identity();
    bool replaced = identity != ch.inboxIdentity || inbox.Created();
    ch.inboxIdentity = identity;
    if (length < ch.inboxPos || replaced) {
        ch.inboxPos = 0;
        ch.inboxPartial.clear();
    }
    char buffer[4096];
    while (ch.inboxPos < length) {
        std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(length - ch.inboxPos, static_cast<std::int64_t>(sizeof buffer)));
        std::size_t got = inbox.ReadAt(ch.inboxPos, buffer, want);
        if (got == 0) {
            net.journal.Write("Error: " + PrintForm(ErrorNumber(SocketError::kFailure)));
            return {};
        }
        for (std::size_t i = 0; i < got; ++i) {
            char c = buffer[i];
            if (c == '\r') continue;
            if (c == '\n') {
                // One line per call: the rest stays for the following receive steps.
                ch.inboxPos += static_cast<std::int64_t>(i) + 1;
                std::string line = std::move(ch.inboxPartial);
                ch.inboxPartial.clear();
                return line;
            }
            // A line of in.dat stands for one datagram: what a datagram could not
            // carry is dropped, so a file without line ends cannot fill the memory.
            if (ch.inboxPartial.size() < kMaxDatagramBytes) ch.inboxPartial += c;
        }
        ch.inboxPos += static_cast<std::int64_t>(got);
    }
    return {};
}

Request ReceiveDatagram(NetServer& net, int waitMs) {
    Channel& ch = net.channel;
    Request request;

    Datagram datagram;
    net.os.socket.Receive(waitMs, datagram);  // a time-out or failure leaves the text empty
    std::string text = std::move(datagram.text);
    IpAddress sender = datagram.sender;
    request.fromInbox = text.empty();
    if (request.fromInbox) {
        // A busy log is read with receives that do not wait, thousands a
        // second: those look at the inbox once a millisecond, the pace of the
        // shortest wait.
        const double now = net.os.clock.Monotonic();
        if (waitMs > 0 || now - ch.inboxLookedAt >= 0.001) {
            ch.inboxLookedAt = now;
            text = ReadLocalInbox(net);
        }
        sender = kLocalViewerIp;
    }
    if (text.empty()) return request;
    if (IsBanned(ch, sender)) return request;  // not even acknowledged

    request.sender = sender;
    if (sender != kLocalViewerIp && !IsLoggedOn(net.clients, sender)) {
        if (ch.strangerCredit.size() >= kMaxStrangers) ch.strangerCredit.clear();
        ch.strangerCredit[sender] += static_cast<std::int64_t>(text.size());
    }
    if (sender == kLocalViewerIp) {
        // The local viewer's lines are never framed: a "<" stays part of the text.
        request.text = std::move(text);
        return request;
    }
    Frame frame = ParseFrame(text);
    if (frame.seq == 0) {
        request.text = std::move(text);
        return request;
    }
    // Acknowledge at once, repeats too: the viewer's first ACK may have been lost.
    SendDatagram(net, sender, AckText(frame.seq));
    request.text = std::string(frame.text);

    for (int i = 1; i <= kReceiptCount; ++i) {
        const Receipt& r = ch.recentReceipts[i];
        if (r.seq == frame.seq && r.ip == sender) {
            request.text.clear();
            break;
        }
    }
    ch.receiptCursor = ch.receiptCursor % kReceiptCount + 1;
    ch.recentReceipts[ch.receiptCursor] = {frame.seq, sender};
    return request;
}

FileResult WriteOutbox(NetServer& net) {
    std::string& backlog = net.channel.outboxBacklog;
    if (backlog.empty()) return kFileOk;
    const FileResult result = AppendBytes(net.File("out.dat"), backlog);
    if (result == kFileOk) {
        backlog.clear();
    } else if (backlog.size() > kOutboxBacklogBytes) {
        // The viewer misses the oldest lines rather than the server its memory.
        const std::size_t cut = backlog.find("\r\n", backlog.size() - kOutboxBacklogBytes);
        backlog.erase(0, cut == std::string::npos ? backlog.size() : cut + 2);
    }
    return result;
}

void SendDatagram(NetServer& net, IpAddress to, std::string_view text) {
    if (to == kLocalViewerIp) {
        // out.dat loses nothing and a full disk logs nobody off: what it cannot
        // take waits, and server.log hears of the first line that had to.
        const bool waiting = !net.channel.outboxBacklog.empty();
        net.channel.outboxBacklog.append(text).append("\r\n");
        const FileResult result = WriteOutbox(net);
        if (result != kFileOk && !waiting) LogSendFailure(net, FileErrorNumber(result), to, text);
        return;
    }
    // Texts built around what viewers send (a chat relayed with the sender's
    // name, an arrival notice around a name) can outgrow one datagram. Such a
    // send would fail for every viewer and log each of them off, so the text
    // loses its tail instead.
    text = text.substr(0, kMaxDatagramBytes);
    if (!IsLoggedOn(net.clients, to) && !SpendStrangerCredit(net.channel, to, text.size())) return;
    const SocketError error =
        net.os.socket.Send(to, static_cast<std::uint16_t>(net.settings.port), text);
    if (error == SocketError::kOk) return;

    LogSendFailure(net, error, to, text);
    if (error == SocketError::kChannelNotOpen || error == SocketError::kInProgress) return;
    LogoffViewer(net, to);  // the viewer cannot be reached
}

void AddToBatch(NetServer& net, std::vector<OutgoingDatagram>& batch, IpAddress to,
                std::string head, std::string_view body) {
    if (to == kLocalViewerIp) {
        SendDatagram(net, to, head.append(body));
        return;
    }
    // Cut as SendDatagram cuts.
    body = body.substr(0, kMaxDatagramBytes - std::min(kMaxDatagramBytes, head.size()));
    batch.push_back({to, std::move(head), body});
}

void SendBatch(NetServer& net, std::vector<OutgoingDatagram>& batch) {
    net.os.socket.SendBatch(static_cast<std::uint16_t>(net.settings.port), batch);
    std::vector<IpAddress> unreachable;
    for (const OutgoingDatagram& d : batch) {
        if (d.result == SocketError::kOk) continue;
        // A viewer found unreachable would have had nothing more sent, as
        // when each message went on its own.
        if (std::find(unreachable.begin(), unreachable.end(), d.to) != unreachable.end()) continue;
        LogSendFailure(net, d.result, d.to, d.head + std::string(d.body));
        if (d.result != SocketError::kChannelNotOpen && d.result != SocketError::kInProgress)
            unreachable.push_back(d.to);
    }
    if (!unreachable.empty()) LogoffViewers(net, unreachable);
}

void BroadcastRaw(NetServer& net, std::string_view text, std::int32_t backlogLimit) {
    std::vector<OutgoingDatagram> batch;
    for (IpAddress ip : ViewerAddresses(net.clients))
        if (IsLoggedOn(net.clients, ip) && TakesRawBroadcast(net, ip, backlogLimit))
            AddToBatch(net, batch, ip, {}, text);
    SendBatch(net, batch);
}

}  // namespace lantrel
