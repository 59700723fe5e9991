// ServerConfig: the settings read from server.ini at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/net.h"
#include "platform/platform.h"

namespace lantrel {

constexpr const char* kBanner = "Lantrel1Server v1.72b for Winboard & Arena";

// Each part's settings are its own record; the configuration is all of them.
struct ServerConfig : NetSettings {
    std::string path;                    // the GUI's debug log
    std::int32_t delayAfterMove = 300;   // ms
    std::int32_t delayAfterGame = 1000;  // ms, counted in whole seconds
    std::string mailServer;
    std::string returnAddress;
    std::int32_t icsMode = 0;
    std::int32_t saveDebug = 0;

    // Linux additions.
    IpAddress bindAddress = 0;  // BIND=: local address to bind; 0 = all
    std::string bindText;       // BIND= as written, to name a value that is no address
    bool iniFound = false;      // false when server.ini could not be read
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
