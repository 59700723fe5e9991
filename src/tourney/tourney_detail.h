// Pieces shared by the files of the tournament services, and by nothing else.
#pragma once

#include <string_view>

namespace lantrel {

// Calls `onLine` with every line of `text`: LF ends a line and a CR before it is
// dropped; a last line without LF counts too.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine&& onLine) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        onLine(line);
        start = end + 1;
    }
}

}  // namespace lantrel
