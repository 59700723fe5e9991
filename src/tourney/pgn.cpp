// The tag scan of the tournament PGN file, shared by the services.
#include "text/text.h"
#include "tourney/tourney.h"
#include "tourney/tourney_detail.h"

namespace lantrel {

namespace {

// The value of a tag line: the text between the first quote at or after `from`
// and the next quote. Without a quote the whole line; without a closing quote
// the rest of the line.
std::string TagValue(std::string_view line, std::size_t from) {
    std::size_t open = Find(line, "\"", from);
    if (open == 0) return std::string(line);
    std::size_t close = Find(line, "\"", open + 1);
    if (close == 0) return Mid(line, open + 1);
    return Mid(line, open + 1, close - open - 1);
}

bool StartsWithUpper(std::string_view line, std::string_view upperPrefix) {
    if (line.size() < upperPrefix.size()) return false;
    for (std::size_t i = 0; i < upperPrefix.size(); ++i)
        if (UpperAscii(line[i]) != upperPrefix[i]) return false;
    return true;
}

}  // namespace

std::vector<TaggedGame> ScanPgnTags(std::string_view pgnText) {
    std::vector<TaggedGame> games;
    TaggedGame current;
    int tagCounter = 0;
    ForEachLine(pgnText, [&](std::string_view line) {
        // Only the three tags matter; test the prefix before upper-casing the line.
        if (StartsWithUpper(line, "[WHITE ")) {
            current.whiteAsWritten = TrimBlanks(TagValue(line, 6));
            current.white = UpperAscii(current.whiteAsWritten);
        } else if (StartsWithUpper(line, "[BLACK ")) {
            current.blackAsWritten = TrimBlanks(TagValue(line, 6));
            current.black = UpperAscii(current.blackAsWritten);
        } else if (StartsWithUpper(line, "[RESULT")) {
            current.result = TagValue(UpperAscii(line), 7);
            current.resultTagSeen = true;
        } else {
            return;
        }
        if (++tagCounter == 3) {
            tagCounter = 0;
            games.push_back(current);
            current.resultTagSeen = false;
        }
    });
    return games;
}

std::string PgnEvent(std::string_view pgnText) {
    std::string event;
    bool found = false;
    ForEachLine(pgnText, [&](std::string_view line) {
        if (found || !StartsWithUpper(line, "[EVENT ")) return;
        found = true;
        event = TrimBlanks(TagValue(line, 7));
    });
    return event == "?" ? std::string() : event;
}

}  // namespace lantrel
