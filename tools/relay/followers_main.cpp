// lantrel-nats-followers: many followers of one channel that lantrel-relay
// publishes into NATS, each on a NATS connection of its own, each following as
// docs/RELAY.md "Following a channel" says: the live messages held until the
// first snapshot, then applied by version (those at or below the state
// skipped), and on a version missing or a reconnection the live messages held
// again until the next snapshot. It checks what a crowd of browsers gets from
// an edge: every follower must end with every ply of the game once and the
// result, and it tells when each move reached the last of them.
//
//   lantrel-nats-followers --servers URLS --channel NAME --count N --plies P
//       [--user NAME --password TEXT] [--loops T] [--connectors C]
//       [--arrivals FILE] [--appended FILE] [--timeout SECONDS]
//
// URLS is a comma-separated list; the user is the audience's public one
// (default browser/browser). The connections share T event-loop threads
// (libevent, default 2) and libnats's pool of delivery threads, so tens of
// thousands fit in one process. It prints "following N" once every follower
// has taken its first snapshot, and at the end how many followers are
// complete, what went wrong with the others, and with --appended (lines
// "PLY NANOSECONDS", when each move went into the GUI log, on the monotonic
// clock) the time from each move's append to its arrival at the last
// follower. --arrivals writes "PLY NANOSECONDS" for each ply: when it reached
// the last follower that got it. Exit status 0 when every follower is
// complete, 1 otherwise (or on a time-out), 2 for a bad command line.
#include <event2/event.h>
#include <nats/adapters/libevent.h>
#include <nats/nats.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::vector<std::string> servers;
    std::string channel;
    int count = 0;
    std::size_t plies = 0;
    std::string user = "browser";
    std::string password = "browser";
    int loops = 2;
    int connectors = 4;
    std::string arrivalsFile;
    std::string appendedFile;
    double timeoutSeconds = 600;
};

