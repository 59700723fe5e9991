#include "web/web_server.h"

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_set>

#include "platform/files.h"
#include "text/text.h"
#include "web/feed_messages.h"
#include "web/web_request.h"
#include "web/websocket_frames.h"

namespace lantrel {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Text = std::shared_ptr<const std::string>;

namespace {

// A request must be complete, and a kept-alive connection send its next one,
// within this time: a half-sent request holds no connection for long.
constexpr auto kRequestTimeout = std::chrono::seconds(15);
// A browser that answers nothing, not even the pings sent when it is quiet,
// for this long is gone.
constexpr auto kFeedIdleTimeout = std::chrono::seconds(60);
constexpr auto kIdleCheckInterval = std::chrono::seconds(5);
// At shutdown, browsers are told the server is going away for at most this long.
constexpr auto kShutdownGrace = std::chrono::seconds(1);
constexpr std::size_t kMaxRequestHeader = 8192;
constexpr std::size_t kMaxNotes = 100;

#ifdef _WIN32
// Windows would let a second program that asks for address reuse bind the same
// port and take connections from us: the port is held exclusively instead.
using PortOption = asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
constexpr bool kPortExclusive = true;
#else
// A restarted server binds at once, past the old connections' TIME_WAIT; no
// second listener can bind the port meanwhile all the same.
using PortOption = asio::socket_base::reuse_address;
constexpr bool kPortExclusive = false;
#endif

std::string ContentType(const std::string& path) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"},
        {".md", "text/plain; charset=utf-8"},
    };
    for (const auto& [extension, type] : kTypes) {
        const std::string_view e(extension);
        if (path.size() >= e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0)
            return type;
    }
    return "application/octet-stream";
}

Text TextFrame(std::string_view message) {
    return std::make_shared<const std::string>(ServerFrame(WebSocketOpcode::kText, message));
}

// A board opened in full from the event page also reads its server's PGN and
// tournament texts over HTTP: each feed origin (ws://, wss://) brings its
// HTTP twin (http://, https://) into the policy.
std::vector<std::string> WithHttpTwins(const std::vector<std::string>& origins) {
    std::vector<std::string> all;
    for (const std::string& origin : origins) {
        all.push_back(origin);
        const std::string scheme = UpperAscii(origin.substr(0, origin.find("://")));
        if (scheme == "WS") all.push_back("http" + origin.substr(2));
        if (scheme == "WSS") all.push_back("https" + origin.substr(3));
    }
    return all;
}

// A chat name as the administrator's list holds it: without blanks around it
// or the " (web)" the relayed lines add, upper case.
std::string ChatNameKey(const std::string& name) {
    std::string key = UpperAscii(TrimBlanks(name));
    if (key.size() > 6 && key.compare(key.size() - 6, 6, " (WEB)") == 0) key.resize(key.size() - 6);
    return TrimBlanks(key);
}

// A strong validator of the PGN's bytes (FNV-1a, 64 bits), the same across runs.
std::string EntityTag(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[19];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return "\"" + std::string(text) + "\"";
}

}  // namespace

namespace {

// Folders below the page's that are read: a deeper one is a link back up.
constexpr int kMaxPageDepth = 8;

// Adds the files under `folder` to `files`, each under `prefix` + its name.
// Files and folders whose names start with "." (.git, .env) are not the
// page's: never served (RouteTarget), so not read either.
void AddPageFiles(const std::string& folder, const std::string& prefix, int depth,
                  std::map<std::string, std::string>& files) {
    const FolderListing listing = ListFolder(folder);
    for (const std::string& name : listing.files) {
        if (name.starts_with(".")) continue;
        if (auto bytes = ReadWholeFile(folder + "/" + name))
            files[prefix + name] = std::move(*bytes);
    }
    if (depth == kMaxPageDepth) return;
    for (const std::string& name : listing.folders)
        if (!name.starts_with("."))
            AddPageFiles(folder + "/" + name, prefix + name + "/", depth + 1, files);
}

}  // namespace

std::map<std::string, std::string> LoadPageFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    AddPageFiles(folder, "/", 0, files);
    if (files.count("/index.html")) files["/"] = files["/index.html"];
    return files;
}

