#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix.h"

namespace lantrel {

namespace {

constexpr std::size_t kReceiveBuffer = 65536;

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

int SendErrorNumber(int err) {
    if (err == EINPROGRESS || err == EALREADY || err == EACCES || err == EPERM) return kInProgress;
    return kSocketFailure;
}

}  // namespace

UdpSocket::UdpSocket() : ownWait_(std::make_unique<PosixEventWait>()), wait_(*ownWait_) {}

UdpSocket::UdpSocket(EventWait& wait) : wait_(wait) {}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) ::close(fd_);
}

int UdpSocket::Open(std::uint16_t port, IpAddress bindIp, int /*waitMs*/) {
    if (fd_ >= 0) return kAlreadyOpen;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kSocketFailure;
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
        ::close(fd);
        return err == EINPROGRESS ? kInProgress : kSocketFailure;
    }
    fd_ = fd;
    buffer_.resize(kReceiveBuffer);
    return kSocketOk;
}

void UdpSocket::WatchFile(const std::string& path) {
    wait_.WatchFile(path);
}

int UdpSocket::Receive(int waitMs, Datagram& out) {
    out.text.clear();
    out.sender = 0;
    out.senderPort = 0;
    if (fd_ < 0) return kChannelNotOpen;
    if (wait_.Wait(fd_, waitMs) != WakeReason::kReadable) return kTimedOut;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    // Not blocking: a wake-up for a pending error, or one without a datagram,
    // ends this receive rather than the wait for the next.
    ssize_t n = ::recvfrom(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? kTimedOut : kSocketFailure;
    out.text.assign(buffer_.data(), static_cast<std::size_t>(n));
    out.sender = FromInAddr(from.sin_addr);
    out.senderPort = ntohs(from.sin_port);
    return kSocketOk;
}

int UdpSocket::Send(IpAddress to, std::uint16_t port, std::string_view text) {
    if (fd_ < 0) return kChannelNotOpen;
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(port);
    dest.sin_addr = ToInAddr(to);
    for (;;) {
        ssize_t n = ::sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&dest),
                             sizeof dest);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            // The socket's send buffer is full: wait until it can take the datagram.
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n < 0) return SendErrorNumber(errno);
        return static_cast<std::size_t>(n) == text.size() ? kSocketOk : kSocketFailure;
    }
}

std::vector<IpAddress> UdpSocket::LocalAddresses() {
    std::vector<IpAddress> found;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return found;
    IpAddress loopback = 0;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        IpAddress ip = FromInAddr(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr);
        if ((ip & 0xFF) == 127) {
            if (!loopback) loopback = ip;
            continue;
        }
        found.push_back(ip);
    }
    ::freeifaddrs(list);
    // A machine without a network shows its loopback address, so the row is never empty.
    if (found.empty() && loopback) found.push_back(loopback);
    return found;
}

}  // namespace lantrel
