// What a browser sends the web listener: its WebSocket messages, and the resume
// point in its /feed address. Every input is read without a crash or an
// exception (any JSON shape at all), and a chat line that is taken keeps to the
// limits the relay relies on: no control character, C0 or C1, and a name that
// cannot end the "[name]" of the relayed line.
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

// C0 controls and DEL as bytes; C1 controls (U+0080..U+009F) as UTF-8.
bool HasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
    }
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
        if (line.name.find_first_of("[]") != std::string::npos) std::abort();
        // What the UDP viewers get of it: Latin-1, no longer than the UTF-8.
        if (Utf8ToLatin1(line.text).size() > line.text.size()) std::abort();
    } else if (message.refusal.empty()) {
        std::abort();
    }
    ReadResumePoint(text);
    return 0;
}
