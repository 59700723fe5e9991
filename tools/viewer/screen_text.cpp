#include "screen_text.h"

namespace lantrel {

namespace {

// Mates further off than this are taken for ordinary scores: a large material
// advantage (Toga's +29744) lies that close below some of the codes.
constexpr std::uint64_t kFarthestMatePlies = 200;

std::uint64_t Magnitude(std::int64_t n) {
    return n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
}

std::string Sign(std::int64_t n) {
    return n < 0 ? "-" : "";
}

std::string TwoDigits(std::uint64_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// A whole number with an optional sign; none for anything else or one out of range.
std::optional<std::int64_t> ReadInteger(std::string_view word) {
    const bool negative = !word.empty() && word[0] == '-';
    std::size_t i = !word.empty() && (word[0] == '+' || word[0] == '-') ? 1 : 0;
    if (i == word.size()) return std::nullopt;
    // Counted below zero, which reaches one further than above it.
    std::int64_t n = 0;
    constexpr std::int64_t kLeast = INT64_MIN;
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') return std::nullopt;
        const int digit = word[i] - '0';
        if (n < (kLeast + digit) / 10) return std::nullopt;
        n = n * 10 - digit;
    }
    if (negative) return n;
    if (n == kLeast) return std::nullopt;
    return -n;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// "12.", "12..." or "...": a move number, which belongs with the move after it.
bool IsMoveNumber(std::string_view word) {
    std::size_t digits = 0;
    while (digits < word.size() && word[digits] >= '0' && word[digits] <= '9')
        ++digits;
    if (digits == word.size()) return false;
    return word.substr(digits).find_first_not_of('.') == std::string_view::npos;
}

}  // namespace

std::optional<std::int64_t> MateInMoves(std::int64_t score) {
    const std::uint64_t size = Magnitude(score);
    const auto sign = [&](std::uint64_t moves) {
        return score < 0 ? -static_cast<std::int64_t>(moves) : static_cast<std::int64_t>(moves);
    };
    if (size >= 100000 && size - 100000 <= kFarthestMatePlies / 2) return sign(size - 100000);
    struct Code {
        std::uint64_t code;
        std::uint64_t rootPlies;  // plies the engine counts before its own first move
    };
    static constexpr Code kCodes[] = {
        {1000000, 1}, {100000, 0}, {32000, 0}, {30000, 0}, {10000, 0}};
    for (const Code& c : kCodes) {
        if (size > c.code || size + kFarthestMatePlies <= c.code) continue;
        const std::uint64_t plies = c.code - size;
        if (plies < c.rootPlies) continue;
        // The mating side makes the last move: mate in N moves takes 2N - 1
        // plies, being mated in N takes 2N.
        return sign((plies - c.rootPlies + 1) / 2);
    }
    return std::nullopt;
}

std::string ScoreText(std::int64_t centipawns) {
    if (auto mate = MateInMoves(centipawns))
        return Sign(centipawns) + "#" + std::to_string(Magnitude(*mate));
    const std::uint64_t size = Magnitude(centipawns);
    const std::string sign = centipawns < 0 ? "-" : centipawns > 0 ? "+" : "";
    return sign + std::to_string(size / 100) + "." + TwoDigits(size % 100);
}

std::string ThinkingTimeText(std::int64_t centiseconds) {
    const std::uint64_t size = Magnitude(centiseconds);
    if (size < 6000)
        return Sign(centiseconds) + std::to_string(size / 100) + "." + TwoDigits(size % 100) + " s";
    const std::uint64_t seconds = size / 100;
    return Sign(centiseconds) + std::to_string(seconds / 60) + " min " + TwoDigits(seconds % 60) +
           " s";
}

std::string GroupedNumber(std::int64_t n) {
    const std::string digits = std::to_string(Magnitude(n));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return Sign(n) + grouped;
}

std::string ClockText(std::int64_t centiseconds) {
    const std::uint64_t seconds = Magnitude(centiseconds) / 100;
    // A clock less than a second past its flag still shows the minus.
    return Sign(centiseconds) + std::to_string(seconds / 3600) + ":" +
           TwoDigits(seconds / 60 % 60) + ":" + TwoDigits(seconds % 60);
}

std::string ClocksText(std::string_view message) {
    const bool white = message.substr(0, 7) == "WTIME: ";
    std::string_view rest = message.substr(message.size() < 7 ? message.size() : 7);
    std::string own(rest), other;
    const std::size_t otim = rest.find("otim ");
    if (otim != std::string_view::npos) {
        own = std::string(rest.substr(0, otim));
        other = std::string(rest.substr(otim + 5));
    }
    auto shown = [](const std::string& text) {
        const std::vector<std::string_view> words = Words(text);
        const auto n = words.size() == 1 ? ReadInteger(words[0]) : std::nullopt;
        if (n) return ClockText(*n);
        std::string asCame;
        for (std::string_view word : words)
            asCame += (asCame.empty() ? "" : " ") + std::string(word);
        return asCame;
    };
    const std::string& whiteClock = white ? own : other;
    const std::string& blackClock = white ? other : own;
    return "White " + shown(whiteClock) + "  Black " + shown(blackClock);
}

ThinkingText ReadThinkingText(std::string_view line) {
    const std::vector<std::string_view> words = Words(line);
    std::optional<std::int64_t> numbers[4];
    for (std::size_t i = 0; i < 4 && i < words.size(); ++i)
        numbers[i] = ReadInteger(words[i]);
    const bool read = numbers[0] && numbers[1] && numbers[2] && numbers[3];
    if (!read) return {"", std::string(line)};
    // Selective depth, speed and table-base hits may follow the nodes: the
    // moves start at the first word that is no number.
    std::size_t first = 4;
    while (first < words.size() && ReadInteger(words[first]))
        ++first;
    ThinkingText text;
    text.summary = "depth " + std::to_string(*numbers[0]) + ", " + ScoreText(*numbers[1]) + ", " +
                   ThinkingTimeText(*numbers[2]) + ", " + GroupedNumber(*numbers[3]) + " nodes";
    for (std::size_t i = first; i < words.size(); ++i)
        text.moves += (i > first ? " " : "") + std::string(words[i]);
    return text;
}

std::vector<std::string> WrapMoves(std::string_view text, std::size_t columns,
                                   std::string_view indent) {
    std::vector<std::string> lines;
    std::string line;
    const std::vector<std::string_view> words = Words(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string piece(words[i]);
        while (IsMoveNumber(words[i]) && i + 1 < words.size())
            piece += " " + std::string(words[++i]);
        if (!line.empty() && line.size() + 1 + piece.size() > columns) {
            lines.push_back(line);
            line.clear();
        }
        line += line.empty() ? std::string(indent) + piece : " " + piece;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

}  // namespace lantrel
