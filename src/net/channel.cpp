// The datagram channel: receive step with the sequence frame, raw sends, and the
// in.dat / out.dat pair that stands in for the network for the local viewer.
#include <cmath>

#include "app/server.h"
#include "net/framing.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

namespace {

// File failures reported with the channel's error numbers: permission problems
// as "permission denied" (70), everything else as a general failure (57).
int FileErrorNumber(FileResult result) {
    return result == kFileDenied ? kInProgress : kSocketFailure;
}

bool IsBanned(const Channel& channel, IpAddress sender) {
    for (int i = 1; i <= kBanCount; ++i) {
        if (channel.banList[i] == 0) break;
        if (channel.banList[i] == sender) return true;
    }
    return false;
}

void LogSendFailure(Server& server, int error) {
    const Channel& ch = server.channel;
    WriteServerLogBlock(server,
                        {
                            "send error" + NumberText(error),
                            "Port Num=" + PrintForm(server.config.port),
                            "RemoteIp=" + IpText(ch.remoteIp),
                            "RemoteIp#=" + PrintForm(static_cast<std::int32_t>(ch.remoteIp)),
                            "message=" + ch.outMessage,
                            std::string(75, '_'),
                        });
}

}  // namespace

double NetNow(Server& server) {
    return server.os.clock.Monotonic();
}

std::int64_t NetWholeSeconds(Server& server) {
    return std::llround(NetNow(server));
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

std::string ReadLocalInbox(Server& server) {
    Channel& ch = server.channel;
    ReadOnlyFile inbox;
    if (!inbox.Open(server.File("in.dat"))) {
        WriteServerLog(server, "Error: " + PrintForm(FileErrorNumber(inbox.OpenError())));
        return {};
    }
    std::int64_t length = inbox.Length();
    // A local viewer that started in.dat afresh (or removed it, and we made it
    // anew): read the new file from its start, whatever its length.
    FileIdentity identity = inbox.Identity();
    bool replaced = identity != ch.inboxIdentity;
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
            WriteServerLog(server, "Error: " + PrintForm(kSocketFailure));
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
                ch.remoteIp = kLocalViewerIp;
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

void ReceiveDatagram(Server& server, int waitMs) {
    Channel& ch = server.channel;
    ch.inMessage.clear();

    Datagram datagram;
    server.os.socket.Receive(waitMs, datagram);  // a time-out or failure leaves the text empty
    std::string text = std::move(datagram.text);
    IpAddress sender = datagram.sender;
    ch.fromInbox = text.empty();
    if (ch.fromInbox) {
        text = ReadLocalInbox(server);
        sender = kLocalViewerIp;
    }
    if (text.empty()) return;
    if (IsBanned(ch, sender)) return;  // not even acknowledged

    ch.remoteIp = sender;
    if (sender == kLocalViewerIp) {
        // The local viewer's lines are never framed: a "<" stays part of the text.
        ch.inMessage = std::move(text);
        return;
    }
    Frame frame = ParseFrame(text);
    if (frame.seq == 0) {
        ch.inMessage = std::move(text);
        return;
    }
    // Acknowledge at once, repeats too: the viewer's first ACK may have been lost.
    ch.outMessage = AckText(frame.seq);
    SendDatagram(server);
    ch.inMessage = std::string(frame.text);

    for (int i = 1; i <= kReceiptCount; ++i) {
        const Receipt& r = ch.recentReceipts[i];
        if (r.seq == frame.seq && r.ip == sender) {
            ch.inMessage.clear();
            break;
        }
    }
    ch.receiptCursor = ch.receiptCursor % kReceiptCount + 1;
    ch.recentReceipts[ch.receiptCursor] = {frame.seq, sender};
}

void SendDatagram(Server& server) {
    Channel& ch = server.channel;
    int error;
    if (ch.remoteIp == kLocalViewerIp) {
        FileResult result = AppendLine(server.File("out.dat"), ch.outMessage);
        error = result == kFileOk ? kSocketOk : FileErrorNumber(result);
    } else {
        // Texts built around what viewers send (a chat relayed with the sender's
        // name, an arrival notice around a name) can outgrow one datagram. Such a
        // send would fail for every viewer and log each of them off, so the text
        // loses its tail instead.
        if (ch.outMessage.size() > kMaxDatagramBytes) ch.outMessage.resize(kMaxDatagramBytes);
        error = server.os.socket.Send(ch.remoteIp, static_cast<std::uint16_t>(server.config.port),
                                      ch.outMessage);
    }
    if (error == kSocketOk) return;

    LogSendFailure(server, error);
    if (error == kChannelNotOpen || error == kInProgress) return;
    // The viewer cannot be reached: remove it. The logoff tells the others with
    // sends of its own, so the caller's peer and text are put back afterwards
    // (a handler may still be answering its requester).
    IpAddress peer = ch.remoteIp;
    std::string text = ch.outMessage;
    LogoffViewer(server);
    ch.remoteIp = peer;
    ch.outMessage = std::move(text);
}

void BroadcastRaw(Server& server, std::string_view text) {
    Channel& ch = server.channel;
    for (IpAddress ip : ViewerAddresses(server.clients)) {
        if (!IsLoggedOn(server.clients, ip)) continue;
        ch.remoteIp = ip;
        ch.outMessage = std::string(text);
        SendDatagram(server);
    }
}

}  // namespace lantrel
