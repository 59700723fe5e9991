// The values of the game events, read from the GUI's texts once, here.
#include <algorithm>
#include <sstream>
#include <vector>

#include "feed/parsing.h"
#include "text/text.h"

namespace lantrel {

namespace {

// The next word of `text` from `at` on (words end at blanks and tabs) as a
// signed number; moves `at` past it. False, `at` unmoved, when it is none.
template <typename Number>
bool NextNumber(std::string_view text, std::size_t& at, Number& value) {
    const std::size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) return false;
    const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
    const std::optional<Number> number = ReadSignedNumber<Number>(text.substr(start, end - start));
    if (!number) return false;
    value = *number;
    at = end;
    return true;
}

// The words of a command line: blanks (and control characters) between them,
// double quotes around a word that holds blanks.
std::vector<std::string> CommandWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (byte <= 0x20 || byte == 0x7F)) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// A program's file name without its folders and a Windows or polyglot
// extension: "C:\Engines\Rybka4.exe" is "Rybka4".
std::string FileNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    const std::size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        const std::string extension = UpperAscii(path.substr(dot));
        for (const char* known : {".EXE", ".COM", ".BAT", ".CMD", ".INI"})
            if (extension == known) path.remove_suffix(path.size() - dot);
    }
    return std::string(path);
}

}  // namespace

bool HasPrintable(std::string_view name) {
    return std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7F;
    });
}

std::string ProgramName(std::string_view commandLine) {
    const std::vector<std::string> words = CommandWords(commandLine);
    if (words.empty()) return {};
    const std::string program = FileNameOf(words[0]);
    const std::string adapter = UpperAscii(program);
    if (adapter != "POLYGLOT" && adapter != "UCI2WB" && adapter != "WB2UCI") return program;
    // polyglot names its engine with -ec (or in an .ini file named after it);
    // UCI2WB takes the engine as its first word that is no option.
    for (std::size_t k = 1; k + 1 < words.size(); ++k)
        if (words[k] == "-ec") return ProgramName(words[k + 1]);
    for (std::size_t k = 1; k < words.size(); ++k) {
        if (words[k][0] == '-' || UpperAscii(words[k]) == "DEBUG") continue;
        return FileNameOf(words[k]);
    }
    return program;
}

ClockReading ReadClocks(std::optional<PieceColour> side, std::string ownText,
                        std::string opponentText) {
    ClockReading clocks{side, std::move(ownText), std::move(opponentText), std::nullopt,
                        std::nullopt};
    clocks.own = ReadSignedNumber<std::int64_t>(TrimBlanks(clocks.ownText));
    clocks.opponent = ReadSignedNumber<std::int64_t>(TrimBlanks(clocks.opponentText));
    return clocks;
}

Level ReadLevel(std::string text) {
    Level level{std::move(text), std::nullopt, std::nullopt};
    std::istringstream in(level.text);
    std::string keyword, movesPerSession, base, increment;
    in >> keyword >> movesPerSession >> base >> increment;
    if (keyword == "st") {
        level.secondsPerMove = ReadNumber<std::int32_t>(movesPerSession);
        return level;
    }
    // The base time in minutes ("5") or in minutes and seconds ("0:30").
    const std::size_t colon = base.find(':');
    const auto minutes = ReadNumber<std::int32_t>(std::string_view(base).substr(0, colon));
    const auto seconds = colon == std::string::npos
                             ? std::optional<std::int32_t>(0)
                             : ReadNumber<std::int32_t>(std::string_view(base).substr(colon + 1));
    const auto moves = ReadNumber<std::int32_t>(movesPerSession);
    const auto inc = ReadNumber<std::int32_t>(increment);
    if (keyword == "level" && moves && minutes && seconds && inc)
        level.control = TimeControl{*moves, *minutes * std::int64_t{60} + *seconds, *inc};
    return level;
}

GameResult ReadResult(std::string word, std::string_view announcement) {
    GameResult result{std::move(word), std::nullopt, {}};
    // "1-0 {White mates}": the score, then the reason in braces.
    const std::string_view score = announcement.substr(0, announcement.find(' '));
    for (ResultScore known : {ResultScore::kWhiteWins, ResultScore::kBlackWins, ResultScore::kDraw,
                              ResultScore::kUnfinished}) {
        if (score == ScoreText(known)) result.score = known;
    }
    const std::size_t open = announcement.find('{');
    const std::size_t close = announcement.find('}', open == std::string_view::npos ? 0 : open);
    if (open != std::string_view::npos && close != std::string_view::npos)
        result.reason = TrimBlanks(announcement.substr(open + 1, close - open - 1));
    return result;
}

EngineThinking ReadThinking(std::string_view line) {
    EngineThinking thinking{std::string(line), std::nullopt};
    ThinkingLine t;
    std::size_t at = 0;
    if (!NextNumber(line, at, t.depth) || !NextNumber(line, at, t.score) ||
        !NextNumber(line, at, t.centiseconds) || !NextNumber(line, at, t.nodes))
        return thinking;
    // Selective depth, speed and table-base hits come before a tab that the
    // feed has made a blank: the PV starts at the first word that is no number.
    std::int64_t extra = 0;
    while (NextNumber(line, at, extra))
        continue;
    t.pv = TrimBlanks(line.substr(at));
    thinking.values = std::move(t);
    return thinking;
}

}  // namespace lantrel
