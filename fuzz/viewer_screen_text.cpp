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
#include <vector>

#include "fuzz_support.h"
#include "text/text.h"
#include "viewer/screen_text.h"

using namespace lantrel;

namespace {

using Words = std::vector<std::string>;

// The words of `text`, split at blanks and tabs.
Words WordsOf(std::string_view text) {
    Words words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        words.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

// "12.", "12..." or "...": a move number, which stays with the move after it.
bool MoveNumber(std::string_view word) {
    const std::size_t digits = std::min(word.find_first_not_of("0123456789"), word.size());
    return digits < word.size() && word.find_first_not_of('.', digits) == std::string_view::npos;
}

// Whether `words` are one move, with the move numbers before it.
bool OneMove(const Words& words) {
    return std::all_of(words.begin(), words.end() - (words.empty() ? 0 : 1),
                       [](const std::string& word) { return MoveNumber(word); });
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

    // Wrapped, nothing is lost and no line is wider than the screen but for
    // one move (with its number) by itself.
    const std::size_t columns = 10 + (size > 0 ? data[0] % 128 : 0);
    const std::string_view indent = "    ";
    Words wrapped;
    for (const std::string& line : WrapMoves(thinking.moves, columns, indent)) {
        FUZZ_CHECK(StartsWith(line, indent));
        const Words words = WordsOf(std::string_view(line).substr(indent.size()));
        FUZZ_CHECK(line.size() <= columns || OneMove(words));
        wrapped.insert(wrapped.end(), words.begin(), words.end());
    }
    FUZZ_CHECK(wrapped == WordsOf(thinking.moves));
    return 0;
}
