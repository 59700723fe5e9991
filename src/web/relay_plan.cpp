#include "web/relay_plan.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/files.h"
#include "text/text.h"

namespace lantrel {

const char* const kRelayUsage =
    "Usage: lantrel-relay --feed ws://HOST:PORT/feed --nats nats://HOST:PORT[,...] --channel NAME\n"
    "                     [--creds FILE | --user NAME [--password-file FILE] | --token-file FILE]\n"
    "                     [--tls-ca FILE] [--tls-cert FILE --tls-key FILE]\n"
    "                     [--replicas N] [--keep-messages N]\n"
    "\n"
    "Follows a lantrel-server's browser feed and publishes it into NATS JetStream:\n"
    "every message to the stream LANTREL_<NAME> (subject lantrel.<NAME>.events),\n"
    "the current snapshot about every second to lantrel.<NAME>.snapshot (for\n"
    "newcomers; not stored) and to the key <NAME>.snapshot of the bucket lantrel.\n"
    "\n"
    "  --feed URL            the server's feed (WEBPORT=), ws:// only\n"
    "  --nats URLS           NATS servers, comma-separated\n"
    "  --channel NAME        1 to 32 of a-z, 0-9, - and _\n"
    "  --creds FILE          a NATS credentials file\n"
    "  --user NAME           a NATS user; its password from --password-file FILE\n"
    "                        (the file's first line) or LANTREL_NATS_PASSWORD\n"
    "  --token-file FILE     a NATS token (the file's first line); else LANTREL_NATS_TOKEN\n"
    "  --tls-ca FILE         trust the NATS servers' certificates signed by FILE\n"
    "  --tls-cert, --tls-key this relay's client certificate and key\n"
    "  --replicas N          copies of the stream and the bucket (1 to 5; default 1)\n"
    "  --keep-messages N     messages the stream keeps (default 100000; also 24 hours at most)\n"
    "  --help                print this text and exit\n";

namespace {

bool IsChannelName(std::string_view name) {
    if (name.empty() || name.size() > 32) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
            return false;
    return true;
}

// "ws://HOST[:PORT][/PATH]" into the options; false when it is not such an address.
bool ReadFeedUrl(const std::string& url, RelayOptions& options) {
    if (!StartsWith(url, "ws://")) return false;
    const std::string rest = url.substr(5);
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    options.feedPath = slash == std::string::npos ? "/feed" : rest.substr(slash);
    const std::size_t colon = authority.rfind(':');
    options.feedHost = authority.substr(0, colon);
    options.feedPort = colon == std::string::npos ? "80" : authority.substr(colon + 1);
    const auto port = ReadNumber<std::int64_t>(options.feedPort);
    return !options.feedHost.empty() && port && *port >= 1 && *port <= 65535;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));
    std::erase_if(parts, [](const std::string& part) { return part.empty(); });
    return parts;
}

}  // namespace

