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
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>
#include <unordered_set>

namespace lantrel {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Text = std::shared_ptr<const std::string>;

namespace {

constexpr auto kRequestTimeout = std::chrono::seconds(30);
constexpr std::size_t kMaxRequestHeader = 8192;

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

std::map<std::string, std::string> LoadPageFiles(const std::string& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string path = "/" + fs::relative(it->path(), folder, error).generic_string();
        files[path] = bytes.str();
    }
    if (files.count("/index.html")) files["/"] = files["/index.html"];
    return files;
}

// ---- The listener's own state: touched on its thread only, but for the chat
// lines and the viewer count, which the server's thread reads.
struct WebServer::Listener {
    class HttpSession;
    class FeedSession;

    WebListenerSetup setup;
    Text snapshot = std::make_shared<const std::string>("{}");
    std::int64_t snapshotVersion = 0;
    FeedHistory history;
    Text pgn = std::make_shared<const std::string>();
    std::string pgnTag = EntityTag("");
    std::unordered_set<FeedSession*> sessions;
    int connections = 0;
    std::int32_t port = 0;  // set before the thread starts

    std::mutex chatMutex;
    std::vector<WebChatLine> chatLines;
    std::atomic<int> viewers{0};

    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    std::thread thread;

    void Accept();
    // A newcomer: the deltas after its version when the history reaches back
    // to it, else the snapshot and the deltas after that.
    void Join(FeedSession& session, std::string_view target);
    void Leave(FeedSession& session);  // from the session's destructor
    http::response<http::string_body> Answer(const http::request<http::string_body>& request);
};

class WebServer::Listener::FeedSession : public std::enable_shared_from_this<FeedSession> {
  public:
    FeedSession(tcp::socket socket, Listener& listener)
        : ws_(std::move(socket)), listener_(listener) {
        ++listener_.connections;
    }
    ~FeedSession() {
        listener_.Leave(*this);
        --listener_.connections;
    }

    void Accept(http::request<http::string_body> request) {
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(kMaxClientMessage);
        beast::get_lowest_layer(ws_).expires_never();
        target_ = std::string(request.target());
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (error) return;
            self->listener_.Join(*self, self->target_);
            self->Read();
        });
    }

    void Send(const Text& text) {
        if (closed_) return;
        queue_.push_back(text);
        queuedBytes_ += text->size();
        // Never wait for a browser that does not keep up: it reconnects and resumes.
        if (queue_.size() > kMaxQueuedMessages || queuedBytes_ > kMaxQueuedBytes) return Close();
        if (!writing_) Write();
    }

  private:
    void Write() {
        writing_ = true;
        ws_.text(true);
        ws_.async_write(asio::buffer(*queue_.front()),
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (error) return self->Close();
                            self->queuedBytes_ -= self->queue_.front()->size();
                            self->queue_.pop_front();
                            self->writing_ = false;
                            if (!self->queue_.empty() && !self->closed_) self->Write();
                        });
    }

    void Read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return self->Close();
            self->Heard(beast::buffers_to_string(self->buffer_.data()));
            self->buffer_.consume(self->buffer_.size());
            self->Read();
        });
    }

    // Stops sending; the session ends (and leaves the feed) once its pending
    // reads and writes have returned.
    void Close() {
        if (closed_) return;
        closed_ = true;
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
    }

    // A message from the browser: a chat line is all it may send.
    void Heard(const std::string& message) {
        ClientMessage read = ReadClientMessage(message, listener_.setup.chatAllowed);
        if (!read.chat) return Refuse(read.refusal);
        const auto now = std::chrono::steady_clock::now();
        if (lastChat_ && now - *lastChat_ < std::chrono::seconds(1))
            return Refuse("One chat line a second, please.");
        lastChat_ = now;
        std::lock_guard lock(listener_.chatMutex);
        listener_.chatLines.push_back(std::move(*read.chat));
    }

    void Refuse(const std::string& why) {
        Send(std::make_shared<const std::string>(
            nlohmann::json{{"type", "error"}, {"text", why}}.dump()));
    }

    websocket::stream<beast::tcp_stream> ws_;
    Listener& listener_;
    beast::flat_buffer buffer_;
    std::string target_;
    std::deque<Text> queue_;
    std::size_t queuedBytes_ = 0;
    bool writing_ = false;
    bool closed_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastChat_;
};

class WebServer::Listener::HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(tcp::socket socket, Listener& listener)
        : stream_(std::move(socket)), listener_(listener) {
        ++listener_.connections;
    }
    ~HttpSession() { --listener_.connections; }

    void Read() {
        parser_.emplace();
        parser_->header_limit(kMaxRequestHeader);
        parser_->body_limit(kMaxClientMessage);
        stream_.expires_after(kRequestTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->Received(error);
                         });
    }

  private:
    void Received(beast::error_code error) {
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == asio::error::operation_aborted)
            return Close();
        if (error) {
            // Not HTTP, or more of it than any page needs.
            auto response = std::make_shared<http::response<http::string_body>>(
                http::status::bad_request, 11, "Bad request\n");
            response->set(http::field::content_type, "text/plain; charset=utf-8");
            response->keep_alive(false);
            response->prepare_payload();
            return Write(response);
        }
        http::request<http::string_body> request = parser_->release();
        if (websocket::is_upgrade(request) && request.target().substr(0, 5) == "/feed" &&
            (request.target().size() == 5 || request.target()[5] == '?')) {
            std::make_shared<FeedSession>(stream_.release_socket(), listener_)
                ->Accept(std::move(request));
            return;
        }
        Write(std::make_shared<http::response<http::string_body>>(listener_.Answer(request)));
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
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

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
        if (connections < kMaxConnections) {
            std::make_shared<HttpSession>(std::move(socket), *this)->Read();
        }  // else the socket closes as it goes
        Accept();
    });
}

