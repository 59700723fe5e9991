#include "feed/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "text/text.h"

namespace lantrel {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits at `pos`; nothing when they are not all digits.
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    return ReadNumber<int>(text.substr(pos, count));
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

// "hh:mm:ss" with an optional fraction of a second (".1" to ".999999") at `pos`.
std::optional<std::int64_t> TimeOfDayMs(std::string_view text, std::size_t pos) {
    auto hours = Digits(text, pos, 2);
    auto minutes = Digits(text, pos + 3, 2);
    auto seconds = Digits(text, pos + 6, 2);
    if (!hours || !minutes || !seconds || text[pos + 2] != ':' || text[pos + 5] != ':' ||
        *hours > 23 || *minutes > 59 || *seconds > 60) {
        return std::nullopt;
    }
    std::int64_t ms = ((*hours * 60LL + *minutes) * 60 + *seconds) * 1000;
    std::size_t p = pos + 8;
    if (p < text.size() && text[p] == '.' && p + 1 < text.size() && IsDigit(text[p + 1])) {
        int scale = 100;
        for (++p; p < text.size() && IsDigit(text[p]); ++p) {
            ms += (text[p] - '0') * scale;
            scale /= 10;
        }
    }
    return ms;
}

// Arena: "YYYY-MM-DD hh:mm:ss.fff" or "hh:mm:ss.fff" at the start of the line.
std::optional<std::int64_t> ArenaStampMs(std::string_view line) {
    auto year = Digits(line, 0, 4);
    if (year && line.size() > 10 && line[4] == '-' && line[7] == '-' && line[10] == ' ') {
        auto month = Digits(line, 5, 2);
        auto day = Digits(line, 8, 2);
        if (!month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
            return std::nullopt;
        }
        auto time = TimeOfDayMs(line, 11);
        if (!time) return std::nullopt;
        return DaysFromCivil(*year, *month, *day) * 86400000LL + *time;
    }
    return TimeOfDayMs(line, 0);
}

// WinBoard: digits, one blank, then "<" or ">" (the engine marker).
std::optional<std::int64_t> WinBoardStampMs(std::string_view line) {
    std::size_t digits = 0;
    while (digits < line.size() && IsDigit(line[digits]))
        ++digits;
    if (digits == 0 || digits > 15 || digits + 2 > line.size() || line[digits] != ' ' ||
        (line[digits + 1] != '<' && line[digits + 1] != '>')) {
        return std::nullopt;
    }
    return ReadNumber<std::int64_t>(line.substr(0, digits));
}

// fastchess: "[LEVEL ] [hh:mm:ss.micro] ...", the time of day in the second brackets.
std::optional<std::int64_t> FastchessStampMs(std::string_view line) {
    const std::size_t open = line.find("] [");
    if (line.empty() || line[0] != '[' || open == std::string_view::npos || open > 10)
        return std::nullopt;
    return TimeOfDayMs(line, open + 3);
}

}  // namespace

std::optional<std::int64_t> ReplayStampMs(std::string_view line) {
    if (auto stamp = WinBoardStampMs(line)) return stamp;
    if (auto stamp = FastchessStampMs(line)) return stamp;
    return ArenaStampMs(line);
}

std::vector<ReplayChunk> BuildReplaySchedule(std::string_view log) {
    std::vector<ReplayChunk> chunks;
    std::optional<std::int64_t> previousStamp;
    std::int64_t at = 0;
    std::size_t pos = 0;
    while (pos < log.size()) {
        std::size_t lf = log.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? log.size() : lf + 1;
        std::string_view line = log.substr(pos, end - pos);
        pos = end;
        if (auto stamp = ReplayStampMs(line)) {
            if (previousStamp && *stamp > *previousStamp) at += *stamp - *previousStamp;
            // Lines before the first stamp join the first stamped line: the GUI
            // wrote them at its start, which the first stamp stands for.
            if (chunks.empty() || previousStamp) chunks.push_back({at, {}});
            previousStamp = stamp;
        } else if (chunks.empty()) {
            chunks.push_back({0, {}});
        }
        chunks.back().text.append(line);
    }
    return chunks;
}

std::int64_t ReplayTimeMs(std::int64_t atMs, double speed) {
    if (speed <= 0) return 0;
    return static_cast<std::int64_t>(std::llround(static_cast<double>(atMs) / speed));
}

const char* const kReplayUsage =
    "Usage: lantrel-replay [options] RECORDED_LOG TARGET_LOG\n"
    "\n"
    "Plays a recorded chess GUI debug log into TARGET_LOG at the pace of its time\n"
    "stamps, as the GUI wrote it (WinBoard/XBoard milliseconds, Arena date-times).\n"
    "\n"
    "  --speed X       play X times faster (0: no waiting)\n"
    "  --instant       the same as --speed 0\n"
    "  --from-start    empty TARGET_LOG first, as a new run of the GUI does\n"
    "                  (otherwise the lines are appended to it)\n"
    "  --loop          after the end, pause and play the log again from an empty\n"
    "                  TARGET_LOG, until stopped\n"
    "  --pause MS      the pause between two rounds of --loop (default 3000)\n"
    "  --verbose       note each round on standard error\n"
    "  --help          print this text\n"
    "\n"
    "Ctrl-C or SIGTERM stops the replay.\n";

ParsedReplayOptions ParseReplayOptions(const std::vector<std::string>& args) {
    ParsedReplayOptions parsed;
    ReplayOptions& options = parsed.options;
    std::vector<std::string> files;
    auto number = [&](std::size_t& i, const std::string& name, double& out) {
        if (i + 1 >= args.size()) {
            parsed.error = name + " needs a value";
            return false;
        }
        const std::string& text = args[++i];
        char* end = nullptr;
        out = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(out) || out < 0) {
            parsed.error = name + " needs a number of 0 or more, not '" + text + "'";
            return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        double value = 0;
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            return parsed;
        } else if (arg == "--speed") {
            if (!number(i, arg, value)) return parsed;
            options.speed = value;
        } else if (arg == "--instant") {
            options.speed = 0;
        } else if (arg == "--from-start") {
            options.fromStart = true;
        } else if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--pause") {
            if (!number(i, arg, value)) return parsed;
            options.loopPauseMs = static_cast<int>(std::min(value, 86400000.0));
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            parsed.error = "unknown option '" + arg + "'";
            return parsed;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) {
        parsed.error =
            files.size() < 2 ? "RECORDED_LOG and TARGET_LOG are needed" : "too many file names";
        return parsed;
    }
    options.recordedLog = files[0];
    options.targetLog = files[1];
    return parsed;
}

}  // namespace lantrel
