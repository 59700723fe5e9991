// Reliable delivery: numbered messages kept in a ring until the viewer
// acknowledges them, re-sent on a schedule, given up after a few tries.
#include <cmath>

#include "net/framing.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kCongestionLimit = 20;  // more re-sends waiting than this: send raw
constexpr int kMaxResendsPerPass = 6;
constexpr double kResendAfter = 2;    // seconds since the stamp
constexpr double kSilenceLimit = 60;  // seconds without a datagram before a drop
constexpr int kMaxTries = 4;
constexpr int kMaxChatTries = 10;

// Entry numbers and sequence numbers advance together from zero, so message n
// always lives in entry ((n - 1) mod 1000) + 1 (unless something overwrote it).
int EntryOf(SequenceNumber seq) {
    return static_cast<int>((seq - 1) % kResendEntries) + 1;
}

void GiveUpViewer(NetServer& net, IpAddress ip, const std::string& name) {
    LogoffViewer(net, ip);
    Broadcast(net, "CHAT: [SERVER]- Lost connection with " + name);
}

}  // namespace

void SendToViewer(NetServer& net, std::string_view text, IpAddress to) {
    ResendQueue& q = net.queue;
    // The local viewer reads out.dat, which loses nothing; under congestion the
    // queue is not fed any further.
    if (q.congested || to == kLocalViewerIp) {
        SendDatagram(net, to, text);
        return;
    }
    q.resendCursor = q.resendCursor % kResendEntries + 1;
    ++q.nextSeq;
    ResendEntry& e = q.entries[q.resendCursor];
    if (e.seq > 0 && !e.acked) {
        // The ring came round to a message still awaiting its acknowledgement:
        // it will never be re-sent, so count it as given up rather than lose it
        // without a trace.
        ++q.droppedCount;
        net.screen.ShowDropped(q.droppedCount);
    }
    e.seq = q.nextSeq;
    e.text = std::string(text);  // whole, so a re-send carries the same text
    e.ip = to;
    e.stamp = NetWholeSeconds(net);
    e.tries = 1;
    e.acked = 0;

    SendDatagram(net, to, FrameMessage(q.nextSeq, text));
}

void Broadcast(NetServer& net, std::string_view text) {
    if (net.queue.congested) {
        BroadcastRaw(net, text);
        return;
    }
    for (IpAddress ip : ViewerAddresses(net.clients))
        if (IsLoggedOn(net.clients, ip)) SendToViewer(net, text, ip);
}

void HandleAck(NetServer& net, Request& request) {
    SequenceNumber seq = ParseLongNumber(Mid(request.text, 5));
    if (seq <= 0) return;
    ResendEntry& e = net.queue.entries[EntryOf(seq)];
    // Only the viewer the message was sent to may acknowledge it; anyone else
    // could otherwise stop the delivery of other viewers' messages.
    if (e.seq != seq || e.ip != request.sender) return;
    e.acked = 1;
    e.stamp = NetWholeSeconds(net);
}

void UpdateQueueStatus(NetServer& net) {
    ResendQueue& q = net.queue;
    std::int32_t pending = 0;
    std::int32_t resend = 0;
    for (int i = 1; i <= kResendEntries; ++i) {
        const ResendEntry& e = q.entries[i];
        if (e.seq > 0 && !e.acked) {
            ++pending;
            if (e.tries > 1) ++resend;
        }
    }
    q.pendingCount = pending;
    q.resendCount = resend;
    q.congested = resend > kCongestionLimit ? 1 : 0;

    net.screen.ShowQueue(resend, pending, q.congested != 0);
}

void ResendPass(NetServer& net) {
    ResendQueue& q = net.queue;
    const double now = NetNow(net);
    int resent = 0;
    for (int i = 1; i <= kResendEntries; ++i) {
        ResendEntry& e = q.entries[i];
        if (e.seq <= 0 || e.acked || now - static_cast<double>(e.stamp) <= kResendAfter) continue;
        ++e.tries;
        const IpAddress ip = e.ip;
        const bool chat = StartsWith(e.text, "CHAT:");

        if (!chat && e.tries > kMaxTries) {
            ++q.droppedCount;
            net.screen.ShowDropped(q.droppedCount);
            e.seq = 0;
            // A viewer that still talks to us keeps its place (PING keeps it alive);
            // only one that has been silent for a minute is dropped.
            int k = FindClientSlot(net.clients, ip);
            if (k != 0 &&
                now - static_cast<double>(net.clients.slots[k].lastHeard) > kSilenceLimit) {
                const std::string storedName = net.clients.slots[k].name;
                net.journal.WriteBlock({
                    std::string(31, '-'),
                    storedName,
                    "Disconnected due to no response!",
                    std::string(32, '='),
                });
                GiveUpViewer(net, ip, TrimRightBlanks(storedName));
            }
            return;  // one give-up ends the pass
        }
        if (e.tries > kMaxChatTries) {
            // Only chat lines get this far; the viewer is given up without the
            // silence test. The logoff discards this entry with the others.
            int k = FindClientSlot(net.clients, ip);
            GiveUpViewer(net, ip, k ? TrimRightBlanks(net.clients.slots[k].name) : "");
            continue;
        }

        const SequenceNumber seq = e.seq;
        SendDatagram(net, ip, FrameMessage(seq, e.text));
        if (e.seq == seq) {  // a failed send may have removed the viewer and its entries
            e.stamp = e.tries > 2 ? std::llround(now + 4) : std::llround(now);
        }
        if (++resent >= kMaxResendsPerPass) return;
    }
}

}  // namespace lantrel