int ConnectionCeiling(std::int64_t openFiles) {
    if (openFiles <= 0) return kMaxWebConnections;
    const std::int64_t room = openFiles - WebServer::kReservedFiles;
    return static_cast<int>(std::clamp<std::int64_t>(room, 1, kMaxWebConnections));
}

// ---- The listener's own state: touched on its thread only, but for what is
// handed over under `handOverMutex` and the viewer count, which the server's
// thread reads.
struct WebServer::Listener {
    class HttpSession;
    class FeedSession;
    class ConnectionSlot;
    using Clock = std::chrono::steady_clock;

    WebListenerSetup setup;
    std::string securityPolicy;  // Content-Security-Policy of every answer
    Text natsList;               // /nats.json
    Text snapshot = std::make_shared<const std::string>("{}");
    Text snapshotFrame;  // the snapshot framed, once a newcomer needed it
    std::int64_t snapshotVersion = 0;
    FeedHistory history;
    Text pgn = std::make_shared<const std::string>();
    std::string pgnTag = EntityTag("");
    std::unordered_set<FeedSession*> sessions;
    int connections = 0;
    // The tournament pages as last handed over: nullopt answers 404 with `missing`.
    struct PageText {
        std::optional<std::string> text;
        std::string missing;
    };
    std::map<std::string, PageText> pageTexts;
    std::map<asio::ip::address, int> perAddress;
    std::map<asio::ip::address, Clock::time_point> lastChatFrom;
    std::deque<Clock::time_point> recentChat;  // lines taken in the last second
    bool stopping = false;
    std::int32_t port = 0;  // set before the thread starts

    // Handed over between the threads.
    std::mutex handOverMutex;
    struct FeedHandOver {
        std::vector<FeedMessage> deltas;
        std::optional<FeedMessage> snapshot;  // the latest
        bool empty() const { return deltas.empty() && !snapshot; }
    };
    FeedHandOver feedToSend;
    std::vector<WebChatLine> chatLines;
    std::vector<std::string> notes;
    std::set<std::string> silencedNames;  // upper case
    std::set<std::string> bannedAddresses;
    std::atomic<int> viewers{0};

    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    asio::steady_timer stopTimer{io};
    asio::steady_timer idleCheck{io};
    std::thread thread;

    void Run();
    void Accept();
    // A new connection, served when the limits let it in.
    void Admit(tcp::socket socket);
    // A newcomer: the deltas after its version when the history reaches back
    // to it, else the snapshot and the deltas after that.
    void Join(FeedSession& session, std::string_view target);
    void Leave(FeedSession& session);  // from the session's destructor
    // What the server's thread handed over for the feed, to the history and
    // every browser.
    void SendFeed();
    // Every kIdleCheckInterval, each browser's CheckIdle.
    void CheckIdleFeeds();
    // Takes a chat line from `from`, or says why not; `muted` is the
    // connection's own mark, set here when the administrator silenced it.
    std::string AdmitChat(const asio::ip::address& from, WebChatLine line,
                          const std::string& earlierName, bool& muted);
    void Note(const std::string& what);
    http::response<http::string_body> Answer(const http::request<http::string_body>& request);
};

// One connection counted against the limits, in all and for its address, for
// as long as it lives (an HTTP connection, then the feed it became).
class WebServer::Listener::ConnectionSlot {
  public:
    ConnectionSlot(Listener& listener, asio::ip::address address)
        : listener_(listener), address_(std::move(address)) {
        ++listener_.connections;
        ++listener_.perAddress[address_];
    }
    ~ConnectionSlot() {
        --listener_.connections;
        if (--listener_.perAddress[address_] == 0) listener_.perAddress.erase(address_);
    }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    const asio::ip::address& address() const { return address_; }

  private:
    Listener& listener_;
    asio::ip::address address_;
};

class WebServer::Listener::FeedSession : public std::enable_shared_from_this<FeedSession> {
  public:
    FeedSession(tcp::socket socket, Listener& listener, std::unique_ptr<ConnectionSlot> slot,
                bool mayPost)
        : socket_(std::move(socket)),
          listener_(listener),
          slot_(std::move(slot)),
          mayPost_(mayPost),
          reader_(kMaxClientMessage) {}
    ~FeedSession() { listener_.Leave(*this); }

