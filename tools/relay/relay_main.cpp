// lantrel-relay: follows a lantrel-server's browser feed and publishes it into
// NATS JetStream (docs/RELAY.md). One thread: the feed is read with Asio, and
// each message is published, and acknowledged by JetStream, before the next is
// read. When either side fails, the relay starts again from what the stream
// holds, so no version is lost or published twice. Newcomers get the current
// snapshot on a subject of its own, sent again about every second; they need
// to send nothing.
#include <nats/nats.h>

// clang-format off
#include <utility>  // first: Asio 1.74 uses std::exchange without including it
// clang-format on
#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "text/text.h"
#include "web/relay_plan.h"

namespace {

using namespace lantrel;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Seconds = std::chrono::steady_clock::duration;

constexpr double kSnapshotIntervalSeconds = 1;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

void Say(const std::string& text) {
    std::fprintf(stderr, "lantrel-relay: %s\n", text.c_str());
}

// What a LinkLog gives to say, when it gives anything.
void Note(const std::string& text) {
    if (!text.empty()) Say(text);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Sleeps `seconds` in short steps, so that a stop request ends the wait.
void Pause(double seconds) {
    const double until = Now() + seconds;
    while (!StopRequested() && Now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// ---- NATS -------------------------------------------------------------------------

template <typename T, void (*Destroy)(T*)>
struct NatsHandle {
    T* p = nullptr;
    NatsHandle() = default;
    NatsHandle(const NatsHandle&) = delete;
    NatsHandle& operator=(const NatsHandle&) = delete;
    ~NatsHandle() { Reset(); }
    void Reset() {
        if (p) Destroy(p);
        p = nullptr;
    }
};
using Options = NatsHandle<natsOptions, natsOptions_Destroy>;
using Connection = NatsHandle<natsConnection, natsConnection_Destroy>;
using JetStream = NatsHandle<jsCtx, jsCtx_Destroy>;
using KeyValue = NatsHandle<kvStore, kvStore_Destroy>;
using Message = NatsHandle<natsMsg, natsMsg_Destroy>;
using PubAck = NatsHandle<jsPubAck, jsPubAck_Destroy>;
using StreamInfo = NatsHandle<jsStreamInfo, jsStreamInfo_Destroy>;

std::string NatsError(natsStatus status) {
    const char* text = nats_GetLastError(nullptr);
    return std::string(natsStatus_GetText(status)) +
           (text && *text ? std::string(": ") + text : "");
}

// The NATS side: a connection, the stream and the bucket, made sure of.
class NatsSide {
  public:
    explicit NatsSide(const RelayOptions& options)
        : options_(options), names_(RelayNamesOf(options.channel)) {}

    // Connects and makes sure of the stream and the bucket; false on failure,
    // `problem()` says why.
    bool Open() {
        Close();
        Options opts;
        std::vector<const char*> servers;
        for (const std::string& s : options_.natsServers)
            servers.push_back(s.c_str());
        natsStatus s = natsOptions_Create(&opts.p);
        if (s == NATS_OK)
            s = natsOptions_SetServers(opts.p, servers.data(), static_cast<int>(servers.size()));
        if (s == NATS_OK) s = natsOptions_SetMaxReconnect(opts.p, -1);
        if (s == NATS_OK) s = natsOptions_SetReconnectWait(opts.p, 500);
        if (s == NATS_OK && !options_.credsFile.empty())
            s = natsOptions_SetUserCredentialsFromFiles(opts.p, options_.credsFile.c_str(),
                                                        nullptr);
        if (s == NATS_OK && !options_.user.empty())
            s = natsOptions_SetUserInfo(opts.p, options_.user.c_str(), options_.password.c_str());
        if (s == NATS_OK && !options_.token.empty())
            s = natsOptions_SetToken(opts.p, options_.token.c_str());
        if (s == NATS_OK && !options_.tlsCa.empty()) {
            s = natsOptions_SetSecure(opts.p, true);
            if (s == NATS_OK)
                s = natsOptions_LoadCATrustedCertificates(opts.p, options_.tlsCa.c_str());
        }
        if (s == NATS_OK && !options_.tlsCert.empty())
            s = natsOptions_LoadCertificatesChain(opts.p, options_.tlsCert.c_str(),
                                                  options_.tlsKey.c_str());
        if (s == NATS_OK) s = natsConnection_Connect(&connection_.p, opts.p);
        if (s == NATS_OK) s = natsConnection_JetStream(&js_.p, connection_.p, nullptr);
        if (s != NATS_OK) return Failed("cannot reach NATS", s);

        jsStreamConfig stream;
        jsStreamConfig_Init(&stream);
        const char* subjects[] = {names_.subject.c_str()};
        stream.Name = names_.stream.c_str();
        stream.Subjects = subjects;
        stream.SubjectsLen = 1;
        stream.MaxMsgs = options_.keepMessages;
        stream.MaxAge = 24 * 3600 * kNanosecondsPerSecond;
        stream.Duplicates = 120 * kNanosecondsPerSecond;
        stream.Replicas = options_.replicas;
        stream.AllowDirect = true;  // tools of this account may read it from any replica
        jsErrCode jerr = static_cast<jsErrCode>(0);
        StreamInfo info;
        s = js_AddStream(&info.p, js_.p, &stream, nullptr, &jerr);
        if (s != NATS_OK && jerr == JSStreamNameExistErr)
            s = js_UpdateStream(&info.p, js_.p, &stream, nullptr, &jerr);
        if (s != NATS_OK) return Failed("cannot make the stream " + names_.stream, s);

        kvConfig bucket;
        kvConfig_Init(&bucket);
        bucket.Bucket = names_.bucket.c_str();
        bucket.History = 1;
        bucket.Replicas = options_.replicas;
        s = js_CreateKeyValue(&kv_.p, js_.p, &bucket);
        if (s != NATS_OK) s = js_KeyValue(&kv_.p, js_.p, names_.bucket.c_str());
        if (s != NATS_OK) return Failed("cannot make the key-value bucket " + names_.bucket, s);
        return true;
    }

    // The last message of the stream, as a place in the feed; nullopt for an
    // empty stream. False when the stream cannot be asked.
    bool LastPoint(std::optional<FeedPoint>& point, std::uint64_t& sequence) {
        point.reset();
        Message last;
        jsErrCode jerr = static_cast<jsErrCode>(0);
        natsStatus s = js_GetLastMsg(&last.p, js_.p, names_.stream.c_str(), names_.subject.c_str(),
                                     nullptr, &jerr);
        if (s == NATS_NOT_FOUND || jerr == JSNoMessageFoundErr) return true;
        if (s != NATS_OK) return Failed("cannot read the end of the stream", s);
        const char* run = nullptr;
        const char* version = nullptr;
        if (natsMsgHeader_Get(last.p, "Lantrel-Run", &run) != NATS_OK ||
            natsMsgHeader_Get(last.p, "Lantrel-Version", &version) != NATS_OK) {
            Say("the stream's last message has no Lantrel-Run and Lantrel-Version: starting "
                "afresh");
            return true;
        }
        if (!IsRunName(run)) {
            Say("the stream's last message has no run name: starting afresh");
            return true;
        }
        const auto number = ReadNumber<std::int64_t>(version);
        if (!number) {
            Say("the stream's last message has a version that is no number: starting afresh");
            return true;
        }
        point = FeedPoint{run, *number};
        sequence = natsMsg_GetSequence(last.p);
        return true;
    }

    // Publishes one feed message; its stream sequence, or nullopt (said why).
    std::optional<std::uint64_t> Publish(const std::string& json, const FeedPoint& point,
                                         bool snapshot) {
        Message msg;
        natsStatus s = MakeMessage(msg, names_.subject, json, point, false);
        const std::string id = RelayMessageId(point, snapshot);
        jsPubOptions pub;
        jsPubOptions_Init(&pub);
        pub.MsgId = id.c_str();
        PubAck ack;
        jsErrCode jerr = static_cast<jsErrCode>(0);
        if (s == NATS_OK) s = js_PublishMsg(&ack.p, js_.p, msg.p, &pub, &jerr);
        if (s != NATS_OK) {
            Failed("NATS did not take version " + std::to_string(point.version), s);
            return std::nullopt;
        }
        return ack.p->Sequence;
    }

    // Sends the snapshot for newcomers (a plain publish: beyond the hub, NATS
    // carries it only where someone is joining, and nothing stores it). A lost
    // connection shows in the next publish to the stream.
    void PublishSnapshot(const SnapshotCast::Snapshot& snapshot) {
        Message msg;
        if (MakeMessage(msg, names_.snapshotSubject, snapshot.json, snapshot.point, true) ==
            NATS_OK)
            natsConnection_PublishMsg(connection_.p, msg.p);
    }

    void PutSnapshot(std::uint64_t sequence, const std::string& snapshotJson) {
        const std::string entry = SnapshotEntry(sequence, snapshotJson);
        std::uint64_t revision = 0;
        natsStatus s = kvStore_Put(&revision, kv_.p, names_.key.c_str(), entry.data(),
                                   static_cast<int>(entry.size()));
        if (s != NATS_OK) Say("cannot put the snapshot (" + NatsError(s) + ")");
    }

    // Why the last Open, LastPoint or Publish failed.
    const std::string& problem() const { return problem_; }
    // Whether the connection to NATS is up (what failed was the stream).
    bool Connected() const {
        return connection_.p && natsConnection_Status(connection_.p) == NATS_CONN_STATUS_CONNECTED;
    }

    void Close() {
        kv_.Reset();
        js_.Reset();
        connection_.Reset();
    }

  private:
    // A feed message under the relay's headers: its run and version, and, for
    // a plain publish (`withId`), the Nats-Msg-Id a stream publish gets from
    // its options.
    static natsStatus MakeMessage(Message& msg, const std::string& subject, const std::string& json,
                                  const FeedPoint& point, bool withId) {
        const std::string version = std::to_string(point.version);
        natsStatus s = natsMsg_Create(&msg.p, subject.c_str(), nullptr, json.data(),
                                      static_cast<int>(json.size()));
        if (s == NATS_OK) s = natsMsgHeader_Set(msg.p, "Lantrel-Run", point.run.c_str());
        if (s == NATS_OK) s = natsMsgHeader_Set(msg.p, "Lantrel-Version", version.c_str());
        if (s == NATS_OK && withId)
            s = natsMsgHeader_Set(msg.p, "Nats-Msg-Id", RelayMessageId(point, true).c_str());
        return s;
    }

    bool Failed(const std::string& what, natsStatus s) {
        problem_ = what + " (" + NatsError(s) + ")";
        return false;
    }

    const RelayOptions& options_;
    const RelayNames names_;
    std::string problem_;
    Connection connection_;
    JetStream js_;
    KeyValue kv_;
};

// ---- The feed -----------------------------------------------------------------------

// The server's snapshot as of now (GET /state.json), or empty.
std::string FetchState(const RelayOptions& options) {
    try {
        asio::io_context io;
        beast::tcp_stream stream(io);
        stream.expires_after(std::chrono::seconds(5));
        stream.connect(tcp::resolver(io).resolve(options.feedHost, options.feedPort));
        http::request<http::empty_body> request{http::verb::get, "/state.json", 11};
        request.set(http::field::host, options.feedHost);
        http::write(stream, request);
        beast::flat_buffer buffer;
        http::response<http::string_body> response;
        http::read(stream, buffer, response);
        return response.result() == http::status::ok ? response.body() : std::string();
    } catch (const std::exception&) {
        return {};
    }
}

// One connection to the feed, published message by message until either side
// fails or a stop is requested.
class FeedRelay {
  public:
    FeedRelay(const RelayOptions& options, NatsSide& nats, RelayTrack& track, LinkLog& feedLink)
        : options_(options),
          nats_(nats),
          track_(track),
          feedLink_(feedLink),
          ws_(io_),
          stopTimer_(io_) {}

    // Runs until the connection ends; true when NATS failed (the caller opens
    // it again before the next connection).
    bool Run() {
        tcp::resolver resolver(io_);
        const std::string target = ResumeTarget(options_.feedPath, track_.last());
        auto& socket = beast::get_lowest_layer(ws_);
        socket.expires_after(std::chrono::seconds(10));
        socket.async_connect(resolver.resolve(options_.feedHost, options_.feedPort),
                             [this, target](beast::error_code error, const tcp::endpoint&) {
                                 if (error)
                                     return Lost("cannot reach the feed: " + error.message());
                                 beast::get_lowest_layer(ws_).expires_never();
                                 websocket::stream_base::timeout timeout{
                                     std::chrono::seconds(10), std::chrono::seconds(30), true};
                                 ws_.set_option(timeout);
                                 ws_.read_message_max(64 << 20);
                                 ws_.async_handshake(
                                     options_.feedHost + ":" + options_.feedPort, target,
                                     [this](beast::error_code e) {
                                         if (e) return Lost("feed handshake: " + e.message());
                                         Note(feedLink_.Worked(Now()));
                                         Say("following the feed");
                                         Read();
                                     });
                             });
        Tick();
        io_.run();
        return natsFailed_;
    }

  private:
    void Read() {
        ws_.async_read(buffer_, [this](beast::error_code error, std::size_t) {
            if (error) return Lost("the feed ended: " + error.message());
            const std::string json = beast::buffers_to_string(buffer_.data());
            buffer_.consume(buffer_.size());
            if (!Relay(json)) return;
            Read();
        });
    }

    // Publishes one message; false when the connection is to end.
    bool Relay(const std::string& json) {
        const auto head = ReadFeedMessageHead(json);
        if (!head) return true;  // not a feed message
        FeedPoint point;
        switch (track_.Next(*head, point)) {
            case RelayTrack::Step::kSkip:
                return true;
            case RelayTrack::Step::kResync:
                Ended("version " + std::to_string(head->version) + " does not follow on: resuming");
                return false;
            case RelayTrack::Step::kPublish:
                break;
        }
        const auto sequence = nats_.Publish(json, point, head->snapshot);
        if (!sequence) {
            natsFailed_ = true;
            Ended("");
            return false;
        }
        track_.Published(point, *sequence);
        if (head->snapshot) cast_.Offer(point, json);
        SendSnapshot();
        return true;
    }

    // The snapshot for newcomers, when one is due; a snapshot of a new point
    // goes to the bucket as well.
    void SendSnapshot() {
        const SnapshotCast::Snapshot* snapshot = cast_.Due(track_.last(), Now());
        if (!snapshot) return;
        nats_.PublishSnapshot(*snapshot);
        if (cast_.firstSending())
            if (const auto sequence = track_.SequenceOf(snapshot->point))
                nats_.PutSnapshot(*sequence, snapshot->json);
    }

    // A newer snapshot once the game went on, at most every second: the
    // server's, sent once the stream ends where it does.
    void RefreshSnapshot() {
        if (cast_.Stale(track_.last()) && Now() - fetchedAt_ >= kSnapshotIntervalSeconds) {
            fetchedAt_ = Now();
            const std::string state = FetchState(options_);
            const auto head = ReadFeedMessageHead(state);
            if (head && head->run) cast_.Offer(FeedPoint{*head->run, head->version}, state);
        }
        SendSnapshot();
    }

    // Every 200 ms: a stop request, and the snapshot for newcomers.
    void Tick() {
        stopTimer_.expires_after(std::chrono::milliseconds(200));
        stopTimer_.async_wait([this](beast::error_code error) {
            if (error) return;
            if (StopRequested()) return Ended("stopping");
            RefreshSnapshot();
            Tick();
        });
    }

    // The feed lost: said once for a run of failed tries.
    void Lost(const std::string& why) { Ended(feedLink_.Failed(why, Now())); }

    void Ended(const std::string& note) {
        Note(note);
        stopTimer_.cancel();
        beast::error_code ignored;
        beast::get_lowest_layer(ws_).socket().close(ignored);
        io_.stop();
    }

    const RelayOptions& options_;
    NatsSide& nats_;
    RelayTrack& track_;
    LinkLog& feedLink_;
    asio::io_context io_;
    websocket::stream<beast::tcp_stream> ws_;
    asio::steady_timer stopTimer_;
    beast::flat_buffer buffer_;
    bool natsFailed_ = false;
    SnapshotCast cast_{kSnapshotIntervalSeconds};
    double fetchedAt_ = -kSnapshotIntervalSeconds;
};

}  // namespace

int main(int argc, char** argv) {
    RelayCommandLine line = ReadRelayCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.options) {
        if (line.error.empty()) {
            std::printf("%s", kRelayUsage);
            return 0;
        }
        std::fprintf(stderr, "lantrel-relay: %s\n\n%s", line.error.c_str(), kRelayUsage);
        return 2;
    }
    RelayOptions& options = *line.options;
    if (const std::string error =
            ReadRelaySecrets(options, [](const char* name) { return std::getenv(name); });
        !error.empty()) {
        std::fprintf(stderr, "lantrel-relay: %s\n", error.c_str());
        return 2;
    }
    InstallStopSignals();
    nats_Open(-1);
    {
        NatsSide nats(options);
        RelayTrack track;
        LinkLog natsLink("NATS"), feedLink("the feed");
        std::mt19937 random(std::random_device{}());
        // The pause a link's run of failed tries asks for, at least the first.
        // A cluster that answers while its stream does not (a hub was lost and
        // a new leader is being elected, which takes seconds) is tried again
        // after the first pause each time: doubled pauses would keep the relay
        // away for seconds after the stream is back.
        auto retryAfter = [&random](const LinkLog& link, bool streamOnly) {
            std::uniform_real_distribution<double> jitter(0, 1);
            Pause(RetryPauseSeconds(streamOnly ? 1 : std::max(link.failures(), 1), jitter(random)));
        };
        bool natsOpen = false;
        while (!StopRequested()) {
            if (!natsOpen) {
                std::optional<FeedPoint> last;
                std::uint64_t sequence = 0;
                natsOpen = nats.Open() && nats.LastPoint(last, sequence);
                if (!natsOpen) {
                    Note(natsLink.Failed(nats.problem(), Now()));
                    retryAfter(natsLink, nats.Connected());
                    continue;
                }
                Note(natsLink.Worked(Now()));
                track.StartFrom(last);
                if (last) track.Published(*last, sequence);
                Say(last ? "the stream ends at " + RelayMessageId(*last, false)
                         : "the stream is empty");
            }
            FeedRelay relay(options, nats, track, feedLink);
            if (relay.Run()) {
                natsOpen = false;
                Note(
                    natsLink.Failed(nats.problem() + "; the feed waits until NATS is back", Now()));
            }
            // A feed that ends at once is tried again no sooner than a lost one.
            if (!StopRequested())
                retryAfter(natsOpen ? feedLink : natsLink, !natsOpen && nats.Connected());
        }
        nats.Close();
    }
    nats_Close();
    return 0;
}
