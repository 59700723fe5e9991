#include "text/text.h"

#include <cmath>
#include <limits>

namespace lantrel {

std::string NumberText(long long n) {
    if (n < 0) return "-" + std::to_string(-static_cast<unsigned long long>(n));
    return " " + std::to_string(n);
}

std::string PrintForm(long long n) {
    return NumberText(n) + " ";
}

double ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    bool any = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i++] - '0');
        any = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value += (text[i++] - '0') * scale;
            scale /= 10;
            any = true;
        }
    }
    if (!any) return 0;
    return negative ? -value : value;
}

namespace {

template <typename Integer>
Integer ParseClamped(std::string_view text) {
    double value = std::nearbyint(ParseDecimal(text));
    constexpr double lo = static_cast<double>(std::numeric_limits<Integer>::min());
    // The largest value is not exact as a double; anything from it up is clamped.
    constexpr double hi = static_cast<double>(std::numeric_limits<Integer>::max());
    if (!(value >= lo)) return std::numeric_limits<Integer>::min();
    if (value >= hi) return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(value);
}

}  // namespace

std::int32_t ParseNumber(std::string_view text) {
    return ParseClamped<std::int32_t>(text);
}

std::int64_t ParseLongNumber(std::string_view text) {
    return ParseClamped<std::int64_t>(text);
}

std::size_t Find(std::string_view text, std::string_view pattern, std::size_t from) {
    if (from == 0) from = 1;
    if (from > text.size() + 1) return 0;
    std::size_t p = text.find(pattern, from - 1);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::size_t FindAfterStart(std::string_view text, std::string_view pattern) {
    std::size_t p = Find(text, pattern);
    return p > 1 ? p : 0;
}

bool FoundAfterStart(std::string_view text, std::string_view pattern) {
    return FindAfterStart(text, pattern) > 0;
}

bool Contains(std::string_view text, std::string_view pattern) {
    return text.find(pattern) != std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string Mid(std::string_view text, std::size_t start, std::size_t length) {
    if (start == 0) start = 1;
    if (start > text.size()) return {};
    return std::string(text.substr(start - 1, length));
}

std::string Left(std::string_view text, std::size_t length) {
    return std::string(text.substr(0, length));
}

std::string TrimLeftBlanks(std::string_view text) {
    std::size_t b = text.find_first_not_of(' ');
    return b == std::string_view::npos ? std::string() : std::string(text.substr(b));
}

std::string TrimRightBlanks(std::string_view text) {
    std::size_t e = text.find_last_not_of(' ');
    return e == std::string_view::npos ? std::string() : std::string(text.substr(0, e + 1));
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t point;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
        if (overlong || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

namespace {

// The characters Windows-1252 puts at 0x80-0x9F; the five it leaves undefined
// are read as Latin-1's (C1 controls), as Windows itself does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

}  // namespace

std::string WithoutControls(std::string_view text) {
    const bool utf8 = IsUtf8(text);
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        const bool c1 =
            utf8 ? byte == 0xC2 && k + 1 < text.size() &&
                       static_cast<unsigned char>(text[k + 1]) <= 0x9F
                 : byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (c1 && utf8) ++k;
        clean += byte < 0x20 || byte == 0x7F || c1 ? '?' : text[k];
    }
    return clean;
}

std::string TextToUtf8(std::string_view text) {
    if (IsUtf8(text)) return std::string(text);
    std::string utf8;
    utf8.reserve(text.size() + text.size() / 2);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(utf8, byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte);
    }
    return utf8;
}

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string latin1;
    latin1.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 1;
        if (lead < 0x80) {
            latin1 += utf8[i];
        } else if ((lead & 0xE0) == 0xC0 && lead <= 0xC3 && i + 1 < utf8.size()) {
            latin1 += static_cast<char>(((lead & 0x1F) << 6) | (utf8[i + 1] & 0x3F));
            length = 2;
        } else {
            latin1 += '?';
            length = (lead & 0xE0) == 0xC0   ? 2
                     : (lead & 0xF0) == 0xE0 ? 3
                     : (lead & 0xF8) == 0xF0 ? 4
                                             : 1;
        }
        i += length;
    }
    return latin1;
}

std::string TrimBlanks(std::string_view text) {
    return TrimLeftBlanks(TrimRightBlanks(text));
}

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = UpperAscii(c);
    return out;
}

std::string FixedWidth(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

void ReplaceAllInPlace(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty() || text.find(from) == std::string::npos) return;
    text = ReplaceAll(text, from, to);
}

std::string GetWord(std::string_view text, int n) {
    // The text with runs of two blanks halved and one blank appended is produced
    // lazily, one character at a time, and only as far as the n-th word.
    std::string line;
    std::size_t i = 0;
    std::size_t start = 0;  // where the current word begins in `line`
    int word = 1;
    for (bool appended = false;;) {
        char c;
        if (i < text.size()) {
            c = text[i];
            i += (c == ' ' && i + 1 < text.size() && text[i + 1] == ' ') ? 2 : 1;
        } else if (!appended) {
            c = ' ';
            appended = true;
        } else {
            return {};
        }
        line.push_back(c);
        // The blank that ends a word is searched from one character after its start,
        // so a word may itself begin with a blank.
        std::size_t at = line.size() - 1;
        if (c == ' ' && at >= start + 1) {
            if (word == n) return line.substr(start, at - start);
            ++word;
            start = at + 1;
        }
    }
}

std::string RightAlign(std::string_view text, std::size_t width) {
    if (text.size() >= width) return std::string(text);
    return std::string(width - text.size(), ' ') + std::string(text);
}

}  // namespace lantrel