    // Beast answers the upgrade; after it the connection's frames are ours, so
    // that a message is framed once for every browser. `early` is what the
    // browser sent after its request without waiting for the answer.
    void Accept(http::request<http::string_body> request, std::string early) {
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
            self->Guard([&] {
                const auto target = upgrade->target();
                self->listener_.Join(*self, std::string_view(target.data(), target.size()));
                self->Flush();
                self->Take(early);
                if (!self->dropped_) self->Read();
            });
        });
    }

    // Queues a frame; Flush sends what waits. Never waits for a browser that
    // does not keep up: it reconnects and resumes. It is not reading what it
    // is sent, so it would not read a close frame either: it is dropped.
    void Queue(const Text& frame) {
        if (closing_) return;
        queue_.push_back(frame);
        queuedBytes_ += frame->size();
        if (queue_.size() > kMaxQueuedMessages || queuedBytes_ > kMaxQueuedBytes) Drop();
    }

    // Everything waiting goes in one write.
    void Flush() {
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

    // Ends the feed with a close frame carrying `code`, after the frames on
    // their way; nothing else is sent. The browser's own close frame, or its
    // end of the connection, then ends the session.
    void Close(std::uint16_t code) { EndWith(CloseFrame(code), true); }

    // A browser quiet for half the idle time is pinged; one that answered
    // nothing for all of it is gone.
    void CheckIdle(Clock::time_point now, const Text& ping) {
        if (now - lastHeard_ >= kFeedIdleTimeout) return Drop();
        if (now - lastHeard_ < kFeedIdleTimeout / 2 || pinged_) return;
        pinged_ = true;
        Queue(ping);
        Flush();
    }

  private:
    // Runs one step of the connection: an exception ends this connection
    // only, and server.log says what it was.
    template <class Step>
    void Guard(Step&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            listener_.Note(std::string("a feed connection failed and was closed: ") + e.what());
            Drop();
        }
    }

    void Written(beast::error_code error) {
        const std::size_t count = std::exchange(inFlight_, 0);
        if (error) return Drop();
        for (std::size_t i = 0; i < count; ++i) {
            queuedBytes_ -= queue_.front()->size();
            queue_.pop_front();
        }
        if (!queue_.empty()) return Flush();
        if (!closing_ || dropped_) return;
        // Our close frame is out: when it answered the browser's, or a fault,
        // the connection ends now; else the browser's answer ends it.
        if (!awaitingPeerClose_) return Drop();
        beast::error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
    }

    // The connection's last frame, `close`. When the server goes away
    // (`leaving`) it goes after the frames on their way, instead of the
    // others, and the browser's answer ends the connection; else it goes after
    // all that waits (the answer to a ping that came before a fault), and the
    // connection ends once it is sent.
    void EndWith(std::string close, bool leaving) {
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

    void Read() {
        socket_.async_read_some(
            asio::buffer(readBuffer_),
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

    void Take(std::string_view bytes) {
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

    // Ends the connection at once, without a close frame.
    void Drop() {
        closing_ = dropped_ = true;
        beast::error_code ignored;
        socket_.close(ignored);
    }

    // A message from the browser: a chat line is all it may send.
    void Heard(const std::string& message) {
        ClientMessage read = ReadClientMessage(message, listener_.setup.chatAllowed);
        if (!read.chat) return Refuse(read.refusal);
        if (!mayPost_) return Refuse("Chat is open to this server's own page only.");
        const std::string name = read.chat->name;
        const std::string refusal =
            listener_.AdmitChat(slot_->address(), std::move(*read.chat), lastName_, muted_);
        if (!refusal.empty()) return Refuse(refusal);
        lastName_ = name;
    }

    void Refuse(const std::string& why) {
        Queue(std::make_shared<const std::string>(
            ServerFrame(WebSocketOpcode::kText, MessageText(ErrorMessage{why}))));
        Flush();
    }

    tcp::socket socket_;
    Listener& listener_;
    std::unique_ptr<ConnectionSlot> slot_;
    const bool mayPost_;  // its page came from a site that may post chat
    WebSocketReader reader_;
    std::array<char, 512> readBuffer_;
    std::deque<Text> queue_;  // frames to send
    std::size_t queuedBytes_ = 0;
    std::size_t inFlight_ = 0;  // frames at the queue's front being written
    bool closing_ = false;      // a close frame is queued or sent: nothing more is queued
    bool dropped_ = false;      // the socket is closed
    bool awaitingPeerClose_ = false;
    Clock::time_point lastHeard_ = Clock::now();  // when its last bytes came
    bool pinged_ = false;                         // since they came
    bool muted_ = false;                          // silenced by the administrator
    std::string lastName_;                        // the name of its last chat line taken
};

class WebServer::Listener::HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(tcp::socket socket, Listener& listener, std::unique_ptr<ConnectionSlot> slot)
        : stream_(std::move(socket)), listener_(listener), slot_(std::move(slot)) {}

    void Read() {
        parser_.emplace();
        parser_->header_limit(kMaxRequestHeader);
        parser_->body_limit(kMaxClientMessage);
        stream_.expires_after(kRequestTimeout);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, std::size_t) {
                try {
                    self->Received(error);
                } catch (const std::exception& e) {
                    self->listener_.Note(
                        std::string("a request failed and its connection was closed: ") + e.what());
                    self->Close();
                }
            });
    }

  private:
    void Received(beast::error_code error) {
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted)
            return Close();
        // Not HTTP, more of it than any page needs, or of a length in doubt.
        if (error || !FramingIsSound(parser_->get())) return RefuseRequest();
        http::request<http::string_body> request = parser_->release();
        const auto target = request.target();
        if (websocket::is_upgrade(request) &&
            RouteTarget(std::string_view(target.data(), target.size())).resource ==
                WebResource::kFeed) {
            const auto origin = request[http::field::origin];
            const auto host = request[http::field::host];
            const bool mayPost = OriginMayPost(std::string_view(origin.data(), origin.size()),
                                               std::string_view(host.data(), host.size()),
                                               listener_.setup.chatOrigins);
            std::make_shared<FeedSession>(stream_.release_socket(), listener_, std::move(slot_),
                                          mayPost)
                ->Accept(std::move(request), beast::buffers_to_string(buffer_.data()));
            return;
        }
        Write(std::make_shared<http::response<http::string_body>>(listener_.Answer(request)));
    }

    static bool FramingIsSound(const http::request<http::string_body>& request) {
        std::optional<std::string> codings;
        const auto [first, last] = request.equal_range(http::field::transfer_encoding);
        for (auto line = first; line != last; ++line)
            codings = (codings ? *codings + "," : std::string()) + std::string(line->value());
        return lantrel::FramingIsSound(request.version(), request.count(http::field::host) > 0,
                                       codings);
    }

    // 400, and the connection closed.
    void RefuseRequest() {
        auto response = std::make_shared<http::response<http::string_body>>(
            http::status::bad_request, 11, "Bad request\n");
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        response->keep_alive(false);
        response->prepare_payload();
        Write(response);
    }

    void Write(std::shared_ptr<http::response<http::string_body>> response) {
        http::async_write(
            stream_, *response,
            [self = shared_from_this(), response](beast::error_code error, std::size_t) {
                if (error || !response->keep_alive()) return self->Close();
                self->Read();
            });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }

    beast::tcp_stream stream_;
    Listener& listener_;
    std::unique_ptr<ConnectionSlot> slot_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

