#include "web/web_server.h"

#include <algorithm>
#include <iterator>

#include "platform/files.h"
#include "text/text.h"
#include "web/feed_messages.h"
#include "web/web_listener.h"
#include "web/web_request.h"

namespace lantrel {

namespace {

constexpr auto kIdleCheckInterval = std::chrono::seconds(5);
// At shutdown, browsers are told the server is going away for at most this long.
constexpr auto kShutdownGrace = std::chrono::seconds(1);
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

// A steady clock's time in seconds, as the connection rates count it.
double Seconds(std::chrono::steady_clock::time_point time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

}  // namespace

Text TextFrame(std::string_view message) {
    return std::make_shared<const std::string>(ServerFrame(WebSocketOpcode::kText, message));
}

int ConnectionCeiling(std::int64_t openFiles) {
    if (openFiles <= 0) return kMaxWebConnections;
    const std::int64_t room = openFiles - WebServer::kReservedFiles;
    return static_cast<int>(std::clamp<std::int64_t>(room, 1, kMaxWebConnections));
}

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
    const double now = Seconds(Clock::now());
    const int perAddress = setup.maxPerAddress;
    const ConnectionRate rate(perAddress / 2.0, perAddress * 2.0, now);
    AddressUse& use = addresses.try_emplace(address, rate).first->second;
    // At its limit, the address's connection that has waited longest for a
    // next request gives way to this one.
    if (use.pages >= perAddress && !use.waiting.empty())
        if (const std::shared_ptr<HttpSession> idle = use.waiting.front().lock()) idle->GiveWay();
    // Over a limit, the socket closes as it goes.
    if (connections >= setup.maxConnections || use.pages >= perAddress || !use.rate.Take(now))
        return;
    KeepFromChildren(static_cast<NativeHandle>(socket.native_handle()));
    auto slot = std::make_unique<ConnectionSlot>(*this, address, use);
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
                session.Queue(TextFrame(*delta.json), delta.wholeGame);
            return;
        }
    }
    if (!snapshotFrame) snapshotFrame = TextFrame(*snapshot);
    session.Queue(snapshotFrame, true);
    if (auto deltas = history.After(snapshotVersion)) {
        for (const FeedMessage& delta : *deltas)
            session.Queue(TextFrame(*delta.json), delta.wholeGame);
    }
}

void WebServer::Listener::SendFeed() {
    FeedHandOver feed;
    {
        std::lock_guard lock(handOverMutex);
        feed = std::exchange(feedToSend, {});
    }
    // Each message framed once; every browser gets what it has waiting in
    // one write, most of them the turn's frames joined, as they are.
    std::vector<std::pair<Text, bool>> frames;  // with wholeGame
    frames.reserve(feed.deltas.size());
    std::string joined;
    for (const FeedMessage& delta : feed.deltas) {
        history.Add(delta);
        frames.emplace_back(TextFrame(*delta.json), delta.wholeGame);
        joined += *frames.back().first;
    }
    if (!frames.empty()) {
        const Text batch = std::make_shared<const std::string>(std::move(joined));
        for (FeedSession* session : sessions)
            session->Send(batch, frames);
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
        std::erase_if(addresses, [now = Seconds(now)](const auto& entry) {
            const AddressUse& use = entry.second;
            return use.pages == 0 && use.feeds == 0 && use.rate.Rested(now);
        });
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

// The messages of one turn of the server's loop go to the listener together,
// at the turn's end: the first hand-over waiting asks the listener's thread to
// send, and that takes every turn handed over by the time it runs.
void WebServer::Delta(const FeedMessage& delta) {
    listener_->turn.deltas.push_back(delta);
}

void WebServer::Snapshot(const FeedMessage& snapshot) {
    listener_->turn.snapshot = snapshot;
}

void WebServer::HandOver() {
    Listener& l = *listener_;
    if (l.turn.empty()) return;
    std::lock_guard lock(l.handOverMutex);
    if (l.feedToSend.empty()) asio::post(l.io, [&l] { l.SendFeed(); });
    Listener::FeedHandOver& waiting = l.feedToSend;
    std::move(l.turn.deltas.begin(), l.turn.deltas.end(), std::back_inserter(waiting.deltas));
    if (l.turn.snapshot) waiting.snapshot = std::move(l.turn.snapshot);
    l.turn = {};
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
            l.pageTexts.try_emplace(path, Listener::PageText{std::nullopt, "Not found"})
                .first->second.text = std::move(text);
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
