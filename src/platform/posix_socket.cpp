#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix.h"

namespace lantrel {

namespace {

IpAddress FromInAddr(const in_addr& a) {
    const auto* b = reinterpret_cast<const unsigned char*>(&a.s_addr);
    return MakeIp(b[0], b[1], b[2], b[3]);
}

in_addr ToInAddr(IpAddress ip) {
    in_addr a{};
    auto* b = reinterpret_cast<unsigned char*>(&a.s_addr);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<unsigned char>(ip >> (8 * i));
    return a;
}

SocketError SendErrorNumber(int err) {
    if (err == EINPROGRESS || err == EALREADY || err == EACCES || err == EPERM)
        return SocketError::kInProgress;
    return SocketError::kFailure;
}

}  // namespace

UdpSocket::~UdpSocket() {
    if (socket_ != kNoSocket) ::close(static_cast<int>(socket_));
}

SocketError UdpSocket::Open(std::uint16_t port, IpAddress bindIp, int /*waitMs*/) {
    if (socket_ != kNoSocket) return SocketError::kAlreadyOpen;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        openErrorText_ = std::strerror(errno);
        return SocketError::kFailure;
    }
    // A move goes out to every viewer before the next receive, and the viewers'
    // ACKs all arrive meanwhile: with a few hundred viewers they overflow the
    // system's default receive buffer (about 200 KB), and every lost ACK costs a
    // re-send. The kernel caps the value at net.core.rmem_max; failure is harmless.
    int receiveBuffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr = bindIp ? ToInAddr(bindIp) : in_addr{htonl(INADDR_ANY)};
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int err = errno;
        openErrorText_ = std::strerror(err);
        ::close(fd);
        return err == EINPROGRESS ? SocketError::kInProgress : SocketError::kFailure;
    }
    socket_ = fd;
    buffer_.resize(kReceiveBuffer);
    return SocketError::kOk;
}

SocketError UdpSocket::TakeDatagram(Datagram& out) {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(static_cast<int>(socket_), buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? SocketError::kTimedOut
                                                         : SocketError::kFailure;
    out.text.assign(buffer_.data(), static_cast<std::size_t>(n));
    out.sender = FromInAddr(from.sin_addr);
    out.senderPort = ntohs(from.sin_port);
    return SocketError::kOk;
}

SocketError UdpSocket::Send(IpAddress to, std::uint16_t port, std::string_view text) {
    if (socket_ == kNoSocket) return SocketError::kChannelNotOpen;
    const int fd = static_cast<int>(socket_);
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(port);
    dest.sin_addr = ToInAddr(to);
    for (;;) {
        ssize_t n = ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&dest),
                             sizeof dest);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            // The socket's send buffer is full: wait until it can take the datagram.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n < 0) return SendErrorNumber(errno);
        return static_cast<std::size_t>(n) == text.size() ? SocketError::kOk
                                                          : SocketError::kFailure;
    }
}

void UdpSocket::SendBatch(std::uint16_t port, std::span<OutgoingDatagram> batch) {
    if (socket_ == kNoSocket) {
        for (OutgoingDatagram& d : batch)
            d.result = SocketError::kChannelNotOpen;
        return;
    }
    const int fd = static_cast<int>(socket_);
    // sendmmsg takes a run of datagrams in one system call; each is gathered
    // from its head and its body, so a body shared by many is never copied.
    constexpr std::size_t kRun = 64;
    sockaddr_in dest[kRun];
    iovec parts[kRun][2];
    mmsghdr messages[kRun];
    for (std::size_t start = 0; start < batch.size();) {
        const std::size_t count = std::min(kRun, batch.size() - start);
        for (std::size_t k = 0; k < count; ++k) {
            OutgoingDatagram& d = batch[start + k];
            dest[k] = {};
            dest[k].sin_family = AF_INET;
            dest[k].sin_port = htons(port);
            dest[k].sin_addr = ToInAddr(d.to);
            parts[k][0] = {d.head.data(), d.head.size()};
            parts[k][1] = {const_cast<char*>(d.body.data()), d.body.size()};
            messages[k] = {};
            messages[k].msg_hdr.msg_name = &dest[k];
            messages[k].msg_hdr.msg_namelen = sizeof dest[k];
            messages[k].msg_hdr.msg_iov = parts[k];
            messages[k].msg_hdr.msg_iovlen = 2;
        }
        const int sent = ::sendmmsg(fd, messages, static_cast<unsigned>(count), 0);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == ENOBUFS) {
                // The socket's send buffer is full: wait until it can take more.
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            // The first datagram of the run failed; the others are tried again.
            batch[start++].result = SendErrorNumber(errno);
            continue;
        }
        for (int k = 0; k < sent; ++k) {
            OutgoingDatagram& d = batch[start + static_cast<std::size_t>(k)];
            d.result = messages[k].msg_len == d.head.size() + d.body.size() ? SocketError::kOk
                                                                            : SocketError::kFailure;
        }
        start += static_cast<std::size_t>(sent);
    }
}

std::vector<IpAddress> InterfaceAddresses() {
    std::vector<IpAddress> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    for (ifaddrs* i = list; i; i = i->ifa_next)
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET)
            found.push_back(FromInAddr(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr));
    ::freeifaddrs(list);
    return found;
}

}  // namespace lantrel
