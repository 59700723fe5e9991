// ServerConfig: the settings read from server.ini at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "feed/feed.h"
#include "net/net.h"
#include "platform/platform.h"
#include "web/live_pgn.h"

namespace lantrel {

constexpr const char* kBanner = "Lantrel1Server v1.72b for Winboard & Arena";
// On the screen and in server.log when server.ini cannot be read.
constexpr const char* kNoIniNote = "No server.ini found: running on the default settings.";

// Each part's settings are its own record; the configuration is all of them.
struct ServerConfig : NetSettings, FeedSettings, WebSettings {
    std::string mailServer;
    std::string returnAddress;

    // Linux additions.
    IpAddress bindAddress = 0;     // BIND=: local address to bind; 0 = all
    std::string bindText;          // BIND= as written, to name a value that is no address
    bool iniFound = false;         // false when server.ini could not be read
    std::string logFormatRefused;  // LOGFORMAT= as written when it names no log format
};

// Applies the lines of server.ini to `config` (keys tested in order on every
// line, a later line overriding an earlier one).
void ApplyConfigurationLines(ServerConfig& config, const std::vector<std::string>& lines);

// What makes PORT= or BIND= unusable, said before the socket is opened; empty
// when both can be used.
std::string NetworkSettingProblem(const ServerConfig& config);

// The six header lines of server.log.
std::vector<std::string> ServerLogHeader(const ServerConfig& config);

}  // namespace lantrel
