#include <gtest/gtest.h>

#include "web/websocket_frames.h"

namespace lantrel {
namespace {

using Kind = WebSocketEvent::Kind;

// A browser's frame: masked with a key that changes every byte.
std::string Frame(std::uint8_t first, std::string_view payload, int lengthBytes = -1) {
    std::string frame(1, static_cast<char>(first));
    const std::size_t n = payload.size();
    if (lengthBytes < 0) lengthBytes = n < 126 ? 0 : n < 65536 ? 2 : 8;
    frame += static_cast<char>(0x80 | (lengthBytes == 0 ? n : lengthBytes == 2 ? 126 : 127));
    for (int i = lengthBytes - 1; i >= 0; --i)
        frame += static_cast<char>((n >> (8 * i)) & 0xFF);
    const char mask[4] = {'\x37', '\xfa', '\x21', '\x3d'};
    frame.append(mask, 4);
    for (std::size_t i = 0; i < n; ++i)
        frame += static_cast<char>(payload[i] ^ mask[i % 4]);
    return frame;
}

struct Seen {
    Kind kind;
    std::string payload;
    std::uint16_t code;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> Read(const std::string& bytes, std::size_t chunk, std::size_t max = 4096) {
    WebSocketReader reader(max);
    std::vector<Seen> seen;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        reader.Append(std::string_view(bytes).substr(at, chunk));
        for (WebSocketEvent e = reader.Next(); e.kind != Kind::kNeedMore; e = reader.Next())
            seen.push_back({e.kind, e.payload, e.code});
    }
    return seen;
}

TEST(WebSocketReader, TakesFramesApartInWholeOrByteByByte) {
    const std::string code1001("\x03\xe9", 2);
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Seen> events;
    } cases[] = {
        {"text", Frame(0x81, "{\"type\":\"chat\"}"), {{Kind::kMessage, "{\"type\":\"chat\"}", 0}}},
        {"fragments with a ping between",
         Frame(0x01, "caf") + Frame(0x89, "hi") + Frame(0x00, "\xc3") + Frame(0x80, "\xa9"),
         {{Kind::kPing, "hi", 0}, {Kind::kMessage, "caf\xc3\xa9", 0}}},
        {"16-bit length",
         Frame(0x82, std::string(300, 'x')),
         {{Kind::kMessage, std::string(300, 'x'), 0}}},
        {"pong, then close with its status",
         Frame(0x8A, "") + Frame(0x88, code1001 + "bye"),
         {{Kind::kPong, "", 0}, {Kind::kClose, code1001 + "bye", 1001}}},
        {"nothing after a close", Frame(0x88, "") + Frame(0x81, "x"), {{Kind::kClose, "", 0}}},
        {"unmasked", "\x81\x01x", {{Kind::kFailed, "", 1002}}},
        {"reserved bit", Frame(0xC1, "x"), {{Kind::kFailed, "", 1002}}},
        {"unknown opcode", Frame(0x83, "x"), {{Kind::kFailed, "", 1002}}},
        {"continuation without a start", Frame(0x80, "x"), {{Kind::kFailed, "", 1002}}},
        {"new message inside one",
         Frame(0x01, "a") + Frame(0x81, "b"),
         {{Kind::kFailed, "", 1002}}},
        {"fragmented ping", Frame(0x09, ""), {{Kind::kFailed, "", 1002}}},
        {"long ping", Frame(0x89, std::string(126, 'p')), {{Kind::kFailed, "", 1002}}},
        {"length not in its shortest form", Frame(0x81, "x", 2), {{Kind::kFailed, "", 1002}}},
        {"one-byte close", Frame(0x88, "\x03"), {{Kind::kFailed, "", 1002}}},
        {"close status 1005", Frame(0x88, std::string("\x03\xed", 2)), {{Kind::kFailed, "", 1002}}},
        {"bad UTF-8 text", Frame(0x81, "\xc0\xaf"), {{Kind::kFailed, "", 1007}}},
        {"surrogate in text", Frame(0x81, "\xed\xa0\x80"), {{Kind::kFailed, "", 1007}}},
        {"binary need not be UTF-8", Frame(0x82, "\xff"), {{Kind::kMessage, "\xff", 0}}},
        {"too long over fragments",
         Frame(0x01, std::string(3000, 'a')) + Frame(0x80, std::string(1097, 'a')),
         {{Kind::kFailed, "", 1009}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(c.bytes, c.bytes.size()), c.events) << c.what;
        EXPECT_EQ(Read(c.bytes, 1), c.events) << c.what << ", byte by byte";
    }
}

TEST(WebSocketReader, RefusesAnOverlongMessageFromItsHeaderAlone) {
    // A 64-bit length of 1 GB: refused before any of the payload comes.
    const std::string header =
        Frame(0x81, "").substr(0, 1) + "\xff" + std::string("\0\0\0\0\x40\0\0\0", 8) + "abcd";
    EXPECT_EQ(Read(header, header.size()), (std::vector<Seen>{{Kind::kFailed, "", 1009}}));
}

TEST(ServerFrame, WritesTheShortestLength) {
    struct Case {
        std::size_t size;
        std::string head;
    } cases[] = {
        {0, std::string("\x81\0", 2)},
        {125, "\x81\x7d"},
        {126, std::string("\x81\x7e\0\x7e", 4)},
        {65535, "\x81\x7e\xff\xff"},
        {65536, std::string("\x81\x7f\0\0\0\0\0\x01\0\0", 10)},
    };
    for (const Case& c : cases) {
        const std::string frame = ServerFrame(WebSocketOpcode::kText, std::string(c.size, 'x'));
        EXPECT_EQ(frame.substr(0, c.head.size()), c.head) << c.size;
        EXPECT_EQ(frame.size(), c.head.size() + c.size);
    }
    EXPECT_EQ(CloseFrame(1001), std::string("\x88\x02\x03\xe9", 4));
}

}  // namespace
}  // namespace lantrel
