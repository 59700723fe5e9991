// WebSocket framing of the feed's connections once the handshake is done. The
// server's frames are never masked, so a message is encoded once and the same
// bytes go to every browser that follows the feed. A browser's frames are
// always masked: WebSocketReader takes them apart, reassembles fragmented
// messages and says which protocol fault should close the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lantrel {

enum class WebSocketOpcode : std::uint8_t {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kClose = 0x8,
    kPing = 0x9,
    kPong = 0xA,
};

// Status codes of the close frames the listener sends.
constexpr std::uint16_t kCloseNormal = 1000;
constexpr std::uint16_t kCloseGoingAway = 1001;
constexpr std::uint16_t kCloseProtocolError = 1002;
constexpr std::uint16_t kCloseInvalidText = 1007;
constexpr std::uint16_t kCloseTooBig = 1009;

// One whole, unmasked frame (FIN set) carrying `payload`.
std::string ServerFrame(WebSocketOpcode opcode, std::string_view payload);
// A close frame with `code` and no reason.
std::string CloseFrame(std::uint16_t code);

// What a browser's bytes came to.
struct WebSocketEvent {
    enum class Kind {
        kNeedMore,  // nothing whole yet
        kMessage,   // `payload`: a whole text or binary message
        kPing,      // `payload`: to be sent back in a pong
        kPong,
        kClose,   // the browser closes; `code` its status (0: it gave none)
        kFailed,  // a protocol fault: close the connection with `code`
    };
    Kind kind = Kind::kNeedMore;
    std::string payload;
    std::uint16_t code = 0;
};

class WebSocketReader {
  public:
    // Messages longer than `maxMessage` bytes end the connection (1009); the
    // bytes held never exceed one frame's header and that much payload.
    explicit WebSocketReader(std::size_t maxMessage) : maxMessage_(maxMessage) {}

    // Bytes as they came from the connection.
    void Append(std::string_view bytes);
    // The next event of the bytes appended so far: call until kNeedMore.
    // After kFailed or kClose nothing more is read.
    WebSocketEvent Next();

  private:
    WebSocketEvent Fail(std::uint16_t code);

    std::size_t maxMessage_;
    std::string pending_;     // bytes not taken yet, from `start_`
    std::size_t start_ = 0;   // bytes of `pending_` already taken
    std::string message_;     // a fragmented message's parts so far
    bool inMessage_ = false;  // a message's first fragment came, its last not yet
    bool textMessage_ = false;
    bool ended_ = false;
};

}  // namespace lantrel
