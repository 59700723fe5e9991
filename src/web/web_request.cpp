#include "web/web_request.h"

#include <algorithm>
#include <utility>

#include "text/text.h"

namespace lantrel {

double ConnectionRate::Allowance(double now) const {
    return std::min(burst_, allowance_ + std::max(0.0, now - last_) * perSecond_);
}

bool ConnectionRate::Take(double now) {
    allowance_ = Allowance(now);
    last_ = std::max(last_, now);
    if (allowance_ < 1) return false;
    allowance_ -= 1;
    return true;
}

bool ConnectionRate::Rested(double now) const {
    return Allowance(now) >= burst_;
}

namespace {

std::string Normalised(std::string_view origin) {
    std::string text = UpperAscii(TrimBlanks(origin));
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}

// The words of a list value, split at blanks, tabs and commas.
std::vector<std::string> SplitList(std::string_view value) {
    std::vector<std::string> words;
    std::string word;
    for (char c : value) {
        if (c != ' ' && c != ',' && c != '\t') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(std::exchange(word, {}));
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

// scheme "://" host [":" port], as the security policy's connect-src takes it:
// a host of dot-separated labels of letters, digits and "-" (an IPv4 address is
// one such), no wildcard, no path, no IPv6 literal (the policy has no form for it).
bool IsOrigin(std::string_view text) {
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) return false;
    const std::string scheme = UpperAscii(text.substr(0, schemeEnd));
    if (scheme != "WS" && scheme != "WSS" && scheme != "HTTP" && scheme != "HTTPS") return false;
    std::string_view host = text.substr(schemeEnd + 3);
    if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        const bool digits =
            !port.empty() && port.size() <= 5 &&
            std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits) return false;
        const int number = std::stoi(std::string(port));  // five digits at most: no overflow
        if (number < 1 || number > 65535) return false;
        host = host.substr(0, colon);
    }
    if (host.empty() || host.size() > 253 || host.front() == '.' || host.back() == '.' ||
        host.find("..") != std::string_view::npos)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    });
}

}  // namespace

bool FramingIsSound(unsigned httpVersion, bool hasHost,
                    std::optional<std::string_view> transferEncoding) {
    if (httpVersion >= 11 && !hasHost) return false;
    if (!transferEncoding) return true;
    // The last of the comma-separated codings, its parameters and the blanks
    // and tabs around it aside.
    std::string_view last = transferEncoding->substr(transferEncoding->rfind(',') + 1);
    last = last.substr(0, last.find(';'));
    const std::size_t start = last.find_first_not_of(" \t");
    const std::size_t end = last.find_last_not_of(" \t");
    return start != std::string_view::npos &&
           UpperAscii(last.substr(start, end - start + 1)) == "CHUNKED";
}

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
    std::vector<std::string> words = SplitList(value);
    std::erase_if(words, [](const std::string& word) {
        return !std::all_of(word.begin(), word.end(), [](char c) {
            return c > ' ' && c < 127 && c != ';' && c != '"' && c != '\'';
        });
    });
    return words;
}

OriginList ReadOrigins(std::string_view value) {
    OriginList list;
    for (std::string& word : SplitList(value)) {
        std::string origin = word;
        if (!origin.empty() && origin.back() == '/') origin.pop_back();
        if (IsOrigin(origin)) {
            list.origins.push_back(std::move(origin));
        } else {
            list.refused.push_back(std::move(word));
        }
    }
    return list;
}

}  // namespace lantrel