void WebServer::Listener::Join(FeedSession& session, std::string_view target) {
    sessions.insert(&session);
    viewers = static_cast<int>(sessions.size());
    const ResumePoint resume = ReadResumePoint(target);
    if (resume.since && resume.run == setup.run) {
        if (auto deltas = history.After(*resume.since)) {
            for (const FeedMessage& delta : *deltas)
                session.Send(delta.json);
            return;
        }
    }
    session.Send(snapshot);
    if (auto deltas = history.After(snapshotVersion)) {
        for (const FeedMessage& delta : *deltas)
            session.Send(delta.json);
    }
}

void WebServer::Listener::Leave(FeedSession& session) {
    sessions.erase(&session);
    viewers = static_cast<int>(sessions.size());
}

http::response<http::string_body> WebServer::Listener::Answer(
    const http::request<http::string_body>& request) {
    const std::string target(request.target());
    const std::string path = target.substr(0, target.find('?'));
    http::response<http::string_body> response{http::status::ok, request.version()};
    response.keep_alive(request.keep_alive());
    response.set(http::field::server, "lantrel");
    response.set("X-Content-Type-Options", "nosniff");
    auto send = [&](http::status status, std::string type, std::string body) {
        response.result(status);
        response.set(http::field::content_type, type);
        response.body() = std::move(body);
    };
    if (request.method() != http::verb::get) {
        send(http::status::method_not_allowed, "text/plain; charset=utf-8", "GET only\n");
        response.set(http::field::allow, "GET");
    } else if (path == "/state.json") {
        send(http::status::ok, "application/json", *snapshot);
        response.set(http::field::cache_control, "no-cache");
    } else if (path == "/games.pgn") {
        response.set(http::field::etag, pgnTag);
        response.set(http::field::cache_control, "no-cache");
        if (request[http::field::if_none_match] == pgnTag) {
            response.result(http::status::not_modified);
        } else {
            send(http::status::ok, "application/x-chess-pgn; charset=utf-8", *pgn);
        }
    } else if (auto page = setup.textPages.find(path); page != setup.textPages.end()) {
        if (auto text = page->second.make()) {
            send(http::status::ok, "text/plain; charset=utf-8", std::move(*text));
        } else {
            send(http::status::not_found, "text/plain; charset=utf-8", page->second.missing + "\n");
        }
        response.set(http::field::cache_control, "no-cache");
    } else if (auto file = setup.files.find(path); file != setup.files.end()) {
        send(http::status::ok, ContentType(path == "/" ? "/index.html" : path), file->second);
        // Scripts from this server only: a text that slipped into the page as
        // markup still could not run.
        response.set("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
                     "connect-src 'self' ws: wss:");
    } else {
        send(http::status::not_found, "text/plain; charset=utf-8", "Not found\n");
    }
    response.prepare_payload();
    return response;
}

// ---- The server's side ----------------------------------------------------------

WebServer::WebServer() : listener_(std::make_unique<Listener>()) {}

WebServer::~WebServer() {
    if (listener_->thread.joinable()) {
        listener_->io.stop();
        listener_->thread.join();
    }
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
    if (!error) l.acceptor.set_option(asio::socket_base::reuse_address(true), error);
    if (!error) l.acceptor.bind(endpoint, error);
    if (!error) l.acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) return "cannot listen on " + where + ": " + error.message();
    l.port = l.acceptor.local_endpoint(error).port();
    l.setup = std::move(setup);
    l.Accept();
    l.thread = std::thread([&l] { l.io.run(); });
    return {};
}

std::int32_t WebServer::Port() const {
    return listener_->port;
}

void WebServer::Delta(const FeedMessage& delta) {
    asio::post(listener_->io, [&l = *listener_, delta] {
        l.history.Add(delta);
        for (Listener::FeedSession* session : l.sessions)
            session->Send(delta.json);
    });
}

void WebServer::Snapshot(const FeedMessage& snapshot) {
    asio::post(listener_->io, [&l = *listener_, snapshot] {
        l.snapshot = snapshot.json;
        l.snapshotVersion = snapshot.version;
    });
}

void WebServer::Pgn(std::string utf8Pgn) {
    auto pgn = std::make_shared<const std::string>(std::move(utf8Pgn));
    asio::post(listener_->io, [&l = *listener_, pgn] {
        l.pgnTag = EntityTag(*pgn);
        l.pgn = pgn;
    });
}

std::vector<WebChatLine> WebServer::TakeChatLines() {
    std::lock_guard lock(listener_->chatMutex);
    return std::exchange(listener_->chatLines, {});
}

int WebServer::Viewers() const {
    return listener_->viewers;
}

}  // namespace lantrel
