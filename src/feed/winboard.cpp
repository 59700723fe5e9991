#include "feed/parsing.h"
#include "text/text.h"

namespace lantrel {

EngineTraffic SplitEngineTraffic(std::string_view workLine) {
    EngineTraffic traffic;
    // A marker at the very start of a line carries no traffic: real lines begin
    // with the GUI's time stamp. A later marker of the same direction wins.
    struct Marker {
        const char* text;
        std::string EngineTraffic::*target;
    };
    static constexpr Marker kMarkers[] = {
        {">first :", &EngineTraffic::toEngine},
        {">second:", &EngineTraffic::toEngine},
        {"<first :", &EngineTraffic::fromEngine},
        {"<second:", &EngineTraffic::fromEngine},
    };
    for (const Marker& m : kMarkers) {
        if (std::size_t p = FindAfterStart(workLine, m.text))
            traffic.*m.target = Mid(workLine, p + 9);
    }
    return traffic;
}

bool IsThinkingLine(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i >= text.size() || !isDigit(text[i])) return false;
    ++i;
    int fieldEnds = 0;
    bool havePrevious = false;
    char previous = 0;
    while (i < text.size()) {
        char c = text[i++];
        // Signs, decimal points and the ":" of times stand inside numbers.
        if (c == '-' || c == '+' || c == '.' || c == '&' || c == ':') {
            if (i >= text.size()) return false;
            c = text[i++];
        }
        if (!isBlank(c) && !isDigit(c)) return false;
        if (isBlank(c) && !(havePrevious && isBlank(previous))) {
            if (++fieldEnds == 4) return true;
        }
        previous = c;
        havePrevious = true;
    }
    return false;
}

std::optional<PieceColour> LoserOnTime(std::string_view result) {
    const std::string text = UpperAscii(result);
    const bool onTime = Contains(text, "ON TIME") || Contains(text, "OUT OF TIME") ||
                        Contains(text, "FLAG FELL") || Contains(text, "TIME FORFEIT");
    if (!onTime) return std::nullopt;
    if (StartsWith(text, "1-0")) return PieceColour::kBlack;
    if (StartsWith(text, "0-1")) return PieceColour::kWhite;
    return std::nullopt;  // a draw: both flags fell, or one fell against a bare king
}

}  // namespace lantrel
