// cutechess-cli's "-debug" output: "MS >NAME(N): text" to engine instance N,
// "MS <NAME(N): text" from it (NAME is "UciEngine" or "XboardEngine" until
// the engine names itself, or the name the operator gave it), unstamped
// lines that go on the runner's last message ("time 51" then "otim 49"), and
// the runner's own "Started game" and "Finished game" lines.
#include "feed/runner_log.h"
#include "text/text.h"

namespace lantrel {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

// Leading digits, then one blank: their count, or 0.
std::size_t StampLength(std::string_view line) {
    std::size_t n = 0;
    while (n < line.size() && n < 15 && IsDigit(line[n]))
        ++n;
    return n > 0 && n < line.size() && line[n] == ' ' ? n : 0;
}

// "W vs B" as the runner writes the pairing; the first " vs " splits it.
void ReadPairing(std::string_view pairing, RunnerLine& out) {
    const std::size_t vs = pairing.find(" vs ");
    if (vs == std::string_view::npos) return;
    out.white = std::string(pairing.substr(0, vs));
    out.black = std::string(pairing.substr(vs + 4));
}

// "Started game 3 of 15 (W vs B)".
RunnerLine GameStarted(std::string_view rest) {
    RunnerLine out;
    const std::size_t open = rest.find(" (");
    const auto number = ReadNumber<std::int32_t>(rest.substr(0, rest.find(' ')));
    if (!number || open == std::string_view::npos || rest.back() != ')') return out;
    ReadPairing(rest.substr(open + 2, rest.size() - open - 3), out);
    if (out.white.empty()) return out;
    out.kind = RunnerLine::Kind::kGameStarted;
    out.game = *number;
    return out;
}

// "Finished game 3 (W vs B): 1-0 {White mates}": the result follows the
// first "): " that a score does.
RunnerLine GameFinished(std::string_view rest) {
    RunnerLine out;
    const auto number = ReadNumber<std::int32_t>(rest.substr(0, rest.find(' ')));
    const std::size_t open = rest.find(" (");
    if (!number || open == std::string_view::npos) return out;
    for (std::size_t close = rest.find("): ", open); close != std::string_view::npos;
         close = rest.find("): ", close + 1)) {
        const std::string_view result = rest.substr(close + 3);
        for (std::string_view score : {"1-0", "0-1", "1/2-1/2", "*"}) {
            if (result.substr(0, score.size()) != score) continue;
            ReadPairing(rest.substr(open + 2, close - open - 2), out);
            out.kind = RunnerLine::Kind::kGameFinished;
            out.game = *number;
            out.text = std::string(result);
            return out;
        }
    }
    return out;
}

}  // namespace

RunnerLine ReadCutechessLine(std::string_view raw) {
    const std::string_view line = WithoutLineEnd(raw);
    if (StartsWith(line, "Started game ")) return GameStarted(line.substr(13));
    if (StartsWith(line, "Finished game ")) return GameFinished(line.substr(14));
    RunnerLine out;
    const std::size_t stamp = StampLength(line);
    if (const std::size_t open = line.rfind('(');
        StartsWith(line, "Terminating process of engine ") && line.back() == ')' &&
        open != std::string_view::npos) {
        // The runner ended an engine that died or hung.
        out.kind = RunnerLine::Kind::kEngineGone;
        out.engine = std::string(line.substr(open + 1, line.size() - open - 2));
        return out;
    }
    // The runner's notes start with a capital; the lines of its messages
    // ("time 51" and then "otim 49") with a command.
    if (stamp == 0) {
        if (!line.empty() && line[0] >= 'a' && line[0] <= 'z') {
            out.kind = RunnerLine::Kind::kContinuation;
            out.text = std::string(line);
        }
        return out;
    }
    const char direction = stamp + 1 < line.size() ? line[stamp + 1] : 0;
    if (direction != '>' && direction != '<') return out;
    // The instance number in parentheses right before the first "): " that
    // has one; the name before it may hold blanks and parentheses of its own.
    for (std::size_t close = line.find("): ", stamp + 2); close != std::string_view::npos;
         close = line.find("): ", close + 1)) {
        const std::size_t open = line.rfind('(', close);
        if (open == std::string_view::npos || open <= stamp + 2 || open + 1 == close) continue;
        const std::string_view number = line.substr(open + 1, close - open - 1);
        if (!ReadNumber<std::int32_t>(number)) continue;
        out.kind = direction == '>' ? RunnerLine::Kind::kToEngine : RunnerLine::Kind::kFromEngine;
        out.stamp = std::string(line.substr(0, stamp));
        out.engine = std::string(number);
        out.name = std::string(line.substr(stamp + 2, open - stamp - 2));
        out.text = std::string(line.substr(close + 3));
        return out;
    }
    return out;
}

}  // namespace lantrel
