// What a browser sends the web listener: its WebSocket messages, and the resume
// point in its /feed address. Every input is read without a crash, and a chat
// line that is taken keeps to the limits the relay relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/text.h"
#include "web/web_feed.h"

using namespace lantrel;

namespace {

// Characters of a UTF-8 text (its bytes that do not continue a character).
std::size_t Characters(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

bool HasControl(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ClientMessage message = ReadClientMessage(text, true);
    if (message.chat) {
        const WebChatLine& line = *message.chat;
        if (Characters(line.name) < 1 || Characters(line.name) > 20) std::abort();
        if (Characters(line.text) < 1 || Characters(line.text) > 200) std::abort();
        if (HasControl(line.name) || HasControl(line.text)) std::abort();
        // What the UDP viewers get of it: Latin-1, no longer than the UTF-8.
        if (Utf8ToLatin1(line.text).size() > line.text.size()) std::abort();
    } else if (message.refusal.empty()) {
        std::abort();
    }
    ReadResumePoint(text);
    return 0;
}
