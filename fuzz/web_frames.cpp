// A browser's bytes on a feed connection after the handshake, cut into reads
// of any size. Whatever they are, the reader holds no more than one frame and
// one message's worth, gives no message longer than its limit and no text
// that is not UTF-8, closes with a code the listener sends, and reads nothing
// after a close. The input's bytes also go through the server's framing, masked
// as a browser would: the reader must give them back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/websocket_frames.h"

using namespace lantrel;

namespace {

constexpr std::size_t kMaxMessage = 4096;

void ReadInChunks(std::string_view bytes, std::size_t chunk) {
    WebSocketReader reader(kMaxMessage);
    bool ended = false;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        reader.Append(bytes.substr(at, chunk));
        for (WebSocketEvent e = reader.Next(); e.kind != WebSocketEvent::Kind::kNeedMore;
             e = reader.Next()) {
            if (ended || e.payload.size() > kMaxMessage) std::abort();
            if (e.kind == WebSocketEvent::Kind::kFailed && e.code != kCloseProtocolError &&
                e.code != kCloseInvalidText && e.code != kCloseTooBig)
                std::abort();
            ended =
                e.kind == WebSocketEvent::Kind::kFailed || e.kind == WebSocketEvent::Kind::kClose;
        }
    }
}

// The server's frame of `payload`, masked with `key` as a browser masks.
std::string Masked(std::string_view payload, std::uint32_t key) {
    std::string frame = ServerFrame(WebSocketOpcode::kBinary, payload);
    const std::size_t head = frame.size() - payload.size();
    frame[1] = static_cast<char>(frame[1] | 0x80);
    const char mask[4] = {static_cast<char>(key >> 24), static_cast<char>(key >> 16),
                          static_cast<char>(key >> 8), static_cast<char>(key)};
    std::string masked = frame.substr(0, head) + std::string(mask, 4);
    for (std::size_t i = 0; i < payload.size(); ++i)
        masked += static_cast<char>(payload[i] ^ mask[i % 4]);
    return masked;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    ReadInChunks(bytes, chunk);
    ReadInChunks(bytes, bytes.size() + 1);

    const std::string_view payload = bytes.substr(0, kMaxMessage);
    WebSocketReader reader(kMaxMessage);
    reader.Append(Masked(payload, size * 2654435761u));
    const WebSocketEvent back = reader.Next();
    if (back.kind != WebSocketEvent::Kind::kMessage || back.payload != payload) std::abort();
    return 0;
}