RelayCommandLine ReadRelayCommandLine(const std::vector<std::string>& args) {
    RelayOptions options;
    bool feedGiven = false;
    std::string replicas = "1";
    std::string keep = "100000";
    std::pair<const char*, std::string*> values[] = {
        {"--channel", &options.channel},
        {"--creds", &options.credsFile},
        {"--user", &options.user},
        {"--password-file", &options.passwordFile},
        {"--token-file", &options.tokenFile},
        {"--tls-ca", &options.tlsCa},
        {"--tls-cert", &options.tlsCert},
        {"--tls-key", &options.tlsKey},
        {"--replicas", &replicas},
        {"--keep-messages", &keep},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") return {};
        if (arg == "--password" || arg == "--token") {
            const char* variable =
                arg == "--password" ? "LANTREL_NATS_PASSWORD" : "LANTREL_NATS_TOKEN";
            return {std::nullopt,
                    arg + " is not taken (ps shows it to every user of the machine): use " + arg +
                        "-file FILE or " + variable};
        }
        if (i + 1 >= args.size()) return {std::nullopt, arg + " needs a value"};
        const std::string& value = args[++i];
        if (arg == "--feed") {
            if (!ReadFeedUrl(value, options))
                return {std::nullopt, "--feed needs ws://HOST:PORT/feed, not '" + value + "'"};
            feedGiven = true;
            continue;
        }
        if (arg == "--nats") {
            options.natsServers = SplitCommas(value);
            continue;
        }
        bool known = false;
        for (auto& [name, target] : values) {
            if (arg != name) continue;
            *target = value;
            known = true;
        }
        if (!known) return {std::nullopt, "unknown option '" + arg + "'"};
    }
    if (!feedGiven) return {std::nullopt, "--feed is needed"};
    if (options.natsServers.empty()) return {std::nullopt, "--nats is needed"};
    if (!IsChannelName(options.channel))
        return {std::nullopt, "--channel needs 1 to 32 of a-z, 0-9, - and _"};
    if (options.tlsCert.empty() != options.tlsKey.empty())
        return {std::nullopt, "--tls-cert and --tls-key go together"};
    const auto copies = ReadNumber<std::int64_t>(replicas);
    if (!copies || *copies < 1 || *copies > 5) return {std::nullopt, "--replicas is 1 to 5"};
    const auto kept = ReadNumber<std::int64_t>(keep);
    if (!kept || *kept < 1000) return {std::nullopt, "--keep-messages is 1000 or more"};
    options.replicas = static_cast<int>(*copies);
    options.keepMessages = *kept;
    return {std::move(options), {}};
}

namespace {

// One secret: the first line of `file` when one is given, else the environment
// variable `variable`; false (with `error`) when the file cannot be read.
bool ReadSecret(const std::string& file, const char* variable,
                const std::function<const char*(const char*)>& environment, std::string& secret,
                std::string& error) {
    secret.clear();
    if (file.empty()) {
        if (const char* value = environment(variable)) secret = value;
        return true;
    }
    std::string whyNot;
    const std::optional<std::string> text = ReadNamedFile(file, whyNot);
    if (!text) {
        error = "cannot read " + file + ": " + whyNot;
        return false;
    }
    secret = text->substr(0, text->find('\n'));
    if (!secret.empty() && secret.back() == '\r') secret.pop_back();
    return true;
}

}  // namespace

std::string ReadRelaySecrets(RelayOptions& options,
                             const std::function<const char*(const char*)>& environment) {
    std::string error;
    if (!ReadSecret(options.passwordFile, "LANTREL_NATS_PASSWORD", environment, options.password,
                    error) ||
        !ReadSecret(options.tokenFile, "LANTREL_NATS_TOKEN", environment, options.token, error))
        return error;
    if (!options.user.empty() && options.password.empty())
        return "--user " + options.user +
               " needs a password: --password-file FILE or LANTREL_NATS_PASSWORD";
    if (options.user.empty()) {
        if (!options.passwordFile.empty()) return "--password-file needs --user";
        options.password.clear();  // the environment's, with no user to go with it
    }
    for (const std::string* secret : {&options.password, &options.token}) {
        if (Contains(*secret, "CHANGE-ME"))
            return "the NATS " + std::string(secret == &options.token ? "token" : "password") +
                   " is still the samples' CHANGE-ME placeholder: give the NATS user a secret "
                   "of its own (docs/RELAY.md)";
    }
    return {};
}

double RetryPauseSeconds(int failures, double jitter) {
    constexpr double kFirst = 1, kLongest = 30;
    double pause = kFirst;
    for (int k = 1; k < failures && pause < kLongest; ++k)
        pause *= 2;
    return std::min(pause, kLongest) * (1 - std::clamp(jitter, 0.0, 1.0) / 4);
}

std::string LinkLog::Failed(const std::string& problem, double now) {
    if (failures_++ > 0) return {};
    lostAt_ = now;
    return problem;
}

