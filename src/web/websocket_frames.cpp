#include "web/websocket_frames.h"

#include "text/text.h"

namespace lantrel {

namespace {

constexpr std::size_t kMaxControlPayload = 125;
constexpr std::size_t kMaskBytes = 4;

bool IsControl(std::uint8_t opcode) {
    return (opcode & 0x8) != 0;
}

bool IsKnownOpcode(std::uint8_t opcode) {
    switch (static_cast<WebSocketOpcode>(opcode)) {
        case WebSocketOpcode::kContinuation:
        case WebSocketOpcode::kText:
        case WebSocketOpcode::kBinary:
        case WebSocketOpcode::kClose:
        case WebSocketOpcode::kPing:
        case WebSocketOpcode::kPong:
            return true;
    }
    return false;
}

// Status codes a peer may send in a close frame: the protocol's own in use,
// and those left to libraries and applications.
bool IsSendableCloseCode(std::uint16_t code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) ||
           (code >= 3000 && code <= 4999);
}

}  // namespace

std::string ServerFrame(WebSocketOpcode opcode, std::string_view payload) {
    std::string frame;
    const std::size_t n = payload.size();
    frame.reserve(n + 10);
    frame += static_cast<char>(0x80 | static_cast<std::uint8_t>(opcode));
    if (n < 126) {
        frame += static_cast<char>(n);
    } else {
        const int lengthBytes = n < 65536 ? 2 : 8;
        frame += static_cast<char>(lengthBytes == 2 ? 126 : 127);
        for (int i = lengthBytes - 1; i >= 0; --i)
            frame += static_cast<char>((static_cast<std::uint64_t>(n) >> (8 * i)) & 0xFF);
    }
    frame += payload;
    return frame;
}

std::string CloseFrame(std::uint16_t code) {
    const char status[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return ServerFrame(WebSocketOpcode::kClose, std::string_view(status, 2));
}

void WebSocketReader::Append(std::string_view bytes) {
    if (ended_) return;
    if (start_ > 0) {
        pending_.erase(0, start_);
        start_ = 0;
    }
    pending_ += bytes;
}

WebSocketEvent WebSocketReader::Fail(std::uint16_t code) {
    ended_ = true;
    pending_ = {};
    message_ = {};
    return {WebSocketEvent::Kind::kFailed, {}, code};
}

WebSocketEvent WebSocketReader::Next() {
    while (!ended_) {
        const std::string_view bytes = std::string_view(pending_).substr(start_);
        if (bytes.size() < 2) break;
        const auto b0 = static_cast<std::uint8_t>(bytes[0]);
        const auto b1 = static_cast<std::uint8_t>(bytes[1]);
        const bool fin = (b0 & 0x80) != 0;
        const std::uint8_t opcode = b0 & 0x0F;
        const std::uint8_t shortLength = b1 & 0x7F;
        // No extension is agreed, so the reserved bits stay clear; a
        // browser masks every frame it sends.
        if ((b0 & 0x70) != 0 || (b1 & 0x80) == 0 || !IsKnownOpcode(opcode))
            return Fail(kCloseProtocolError);
        if (IsControl(opcode) && (!fin || shortLength > kMaxControlPayload))
            return Fail(kCloseProtocolError);
        const bool continuation = opcode == 0;
        if (!IsControl(opcode) && continuation != inMessage_) return Fail(kCloseProtocolError);

        const std::size_t lengthBytes = shortLength == 126 ? 2 : shortLength == 127 ? 8 : 0;
        const std::size_t header = 2 + lengthBytes + kMaskBytes;
        if (bytes.size() < 2 + lengthBytes) break;
        std::uint64_t length = shortLength;
        if (lengthBytes > 0) {
            length = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i)
                length = (length << 8) | static_cast<std::uint8_t>(bytes[2 + i]);
            // The shortest form of the length only, and no 64-bit length with
            // its top bit set.
            const std::uint64_t least = lengthBytes == 2 ? 126 : 65536;
            if (length < least || (length >> 63) != 0) return Fail(kCloseProtocolError);
        }
        // Too long a message is refused from its header, before its payload is held.
        if (!IsControl(opcode) && length > maxMessage_ - message_.size()) return Fail(kCloseTooBig);
        if (bytes.size() < header || bytes.size() - header < length) break;

        std::string payload(bytes.substr(header, static_cast<std::size_t>(length)));
        const std::string_view mask = bytes.substr(2 + lengthBytes, kMaskBytes);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(payload[i] ^ mask[i % kMaskBytes]);
        start_ += header + static_cast<std::size_t>(length);

        switch (static_cast<WebSocketOpcode>(opcode)) {
            case WebSocketOpcode::kPing:
                return {WebSocketEvent::Kind::kPing, std::move(payload), 0};
            case WebSocketOpcode::kPong:
                return {WebSocketEvent::Kind::kPong, {}, 0};
            case WebSocketOpcode::kClose: {
                std::uint16_t code = 0;
                if (payload.size() == 1) return Fail(kCloseProtocolError);
                if (payload.size() >= 2) {
                    code = static_cast<std::uint16_t>((static_cast<std::uint8_t>(payload[0]) << 8) |
                                                      static_cast<std::uint8_t>(payload[1]));
                    if (!IsSendableCloseCode(code)) return Fail(kCloseProtocolError);
                    if (!IsUtf8(std::string_view(payload).substr(2)))
                        return Fail(kCloseInvalidText);
                }
                ended_ = true;
                return {WebSocketEvent::Kind::kClose, std::move(payload), code};
            }
            default:
                break;
        }
        if (!continuation)
            textMessage_ = opcode == static_cast<std::uint8_t>(WebSocketOpcode::kText);
        message_ += payload;
        inMessage_ = !fin;
        if (inMessage_) continue;
        if (textMessage_ && !IsUtf8(message_)) return Fail(kCloseInvalidText);
        WebSocketEvent whole{WebSocketEvent::Kind::kMessage, std::move(message_), 0};
        message_.clear();
        return whole;
    }
    // A quiet connection keeps no buffer grown by an earlier message.
    if (start_ == pending_.size()) {
        pending_ = {};
        start_ = 0;
    }
    return {};
}

}  // namespace lantrel