// The listener's thread. Every connection catches what its own steps throw;
// this is the last guard, so that nothing a browser sends ends the process.
void WebServer::Listener::Run() {
    for (;;) {
        try {
            io.run();
            return;
        } catch (const std::exception& e) {
            Note(std::string("an error was caught and the listener goes on: ") + e.what());
        }
    }
}

void WebServer::Listener::Accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (error) {
            // Out of descriptors, most likely: try again shortly rather than spin.
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](beast::error_code e) {
                if (!e) Accept();
            });
            return;
        }
        try {
            Admit(std::move(socket));
        } catch (const std::exception& e) {
            Note(std::string("a connection could not be taken: ") + e.what());
        }
        Accept();
    });
}

void WebServer::Listener::Admit(tcp::socket socket) {
    beast::error_code error;
    const asio::ip::address address = socket.remote_endpoint(error).address();
    if (error) return;
    const auto known = perAddress.find(address);
    const int fromAddress = known == perAddress.end() ? 0 : known->second;
    // Over a limit, the socket closes as it goes.
    if (connections >= setup.maxConnections || fromAddress >= setup.maxPerAddress) return;
    KeepFromChildren(static_cast<NativeHandle>(socket.native_handle()));
    auto slot = std::make_unique<ConnectionSlot>(*this, address);
    std::make_shared<HttpSession>(std::move(socket), *this, std::move(slot))->Read();
}

