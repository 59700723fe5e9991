#include "app/config.h"

#include "text/text.h"
#include "web/web_request.h"

namespace lantrel {

namespace {

// "MENU " lines: the number after the first "ID=" up to the blank that follows
// it picks the entry (1..10); the whole line is stored.
void ApplyMenuLine(ServerConfig& config, const std::string& line) {
    std::size_t p = Find(line, "ID=");
    if (p == 0) return;
    std::size_t q = Find(line, " ", p);
    if (q == 0) return;
    std::int32_t n = ParseNumber(Mid(line, p + 3, q - (p + 3)));
    if (n >= 1 && n <= 10) config.menuLines[n] = line;
}

// A TCP port: 0 for none, -1 for a text that is no port number.
std::int32_t PortNumber(const std::string& text) {
    const auto port = ReadNumber<std::uint16_t>(TrimBlanks(text));
    return port ? *port : -1;
}

// LOGFORMAT=: whose log PATH= names, where its lines leave it open.
void ApplyLogFormat(ServerConfig& config, const std::string& format) {
    config.logFormatRefused.clear();
    config.logDialect.reset();
    if (format == "cutechess") {
        config.logDialect = LogDialect::kCutechess;
    } else if (format == "fastchess") {
        config.logDialect = LogDialect::kFastchess;
    } else if (format == "winboard" || format == "xboard" || format == "arena") {
        config.logDialect = LogDialect::kWinBoard;
    } else if (!format.empty() && format != "auto") {
        config.logFormatRefused = format;
    }
}

}  // namespace

void ApplyConfigurationLines(ServerConfig& config, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        // Every key is tested on every line, in this order; a key matches the
        // start of the line exactly, and a later line overrides an earlier one.
        auto value = [&](std::string_view key) { return line.substr(key.size()); };
        if (StartsWith(line, "PATH=")) config.path = value("PATH=");
        if (StartsWith(line, "PORT=")) config.port = ParseNumber(value("PORT="));
        if (StartsWith(line, "SITE=")) config.site = value("SITE=");
        if (StartsWith(line, "DELAY=")) config.delay = ParseNumber(value("DELAY="));
        if (StartsWith(line, "DELAYAFTERMOVE="))
            config.delayAfterMove = ParseNumber(value("DELAYAFTERMOVE="));
        if (StartsWith(line, "DELAYAFTERGAME="))
            config.delayAfterGame = ParseNumber(value("DELAYAFTERGAME="));
        if (StartsWith(line, "MAILSERVER=")) config.mailServer = value("MAILSERVER=");
        if (StartsWith(line, "RETURNADD=")) config.returnAddress = value("RETURNADD=");
        if (StartsWith(line, "ICSMODE=1")) config.icsMode = true;
        if (StartsWith(line, "SAVEDEBUG=1")) config.saveDebug = true;
        if (StartsWith(line, "LIVEPGN=1")) config.livePgn = true;
        if (StartsWith(line, "LOGFORMAT=")) ApplyLogFormat(config, TrimBlanks(value("LOGFORMAT=")));
        if (StartsWith(line, "WEBPORT=")) config.webPort = PortNumber(value("WEBPORT="));
        if (StartsWith(line, "WEBBIND=")) config.webBind = TrimBlanks(value("WEBBIND="));
        if (StartsWith(line, "WEBCHAT=1")) config.webChat = true;
        if (StartsWith(line, "WEBROOT=")) config.webRoot = TrimBlanks(value("WEBROOT="));
        if (StartsWith(line, "WEBMAXPERADDRESS=")) {
            // A number from 1 up; anything else keeps the default.
            const std::int32_t n = ParseNumber(value("WEBMAXPERADDRESS="));
            if (n >= 1) config.webMaxPerAddress = n;
        }
        if (StartsWith(line, "WEBORIGINS="))
            config.webChatOrigins = ListWords(value("WEBORIGINS="));
        if (StartsWith(line, "WEBNATS=")) config.webNatsServers = ListWords(value("WEBNATS="));
        if (StartsWith(line, "WEBEVENTFEEDS=")) {
            OriginList feeds = ReadOrigins(value("WEBEVENTFEEDS="));
            config.webEventFeeds = std::move(feeds.origins);
            config.webEventFeedsRefused = std::move(feeds.refused);
        }
        if (StartsWith(line, "WEBFRAMEANCESTORS="))
            config.webFrameAncestors = ListWords(value("WEBFRAMEANCESTORS="));
        if (StartsWith(line, "MENU ")) ApplyMenuLine(config, line);
        if (StartsWith(line, "BIND=")) {
            config.bindText = TrimBlanks(value("BIND="));
            config.bindAddress = ParseIp(config.bindText);
        }
        if (StartsWith(line, "ADMIN=")) {
            IpAddress admin = ParseIp(TrimBlanks(value("ADMIN=")));
            if (admin != 0) config.adminAddresses.push_back(admin);
        }
    }
}

std::string NetworkSettingProblem(const ServerConfig& config) {
    if (config.port < 1 || config.port > 65535) return "PORT= must be a number from 1 to 65535";
    // Binding every address when the operator named one would serve networks
    // that were meant to be left out.
    if (config.bindAddress == 0 && !config.bindText.empty() && config.bindText != "0.0.0.0")
        return "BIND=" + config.bindText + " is not an IPv4 address such as 192.168.1.10";
    return {};
}

std::vector<std::string> ServerLogHeader(const ServerConfig& config) {
    return {
        "Path=" + config.path,
        "Port=" + PrintForm(config.port),
        "Site=" + config.site,
        "Delay=" + PrintForm(config.delay),
        "Delay after move=" + PrintForm(config.delayAfterMove),
        "Delay after game=" + PrintForm(config.delayAfterGame),
    };
}

}  // namespace lantrel
