#include <algorithm>
#include <cmath>

#include "feed/parsing.h"
#include "text/text.h"

namespace lantrel {

namespace {

// Arena's engine markers and their WinBoard forms, in the order they are replaced.
constexpr std::pair<const char*, const char*> kMarkers[] = {
    {"<--1:", " <first : "}, {"<--2:", " <second: "}, {"-->1:", " >first : "},
    {"-->2:", " >second: "}, {"<1:", " <first : "},   {"<2:", " <second: "},
    {">1:", " >first : "},   {">2:", " >second: "},
};

}  // namespace

bool HasArenaMarker(std::string_view line) {
    for (const auto& [arena, winboard] : kMarkers) {
        if (FoundAfterStart(line, arena)) return true;
    }
    return false;
}

namespace {

// Arena's own move lines ("Found move:Ng1-f3") become engine move announcements.
// The piece letter in front of the move is removed, everywhere in the line.
void RewriteMoveLine(std::string& line, std::string_view note) {
    if (!FoundAfterStart(line, note)) return;
    ReplaceAllInPlace(line, "*1*", " <first : ");
    ReplaceAllInPlace(line, "*2*", " <second: ");
    ReplaceAllInPlace(line, note, "move ");
    std::size_t at = Find(line, "move ") + 5;  // 1-based position of the move's first character
    if (at > line.size()) return;
    char c = line[at - 1];
    // Files and castling written with 0, o or O keep their text. (Castling with the
    // capital O would otherwise lose every O of the line and become a move error.)
    static constexpr std::string_view kKeep = "abcdefgh0oO";
    if (kKeep.find(c) != std::string_view::npos) return;
    std::erase(line, c);
}

// First occurrence of `keyword` at or after `from` that starts a word (the
// character before it is a blank), so "depth " is not found inside "seldepth ".
std::size_t FindWord(const std::string& line, std::string_view keyword, std::size_t from) {
    for (std::size_t k = Find(line, keyword, from); k != 0; k = Find(line, keyword, k + 1)) {
        if (k > 1 && line[k - 2] == ' ') return k;
    }
    return 0;
}

// The value after a keyword at `k`: from `k + length` to the first blank at or
// after `searchFrom`, trimmed; `fallback` when no blank follows.
std::string FieldValue(const std::string& line, std::size_t valueStart, std::size_t searchFrom,
                       const std::string& fallback) {
    std::size_t blank = Find(line, " ", searchFrom);
    if (blank == 0) return fallback;
    return TrimBlanks(Mid(line, valueStart, blank - valueStart));
}

// A UCI "info" line with a centipawn score becomes xboard thinking output:
// head, depth, score, time (centiseconds), nodes and the first PV move.
// Returns false when the line is to be dropped.
bool RewriteInfoLine(std::string& line, const std::string& head) {
    std::size_t info = Find(line, ": info ");
    if (info == 0) return true;
    std::size_t from = info + 7;  // keywords are searched in the text after the marker
    std::size_t score = FindWord(line, "score cp ", from);
    if (score == 0) return true;
    std::size_t depth = FindWord(line, "depth ", from);
    std::size_t time = FindWord(line, "time ", from);
    std::size_t pv = FindWord(line, "pv ", from);
    std::size_t nodes = FindWord(line, "nodes ", from);

    std::string depthText = depth ? FieldValue(line, depth + 6, depth + 6, "0") : "0";
    std::string scoreText = FieldValue(line, score + 9, score + 9, "0");
    std::string timeText = "0";
    if (time) {
        std::string ms = FieldValue(line, time + 5, time + 5, "");
        if (!ms.empty()) {
            // An engine (or a damaged log) may write more digits than a whole
            // number holds; such a time is written at the limit instead.
            constexpr double kLimit = 9.2e18;
            double centiseconds = std::clamp(std::floor(ParseDecimal(ms) / 10), -kLimit, kLimit);
            timeText = std::to_string(static_cast<long long>(centiseconds));
        }
    }
    std::string nodesText = nodes ? FieldValue(line, nodes + 6, nodes + 6, "0") : "0";
    // Only the first move of the principal variation; the blank that ends it is
    // searched from three bytes into the move.
    std::string pvText = pv ? FieldValue(line, pv + 3, pv + 6, "No PV!") : "No PV!";
    if (pvText == "No PV!") return false;
    line =
        head + " " + depthText + " " + scoreText + " " + timeText + " " + nodesText + " " + pvText;
    return true;
}

struct StartNote {
    const char* text;
    std::size_t length;
};
constexpr StartNote kStartNotes[] = {
    {"Starting engine 1", 17},
    {"Starting engine 2", 17},
    {"D\xe9marre module 1", 16},
    {"D\xe9marre module 2", 16},
};

// True when some step of the translation could change the line. WinBoard's
// lines fail this quick test and come back as they are without the full work.
bool MayNeedTranslation(std::string_view line) {
    for (std::size_t p = line.find(':'); p != std::string_view::npos; p = line.find(':', p + 1)) {
        // Arena's markers ("<--1:", ">2:", ...) and its move notes ("Found move:",
        // "Coup trouv\xe9:").
        if (p > 0 && std::string_view("12e\xe9").find(line[p - 1]) != std::string_view::npos)
            return true;
    }
    for (std::string_view trigger :
         {"info ", "ucinewgame", "id name", "Starting engine", "D\xe9marre module"}) {
        if (line.find(trigger) != std::string_view::npos) return true;
    }
    return line.size() > 250 && line.find(":move ") != std::string_view::npos;
}

}  // namespace

std::string TranslateArenaLine(std::string_view input) {
    if (!MayNeedTranslation(input)) return std::string(input);
    std::string line(input);
    // Progress noise of UCI engines.
    if (FoundAfterStart(line, "info currmove") || FoundAfterStart(line, "info nps ")) return {};

    std::string head;
    if (std::size_t colon = Find(line, ":")) head = Left(line, colon);

    // Arena sometimes writes a move at the end of a very long line; keep the move.
    if (line.size() > 250) {
        if (std::size_t p = Find(line, ":move ", 255)) line = "12345678" + Mid(line, p - 2);
    }

    for (const auto& [arena, winboard] : kMarkers)
        ReplaceAllInPlace(line, arena, winboard);

    if (std::size_t p = Find(line, ": ")) head = Left(line, p + 1);

    RewriteMoveLine(line, "Coup trouv\xe9:");
    RewriteMoveLine(line, "Found move:");

    if (std::size_t p = Find(line, "ucinewgame")) line = Left(line, p - 1) + "new";

    if (!RewriteInfoLine(line, head)) return {};

    if (std::size_t p = Find(line, "id name")) line = head + "myname=\"" + Mid(line, p + 8) + "\"";

    for (const StartNote& note : kStartNotes) {
        std::size_t k = FindAfterStart(line, note.text);
        if (k == 0) continue;
        std::size_t start = k + note.length;
        std::size_t dash = Find(line, "-", start);
        std::string name = dash ? Mid(line, start, dash - start) : Mid(line, start);
        return "StartChildProcess (dir=)" + name;
    }
    return line;
}

std::string TidyEngineLine(std::string_view input) {
    std::string line(input);
    std::replace(line.begin(), line.end(), '\t', ' ');
    for (;;) {
        std::size_t k = 0;
        if (std::size_t p = FindAfterStart(line, "<first : ")) k = p + 9;
        if (std::size_t p = FindAfterStart(line, "<second: ")) k = p + 9;
        if (k == 0 || k > line.size() || line[k - 1] != ' ') return line;
        line.erase(k - 1, 1);
    }
}

}  // namespace lantrel
