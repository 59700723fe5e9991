#include "support/web_clients.h"

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>

namespace lantrel::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

namespace {

// Runs `io` until `done` or `seconds` pass; what is pending then is cancelled.
void Await(asio::io_context& io, const bool& done, double seconds, tcp::socket& socket) {
    io.restart();
    io.run_for(std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(seconds)));
    if (done) return;
    beast::error_code ignored;
    socket.cancel(ignored);
    io.restart();
    io.run();
}

// Connects from `source` to the port on 127.0.0.1; `receiveBuffer` > 0 sets the
// socket's receive buffer first.
void ConnectFrom(tcp::socket& socket, const std::string& source, int port, int receiveBuffer = 0) {
    socket.open(tcp::v4());
    socket.bind({asio::ip::make_address(source), 0});
    if (receiveBuffer > 0) socket.set_option(asio::socket_base::receive_buffer_size(receiveBuffer));
    socket.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)});
}

}  // namespace

struct TcpPeer::Connection {
    asio::io_context io;
    tcp::socket socket{io};
};

TcpPeer::TcpPeer(int port, int receiveBuffer, const std::string& source)
    : connection_(std::make_unique<Connection>()) {
    ConnectFrom(connection_->socket, source, port, receiveBuffer);
}

TcpPeer::~TcpPeer() = default;

bool TcpPeer::Send(const std::string& bytes, double seconds) {
    bool done = false;
    beast::error_code error;
    asio::async_write(connection_->socket, asio::buffer(bytes),
                      [&](beast::error_code e, std::size_t) {
                          error = e;
                          done = true;
                      });
    Await(connection_->io, done, seconds, connection_->socket);
    return done && !error;
}

std::string TcpPeer::Receive(double seconds) {
    std::string got;
    bool done = false;
    asio::async_read(connection_->socket, asio::dynamic_buffer(got),
                     [&](beast::error_code, std::size_t) { done = true; });
    Await(connection_->io, done, seconds, connection_->socket);
    return got;
}

struct WebSocketClient::Connection {
    asio::io_context io;
    beast::websocket::stream<tcp::socket> ws{io};
};

WebSocketClient::WebSocketClient(int port, const std::string& target, const std::string& source,
                                 const std::string& origin)
    : connection_(std::make_unique<Connection>()) {
    auto& ws = connection_->ws;
    ConnectFrom(ws.next_layer(), source, port);
    if (!origin.empty())
        ws.set_option(beast::websocket::stream_base::decorator(
            [origin](beast::websocket::request_type& request) {
                request.set(beast::http::field::origin, origin);
            }));
    ws.handshake("127.0.0.1:" + std::to_string(port), target);
}

WebSocketClient::~WebSocketClient() = default;

bool WebSocketClient::Say(const std::string& text) {
    beast::error_code error;
    connection_->ws.write(asio::buffer(text), error);
    return !error;
}

void WebSocketClient::SendRaw(const std::string& bytes) {
    beast::error_code ignored;
    connection_->ws.next_layer().write_some(asio::buffer(bytes), ignored);
}

std::optional<std::string> WebSocketClient::NextText(double seconds) {
    beast::flat_buffer buffer;
    bool done = false;
    connection_->ws.async_read(buffer, [&](beast::error_code e, std::size_t) {
        ended_ = ended_ || e;
        done = true;
    });
    Await(connection_->io, done, seconds, connection_->ws.next_layer());
    if (!done || ended_) return std::nullopt;
    return beast::buffers_to_string(buffer.data());
}

int WebSocketClient::CloseCode() const {
    return static_cast<int>(connection_->ws.reason().code);
}

struct IdleConnections::Sockets {
    asio::io_context io;
    std::vector<tcp::socket> open;
};

IdleConnections::IdleConnections() : sockets_(std::make_unique<Sockets>()) {}

IdleConnections::~IdleConnections() = default;

void IdleConnections::Open(int port, const std::string& source, int count) {
    for (int k = 0; k < count; ++k) {
        tcp::socket& s = sockets_->open.emplace_back(sockets_->io);
        s.open(tcp::v4());
        s.bind({asio::ip::make_address(source), 0});
        beast::error_code refused;
        s.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)}, refused);
    }
}

void IdleConnections::Clear() {
    sockets_->open.clear();
}

int FreeTcpPort() {
    asio::io_context io;
    tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
    return acceptor.local_endpoint().port();
}

}  // namespace lantrel::testing
