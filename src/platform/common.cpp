// The parts of the platform layer that every backend shares.
#include <algorithm>
#include <string>

#include "platform/files.h"
#include "platform/platform.h"
#include "platform/system.h"
#include "platform/udp_socket.h"

namespace lantrel {

void PrintAt(Console& console, int row, int column, std::string_view text) {
    console.MoveTo(row, column);
    console.Print(text);
}

std::string IpText(IpAddress ip) {
    return std::to_string(ip & 0xFF) + "." + std::to_string((ip >> 8) & 0xFF) + "." +
           std::to_string((ip >> 16) & 0xFF) + "." + std::to_string((ip >> 24) & 0xFF);
}

IpAddress ParseIp(std::string_view text) {
    // Exactly four decimal parts of 0 to 255, none with a leading zero; the
    // text ends at a NUL, as a C string would.
    text = text.substr(0, text.find('\0'));
    IpAddress ip = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return 0;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9')
            value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
        if (digits == 0 || value > 255 || (digits > 1 && text.front() == '0')) return 0;
        ip |= static_cast<IpAddress>(value) << (8 * part);
        text.remove_prefix(digits);
    }
    return text.empty() ? ip : 0;
}

FileResult AppendLine(const std::string& path, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    return AppendBytes(path, line);
}

FileResult AppendLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string block;
    for (const auto& line : lines) {
        block += line;
        block += "\r\n";
    }
    return AppendBytes(path, block);
}

void Journal::WriteBlock(const std::vector<std::string>& lines) const {
    std::vector<std::string> block;
    if (lastWriteFailed) block.emplace_back();  // the end of a line cut short
    block.insert(block.end(), lines.begin(), lines.end());
    lastWriteFailed = AppendLines(path, block) != kFileOk;
}

void DatagramSocket::SendBatch(std::uint16_t port, std::span<OutgoingDatagram> batch) {
    std::string bytes;
    for (OutgoingDatagram& d : batch) {
        bytes.assign(d.head);
        bytes += d.body;
        d.result = Send(d.to, port, bytes);
    }
}

UdpSocket::UdpSocket() : ownWait_(MakeEventWait()), wait_(*ownWait_) {}

UdpSocket::UdpSocket(EventWait& wait) : wait_(wait) {}

SocketError UdpSocket::Receive(int waitMs, Datagram& out) {
    out.text.clear();
    out.sender = 0;
    out.senderPort = 0;
    if (socket_ == kNoSocket) return SocketError::kChannelNotOpen;
    // Datagrams come in bursts (a move's ACKs from every viewer): after one, the
    // next is taken without a wait, which would only report it first.
    if (tookDatagram_ && TakeDatagram(out) == SocketError::kOk) return SocketError::kOk;
    // The read does not block: a wake-up for a pending error, or one without a
    // datagram, ends this receive rather than the wait for the next.
    tookDatagram_ = false;
    if (wait_.Wait(socket_, waitMs) != WakeReason::kReadable) return SocketError::kTimedOut;
    const SocketError result = TakeDatagram(out);
    tookDatagram_ = result == SocketError::kOk;
    return result;
}

std::vector<IpAddress> UdpSocket::LocalAddresses() {
    // Loopback addresses are left out, but a machine without a network shows
    // its first one, so the address rows are never empty.
    std::vector<IpAddress> found;
    IpAddress loopback = 0;
    for (IpAddress ip : InterfaceAddresses()) {
        if ((ip & 0xFF) != 127) {
            found.push_back(ip);
        } else if (!loopback) {
            loopback = ip;
        }
    }
    if (found.empty() && loopback) found.push_back(loopback);
    // Link-local addresses (169.254.x.x: an adapter that found no DHCP server,
    // a virtual one) go last: the rows show the addresses viewers can reach first.
    std::stable_partition(found.begin(), found.end(),
                          [](IpAddress ip) { return (ip & 0xFFFF) != MakeIp(169, 254, 0, 0); });
    return found;
}

}  // namespace lantrel