void WebServer::Listener::Join(FeedSession& session, std::string_view target) {
    sessions.insert(&session);
    viewers = static_cast<int>(sessions.size());
    const ResumePoint resume = ReadResumePoint(target);
    if (resume.since && resume.run == setup.run) {
        // Far behind, a snapshot is the shorter way back.
        if (auto deltas = history.After(*resume.since);
            deltas && deltas->size() <= kMaxQueuedMessages / 4) {
            for (const FeedMessage& delta : *deltas)
                session.Queue(TextFrame(*delta.json));
            return;
        }
    }
    if (!snapshotFrame) snapshotFrame = TextFrame(*snapshot);
    session.Queue(snapshotFrame);
    if (auto deltas = history.After(snapshotVersion)) {
        for (const FeedMessage& delta : *deltas)
            session.Queue(TextFrame(*delta.json));
    }
}

void WebServer::Listener::SendFeed() {
    FeedHandOver feed;
    {
        std::lock_guard lock(handOverMutex);
        feed = std::exchange(feedToSend, {});
    }
    // Each message framed once; every browser gets what it has waiting in
    // one write.
    std::vector<Text> frames;
    frames.reserve(feed.deltas.size());
    for (const FeedMessage& delta : feed.deltas) {
        history.Add(delta);
        frames.push_back(TextFrame(*delta.json));
    }
    for (FeedSession* session : sessions) {
        for (const Text& frame : frames)
            session->Queue(frame);
        session->Flush();
    }
    if (feed.snapshot) {
        snapshot = feed.snapshot->json;
        snapshotVersion = feed.snapshot->version;
        snapshotFrame = nullptr;
    }
}

void WebServer::Listener::CheckIdleFeeds() {
    idleCheck.expires_after(kIdleCheckInterval);
    idleCheck.async_wait([this](beast::error_code error) {
        if (error) return;
        const Text ping =
            std::make_shared<const std::string>(ServerFrame(WebSocketOpcode::kPing, ""));
        const auto now = Clock::now();
        for (FeedSession* session : sessions)
            session->CheckIdle(now, ping);
        CheckIdleFeeds();
    });
}

void WebServer::Listener::Leave(FeedSession& session) {
    sessions.erase(&session);
    viewers = static_cast<int>(sessions.size());
    if (stopping && sessions.empty()) io.stop();
}

std::string WebServer::Listener::AdmitChat(const asio::ip::address& from, WebChatLine line,
                                           const std::string& earlierName, bool& muted) {
    const auto now = Clock::now();
    std::lock_guard lock(handOverMutex);
    muted = muted || bannedAddresses.count(from.to_string()) > 0 ||
            silencedNames.count(ChatNameKey(line.name)) > 0 ||
            (!earlierName.empty() && silencedNames.count(ChatNameKey(earlierName)) > 0);
    if (muted) return "The administrator has silenced you.";
    const auto last = lastChatFrom.find(from);
    if (last != lastChatFrom.end() && now - last->second < std::chrono::seconds(1))
        return "One chat line a second, please.";
    while (!recentChat.empty() && now - recentChat.front() >= std::chrono::seconds(1))
        recentChat.pop_front();
    if (recentChat.size() >= static_cast<std::size_t>(kChatLinesPerSecond))
        return "The chat is busy: try again in a moment.";
    // Addresses quiet for a second are forgotten, so that the table stays small.
    std::erase_if(lastChatFrom,
                  [&](const auto& entry) { return now - entry.second >= std::chrono::seconds(1); });
    lastChatFrom[from] = now;
    recentChat.push_back(now);
    chatLines.push_back(std::move(line));
    return {};
}

