// The feed's WebSocket sessions: the frames a browser is sent, what it may
// send back, and how its connection ends.
#include <algorithm>

#include "web/feed_messages.h"
#include "web/web_listener.h"

namespace lantrel {

namespace {

// A browser that answers nothing, not even the pings sent when it is quiet,
// for this long is gone.
constexpr auto kFeedIdleTimeout = std::chrono::seconds(60);

}  // namespace

void WebServer::Listener::FeedSession::Accept(http::request<http::string_body> request,
                                              std::string early) {
    auto handshake = std::make_shared<websocket::stream<beast::tcp_stream>>(std::move(socket_));
    handshake->set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    auto upgrade = std::make_shared<http::request<http::string_body>>(std::move(request));
    handshake->async_accept(*upgrade, [self = shared_from_this(), handshake, upgrade,
                                       early = std::move(early)](beast::error_code error) {
        if (error) return;
        self->socket_ = handshake->next_layer().release_socket();
        // A frame goes out when it is written, not once the browser has
        // acknowledged the one before.
        beast::error_code ignored;
        self->socket_.set_option(tcp::no_delay(true), ignored);
        self->socket_.non_blocking(true, ignored);  // Send's write never waits
        self->Guard([&] {
            const auto target = upgrade->target();
            self->listener_.Join(*self, std::string_view(target.data(), target.size()));
            self->Flush();
            self->Take(early);
            if (!self->dropped_) self->Read();
        });
    });
}

void WebServer::Listener::FeedSession::Queue(const Text& frame, bool wholeGame) {
    if (closing_) return;
    queue_.push_back(frame);
    queuedBytes_ += frame->size();
    if (wholeGame) wholeGameBytes_ = std::max(wholeGameBytes_, frame->size());
    if (queue_.size() > kMaxQueuedMessages || queuedBytes_ > kMaxQueuedBytes + wholeGameBytes_)
        Drop();
}

void WebServer::Listener::FeedSession::Send(const Text& batch,
                                            const std::vector<std::pair<Text, bool>>& frames) {
    if (closing_ || dropped_) return;
    bool wholeGame = false;
    for (const auto& frame : frames)
        wholeGame = wholeGame || frame.second;
    if (inFlight_ == 0 && queue_.empty()) {
        beast::error_code error;
        const std::size_t sent = socket_.write_some(asio::buffer(*batch), error);
        if (!error && sent == batch->size()) return;
        if (error && error != asio::error::would_block && error != asio::error::try_again)
            return Drop();
        if (sent > 0) {
            Queue(std::make_shared<const std::string>(batch->substr(sent)), wholeGame);
            return Flush();
        }
    }
    for (const auto& [frame, whole] : frames)
        Queue(frame, whole);
    Flush();
}

void WebServer::Listener::FeedSession::Flush() {
    if (inFlight_ > 0 || dropped_ || queue_.empty()) return;
    constexpr std::size_t kMaxGather = 64;
    const std::size_t count = std::min(queue_.size(), kMaxGather);
    std::vector<asio::const_buffer> buffers;
    buffers.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        buffers.push_back(asio::buffer(*queue_[i]));
    inFlight_ = count;
    asio::async_write(socket_, buffers,
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                          self->Written(error);
                      });
}

void WebServer::Listener::FeedSession::CheckIdle(Clock::time_point now, const Text& ping) {
    if (now - lastHeard_ >= kFeedIdleTimeout) return Drop();
    if (now - lastHeard_ < kFeedIdleTimeout / 2 || pinged_) return;
    pinged_ = true;
    Queue(ping);
    Flush();
}

void WebServer::Listener::FeedSession::Written(beast::error_code error) {
    const std::size_t count = std::exchange(inFlight_, 0);
    if (error) return Drop();
    for (std::size_t i = 0; i < count; ++i) {
        queuedBytes_ -= queue_.front()->size();
        queue_.pop_front();
    }
    if (!queue_.empty()) return Flush();
    wholeGameBytes_ = 0;
    if (!closing_ || dropped_) return;
    // Our close frame is out: when it answered the browser's, or a fault,
    // the connection ends now; else the browser's answer ends it.
    if (!awaitingPeerClose_) return Drop();
    beast::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_send, ignored);
}

void WebServer::Listener::FeedSession::EndWith(std::string close, bool leaving) {
    if (closing_ || dropped_) return;
    closing_ = true;
    awaitingPeerClose_ = leaving;
    while (leaving && queue_.size() > inFlight_) {
        queuedBytes_ -= queue_.back()->size();
        queue_.pop_back();
    }
    queue_.push_back(std::make_shared<const std::string>(std::move(close)));
    queuedBytes_ += queue_.back()->size();
    Flush();
}

void WebServer::Listener::FeedSession::Read() {
    socket_.async_read_some(asio::buffer(readBuffer_),
                            [self = shared_from_this()](beast::error_code error, std::size_t size) {
                                if (error) return self->Drop();
                                self->lastHeard_ = Clock::now();
                                self->pinged_ = false;
                                self->Guard([&] {
                                    self->Take(std::string_view(self->readBuffer_.data(), size));
                                    if (!self->dropped_) self->Read();
                                });
                            });
}

void WebServer::Listener::FeedSession::Take(std::string_view bytes) {
    reader_.Append(bytes);
    for (;;) {
        WebSocketEvent event = reader_.Next();
        switch (event.kind) {
            case WebSocketEvent::Kind::kNeedMore:
                return;
            case WebSocketEvent::Kind::kMessage:
                Heard(event.payload);
                break;
            case WebSocketEvent::Kind::kPing:
                Queue(std::make_shared<const std::string>(
                    ServerFrame(WebSocketOpcode::kPong, event.payload)));
                Flush();
                break;
            case WebSocketEvent::Kind::kPong:
                break;
            case WebSocketEvent::Kind::kClose:
                // The answer to ours, or the browser leaving: its status goes back.
                if (closing_) return Drop();
                return EndWith(ServerFrame(WebSocketOpcode::kClose, event.payload.substr(0, 2)),
                               false);
            case WebSocketEvent::Kind::kFailed:
                return EndWith(CloseFrame(event.code), false);
        }
    }
}

void WebServer::Listener::FeedSession::Drop() {
    closing_ = dropped_ = true;
    beast::error_code ignored;
    socket_.close(ignored);
}

void WebServer::Listener::FeedSession::Heard(const std::string& message) {
    ClientMessage read = ReadClientMessage(message, listener_.setup.chatAllowed);
    if (!read.chat) return Refuse(read.refusal);
    if (!mayPost_) return Refuse("Chat is open to this server's own page only.");
    const std::string name = read.chat->name;
    const std::string refusal =
        listener_.AdmitChat(slot_->address(), std::move(*read.chat), lastName_, muted_);
    if (!refusal.empty()) return Refuse(refusal);
    lastName_ = name;
}

void WebServer::Listener::FeedSession::Refuse(const std::string& why) {
    Queue(std::make_shared<const std::string>(
        ServerFrame(WebSocketOpcode::kText, MessageText(ErrorMessage{why}))));
    Flush();
}

}  // namespace lantrel
