// What a browser's request names before anything is served: the request target
// and the Origin and Host of a WebSocket upgrade. The input is split at its
// first two line feeds into target, origin and host; the rest is a server.ini
// list of origins; the origin's line is also read as a Transfer-Encoding.
// Every input is read without a crash, and no route reaches a file the page
// does not hold: a path that is served starts with "/" and has no segment
// starting with ".".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text.h"
#include "web/web_feed.h"
#include "web/web_request.h"

using namespace lantrel;

namespace {

std::string_view Field(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view target = Field(rest);
    const std::string_view origin = Field(rest);
    const std::string_view host = Field(rest);

    const WebRoute route = RouteTarget(target);
    if (route.resource != WebResource::kRefused) {
        if (route.path.empty() || route.path[0] != '/') std::abort();
        if (route.path.find("/.") != std::string::npos) std::abort();
        if (route.path.find_first_of("\\%?") != std::string::npos) std::abort();
        if (target.substr(0, route.path.size()) != route.path) std::abort();
    }
    if (route.resource == WebResource::kFeed) ReadResumePoint(target);
    // The server's own page may always post; a missing Origin is no browser page.
    const bool plainHost =
        !host.empty() && host.find_first_not_of(
                             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                             "0123456789.:-[]") == std::string_view::npos;
    if (plainHost && !OriginMayPost("http://" + std::string(host), host, {})) std::abort();
    if (!OriginMayPost("", host, {})) std::abort();
    OriginMayPost(origin, host, ListWords(rest));
    // The framing of a request whose Transfer-Encoding is the origin's line:
    // one that does not end with chunked is never taken as sound.
    const std::string_view lastCoding = origin.substr(origin.rfind(',') + 1);
    if (FramingIsSound(11, true, origin) &&
        UpperAscii(lastCoding).find("CHUNKED") == std::string::npos)
        std::abort();
    // An origin let into the security policy adds no source or directive of its own.
    for (const std::string& taken : ReadOrigins(rest).origins)
        if (taken.find_first_of(" ;,'\"*/", taken.find("://") + 3) != std::string::npos)
            std::abort();
    return 0;
}
