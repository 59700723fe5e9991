// The system's UDP socket: one class for every backend. What differs (opening,
// sending, the non-blocking read, the address list) is in posix_socket.cpp and
// win_socket.cpp; the wait before a read and the address rules in common.cpp.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lantrel {

class UdpSocket : public DatagramSocket {
  public:
    // Waits with an event wait of its own.
    UdpSocket();
    // Waits with `wait`, which must outlive the socket.
    explicit UdpSocket(EventWait& wait);
    ~UdpSocket() override;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    SocketError Open(std::uint16_t port, IpAddress bindIp, int waitMs) override;
    std::string OpenErrorText() const override { return openErrorText_; }
    SocketError Receive(int waitMs, Datagram& out) override;
    SocketError Send(IpAddress to, std::uint16_t port, std::string_view text) override;
    void SendBatch(std::uint16_t port, std::span<OutgoingDatagram> batch) override;
    std::vector<IpAddress> LocalAddresses() override;

  private:
    static constexpr NativeHandle kNoSocket = -1;
    static constexpr std::size_t kReceiveBuffer = 65536;

    // Reads the datagram the wait saw, without blocking: kTimedOut when there is
    // none after all (a wake-up for an error, or the late news of a lost datagram).
    SocketError TakeDatagram(Datagram& out);

    std::unique_ptr<EventWait> ownWait_;
    EventWait& wait_;
    NativeHandle socket_ = kNoSocket;
    std::string buffer_;
    bool tookDatagram_ = false;  // the last receive returned a datagram
    std::string openErrorText_;
};

// Every IPv4 address of the machine's interfaces that are up, loopback ones
// included, in the system's order.
std::vector<IpAddress> InterfaceAddresses();

}  // namespace lantrel
