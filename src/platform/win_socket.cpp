#include "platform/win.h"

// After winsock2.h, which they build on.
#include <iphlpapi.h>
#include <mswsock.h>
#include <ws2tcpip.h>

namespace lantrel {

namespace {

// Winsock is started once for the process and left running to its end.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

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
    if (err == WSAEINPROGRESS || err == WSAEALREADY || err == WSAEACCES)
        return SocketError::kInProgress;
    return SocketError::kFailure;
}

// Waits up to 100 ms until the socket can take a datagram.
void WaitWritable(SOCKET s) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(s, &writable);
    timeval wait{0, 100000};
    ::select(0, nullptr, &writable, nullptr, &wait);
}

// Sends `head` and `body` as one datagram, waiting while the socket's send
// buffer is full.
SocketError SendParts(SOCKET s, IpAddress to, std::uint16_t port, std::string_view head,
                      std::string_view body) {
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = ::htons(port);
    dest.sin_addr = ToInAddr(to);
    WSABUF parts[2] = {{static_cast<ULONG>(head.size()), const_cast<char*>(head.data())},
                       {static_cast<ULONG>(body.size()), const_cast<char*>(body.data())}};
    for (;;) {
        DWORD sent = 0;
        if (::WSASendTo(s, parts, 2, &sent, 0, reinterpret_cast<sockaddr*>(&dest), sizeof dest,
                        nullptr, nullptr) == 0)
            return sent == head.size() + body.size() ? SocketError::kOk : SocketError::kFailure;
        int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK && err != WSAENOBUFS) return SendErrorNumber(err);
        WaitWritable(s);
    }
}

// Winsock's handle of an open socket.
SOCKET Handle(NativeHandle socket) {
    return static_cast<SOCKET>(socket);
}

}  // namespace

UdpSocket::~UdpSocket() {
    if (socket_ != kNoSocket) ::closesocket(Handle(socket_));
}

SocketError UdpSocket::Open(std::uint16_t port, IpAddress bindIp, int /*waitMs*/) {
    if (socket_ != kNoSocket) return SocketError::kAlreadyOpen;
    if (!WinsockStarted()) return SocketError::kLibraryVersion;
    // Not inherited: a started mail program must not keep the port after the server ends.
    SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        openErrorText_ = SystemMessage(::WSAGetLastError());
        return SocketError::kFailure;
    }
    // No other socket may bind the port meanwhile (Windows lets one that asks for
    // address reuse take over a port otherwise).
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    // The viewers' ACKs for a move arrive together: a large receive buffer keeps
    // them (failure is harmless).
    int receiveBuffer = 4 << 20;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                 sizeof receiveBuffer);
    // A datagram to a viewer that has gone away brings back an ICMP "port
    // unreachable", which Windows would report as a failure of the next receive.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned,
               nullptr, nullptr);
    // Receives and sends never block: the wait says when to receive.
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = ::htons(port);
    local.sin_addr = bindIp ? ToInAddr(bindIp) : in_addr{};
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        int err = ::WSAGetLastError();
        openErrorText_ = SystemMessage(static_cast<DWORD>(err));
        ::closesocket(s);
        return err == WSAEINPROGRESS ? SocketError::kInProgress : SocketError::kFailure;
    }
    socket_ = static_cast<NativeHandle>(s);
    buffer_.resize(kReceiveBuffer);
    return SocketError::kOk;
}

SocketError UdpSocket::TakeDatagram(Datagram& out) {
    sockaddr_in from{};
    int fromLen = sizeof from;
    int n = ::recvfrom(Handle(socket_), buffer_.data(), static_cast<int>(buffer_.size()), 0,
                       reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n == SOCKET_ERROR) {
        int err = ::WSAGetLastError();
        return (err == WSAEWOULDBLOCK || err == WSAECONNRESET) ? SocketError::kTimedOut
                                                               : SocketError::kFailure;
    }
    out.text.assign(buffer_.data(), static_cast<std::size_t>(n));
    out.sender = FromInAddr(from.sin_addr);
    out.senderPort = ::ntohs(from.sin_port);
    return SocketError::kOk;
}

SocketError UdpSocket::Send(IpAddress to, std::uint16_t port, std::string_view text) {
    if (socket_ == kNoSocket) return SocketError::kChannelNotOpen;
    return SendParts(Handle(socket_), to, port, {}, text);
}

void UdpSocket::SendBatch(std::uint16_t port, std::span<OutgoingDatagram> batch) {
    // Windows has no call that sends many datagrams at once: one each, gathered
    // from head and body.
    for (OutgoingDatagram& d : batch)
        d.result = socket_ == kNoSocket ? SocketError::kChannelNotOpen
                                        : SendParts(Handle(socket_), d.to, port, d.head, d.body);
}

std::vector<IpAddress> InterfaceAddresses() {
    std::vector<IpAddress> found;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    std::vector<unsigned char> table(16384);
    ULONG size = static_cast<ULONG>(table.size());
    ULONG result;
    // The table may grow between the two calls; ask again while it does.
    while ((result = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()),
                                            &size)) == ERROR_BUFFER_OVERFLOW)
        table.resize(size);
    if (result != NO_ERROR) return found;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) continue;
        for (auto* a = adapter->FirstUnicastAddress; a; a = a->Next)
            if (a->Address.lpSockaddr->sa_family == AF_INET)
                found.push_back(
                    FromInAddr(reinterpret_cast<sockaddr_in*>(a->Address.lpSockaddr)->sin_addr));
    }
    return found;
}

}  // namespace lantrel
