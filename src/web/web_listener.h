// The web listener's inside, shared by its parts: the listener itself and its
// limits (web_server.cpp), HTTP requests and their answers (http_session.cpp),
// and the feed's WebSocket sessions (feed_session.cpp). Everything here lives
// on the listener's thread, but for what is handed over under `handOverMutex`
// and the viewer count, which the server's thread reads.
#pragma once

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "web/web_request.h"
#include "web/web_server.h"
#include "web/websocket_frames.h"

namespace lantrel {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
// A message framed once, shared by every browser it goes to.
using Text = std::shared_ptr<const std::string>;

Text TextFrame(std::string_view message);
// A strong validator of the PGN's bytes, the same across runs.
std::string EntityTag(const std::string& bytes);

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
    // Each address's connections, those loading pages and those following the
    // feed counted apart, and the rate it opens new ones at. A connection
    // that waits for a request (oldest first in `waiting`) gives way
    // when the address is at its limit and another one comes.
    struct AddressUse {
        explicit AddressUse(ConnectionRate rate) : rate(rate) {}
        int pages = 0;
        int feeds = 0;
        ConnectionRate rate;
        std::list<std::weak_ptr<HttpSession>> waiting;
    };
    std::map<asio::ip::address, AddressUse> addresses;
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
    FeedHandOver turn;  // the server's thread's alone: the messages of its turn so far
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
    // Every kIdleCheckInterval, each browser's CheckIdle; addresses with
    // nothing left to remember are forgotten.
    void CheckIdleFeeds();
    // Takes a chat line from `from`, or says why not; `muted` is the
    // connection's own mark, set here when the administrator silenced it.
    std::string AdmitChat(const asio::ip::address& from, WebChatLine line,
                          const std::string& earlierName, bool& muted);
    void Note(const std::string& what);
    http::response<http::string_body> Answer(const http::request<http::string_body>& request);
};

// One connection counted against the limits, in all and for its address, for
// as long as it lives: an HTTP connection, then the feed it may become. The
// address's entry outlives it (its rate is remembered) until CheckIdleFeeds
// finds it unused.
class WebServer::Listener::ConnectionSlot {
  public:
    ConnectionSlot(Listener& listener, asio::ip::address address, AddressUse& use)
        : listener_(listener), address_(std::move(address)), use_(use) {
        ++listener_.connections;
        ++use_.pages;
    }
    ~ConnectionSlot() {
        Busy();
        --listener_.connections;
        --(feed_ ? use_.feeds : use_.pages);
    }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    const asio::ip::address& address() const { return address_; }
    // Counts the connection among its address's feeds from now on; false,
    // changing nothing, when the address has as many as it may.
    // The connection waits for a request: it may give way to another.
    void Waits(std::weak_ptr<HttpSession> session) {
        Busy();
        waitingAt_ = use_.waiting.insert(use_.waiting.end(), std::move(session));
    }
    // It is busy with a request again.
    void Busy() {
        if (waitingAt_) use_.waiting.erase(*waitingAt_);
        waitingAt_.reset();
    }
    bool BecomeFeed() {
        if (use_.feeds >= listener_.setup.maxPerAddress) return false;
        --use_.pages;
        ++use_.feeds;
        feed_ = true;
        return true;
    }

  private:
    Listener& listener_;
    asio::ip::address address_;
    AddressUse& use_;
    bool feed_ = false;
    std::optional<std::list<std::weak_ptr<HttpSession>>::iterator> waitingAt_;
};

// A connection asking for pages, until it asks to become a feed.
class WebServer::Listener::HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(tcp::socket socket, Listener& listener, std::unique_ptr<ConnectionSlot> slot)
        : stream_(std::move(socket)), listener_(listener), slot_(std::move(slot)) {}

    // Waits for the next request, then reads and answers it.
    void Read();
    // Closes the connection while it waits for a request, its place given up
    // at once.
    void GiveWay();

  private:
    // Runs a step of the connection: what it throws closes the connection only.
    template <typename Step>
    void Guarded(Step step);
    // Reads the request begun in buffer_.
    void ReadRequest();
    void Received(beast::error_code error);
    // `status` with `why` as its text, and the connection closed.
    void Refuse(http::status status, const char* why);
    void Write(std::shared_ptr<http::response<http::string_body>> response);
    void Close();

    beast::tcp_stream stream_;
    Listener& listener_;
    std::unique_ptr<ConnectionSlot> slot_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    bool answered_ = false;  // a request of it was answered: it waits for the next
};

// A browser following the feed over WebSocket.
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
    void Accept(http::request<http::string_body> request, std::string early);
    // Queues a frame; Flush sends what waits. Never waits for a browser that
    // does not keep up: it reconnects and resumes. It is not reading what it
    // is sent, so it would not read a close frame either: it is dropped.
    // A frame of the game as a whole (`wholeGame`: the snapshot, a "game"
    // delta) is as long as the game, which nothing bounds: the largest one
    // waiting is counted apart from the limit, so that no browser is ever
    // refused the game itself.
    void Queue(const Text& frame, bool wholeGame = false);
    // Everything waiting goes in one write.
    void Flush();
    // A turn's frames (with wholeGame), also joined in `batch`: written at once
    // when nothing waits for this browser (one system call, nothing queued),
    // else queued after what waits.
    void Send(const Text& batch, const std::vector<std::pair<Text, bool>>& frames);
    // Ends the feed with a close frame carrying `code`, after the frames on
    // their way; nothing else is sent. The browser's own close frame, or its
    // end of the connection, then ends the session.
    void Close(std::uint16_t code) { EndWith(CloseFrame(code), true); }
    // A browser quiet for half the idle time is pinged; one that answered
    // nothing for all of it is gone.
    void CheckIdle(Clock::time_point now, const Text& ping);

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
    void Written(beast::error_code error);
    // The connection's last frame, `close`. When the server goes away
    // (`leaving`) it goes after the frames on their way, instead of the
    // others, and the browser's answer ends the connection; else it goes after
    // all that waits (the answer to a ping that came before a fault), and the
    // connection ends once it is sent.
    void EndWith(std::string close, bool leaving);
    void Read();
    void Take(std::string_view bytes);
    // Ends the connection at once, without a close frame.
    void Drop();
    // A message from the browser: a chat line is all it may send.
    void Heard(const std::string& message);
    void Refuse(const std::string& why);

    tcp::socket socket_;
    Listener& listener_;
    std::unique_ptr<ConnectionSlot> slot_;
    const bool mayPost_;  // its page came from a site that may post chat
    WebSocketReader reader_;
    std::array<char, 512> readBuffer_;
    std::deque<Text> queue_;  // frames to send
    std::size_t queuedBytes_ = 0;
    // The largest whole-game frame queued since the queue was last empty.
    std::size_t wholeGameBytes_ = 0;
    std::size_t inFlight_ = 0;  // frames at the queue's front being written
    bool closing_ = false;      // a close frame is queued or sent: nothing more is queued
    bool dropped_ = false;      // the socket is closed
    bool awaitingPeerClose_ = false;
    Clock::time_point lastHeard_ = Clock::now();  // when its last bytes came
    bool pinged_ = false;                         // since they came
    bool muted_ = false;                          // silenced by the administrator
    std::string lastName_;                        // the name of its last chat line taken
};

}  // namespace lantrel