std::int64_t Nanoseconds(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

// The number after `"name":` in a feed message, or -1 (the server writes its
// fields without blanks, so a delta needs no parser).
std::int64_t NumberField(std::string_view message, std::string_view name) {
    std::string key = "\"";
    key.append(name).append("\":");
    const std::size_t at = message.find(key);
    if (at == std::string_view::npos) return -1;
    std::int64_t value = 0;
    bool digits = false;
    for (std::size_t i = at + key.size();
         i < message.size() && message[i] >= '0' && message[i] <= '9' && i < at + key.size() + 15;
         ++i) {
        value = value * 10 + (message[i] - '0');
        digits = true;
    }
    return digits ? value : -1;
}

// The `type` of a feed message (the server writes it first), or "".
std::string_view TypeOf(std::string_view message) {
    constexpr std::string_view key = "{\"type\":\"";
    if (message.substr(0, key.size()) != key) return {};
    const std::size_t end = message.find('"', key.size());
    return end == std::string_view::npos ? std::string_view()
                                         : message.substr(key.size(), end - key.size());
}

// A message of the feed as the relay publishes it: its run and version from the
// headers, checked against the Nats-Msg-Id made of them and the body's version.
struct FeedMessage {
    std::string run;
    std::int64_t version = -1;
    std::string type;
    std::string body;
    Clock::time_point at;
};

bool ReadFeedMessage(natsMsg* msg, Clock::time_point at, FeedMessage& out) {
    const char* stored = nullptr;
    if (natsMsgHeader_Get(msg, "Nats-Stream", &stored) == NATS_OK) return false;
    const char* run = nullptr;
    const char* version = nullptr;
    const char* id = nullptr;
    if (natsMsgHeader_Get(msg, "Lantrel-Run", &run) != NATS_OK ||
        natsMsgHeader_Get(msg, "Lantrel-Version", &version) != NATS_OK ||
        natsMsgHeader_Get(msg, "Nats-Msg-Id", &id) != NATS_OK || !*run)
        return false;
    const std::size_t digits = std::strlen(version);
    if (digits == 0 || digits > 15 || std::strspn(version, "0123456789") != digits) return false;
    out.body.assign(natsMsg_GetData(msg), static_cast<std::size_t>(natsMsg_GetDataLength(msg)));
    out.type = TypeOf(out.body);
    out.version = std::strtoll(version, nullptr, 10);
    out.run = run;
    out.at = at;
    const std::string expectedId =
        out.run + "." + version + (out.type == "snapshot" ? ".snapshot" : "");
    return !out.type.empty() && expectedId == id && NumberField(out.body, "version") == out.version;
}

class Follower;

// What every follower shares: the options, the count of those live and done.
struct Crowd {
    Options options;
    std::vector<event_base*> loops;
    std::mutex mutex;
    std::condition_variable changed;
    int following = 0;  // followers that took their first snapshot
    int done = 0;       // followers with every ply and the result
};

class Follower {
  public:
    Follower(Crowd& crowd, int index) : crowd_(crowd), index_(index) {
        arrivals_.assign(crowd.options.plies, 0);
        taken_.assign(crowd.options.plies, 0);
    }
    ~Follower() { Close(); }

    bool Connect(std::string& problem) {
        const Options& o = crowd_.options;
        natsOptions* opts = nullptr;
        std::vector<const char*> servers;
        for (const std::string& s : o.servers)
            servers.push_back(s.c_str());
        natsStatus s = natsOptions_Create(&opts);
        if (s == NATS_OK)
            s = natsOptions_SetServers(opts, servers.data(), static_cast<int>(servers.size()));
        if (s == NATS_OK) s = natsOptions_SetUserInfo(opts, o.user.c_str(), o.password.c_str());
        if (s == NATS_OK) s = natsOptions_SetMaxReconnect(opts, -1);
        if (s == NATS_OK) s = natsOptions_SetReconnectWait(opts, 250);
        // Spread over a second, so that an edge started again is not met by all at once.
        if (s == NATS_OK) s = natsOptions_SetReconnectJitter(opts, 1000, 1000);
        if (s == NATS_OK) s = natsOptions_SetIOBufSize(opts, 16 * 1024);
        if (s == NATS_OK) s = natsOptions_UseGlobalMessageDelivery(opts, true);
        if (s == NATS_OK)
            s = natsOptions_SetEventLoop(
                opts, crowd_.loops[static_cast<std::size_t>(index_) % crowd_.loops.size()],
                natsLibevent_Attach, natsLibevent_Read, natsLibevent_Write, natsLibevent_Detach);
        if (s == NATS_OK) s = natsOptions_SetReconnectedCB(opts, Reconnected, this);
        if (s == NATS_OK) s = natsConnection_Connect(&connection_, opts);
        // The live messages first: a snapshot is only taken once they are held.
        if (s == NATS_OK)
            s = natsConnection_Subscribe(&events_, connection_, Subject("events").c_str(), OnEvent,
                                         this);
        if (s == NATS_OK) s = natsConnection_Flush(connection_);
        natsOptions_Destroy(opts);
        if (s != NATS_OK) {
            problem = natsStatus_GetText(s);
            if (const char* text = nats_GetLastError(nullptr); text && *text) problem = text;
            Close();
            return false;
        }
        std::lock_guard lock(mutex_);
        AwaitSnapshot();
        return true;
    }

    void Close() {
        if (events_) natsSubscription_Destroy(events_);
        if (snapshots_) natsSubscription_Destroy(snapshots_);
        for (natsSubscription* retired : retired_)
            natsSubscription_Destroy(retired);
        retired_.clear();
        if (connection_) natsConnection_Destroy(connection_);
        events_ = snapshots_ = nullptr;
        connection_ = nullptr;
    }

    // What it ended with, for the summary: "" when complete.
    std::string Problems() const {
        std::lock_guard lock(mutex_);
        std::string problems;
        std::size_t missing = 0, twice = 0;
        for (std::size_t i = 0; i < taken_.size(); ++i) {
            if (taken_[i] == 0) ++missing;
            if (taken_[i] > 1) ++twice;
        }
        if (plies_ != taken_.size())
            problems += " ends at ply " + std::to_string(plies_) + " of " +
                        std::to_string(taken_.size()) + ";";
        if (missing) problems += " " + std::to_string(missing) + " plies never came;";
        if (twice) problems += " " + std::to_string(twice) + " plies came twice;";
        if (!result_) problems += " no result;";
        if (faults_) problems += " " + std::to_string(faults_) + " messages that broke the game;";
        return problems;
    }
    bool Complete() const { return Problems().empty(); }
    // When each ply reached this follower (0: never).
    const std::vector<std::int64_t>& arrivals() const { return arrivals_; }
    int catchUps() const { return catchUps_; }
    int reconnects() const { return reconnects_; }
    std::int64_t messages() const { return messages_; }

  private:
    std::string Subject(const char* what) const {
        return "lantrel." + crowd_.options.channel + "." + what;
    }

    static void OnEvent(natsConnection*, natsSubscription*, natsMsg* msg, void* closure) {
        const auto at = Clock::now();
        auto* self = static_cast<Follower*>(closure);
        FeedMessage m;
        const bool ours = ReadFeedMessage(msg, at, m);
        natsMsg_Destroy(msg);
        if (!ours) return;
        std::lock_guard lock(self->mutex_);
        ++self->messages_;
        if (self->holding_) {
            self->held_.push_back(std::move(m));
            // Older than any snapshot to come.
            if (self->held_.size() > 10000) self->held_.pop_front();
        } else if (!self->Take(m)) {
            self->AwaitSnapshot();
            self->held_.push_back(std::move(m));
        }
    }

    static void OnSnapshot(natsConnection*, natsSubscription*, natsMsg* msg, void* closure) {
        const auto at = Clock::now();
        auto* self = static_cast<Follower*>(closure);
        FeedMessage m;
        const bool ours = ReadFeedMessage(msg, at, m) && m.type == "snapshot";
        natsMsg_Destroy(msg);
        if (!ours) return;
        std::lock_guard lock(self->mutex_);
        if (!self->holding_ || !self->Take(m)) return;
        std::deque<FeedMessage> waiting = std::move(self->held_);
        self->held_.clear();
        self->holding_ = false;
        for (const FeedMessage& w : waiting) {
            if (!self->Take(w)) {
                self->AwaitSnapshot();  // a live message was missed: the next snapshot
                return;
            }
        }
        // Freed with the follower: it is the subscription whose callback this is.
        natsSubscription_Unsubscribe(self->snapshots_);
        self->retired_.push_back(self->snapshots_);
        self->snapshots_ = nullptr;
        if (!self->followedOnce_) {
            self->followedOnce_ = true;
            std::lock_guard crowdLock(self->crowd_.mutex);
            ++self->crowd_.following;
            self->crowd_.changed.notify_all();
        }
    }

    // What was published while the connection was down never comes.
    static void Reconnected(natsConnection*, void* closure) {
        auto* self = static_cast<Follower*>(closure);
        std::lock_guard lock(self->mutex_);
        ++self->reconnects_;
        self->AwaitSnapshot();
    }

    // Holds the live messages from now on until the next snapshot.
    void AwaitSnapshot() {
        if (!holding_) ++catchUps_;
        holding_ = true;
        if (snapshots_ || !connection_) return;
        natsConnection_Subscribe(&snapshots_, connection_, Subject("snapshot").c_str(), OnSnapshot,
                                 this);
    }

    // Applies one message; false when it does not follow the state (a version
    // missing, another run): the follower then waits for a snapshot.
    bool Take(const FeedMessage& m) {
        if (m.type == "snapshot") return TakeWhole(m, true);
        if (m.run != run_ || version_ < 0) return false;
        if (m.version <= version_) return true;  // in the state already
        if (m.version != version_ + 1) return false;
        if (m.type == "move") {
            const std::int64_t ply = NumberField(m.body, "ply");
            if (ply != static_cast<std::int64_t>(plies_) + 1) {
                ++faults_;
                return false;
            }
            AddPlies(static_cast<std::size_t>(ply), m.at);
        } else if (m.type == "takeback") {
            if (NumberField(m.body, "ply") != static_cast<std::int64_t>(plies_) || plies_ == 0)
                return false;
            --plies_;
        } else if (m.type == "result") {
            result_ = true;
        } else if (m.type == "game") {
            if (!TakeWhole(m, false)) return false;
        }
        version_ = m.version;
        NoteDone();
        return true;
    }

    // A snapshot, or a "game" delta (the game as a whole, of the same run).
    bool TakeWhole(const FeedMessage& m, bool snapshot) {
        nlohmann::json whole = nlohmann::json::parse(m.body, nullptr, false);
        if (!whole.is_object() || !whole.contains("moves") || !whole["moves"].is_array() ||
            (snapshot && whole.value("run", "") != m.run))
            return false;
        const std::size_t plies = whole["moves"].size();
        // Another game starts again from ply 1; the same game never goes back.
        if (snapshot && m.run == run_ && plies < plies_) ++faults_;
        if (plies < plies_) plies_ = plies;
        AddPlies(plies, m.at);
        const auto result = whole.find("result");
        result_ =
            result != whole.end() && result->is_string() && !result->get<std::string>().empty();
        run_ = m.run;
        version_ = m.version;
        NoteDone();
        return true;
    }

    // The game now has `plies`; those it did not have arrived `at`.
    void AddPlies(std::size_t plies, Clock::time_point at) {
        for (std::size_t p = plies_ + 1; p <= plies; ++p) {
            if (p > taken_.size()) {
                ++faults_;  // more plies than the game has
                continue;
            }
            if (taken_[p - 1]++ == 0) arrivals_[p - 1] = Nanoseconds(at);
        }
        plies_ = plies;
    }

    void NoteDone() {
        if (done_ || !result_ || plies_ != taken_.size()) return;
        done_ = true;
        std::lock_guard lock(crowd_.mutex);
        ++crowd_.done;
        crowd_.changed.notify_all();
    }

    Crowd& crowd_;
    const int index_;
    natsConnection* connection_ = nullptr;
    natsSubscription* events_ = nullptr;
    natsSubscription* snapshots_ = nullptr;
    std::vector<natsSubscription*> retired_;

    mutable std::mutex mutex_;
    bool holding_ = false;
    bool followedOnce_ = false;
    bool done_ = false;
    std::deque<FeedMessage> held_;
    std::string run_;
    std::int64_t version_ = -1;
    std::size_t plies_ = 0;
    bool result_ = false;
    std::vector<std::int64_t> arrivals_;
    std::vector<int> taken_;  // how often each ply came into the game
    int faults_ = 0;
    int catchUps_ = 0;
    int reconnects_ = 0;
    std::int64_t messages_ = 0;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        if (comma > at) items.push_back(text.substr(at, comma - at));
        at = comma + 1;
    }
    return items;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: lantrel-nats-followers --servers URLS --channel NAME --count N --plies P\n"
                 "         [--user NAME --password TEXT] [--loops T] [--connectors C]\n"
                 "         [--arrivals FILE] [--appended FILE] [--timeout SECONDS]\n");
    return 2;
}