std::string LinkLog::Worked(double now) {
    if (failures_ == 0) return {};
    failures_ = 0;
    return name_ + " reachable again after " + std::to_string(std::lround(now - lostAt_)) + " s";
}

RelayNames RelayNamesOf(const std::string& channel) {
    return {"LANTREL_" + UpperAscii(channel), "lantrel." + channel + ".events",
            "lantrel." + channel + ".snapshot", "lantrel", channel + ".snapshot"};
}

bool IsRunName(std::string_view run) {
    if (run.empty() || run.size() > 32) return false;
    for (char c : run)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

std::optional<FeedMessageHead> ReadFeedMessageHead(std::string_view json) {
    const nlohmann::json j = nlohmann::json::parse(json, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    const auto version = j.find("version");
    const auto type = j.find("type");
    if (version == j.end() || !version->is_number_integer() || type == j.end() ||
        !type->is_string())
        return std::nullopt;
    FeedMessageHead head;
    head.version = version->get<std::int64_t>();
    // A version is a count from 0; an unsigned one past the signed range reads negative.
    if (head.version < 0) return std::nullopt;
    head.snapshot = *type == "snapshot";
    if (head.snapshot) {
        const auto run = j.find("run");
        if (run == j.end() || !run->is_string()) return std::nullopt;
        // The run goes into NATS headers and the feed's address: a plain name only.
        if (!IsRunName(run->get_ref<const std::string&>())) return std::nullopt;
        head.run = run->get<std::string>();
    }
    return head;
}

std::string RelayMessageId(const FeedPoint& point, bool snapshot) {
    return point.run + "." + std::to_string(point.version) + (snapshot ? ".snapshot" : "");
}

std::string SnapshotEntry(std::uint64_t sequence, std::string_view snapshotJson) {
    return "{\"sequence\":" + std::to_string(sequence) +
           ",\"snapshot\":" + std::string(snapshotJson) + "}";
}

std::string ResumeTarget(const std::string& feedPath, const std::optional<FeedPoint>& last) {
    if (!last) return feedPath;
    return feedPath + "?run=" + last->run + "&since=" + std::to_string(last->version);
}

void RelayTrack::StartFrom(std::optional<FeedPoint> last) {
    last_ = std::move(last);
    recent_.clear();
}

RelayTrack::Step RelayTrack::Next(const FeedMessageHead& head, FeedPoint& point) const {
    if (head.snapshot) {
        point = {*head.run, head.version};
        return Step::kPublish;
    }
    // A delta belongs to the run of what came before it on this connection.
    if (!last_) return Step::kResync;
    if (head.version <= last_->version) return Step::kSkip;
    if (head.version != last_->version + 1) return Step::kResync;
    point = {last_->run, head.version};
    return Step::kPublish;
}

void RelayTrack::Published(const FeedPoint& point, std::uint64_t sequence) {
    last_ = point;
    recent_.emplace_back(point, sequence);
    constexpr std::size_t kRecent = 4096;
    if (recent_.size() > kRecent) recent_.pop_front();
}

std::optional<std::uint64_t> RelayTrack::SequenceOf(const FeedPoint& point) const {
    for (auto it = recent_.rbegin(); it != recent_.rend(); ++it)
        if (it->first == point) return it->second;
    return std::nullopt;
}

void SnapshotCast::Offer(const FeedPoint& point, std::string json) {
    kept_ = Snapshot{point, std::move(json)};
}

bool SnapshotCast::Stale(const std::optional<FeedPoint>& last) const {
    return !kept_ || !last || kept_->point != *last;
}

const SnapshotCast::Snapshot* SnapshotCast::Due(const std::optional<FeedPoint>& last, double now) {
    if (Stale(last)) return nullptr;
    firstSending_ = sentPoint_ != kept_->point;
    if (!firstSending_ && now - sentAt_ < interval_) return nullptr;
    sentPoint_ = kept_->point;
    sentAt_ = now;
    return &*kept_;
}

}  // namespace lantrel