void WebServer::Listener::Note(const std::string& what) {
    std::lock_guard lock(handOverMutex);
    if (notes.size() < kMaxNotes) notes.push_back("Web listener: " + what);
}

http::response<http::string_body> WebServer::Listener::Answer(
    const http::request<http::string_body>& request) {
    const auto target = request.target();
    const WebRoute route = RouteTarget(std::string_view(target.data(), target.size()));
    const std::string& path = route.path;
    http::response<http::string_body> response{http::status::ok, request.version()};
    response.keep_alive(request.keep_alive());
    response.set(http::field::server, "lantrel");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("Content-Security-Policy", securityPolicy);
    if (setup.frameAncestors.empty()) response.set("X-Frame-Options", "DENY");
    auto send = [&](http::status status, std::string type, std::string body) {
        response.result(status);
        response.set(http::field::content_type, type);
        response.body() = std::move(body);
    };
    // The game's data are public: the pages of other servers (an event's
    // boards) may read them too.
    const bool gameData = route.resource == WebResource::kState ||
                          route.resource == WebResource::kPgn || pageTexts.count(path) > 0;
    if (gameData) response.set(http::field::access_control_allow_origin, "*");
    const auto textPage = pageTexts.find(path);
    const auto file = setup.files.find(path);
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
        send(http::status::method_not_allowed, "text/plain; charset=utf-8", "GET or HEAD only\n");
        response.set(http::field::allow, "GET, HEAD");
    } else if (route.resource == WebResource::kState) {
        send(http::status::ok, "application/json", *snapshot);
        response.set(http::field::cache_control, "no-cache");
    } else if (route.resource == WebResource::kPgn) {
        response.set(http::field::etag, pgnTag);
        response.set(http::field::cache_control, "no-cache");
        if (request[http::field::if_none_match] == pgnTag) {
            response.result(http::status::not_modified);
        } else {
            send(http::status::ok, "application/x-chess-pgn; charset=utf-8", *pgn);
        }
    } else if (path == "/nats.json") {
        send(http::status::ok, "application/json", *natsList);
    } else if (route.resource == WebResource::kPage && textPage != pageTexts.end()) {
        if (textPage->second.text) {
            send(http::status::ok, "text/plain; charset=utf-8", *textPage->second.text);
        } else {
            send(http::status::not_found, "text/plain; charset=utf-8",
                 textPage->second.missing + "\n");
        }
        response.set(http::field::cache_control, "no-cache");
    } else if (route.resource == WebResource::kPage && file != setup.files.end()) {
        send(http::status::ok, ContentType(path == "/" ? "/index.html" : path), file->second);
    } else {
        send(http::status::not_found, "text/plain; charset=utf-8", "Not found\n");
    }
    response.prepare_payload();
    // HEAD: the same header, the length of the body it leaves out.
    if (request.method() == http::verb::head) response.body().clear();
    return response;
}

// ---- The server's side ----------------------------------------------------------

WebServer::WebServer() : listener_(std::make_unique<Listener>()) {}

WebServer::~WebServer() {
    Listener& l = *listener_;
    if (!l.thread.joinable()) return;
    // Browsers are told the server goes away (they reconnect later), for a
    // moment at most.
    asio::post(l.io, [&l] {
        l.stopping = true;
        beast::error_code ignored;
        l.acceptor.close(ignored);
        if (l.sessions.empty()) return l.io.stop();
        for (Listener::FeedSession* session : std::vector(l.sessions.begin(), l.sessions.end()))
            session->Close(kCloseGoingAway);
        l.stopTimer.expires_after(kShutdownGrace);
        l.stopTimer.async_wait([&l](beast::error_code) { l.io.stop(); });
    });
    l.thread.join();
    l.stopping = false;  // the sessions still held go with the io_context, quietly
}

