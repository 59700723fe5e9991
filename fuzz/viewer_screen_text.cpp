// What the reference viewer makes of the server's texts for its screen: an
// engine's thinking line, the clocks of a time message, any score, and long
// lines of moves wrapped for the screen.
//
// The input is a message's text. Its first eight bytes, read as a number, are
// also a score, and its first byte picks the screen's width (10 to 137).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "text/text.h"
#include "viewer/screen_text.h"

using namespace lantrel;

namespace {

// The words of `text` (split at blanks), in order.
std::string Words(std::string_view text) {
    std::string words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        words.append(text.substr(at, end - at)).push_back('\n');
        at = end;
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::int64_t score = 0;
    std::memcpy(&score, data, std::min(size, sizeof score));
    const std::string scoreText = ScoreText(score);
    FUZZ_CHECK(!scoreText.empty());
    FUZZ_CHECK(MateInMoves(score).has_value() == (scoreText.find('#') != std::string::npos));

    const ThinkingText thinking = ReadThinkingText(text);
    FUZZ_CHECK(thinking.summary.empty() || StartsWith(thinking.summary, "depth "));
    ClocksText(text);

    // Wrapped, nothing is lost and no line is wider than the screen but for a
    // word that is by itself.
    const std::size_t columns = 10 + (size > 0 ? data[0] % 128 : 0);
    const std::string_view indent = "    ";
    std::string wrapped;
    for (const std::string& line : WrapMoves(thinking.moves, columns, indent)) {
        FUZZ_CHECK(StartsWith(line, indent));
        const std::string_view words = std::string_view(line).substr(indent.size());
        FUZZ_CHECK(line.size() <= columns || words.find(' ') == std::string_view::npos);
        wrapped += Words(words);
    }
    FUZZ_CHECK(wrapped == Words(thinking.moves));
    return 0;
}