bool ReadOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[i + 1];
        if (option == "--servers")
            o.servers = SplitList(value);
        else if (option == "--channel")
            o.channel = value;
        else if (option == "--count")
            o.count = std::atoi(value.c_str());
        else if (option == "--plies")
            o.plies = static_cast<std::size_t>(std::atol(value.c_str()));
        else if (option == "--user")
            o.user = value;
        else if (option == "--password")
            o.password = value;
        else if (option == "--loops")
            o.loops = std::atoi(value.c_str());
        else if (option == "--connectors")
            o.connectors = std::atoi(value.c_str());
        else if (option == "--arrivals")
            o.arrivalsFile = value;
        else if (option == "--appended")
            o.appendedFile = value;
        else if (option == "--timeout")
            o.timeoutSeconds = std::atof(value.c_str());
        else
            return false;
    }
    return !o.servers.empty() && !o.channel.empty() && o.count > 0 && o.plies > 0 && o.loops > 0 &&
           o.connectors > 0 && o.timeoutSeconds > 0;
}

// Room for a descriptor per connection, and some for the rest.
bool RaiseOpenFiles(int connections) {
    const std::int64_t limit = lantrel::RaiseOpenFileLimit();
    return limit == 0 || limit >= static_cast<std::int64_t>(connections) + 64;
}

