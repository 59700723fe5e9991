// fastchess's "-log ... engine=true" file: "[LEVEL ] [hh:mm:ss.micro] <THREAD>"
// and then either engine traffic, " NAME <--- text" to the engine named NAME
// and " NAME ---> text" from it, or the runner's own note "fastchess --- text"
// ("Game 1 between A and B starting", "Game 1 finished with result 1-0",
// "Engine A disconnects", "Warning; Illegal move h8h4 played by A").
#include "feed/runner_log.h"
#include "text/text.h"

namespace lantrel {

namespace {

// The text between `open` at `at` and the next `close`; `at` moves past it.
std::optional<std::string_view> Bracketed(std::string_view line, std::size_t& at, char open,
                                          char close) {
    if (at >= line.size() || line[at] != open) return std::nullopt;
    const std::size_t end = line.find(close, at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view inside = line.substr(at + 1, end - at - 1);
    at = end + 1;
    if (at < line.size() && line[at] == ' ') ++at;
    return inside;
}

std::string Trimmed(std::string_view text) {
    return TrimBlanks(text);
}

// The text between `prefix` and `suffix` that makes up all of `text`.
std::optional<std::string> Between(std::string_view text, std::string_view prefix,
                                   std::string_view suffix) {
    if (text.size() < prefix.size() + suffix.size() || !StartsWith(text, prefix) ||
        text.substr(text.size() - suffix.size()) != suffix)
        return std::nullopt;
    return std::string(text.substr(prefix.size(), text.size() - prefix.size() - suffix.size()));
}

// The runner's own notes that tell of a game or an engine.
void ReadRunnerNote(std::string_view note, RunnerLine& out) {
    using Kind = RunnerLine::Kind;
    if (auto game = Between(note, "Game ", " starting")) {
        const std::size_t between = game->find(" between ");
        const std::size_t split = game->find(" and ", between);
        const auto number = ReadNumber<std::int32_t>(std::string_view(*game).substr(0, between));
        if (!number || between == std::string::npos || split == std::string::npos) return;
        out.kind = Kind::kGameStarted;
        out.game = *number;
        out.white = game->substr(between + 9, split - between - 9);
        out.black = game->substr(split + 5);
    } else if (StartsWith(note, "Game ") && Contains(note, " finished with result ")) {
        const std::size_t at = note.find(" finished with result ");
        const auto number = ReadNumber<std::int32_t>(note.substr(5, at - 5));
        if (!number) return;
        out.kind = Kind::kGameFinished;
        out.game = *number;
        out.text = Trimmed(note.substr(at + 22));
    } else if (auto illegal = Between(note, "Warning; Illegal move ", "")) {
        const std::size_t by = illegal->find(" played by ");
        if (by == std::string::npos) return;
        out.kind = Kind::kIllegalMove;
        out.text = illegal->substr(0, by);
        out.engine = illegal->substr(by + 11);
    } else if (StartsWith(note, "Engine ")) {
        // "Engine A disconnects", "Engine A stalls", "Engine A loses on time by 104ms".
        for (std::string_view failure : {" disconnects", " stalls", " loses on time by "}) {
            const std::size_t at = note.rfind(failure);
            if (at == std::string_view::npos || at <= 7) continue;
            out.kind = Kind::kEngineFailed;
            out.engine = std::string(note.substr(7, at - 7));
            out.text = std::string(note.substr(at + 1));
            return;
        }
    }
}

}  // namespace

RunnerLine ReadFastchessLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    RunnerLine out;
    std::size_t at = 0;
    const auto level = Bracketed(line, at, '[', ']');
    const auto stamp = Bracketed(line, at, '[', ']');
    const auto thread = Bracketed(line, at, '<', '>');
    if (!level || !stamp || !thread) return out;
    out.stamp = std::string(*stamp);
    out.thread = Trimmed(*thread);
    std::string_view rest = line.substr(at);
    if (StartsWith(rest, "fastchess --- ")) {
        ReadRunnerNote(rest.substr(14), out);
        return out;
    }
    if (TrimBlanks(*level) != "Engine") return out;
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (StartsWith(rest, "<stderr> ")) return out;  // what an engine wrote to its error output
    const std::size_t to = rest.find(" <--- ");
    const std::size_t from = rest.find(" ---> ");
    const std::size_t marker = std::min(to, from);
    if (marker == std::string_view::npos || marker == 0) return out;
    out.kind = marker == to ? RunnerLine::Kind::kToEngine : RunnerLine::Kind::kFromEngine;
    out.engine = std::string(rest.substr(0, marker));
    out.text = std::string(rest.substr(marker + 6));
    return out;
}

}  // namespace lantrel
