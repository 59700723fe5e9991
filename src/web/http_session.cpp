// HTTP requests and their answers: the page's files, the game's data and the
// tournament's texts; a request for the feed becomes a feed session.
#include <cstdio>

#include "web/feed_messages.h"
#include "web/web_listener.h"
#include "web/web_request.h"

namespace lantrel {

namespace {

// A request, once begun, must be complete within this time: a half-sent
// request holds no connection for long.
constexpr auto kRequestTimeout = std::chrono::seconds(15);
// A new connection may wait this long for its first request: a browser opens
// connections ahead of need, and a busy one takes its time to use them. Until
// it sends, it gives way to any other connection of its address at the limit.
constexpr auto kFirstRequestWait = std::chrono::seconds(60);
// A kept-alive connection waits this long for its next request, so that
// those a page was loaded over close soon after.
constexpr auto kNextRequestWait = std::chrono::seconds(3);
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

// Whether the request says its length in one sound way (its Transfer-Encoding
// lines read as one list).
bool RequestFramingIsSound(const http::request<http::string_body>& request) {
    std::optional<std::string> codings;
    const auto [first, last] = request.equal_range(http::field::transfer_encoding);
    for (auto line = first; line != last; ++line)
        codings = (codings ? *codings + "," : std::string()) + std::string(line->value());
    return lantrel::FramingIsSound(request.version(), request.count(http::field::host) > 0,
                                   codings);
}

}  // namespace

// A strong validator of the PGN's bytes (FNV-1a, 64 bits), the same across runs.
std::string EntityTag(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 1099511628211ull;
    char text[19];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return "\"" + std::string(text) + "\"";
}

template <typename Step>
void WebServer::Listener::HttpSession::Guarded(Step step) {
    try {
        step();
    } catch (const std::exception& e) {
        listener_.Note(std::string("a request failed and its connection was closed: ") + e.what());
        Close();
    }
}

void WebServer::Listener::HttpSession::Read() {
    parser_.emplace();
    parser_->header_limit(kMaxRequestHeader);
    parser_->body_limit(kMaxClientMessage);
    if (buffer_.size() > 0) return ReadRequest();  // sent with the one before
    slot_->Waits(weak_from_this());
    stream_.expires_after(answered_ ? kNextRequestWait : kFirstRequestWait);
    stream_.async_read_some(
        buffer_.prepare(kMaxRequestHeader),
        [self = shared_from_this()](beast::error_code error, std::size_t length) {
            self->Guarded([&] {
                if (!self->slot_) return;  // it gave way
                self->slot_->Busy();
                if (error) return self->Close();
                self->buffer_.commit(length);
                self->ReadRequest();
            });
        });
}

void WebServer::Listener::HttpSession::ReadRequest() {
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         self->Guarded([&] { self->Received(error); });
                     });
}

void WebServer::Listener::HttpSession::GiveWay() {
    slot_.reset();
    beast::error_code ignored;
    stream_.socket().close(ignored);
}

void WebServer::Listener::HttpSession::Received(beast::error_code error) {
    if (error == http::error::end_of_stream || error == beast::error::timeout ||
        error == asio::error::operation_aborted)
        return Close();
    // Not HTTP, more of it than any page needs, or of a length in doubt.
    if (error || !RequestFramingIsSound(parser_->get()))
        return Refuse(http::status::bad_request, "Bad request\n");
    http::request<http::string_body> request = parser_->release();
    const auto target = request.target();
    if (websocket::is_upgrade(request) &&
        RouteTarget(std::string_view(target.data(), target.size())).resource ==
            WebResource::kFeed) {
        // The browser tries again later, as after any lost connection.
        if (!slot_->BecomeFeed())
            return Refuse(http::status::service_unavailable,
                          "Too many browsers from this address follow the feed\n");
        const auto origin = request[http::field::origin];
        const auto host = request[http::field::host];
        const bool mayPost =
            OriginMayPost(std::string_view(origin.data(), origin.size()),
                          std::string_view(host.data(), host.size()), listener_.setup.chatOrigins);
        std::make_shared<FeedSession>(stream_.release_socket(), listener_, std::move(slot_),
                                      mayPost)
            ->Accept(std::move(request), beast::buffers_to_string(buffer_.data()));
        return;
    }
    Write(std::make_shared<http::response<http::string_body>>(listener_.Answer(request)));
}

void WebServer::Listener::HttpSession::Refuse(http::status status, const char* why) {
    auto response = std::make_shared<http::response<http::string_body>>(status, 11, why);
    response->set(http::field::content_type, "text/plain; charset=utf-8");
    response->keep_alive(false);
    response->prepare_payload();
    Write(response);
}

void WebServer::Listener::HttpSession::Write(
    std::shared_ptr<http::response<http::string_body>> response) {
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response](beast::error_code error, std::size_t) {
                          if (error || !response->keep_alive()) return self->Close();
                          self->answered_ = true;
                          self->Read();
                      });
}

void WebServer::Listener::HttpSession::Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
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
            send(http::status::ok, ContentType(path), *textPage->second.text);
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

}  // namespace lantrel
