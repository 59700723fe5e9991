// What the web listener makes of a request before it serves it: whether the
// connection may be taken at all, which resource a request target names, and
// whether a WebSocket upgrade's page may post chat. Pure functions of the
// request's texts (and of the time), so that they are tested and fuzzed
// without a socket.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

// New connections from one address: `burst` at once, then `perSecond` a
// second, so that a flood from one address stays bounded while a household or
// a school behind it loads its pages. Times are seconds on a steady clock.
class ConnectionRate {
  public:
    ConnectionRate(double perSecond, double burst, double now)
        : perSecond_(perSecond), burst_(burst), allowance_(burst), last_(now) {}
    // Counts a new connection at `now`; false, counting nothing, over the rate.
    bool Take(double now);
    // True when by `now` the whole burst is allowed again: the address has
    // nothing left to remember.
    bool Rested(double now) const;

  private:
    double Allowance(double now) const;

    double perSecond_;
    double burst_;
    double allowance_;  // connections that may come at once, as of `last_`
    double last_;
};

enum class WebResource {
    kFeed,     // "/feed": the WebSocket feed
    kState,    // "/state.json"
    kPgn,      // "/games.pgn"
    kPage,     // anything else below "/": a page file or a text page, by `path`
    kRefused,  // not a path this server serves, whatever its files hold
};

struct WebRoute {
    WebResource resource = WebResource::kRefused;
    std::string path;  // the target without its query ("/app.js")
};

// The resource of a request target ("/feed?run=R&since=V", "/vendor/x.js").
// Refused: a target that is not an absolute path, or with a segment that
// starts with "." (".git", "..", ".env": files kept beside the page are not
// the page's), a backslash, a percent escape or a control byte.
WebRoute RouteTarget(std::string_view target);

// Whether the listener knows where a request ends and what it is for (RFC
// 9112): `transferEncoding` (all its header lines' codings, comma-separated;
// nullopt without one) must end with "chunked", and an HTTP/1.1 request
// (`httpVersion` 11) must name its Host. Any other is answered 400 and its
// connection closed: a body read as a request of its own is how requests are
// smuggled past a proxy.
bool FramingIsSound(unsigned httpVersion, bool hasHost,
                    std::optional<std::string_view> transferEncoding);

// Whether a WebSocket upgrade whose page came from `origin` may post chat:
// no Origin (not a browser page), the server's own (http:// or https:// and
// the request's `host`), or one of `allowed` ("https://club.example.org").
// Compared without case and without a trailing "/".
bool OriginMayPost(std::string_view origin, std::string_view host,
                   const std::vector<std::string>& allowed);

// The words of a server.ini list value, split at blanks and commas. The words
// are origins and addresses that go into the page's security policy and into
// JSON: a word with a byte outside printable ASCII, a ";" or a quote is left out.
std::vector<std::string> ListWords(std::string_view value);

// A server.ini list of origins that pages may connect to (WEBEVENTFEEDS=),
// split as ListWords splits. An origin is a scheme (ws, wss, http or https),
// "://", a host name or IPv4 address and an optional port 1..65535, with no
// path ("ws://192.168.1.21:8080"; a trailing "/" is dropped): the only words
// that go into the security policy's connect-src. The other words are in
// `refused`, for server.log to name.
struct OriginList {
    std::vector<std::string> origins;
    std::vector<std::string> refused;
};
OriginList ReadOrigins(std::string_view value);

}  // namespace lantrel
