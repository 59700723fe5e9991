// The web listener: the page, the JSON feed over WebSocket, /state.json and the
// live PGN, served on a thread of its own so that no browser ever holds up the
// main loop. The server's thread hands it the feed's messages (it is a
// FeedListener) and takes back the chat lines browsers sent. One thread serves
// every connection; a browser that does not keep up is dropped, never waited for.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "web/web_feed.h"

namespace lantrel {

struct WebListenerSetup {
    std::string bindAddress;  // dotted IPv4; empty = all addresses
    std::int32_t port = 0;
    bool chatAllowed = false;
    std::string run;  // names this run of the server, as in the feed's snapshot
    // The page's files: the path as asked for ("/index.html") and its bytes.
    std::map<std::string, std::string> files;
    // Plain-text pages computed on request, on the listener's thread ("/crosstable.txt"):
    // nullopt answers 404 with `missing` as the text.
    struct TextPage {
        std::function<std::optional<std::string>()> make;
        std::string missing;
    };
    std::map<std::string, TextPage> textPages;
};

// The page's files under `folder` keyed by their path from it ("/app.js"),
// with "/" for "/index.html"; empty when the folder cannot be read.
std::map<std::string, std::string> LoadPageFiles(const std::string& folder);

class WebServer final : public FeedListener {
  public:
    static constexpr int kMaxConnections = 4096;
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

    // Called on the server's thread.
    void Delta(const FeedMessage& delta) override;
    void Snapshot(const FeedMessage& snapshot) override;
    void Pgn(std::string utf8Pgn);
    std::vector<WebChatLine> TakeChatLines();
    // Browsers following the feed now.
    int Viewers() const;

  private:
    struct Listener;
    std::unique_ptr<Listener> listener_;
};

}  // namespace lantrel
