// Clients of the web listener for the tests, every wait bounded. They are built
// on Boost.Beast in one file of their own, so that the tests using them compile
// without it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lantrel::testing {

// A TCP peer on loopback that sends any bytes.
class TcpPeer {
  public:
    // Connects from `source` to the port on 127.0.0.1; `receiveBuffer` > 0 sets
    // the socket's receive buffer first.
    explicit TcpPeer(int port, int receiveBuffer = 0, const std::string& source = "127.0.0.1");
    ~TcpPeer();
    // False when the connection ended (or `seconds` passed) before all was sent.
    bool Send(const std::string& bytes, double seconds = 5);
    // What arrives until the peer closes or `seconds` pass.
    std::string Receive(double seconds = 5);

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
};

// A WebSocket client, as a browser following the feed at `target`.
class WebSocketClient {
  public:
    // From the loopback address `source`, with the page's `origin` (none when empty).
    explicit WebSocketClient(int port, const std::string& target = "/feed",
                             const std::string& source = "127.0.0.1",
                             const std::string& origin = "");
    ~WebSocketClient();
    // Sends one text message; false when the connection is gone.
    bool Say(const std::string& text);
    // Sends what the connection takes in one write of `bytes`, as they are,
    // past the WebSocket framing.
    void SendRaw(const std::string& bytes);
    // The next message's text; nothing when none came within `seconds` or the
    // connection ended.
    std::optional<std::string> NextText(double seconds = 5);
    bool Ended() const { return ended_; }
    // The code of the server's close frame (0 before one came).
    int CloseCode() const;

  private:
    struct Connection;
    std::unique_ptr<Connection> connection_;
    bool ended_ = false;
};

// Connections that only connect and then say nothing.
class IdleConnections {
  public:
    IdleConnections();
    ~IdleConnections();
    // Opens `count` more to the port on 127.0.0.1, from `source`; a refused one
    // counts too.
    void Open(int port, const std::string& source, int count);
    // Closes them all.
    void Clear();

  private:
    struct Sockets;
    std::unique_ptr<Sockets> sockets_;
};

// A TCP port on loopback that was free a moment ago.
int FreeTcpPort();

}  // namespace lantrel::testing
