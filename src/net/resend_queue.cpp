// Reliable delivery: numbered messages kept per viewer until the viewer
// acknowledges them, re-sent on a schedule, given up after a few tries.
#include <algorithm>
#include <cmath>

#include "net/framing.h"
#include "net/net.h"
#include "net/net_detail.h"
#include "text/text.h"

namespace lantrel {

namespace {

constexpr int kCongestionLimit = 20;   // more re-sends waiting than this: send raw
constexpr int kMaxResendsPerPass = 6;  // for each viewer
constexpr double kResendAfter = 2;     // seconds since the stamp
constexpr double kSilenceLimit = 60;   // seconds without a datagram before a drop
// A viewer that has acknowledged nothing this long after its first numbered
// message is not listening: most likely a logon with a forged address.
constexpr double kFirstAckLimit = 20;
constexpr int kMaxTries = 4;
constexpr int kMaxChatTries = 10;

ViewerQueue* FindViewerQueue(NetServer& net, IpAddress ip) {
    auto it = net.queue.viewers.find(ip);
    return it == net.queue.viewers.end() ? nullptr : &it->second;
}

// Removes one entry, keeping the counts.
void RemoveEntry(ResendQueue& q, ViewerQueue& vq, std::deque<ResendEntry>::iterator entry) {
    if (entry->tries > 1) {
        --vq.resending;
        --q.resendingNow;
    }
    --q.waitingNow;
    vq.waiting.erase(entry);
}

void CountGiveUp(NetServer& net) {
    ++net.queue.droppedCount;
    net.screen.ShowDropped(net.queue.droppedCount);
}

void GiveUpViewer(NetServer& net, IpAddress ip, const std::string& name) {
    if (LogoffViewer(net, ip)) Broadcast(net, "CHAT: [SERVER]- Lost connection with " + name);
}

// Drops the viewer at `ip` with the journal's no-response block.
void DropUnresponsiveViewer(NetServer& net, IpAddress ip, int slot) {
    const std::string storedName = net.clients.slots[slot].name;
    net.journal.WriteBlock({
        std::string(31, '-'),
        storedName,
        "Disconnected due to no response!",
        std::string(32, '='),
    });
    GiveUpViewer(net, ip, TrimRightBlanks(storedName));
}

// Sends what waited for the viewer's first ACK, in order.
void SendHeld(NetServer& net, IpAddress ip) {
    const std::int64_t stamp = NetWholeSeconds(net);
    for (std::size_t i = 0;; ++i) {
        // A failed send may log the viewer off, and its entries with it.
        ViewerQueue* vq = FindViewerQueue(net, ip);
        if (vq == nullptr || i >= vq->waiting.size()) return;
        ResendEntry& e = vq->waiting[i];
        if (e.tries != 0) continue;
        e.tries = 1;
        e.stamp = stamp;
        SendDatagram(net, ip, FrameMessage(e.seq, *e.text));
    }
}

// One viewer's share of the re-send pass.
void ResendToViewer(NetServer& net, IpAddress ip, double now) {
    ViewerQueue* vq = FindViewerQueue(net, ip);
    if (vq == nullptr) return;
    const int slot = FindClientSlot(net.clients, ip);
    if (!vq->acknowledgedAny && slot != 0 &&
        now - static_cast<double>(vq->firstSent) > kFirstAckLimit) {
        DropUnresponsiveViewer(net, ip, slot);
        return;
    }
    int resent = 0;
    for (std::size_t i = 0; i < vq->waiting.size(); ++i) {
        ResendEntry& e = vq->waiting[i];
        if (e.tries == 0 || now - static_cast<double>(e.stamp) <= kResendAfter) continue;
        if (++e.tries == 2) {
            ++vq->resending;
            ++net.queue.resendingNow;
        }
        const bool chat = StartsWith(*e.text, "CHAT:");

        if (!chat && e.tries > kMaxTries) {
            CountGiveUp(net);
            RemoveEntry(net.queue, *vq, vq->waiting.begin() + static_cast<std::ptrdiff_t>(i));
            // A viewer that still talks to us keeps its place (PING keeps it alive);
            // only one that has been silent for a minute is dropped.
            if (slot != 0 &&
                now - static_cast<double>(net.clients.slots[slot].lastHeard) > kSilenceLimit)
                DropUnresponsiveViewer(net, ip, slot);
            return;  // one give-up ends this viewer's pass
        }
        if (e.tries > kMaxChatTries) {
            // Only chat lines get this far; the viewer is given up without the
            // silence test, and its entries with it.
            GiveUpViewer(net, ip, slot ? TrimRightBlanks(net.clients.slots[slot].name) : "");
            return;
        }

        const SequenceNumber seq = e.seq;
        const std::int64_t stamp = e.tries > 2 ? std::llround(now + 4) : std::llround(now);
        SendDatagram(net, ip, FrameMessage(seq, *e.text));
        // A failed send may have logged the viewer off, and its entries with it.
        vq = FindViewerQueue(net, ip);
        if (vq == nullptr) return;
        vq->waiting[i].stamp = stamp;
        if (++resent >= kMaxResendsPerPass) return;
    }
}

// Gives the viewer at `to` its numbered copy of `text`, kept until acknowledged,
// into `batch`: unnumbered to any other address, to the local viewer and to a
// congested viewer; nothing yet to a viewer whose first ACK is awaited.
void SendToViewerIn(NetServer& net, std::vector<OutgoingDatagram>& batch,
                    const std::shared_ptr<const std::string>& text, IpAddress to) {
    ResendQueue& q = net.queue;
    // The local viewer reads out.dat, which loses nothing; an address that is not
    // logged on is not kept in the queue; a congested viewer gets no more numbers
    // until it catches up.
    ViewerQueue* vq = FindViewerQueue(net, to);
    if (to == kLocalViewerIp || (vq == nullptr && !IsLoggedOn(net.clients, to))) {
        SendDatagram(net, to, *text);
        return;
    }
    if (vq == nullptr) {
        vq = &q.viewers[to];
        vq->firstSent = NetWholeSeconds(net);
    }
    const bool hold = vq->welcomed && !vq->acknowledgedAny;
    if (vq->congested && !hold) {
        AddToBatch(net, batch, to, {}, *text);
        return;
    }
    if (vq->waiting.size() >= kMaxWaitingPerViewer) {
        // A viewer this far behind loses its oldest message rather than the server
        // its memory; it is counted as given up.
        CountGiveUp(net);
        RemoveEntry(q, *vq, vq->waiting.begin());
    }
    ++q.nextSeq;
    vq->waiting.push_back(
        {q.nextSeq, text, NetWholeSeconds(net), static_cast<std::int16_t>(hold ? 0 : 1)});
    ++q.waitingNow;

    if (!hold) AddToBatch(net, batch, to, FrameHead(q.nextSeq), *text);
}

}  // namespace

void SendToViewer(NetServer& net, std::string_view text, IpAddress to) {
    const auto shared = std::make_shared<const std::string>(text);
    std::vector<OutgoingDatagram> batch;
    SendToViewerIn(net, batch, shared, to);
    SendBatch(net, batch);
}

// Every viewer's copy has its own number, but they share the text: it is kept
// once, and the batch sends each viewer its frame's head before the same bytes.
void Broadcast(NetServer& net, std::initializer_list<std::string_view> texts) {
    std::vector<std::shared_ptr<const std::string>> shared;  // until the batch has gone
    std::vector<OutgoingDatagram> batch;
    const auto viewers = ViewerAddresses(net.clients);
    for (std::string_view text : texts) {
        shared.push_back(std::make_shared<const std::string>(text));
        for (IpAddress ip : viewers)
            if (IsLoggedOn(net.clients, ip)) SendToViewerIn(net, batch, shared.back(), ip);
    }
    SendBatch(net, batch);
}

void Broadcast(NetServer& net, std::string_view text) {
    Broadcast(net, {text});
}

void HandleAck(NetServer& net, Request& request) {
    SequenceNumber seq = ParseLongNumber(Mid(request.text, 5));
    if (seq <= 0) return;
    // Only the viewer the message was sent to may acknowledge it; anyone else
    // could otherwise stop the delivery of other viewers' messages.
    ViewerQueue* vq = FindViewerQueue(net, request.sender);
    if (vq == nullptr) return;
    auto entry = std::lower_bound(vq->waiting.begin(), vq->waiting.end(), seq,
                                  [](const ResendEntry& e, SequenceNumber n) { return e.seq < n; });
    if (entry == vq->waiting.end() || entry->seq != seq) return;
    RemoveEntry(net.queue, *vq, entry);
    if (!vq->acknowledgedAny) {
        vq->acknowledgedAny = true;
        SendHeld(net, request.sender);
        AnnounceArrival(net, request.sender);
    }
}

bool HasAcknowledged(const NetServer& net, IpAddress ip) {
    const auto it = net.queue.viewers.find(ip);
    return it != net.queue.viewers.end() && it->second.acknowledgedAny;
}

void SetWelcomed(NetServer& net, IpAddress ip, bool welcomed) {
    if (ViewerQueue* vq = FindViewerQueue(net, ip)) vq->welcomed = welcomed;
}

bool TakesRawBroadcast(const NetServer& net, IpAddress ip, std::int32_t backlogLimit) {
    auto it = net.queue.viewers.find(ip);
    if (it == net.queue.viewers.end()) return true;
    const ViewerQueue& vq = it->second;
    return (vq.acknowledgedAny || !vq.welcomed) && vq.countedResends < backlogLimit;
}

void ForgetViewerQueue(NetServer& net, IpAddress ip) {
    ResendQueue& q = net.queue;
    auto it = q.viewers.find(ip);
    if (it == q.viewers.end()) return;
    q.waitingNow -= static_cast<std::int32_t>(it->second.waiting.size());
    q.resendingNow -= it->second.resending;
    q.viewers.erase(it);
}

void UpdateQueueStatus(NetServer& net) {
    ResendQueue& q = net.queue;
    q.pendingCount = q.waitingNow;
    q.resendCount = q.resendingNow;
    q.congestedViewers = 0;
    for (auto& [ip, vq] : q.viewers) {
        vq.countedResends = vq.resending;
        vq.congested = vq.resending > kCongestionLimit;
        if (vq.congested) ++q.congestedViewers;
    }
    net.screen.ShowQueue(q.resendCount, q.pendingCount, q.congestedViewers > 0);
}

void ResendPass(NetServer& net) {
    const double now = NetNow(net);
    for (IpAddress ip : ViewerAddresses(net.clients))
        ResendToViewer(net, ip, now);
}

}  // namespace lantrel
