// Byte-string helpers shared by every subsystem.
//
// Texts are Latin-1 bytes in std::string. Positions handed in and out of these
// helpers count from 1 (0 means "not found"), because the rules of the server
// are written that way; the conversion to 0-based indexes happens here only.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace lantrel {

// Number text: a sign position (blank for zero and positive, "-" for negative)
// followed by the digits. 17 -> " 17", -5 -> "-5".
std::string NumberText(long long n);

// Print form: the number text followed by one blank, as shown on the console
// and written after a label in files.
std::string PrintForm(long long n);

// Number parser: the leading numeric part of the text (leading blanks, a sign,
// digits, an optional fraction), rounded to the nearest integer; no number
// gives 0. Values beyond the int32 range are clamped.
std::int32_t ParseNumber(std::string_view text);

// The same parser over the int64 range (message sequence numbers).
std::int64_t ParseLongNumber(std::string_view text);

// Same parser without rounding, for values that keep their fraction.
double ParseDecimal(std::string_view text);

// A text that is a number and nothing else: decimal digits only, no sign, no
// blank. Nothing for any other text, nor for a number too large for T.
template <typename T>
std::optional<T> ReadNumber(std::string_view text);

// The same with a sign allowed in front ("-35", "+18").
template <typename T>
std::optional<T> ReadSignedNumber(std::string_view text);

// 1-based position of the first occurrence of `pattern` at or after `from`,
// or 0 when there is none.
std::size_t Find(std::string_view text, std::string_view pattern, std::size_t from = 1);

// True when the first occurrence of `pattern` begins at position 2 or later.
// A pattern at the very start of the text does not count.
bool FoundAfterStart(std::string_view text, std::string_view pattern);

// Position of the first occurrence when it begins at position 2 or later, else 0.
std::size_t FindAfterStart(std::string_view text, std::string_view pattern);

bool Contains(std::string_view text, std::string_view pattern);
bool StartsWith(std::string_view text, std::string_view prefix);

// Text from 1-based position `start`, at most `length` bytes.
std::string Mid(std::string_view text, std::size_t start,
                std::size_t length = std::string_view::npos);
std::string Left(std::string_view text, std::size_t length);

// Blank trimming (blanks only, not tabs).
std::string TrimBlanks(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsUtf8(std::string_view text);
// A text of the GUI, an engine or server.ini in UTF-8, for the outputs read by
// other programs (JSON, PGN, the page). The same bytes may be either: XBoard on
// Linux writes UTF-8, WinBoard and Arena the Windows code page. So a text that
// is well-formed UTF-8 stays as it is; any other is read as Windows-1252
// (Latin-1, with the printable characters of 0x80-0x9F: the euro sign, curly
// quotes, dashes, the trade mark sign, ...). Decided once for the whole text.
std::string TextToUtf8(std::string_view text);
// `text` with its control characters replaced by "?", in its own encoding: C0
// and DEL, and C1 as TextToUtf8 reads the text (U+0080 to U+009F of a UTF-8
// text; of any other the bytes Windows-1252 leaves undefined, 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D). For texts from outside that reach terminals (an
// engine's name).
std::string WithoutControls(std::string_view text);
// A UTF-8 text in Latin-1, for the UDP viewers: a character beyond Latin-1
// becomes "?".
std::string Utf8ToLatin1(std::string_view utf8);
std::string TrimLeftBlanks(std::string_view text);
std::string TrimRightBlanks(std::string_view text);

// ASCII upper case; bytes above 127 are left alone.
std::string UpperAscii(std::string_view text);
char UpperAscii(char c);

// Fixed-width field: the first `width` bytes, blank-padded to `width`.
std::string FixedWidth(std::string_view text, std::size_t width);

// Every occurrence of `from`, left to right without overlap, replaced by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The same, on `text` itself; nothing is copied when `from` does not occur.
void ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to);

// The n-th word: runs of two blanks are first halved (left to right, without
// overlap, so three blanks become two), then words are split at single blanks.
// With three blanks between two words the second word begins with a blank.
std::string GetWord(std::string_view text, int n);

// Right-aligns `text` in `width` places, filling with blanks; a longer text is
// returned whole.
std::string RightAlign(std::string_view text, std::size_t width);

namespace text_detail {

inline bool StartsWithDigit(std::string_view text) {
    return !text.empty() && text.front() >= '0' && text.front() <= '9';
}

// The whole text through std::from_chars, which finds an overflow.
template <typename T>
std::optional<T> WholeNumber(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || next != end) return std::nullopt;
    return value;
}

}  // namespace text_detail

template <typename T>
std::optional<T> ReadNumber(std::string_view text) {
    if (!text_detail::StartsWithDigit(text)) return std::nullopt;
    return text_detail::WholeNumber<T>(text);
}

template <typename T>
std::optional<T> ReadSignedNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') return ReadNumber<T>(text.substr(1));
    if (!text.empty() && text.front() == '-') {
        if (!text_detail::StartsWithDigit(text.substr(1))) return std::nullopt;
        return text_detail::WholeNumber<T>(text);
    }
    return ReadNumber<T>(text);
}

}  // namespace lantrel