std::string WebServer::Start(WebListenerSetup setup) {
    Listener& l = *listener_;
    const std::string where = (setup.bindAddress.empty() ? "0.0.0.0" : setup.bindAddress) + ":" +
                              std::to_string(setup.port);
    beast::error_code error;
    const auto address = setup.bindAddress.empty()
                             ? asio::ip::address(asio::ip::address_v4::any())
                             : asio::ip::make_address(setup.bindAddress, error);
    if (error || !address.is_v4())
        return "WEBBIND=" + setup.bindAddress + " is not an IPv4 address";
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(setup.port));
    l.acceptor.open(endpoint.protocol(), error);
    if (!error) KeepFromChildren(static_cast<NativeHandle>(l.acceptor.native_handle()));
    if (!error) l.acceptor.set_option(PortOption(true), error);
    if (!error) l.acceptor.bind(endpoint, error);
    if (!error) l.acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) return "cannot listen on " + where + ": " + error.message();
    l.port = l.acceptor.local_endpoint(error).port();
    // Scripts from this server only: a text that slipped into the page as
    // markup still could not run. The page talks to this server, the NATS
    // servers and the event page's feeds listed, and only the sites listed may
    // frame it.
    auto words = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& word : list)
            text += " " + word;
        return text;
    };
    l.securityPolicy =
        "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
        "connect-src 'self'" +
        words(setup.natsServers) + words(WithHttpTwins(setup.eventFeeds)) + "; frame-ancestors " +
        (setup.frameAncestors.empty() ? std::string("'none'")
                                      : words(setup.frameAncestors).substr(1));
    l.natsList = std::make_shared<const std::string>(DocumentText({setup.natsServers}));
    for (const auto& [path, missing] : setup.textPages)
        l.pageTexts[path] = {std::nullopt, missing};
    l.setup = std::move(setup);
    l.Accept();
    l.CheckIdleFeeds();
    l.thread = std::thread([&l] { l.Run(); });
    return {};
}

std::int32_t WebServer::Port() const {
    return listener_->port;
}

bool WebServer::PortExclusive() const {
    return kPortExclusive;
}

// The messages of one turn of the server's loop go to the listener together:
// the first one asks for a hand-over, and the hand-over takes all that came
// by the time it runs.
void WebServer::Delta(const FeedMessage& delta) {
    Listener& l = *listener_;
    std::lock_guard lock(l.handOverMutex);
    if (l.feedToSend.empty()) asio::post(l.io, [&l] { l.SendFeed(); });
    l.feedToSend.deltas.push_back(delta);
}

void WebServer::Snapshot(const FeedMessage& snapshot) {
    Listener& l = *listener_;
    std::lock_guard lock(l.handOverMutex);
    if (l.feedToSend.empty()) asio::post(l.io, [&l] { l.SendFeed(); });
    l.feedToSend.snapshot = snapshot;
}

void WebServer::Pgn(std::string utf8Pgn) {
    auto pgn = std::make_shared<const std::string>(std::move(utf8Pgn));
    asio::post(listener_->io, [&l = *listener_, pgn] {
        l.pgnTag = EntityTag(*pgn);
        l.pgn = pgn;
    });
}

void WebServer::TextPages(std::map<std::string, std::optional<std::string>> texts) {
    asio::post(listener_->io, [&l = *listener_, texts = std::move(texts)]() mutable {
        for (auto& [path, text] : texts)
            if (auto page = l.pageTexts.find(path); page != l.pageTexts.end())
                page->second.text = std::move(text);
    });
}

std::vector<WebChatLine> WebServer::TakeChatLines() {
    std::lock_guard lock(listener_->handOverMutex);
    return std::exchange(listener_->chatLines, {});
}

std::vector<std::string> WebServer::TakeNotes() {
    std::lock_guard lock(listener_->handOverMutex);
    return std::exchange(listener_->notes, {});
}

void WebServer::Silence(const std::string& name) {
    std::lock_guard lock(listener_->handOverMutex);
    listener_->silencedNames.insert(ChatNameKey(name));
}

void WebServer::Ban(const std::string& address) {
    std::lock_guard lock(listener_->handOverMutex);
    listener_->bannedAddresses.insert(TrimBlanks(address));
}

int WebServer::Viewers() const {
    return listener_->viewers;
}

}  // namespace lantrel
