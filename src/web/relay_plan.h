// What lantrel-relay publishes into NATS, decided without touching anything:
// its command line, the names of the stream, subject and key, which feed
// messages go out and under which identity, and where to resume the feed.
// The relay program does the talking (tools/relay).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lantrel {

struct RelayOptions {
    std::string feedHost;
    std::string feedPort;
    std::string feedPath;  // "/feed"
    std::vector<std::string> natsServers;
    std::string channel;
    std::string credsFile;
    std::string user;
    std::string passwordFile;  // the password's file; else LANTREL_NATS_PASSWORD
    std::string tokenFile;     // the token's file; else LANTREL_NATS_TOKEN
    std::string password;      // filled in by ReadRelaySecrets
    std::string token;
    std::string tlsCa;
    std::string tlsCert;
    std::string tlsKey;
    int replicas = 1;
    std::int64_t keepMessages = 100000;
};

// The command line read: the options, or what is wrong with it (empty
// `error` and no options for --help).
struct RelayCommandLine {
    std::optional<RelayOptions> options;
    std::string error;
};
RelayCommandLine ReadRelayCommandLine(const std::vector<std::string>& args);
extern const char* const kRelayUsage;

// Fills in the password and the token: each from its file (the first line),
// else from the environment (`environment` looks a variable up, nullptr when it
// is not set). Secrets never come from the command line, where `ps` shows them.
// Empty when all is well, else what is wrong: a file that cannot be read, a
// user without a password, or a secret still the samples' "CHANGE-ME".
std::string ReadRelaySecrets(RelayOptions& options,
                             const std::function<const char*(const char*)>& environment);

// ---- Retrying a link ----------------------------------------------------------------

// The pause before the next try at a link that failed `failures` times in a
// row (1, 2, ...): 1 s, doubling up to 30 s, less up to a quarter of it by
// `jitter` (0 to 1), so that relays that lost one server do not all come back
// at once.
double RetryPauseSeconds(int failures, double jitter);

// One link of the relay (NATS, the feed) as its log tells it: one line when it
// is lost and one when it is back, none for the tries between.
class LinkLog {
  public:
    explicit LinkLog(std::string name) : name_(std::move(name)) {}
    // A try failed at `now` (monotonic seconds): `problem` to log for the
    // first failure of a run, else empty.
    std::string Failed(const std::string& problem, double now);
    // A try worked: "NATS reachable again after 8 s" after failures, else empty.
    std::string Worked(double now);
    int failures() const { return failures_; }

  private:
    std::string name_;
    int failures_ = 0;
    double lostAt_ = 0;
};

// Where a channel lives in NATS.
struct RelayNames {
    std::string stream;           // "LANTREL_FINAL"
    std::string subject;          // "lantrel.final.events"
    std::string snapshotSubject;  // "lantrel.final.snapshot"
    std::string bucket;           // "lantrel"
    std::string key;              // "final.snapshot"
};
RelayNames RelayNamesOf(const std::string& channel);

// A place in the feed: the server's run and a version of it.
struct FeedPoint {
    std::string run;
    std::int64_t version = 0;
    bool operator==(const FeedPoint&) const = default;
};

// A server's run as the relay takes it: 1 to 32 of A-Z, a-z, 0-9, - and _ (the
// server names its runs by their start time, in digits).
bool IsRunName(std::string_view run);

// What the relay reads of a feed message: a snapshot names its run, a delta
// only its version. nullopt for a text that is no feed message, or one whose
// version is negative or whose run is no run name.
struct FeedMessageHead {
    bool snapshot = false;
    std::optional<std::string> run;
    std::int64_t version = 0;
};
std::optional<FeedMessageHead> ReadFeedMessageHead(std::string_view json);

// "Nats-Msg-Id" of a published message: "<run>.<version>", and ".snapshot" after
// it for a snapshot.
std::string RelayMessageId(const FeedPoint& point, bool snapshot);
// The key-value entry for newcomers: a snapshot and the stream sequence of the
// last message it includes.
std::string SnapshotEntry(std::uint64_t sequence, std::string_view snapshotJson);
// The feed's address to resume from `last` (the plain path without one).
std::string ResumeTarget(const std::string& feedPath, const std::optional<FeedPoint>& last);

// Which feed messages go out: each delta once, in order, each snapshot as the
// start of a new line of deltas.
class RelayTrack {
  public:
    enum class Step { kPublish, kSkip, kResync };
    // Where the stream ends (its last message), when it holds one.
    void StartFrom(std::optional<FeedPoint> last);
    // kPublish: publish the message as `point`; kSkip: the stream has it
    // already; kResync: it does not follow on (a version missing): connect
    // the feed again from the end of the stream.
    Step Next(const FeedMessageHead& head, FeedPoint& point) const;
    void Published(const FeedPoint& point, std::uint64_t sequence);
    const std::optional<FeedPoint>& last() const { return last_; }
    // The stream sequence a version of the current run was published at, while
    // it is among the recent ones.
    std::optional<std::uint64_t> SequenceOf(const FeedPoint& point) const;

  private:
    std::optional<FeedPoint> last_;
    std::deque<std::pair<FeedPoint, std::uint64_t>> recent_;
};

// The snapshot newcomers take from the snapshot subject, sent again about
// every second. A follower applies the live messages that come after it, so a
// snapshot goes out only while it is exactly the state the stream's last
// message leaves: right after that message, and again until the next one.
class SnapshotCast {
  public:
    struct Snapshot {
        FeedPoint point;
        std::string json;
    };
    explicit SnapshotCast(double intervalSeconds) : interval_(intervalSeconds) {}
    // A snapshot of `point` (the feed's, or the server's /state.json, which may
    // be ahead of the stream): kept until the stream reaches it or a newer one comes.
    void Offer(const FeedPoint& point, std::string json);
    // Whether a fresh snapshot is wanted: the one kept does not match `last`.
    bool Stale(const std::optional<FeedPoint>& last) const;
    // The snapshot to send now (at `now`, monotonic seconds) with the stream
    // ending at `last`, or nullptr: the kept one when it matches `last` and was
    // not sent at that point yet, or not within the interval.
    const Snapshot* Due(const std::optional<FeedPoint>& last, double now);
    // Whether the last Due was the first sending of its point.
    bool firstSending() const { return firstSending_; }

  private:
    double interval_;
    std::optional<Snapshot> kept_;
    std::optional<FeedPoint> sentPoint_;
    double sentAt_ = 0;
    bool firstSending_ = false;
};

}  // namespace lantrel
