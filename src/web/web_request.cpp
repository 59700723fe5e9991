#include "web/web_request.h"

#include <algorithm>

#include "text/text.h"

namespace lantrel {

namespace {

std::string Normalised(std::string_view origin) {
    std::string text = UpperAscii(TrimBlanks(origin));
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

}  // namespace

WebRoute RouteTarget(std::string_view target) {
    const std::string_view path = target.substr(0, target.find('?'));
    if (path.empty() || path[0] != '/') return {};
    for (std::size_t at = 0; at < path.size(); ++at) {
        const auto c = static_cast<unsigned char>(path[at]);
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '%') return {};
        if (c == '.' && path[at - 1] == '/') return {};
    }
    WebRoute route{WebResource::kPage, std::string(path)};
    if (path == "/feed") route.resource = WebResource::kFeed;
    if (path == "/state.json") route.resource = WebResource::kState;
    if (path == "/games.pgn") route.resource = WebResource::kPgn;
    return route;
}

bool OriginMayPost(std::string_view origin, std::string_view host,
                   const std::vector<std::string>& allowed) {
    if (TrimBlanks(origin).empty()) return true;
    const std::string asked = Normalised(origin);
    const std::string ownHost = Normalised(host);
    if (!ownHost.empty() && (asked == "HTTP://" + ownHost || asked == "HTTPS://" + ownHost))
        return true;
    for (const std::string& site : allowed)
        if (asked == Normalised(site)) return true;
    return false;
}

std::vector<std::string> ListWords(std::string_view value) {
    std::vector<std::string> words;
    std::string word;
    auto take = [&words, &word] {
        const bool safe = std::all_of(word.begin(), word.end(), [](char c) {
            return c > ' ' && c < 127 && c != ';' && c != '"' && c != '\'';
        });
        if (!word.empty() && safe) words.push_back(word);
        word.clear();
    };
    for (char c : value) {
        if (c == ' ' || c == ',' || c == '\t') {
            take();
        } else {
            word += c;
        }
    }
    take();
    return words;
}

}  // namespace lantrel
