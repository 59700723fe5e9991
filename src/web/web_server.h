// The web listener: the page, the JSON feed over WebSocket, /state.json and the
// live PGN, served on a thread of its own so that no browser ever holds up the
// main loop. The server's thread hands it the feed's messages (it is a
// FeedListener) and takes back the chat lines browsers sent. One thread serves
// every connection; a browser that does not keep up is dropped, never waited for.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "web/web_feed.h"

namespace lantrel {

// Connections one listener serves at most, whatever the open-file limit.
constexpr int kMaxWebConnections = 16384;

struct WebListenerSetup {
    std::string bindAddress;  // dotted IPv4; empty = all addresses
    std::int32_t port = 0;
    bool chatAllowed = false;
    // Connections served at once in all; more are closed as they come.
    int maxConnections = kMaxWebConnections;
    // From one address (a household, a school, a proxy): this many
    // connections loading pages at once, and as many following the feed
    // besides; new connections at half this number a second, after a burst of
    // twice it. More are closed as they come; a feed over the limit is
    // answered 503.
    int maxPerAddress = kWebMaxPerAddress;
    // Pages of other sites that may post chat besides this server's own
    // ("https://club.example.org"); any page may watch.
    std::vector<std::string> chatOrigins;
    // Sites that may show the page in a frame; none when empty.
    std::vector<std::string> frameAncestors;
    // NATS servers the page may follow the feed on ("wss://edge.example.org:443"),
    // told to the page as /nats.json; none when empty.
    std::vector<std::string> natsServers;
    // Other servers' feeds the event page follows ("ws://192.168.1.21:8080"),
    // which the page may connect to besides this server.
    std::vector<std::string> eventFeeds;
    std::string run;  // names this run of the server, as in the feed's snapshot
    // The page's files: the path as asked for ("/index.html") and its bytes.
    std::map<std::string, std::string> files;
    // Pages the server's thread hands over (TextPages) that are answered 404
    // with a text of their own while they have none, by path ("/crosstable.txt").
    std::map<std::string, std::string> textPages;
};

// Connections the listener may hold in all under a limit of `openFiles` open
// files (0: the system sets none), leaving room for the server's own files.
int ConnectionCeiling(std::int64_t openFiles);

class WebServer final : public FeedListener {
  public:
    static constexpr int kReservedFiles = 64;
    // Chat lines taken: one a second from an address, ten a second in all.
    static constexpr int kChatLinesPerSecond = 10;
    // What may wait for one browser before it is dropped as one that does not
    // keep up: besides the largest frame of the game as a whole (FeedSession::Queue).
    static constexpr std::size_t kMaxQueuedMessages = 1024;
    static constexpr std::size_t kMaxQueuedBytes = 1 << 20;
    static constexpr std::size_t kMaxClientMessage = 4096;

    WebServer();
    ~WebServer() override;
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Opens the listener and starts its thread; a text saying what went wrong
    // when it cannot listen, else empty.
    std::string Start(WebListenerSetup setup);
    // The port it listens on (for a port chosen by the system).
    std::int32_t Port() const;
    // True where the port is held so that no other program can bind it too
    // (Windows lets one that asks for address reuse do so otherwise).
    bool PortExclusive() const;

    // Called on the server's thread.
    void Delta(const FeedMessage& delta) override;
    void Snapshot(const FeedMessage& snapshot) override;
    void HandOver() override;
    void Pgn(std::string utf8Pgn);
    // New texts of pages the server's thread makes, by path, typed by their
    // extension ("/crosstable.txt", "/games/3.json"); nullopt: none, answered 404.
    void TextPages(std::map<std::string, std::optional<std::string>> texts);
    std::vector<WebChatLine> TakeChatLines();
    // What server.log should say of the listener (a connection that failed).
    std::vector<std::string> TakeNotes();
    // The administrator's word: browsers that chatted under `name` (compared
    // without case), or from the dotted `address`, may chat no more.
    void Silence(const std::string& name);
    void Ban(const std::string& address);
    // Browsers following the feed now.
    int Viewers() const;

  private:
    struct Listener;
    std::unique_ptr<Listener> listener_;
};

}  // namespace lantrel