// User plus system CPU seconds of this process.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// The most memory this process has held (VmHWM), or 0 where the system does not tell.
double PeakRssMb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
    return 0;
}

double Quantile(const std::vector<double>& sorted, double q) {
    return sorted.empty() ? 0 : sorted[static_cast<std::size_t>(q * (sorted.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    auto crowd = std::make_unique<Crowd>();
    Options& o = crowd->options;
    if (!ReadOptions(argc, argv, o)) return Usage();
    if (!RaiseOpenFiles(o.count)) {
        std::fprintf(stderr, "the limit of open files is below %d connections (ulimit -Hn)\n",
                     o.count);
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    natsLibevent_Init();
    if (nats_Open(-1) != NATS_OK || nats_SetMessageDeliveryPoolSize(2) != NATS_OK) {
        std::fprintf(stderr, "libnats did not start\n");
        return 1;
    }
    std::vector<std::thread> loopThreads;
    for (int i = 0; i < o.loops; ++i)
        crowd->loops.push_back(event_base_new());
    for (event_base* base : crowd->loops)
        loopThreads.emplace_back([base] { event_base_loop(base, EVLOOP_NO_EXIT_ON_EMPTY); });

    const auto start = Clock::now();
    std::vector<std::unique_ptr<Follower>> followers;
    for (int i = 0; i < o.count; ++i)
        followers.push_back(std::make_unique<Follower>(*crowd, i));
    std::atomic<int> next{0}, failed{0};
    std::string firstProblem;
    std::mutex problemMutex;
    std::vector<std::thread> connectors;
    for (int c = 0; c < o.connectors; ++c) {
        connectors.emplace_back([&] {
            for (int i; (i = next++) < o.count;) {
                // A node that is busy taking thousands of connections may refuse one now and
                // then, as a browser would see it: it tries again.
                std::string problem;
                bool connected = false;
                for (int tries = 0; tries < 5 && !connected; ++tries) {
                    if (tries) std::this_thread::sleep_for(std::chrono::seconds(1));
                    connected = followers[static_cast<std::size_t>(i)]->Connect(problem);
                }
                if (connected) continue;
                if (failed++ == 0) {
                    std::lock_guard lock(problemMutex);
                    firstProblem = problem;
                }
            }
        });
    }
    for (std::thread& t : connectors)
        t.join();
    if (failed > 0) {
        std::printf("%d of %d followers could not connect (%s)\n", failed.load(), o.count,
                    firstProblem.c_str());
        std::fflush(stdout);
        std::_Exit(1);
    } else {
        std::printf("connected %d in %.1f s\n", o.count,
                    std::chrono::duration<double>(Clock::now() - start).count());
    }

    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(o.timeoutSeconds));
    bool allDone = false;
    double cpuFollowing = 0;
    {
        std::unique_lock lock(crowd->mutex);
        if (crowd->changed.wait_until(lock, deadline, [&] { return crowd->following == o.count; }))
            std::printf("following %d after %.1f s\n", o.count,
                        std::chrono::duration<double>(Clock::now() - start).count());
        cpuFollowing = CpuSeconds();
        allDone = crowd->changed.wait_until(lock, deadline, [&] { return crowd->done == o.count; });
    }
    if (!allDone) std::printf("timed out after %.0f s\n", o.timeoutSeconds);

    // Each ply's arrival at the last follower that got it.
    std::vector<std::int64_t> last(o.plies, 0);
    int complete = 0, catchUps = 0, reconnects = 0, shown = 0;
    std::int64_t messages = 0;
    for (std::size_t i = 0; i < followers.size(); ++i) {
        const Follower& f = *followers[i];
        const std::string problems = f.Problems();
        if (problems.empty()) {
            ++complete;
        } else if (shown++ < 10) {
            std::printf("follower %zu:%s\n", i, problems.c_str());
        }
        for (std::size_t p = 0; p < o.plies; ++p)
            last[p] = std::max(last[p], f.arrivals()[p]);
        catchUps += f.catchUps();
        reconnects += f.reconnects();
        messages += f.messages();
    }
    if (!o.arrivalsFile.empty()) {
        std::ofstream out(o.arrivalsFile);
        for (std::size_t p = 0; p < o.plies; ++p)
            if (last[p] > 0) out << p + 1 << ' ' << last[p] << '\n';
    }
    if (!o.appendedFile.empty()) {
        std::vector<double> latencies;
        std::ifstream appended(o.appendedFile);
        std::size_t ply;
        std::int64_t at;
        while (appended >> ply >> at)
            if (ply >= 1 && ply <= o.plies && last[ply - 1] > 0)
                latencies.push_back(static_cast<double>(last[ply - 1] - at) / 1e6);
        std::sort(latencies.begin(), latencies.end());
        std::printf("to the last follower: p50 %.1f ms  p99 %.1f ms  max %.1f ms (%zu moves)\n",
                    Quantile(latencies, 0.5), Quantile(latencies, 0.99),
                    latencies.empty() ? 0.0 : latencies.back(), latencies.size());
    }
    std::printf(
        "complete %d of %d, %d caught up from a snapshot after joining, %d reconnected, "
        "%lld messages\n",
        complete, o.count, catchUps - o.count, reconnects, static_cast<long long>(messages));
    std::printf("CPU %.2f s since all followed, peak RSS %.1f MB\n", CpuSeconds() - cpuFollowing,
                PeakRssMb());
    std::fflush(stdout);

    for (auto& f : followers)
        f->Close();
    for (event_base* base : crowd->loops)
        event_base_loopbreak(base);
    for (std::thread& t : loopThreads)
        t.join();
    followers.clear();
    for (event_base* base : crowd->loops)
        event_base_free(base);
    nats_Close();
    return complete == o.count ? 0 : 1;
}
