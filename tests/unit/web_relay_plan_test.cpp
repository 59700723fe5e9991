// What the relay publishes: its command line, and which feed messages go out
// under which identity so that the stream holds each version once, in order.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "web/relay_plan.h"

namespace lantrel {
namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t blank; (blank = line.find(' ', start)) != std::string::npos; start = blank + 1)
        words.push_back(line.substr(start, blank - start));
    words.push_back(line.substr(start));
    return words;
}

TEST(RelayCommandLine, ReadOrRefused) {
    const std::string base = "--feed ws://10.0.0.5:8080/feed --nats nats://a:4222,nats://b:4222";
    const RelayCommandLine ok = ReadRelayCommandLine(Words(base + " --channel final --replicas 3"));
    ASSERT_TRUE(ok.options) << ok.error;
    EXPECT_EQ(ok.options->feedHost, "10.0.0.5");
    EXPECT_EQ(ok.options->feedPort, "8080");
    EXPECT_EQ(ok.options->feedPath, "/feed");
    EXPECT_EQ(ok.options->natsServers,
              (std::vector<std::string>{"nats://a:4222", "nats://b:4222"}));
    EXPECT_EQ(ok.options->replicas, 3);

    struct Row {
        std::string line;
        const char* error;
    } rows[] = {
        {base + " --channel Final", "--channel needs"},
        {base + " --channel a.b", "--channel needs"},
        {base, "--channel needs"},
        {"--nats nats://a --channel x", "--feed is needed"},
        {"--feed http://a:1/feed --nats nats://a --channel x", "--feed needs ws://"},
        {"--feed ws://a:99999/feed --nats nats://a --channel x", "--feed needs ws://"},
        {base + " --channel x --replicas 7", "--replicas is 1 to 5"},
        {base + " --channel x --tls-cert c.pem", "--tls-cert and --tls-key go together"},
        {base + " --channel x --bogus 1", "unknown option '--bogus'"},
        {base + " --channel", "--channel needs a value"},
        {base + " --channel x --user relay --password secret", "--password is not taken"},
        {base + " --channel x --token secret", "--token is not taken"},
    };
    for (const Row& row : rows) {
        const RelayCommandLine read = ReadRelayCommandLine(Words(row.line));
        EXPECT_FALSE(read.options) << row.line;
        EXPECT_EQ(read.error.substr(0, std::string(row.error).size()), row.error) << row.line;
    }
    EXPECT_TRUE(ReadRelayCommandLine({"--help"}).error.empty());
}

// Secrets come from a file or the environment, never the command line, and a
// sample's placeholder is refused.
TEST(RelayCommandLine, SecretsFromFileOrEnvironment) {
    const std::string file = ::testing::TempDir() + "lantrel-relay-password";
    const auto environment = [](const char* name) -> const char* {
        return std::string(name) == "LANTREL_NATS_PASSWORD" ? "from-env" : nullptr;
    };
    const auto secrets = [&](const std::string& extra, const std::string& fileText,
                             RelayOptions* read = nullptr) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << fileText;
        RelayCommandLine line = ReadRelayCommandLine(
            Words("--feed ws://127.0.0.1:8080/feed --nats nats://a:4222 --channel x" + extra));
        EXPECT_TRUE(line.options) << extra << ": " << line.error;
        if (!line.options) return std::string("no options");
        const std::string error = ReadRelaySecrets(*line.options, environment);
        if (read) *read = *line.options;
        return error;
    };
    RelayOptions read;
    EXPECT_EQ(secrets(" --user relay --password-file " + file, "s3cret\r\nrest", &read), "");
    EXPECT_EQ(read.password, "s3cret");
    EXPECT_EQ(secrets(" --user relay", "", &read), "");
    EXPECT_EQ(read.password, "from-env");
    EXPECT_EQ(secrets("", "", &read), "");
    EXPECT_EQ(read.password, "");  // no user: the environment's password goes unused

    struct Row {
        std::string extra, fileText;
        const char* error;
    } refused[] = {
        {" --user relay --password-file " + file, "CHANGE-ME-relay\n",
         "the NATS password is still"},
        {" --token-file " + file, "CHANGE-ME", "the NATS token is still"},
        {" --user relay --password-file " + file + "-missing", "", "cannot read"},
        {" --password-file " + file, "x", "--password-file needs --user"},
    };
    for (const Row& row : refused) {
        const std::string error = secrets(row.extra, row.fileText);
        EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error) << row.extra;
    }
    const auto none = [](const char*) -> const char* { return nullptr; };
    RelayCommandLine userOnly = ReadRelayCommandLine(
        Words("--feed ws://127.0.0.1:8080/feed --nats nats://a:4222 --channel x --user relay"));
    ASSERT_TRUE(userOnly.options);
    EXPECT_NE(ReadRelaySecrets(*userOnly.options, none).find("needs a password"),
              std::string::npos);
    std::remove(file.c_str());
}

TEST(RelayPlan, NamesIdentitiesAndTheSnapshotEntry) {
    const RelayNames names = RelayNamesOf("final-2");
    EXPECT_EQ(names.stream, "LANTREL_FINAL-2");
    EXPECT_EQ(names.subject, "lantrel.final-2.events");
    EXPECT_EQ(names.snapshotSubject, "lantrel.final-2.snapshot");
    EXPECT_EQ(names.key, "final-2.snapshot");
    EXPECT_EQ(RelayMessageId({"R1", 41}, false), "R1.41");
    EXPECT_EQ(RelayMessageId({"R1", 41}, true), "R1.41.snapshot");
    EXPECT_EQ(SnapshotEntry(7, R"({"type":"snapshot"})"),
              R"({"sequence":7,"snapshot":{"type":"snapshot"}})");
    EXPECT_EQ(ResumeTarget("/feed", std::nullopt), "/feed");
    EXPECT_EQ(ResumeTarget("/feed", FeedPoint{"R1", 41}), "/feed?run=R1&since=41");
}

TEST(RelayPlan, EachVersionOnceAndInOrder) {
    using Step = RelayTrack::Step;
    RelayTrack track;
    FeedPoint point;
    const FeedMessageHead delta5{false, std::nullopt, 5};
    EXPECT_EQ(track.Next(delta5, point), Step::kResync);  // a delta before any run is known

    track.StartFrom(FeedPoint{"R1", 4});  // where the stream ends
    EXPECT_EQ(track.Next(FeedMessageHead{false, std::nullopt, 3}, point), Step::kSkip);
    EXPECT_EQ(track.Next(FeedMessageHead{false, std::nullopt, 6}, point), Step::kResync);
    ASSERT_EQ(track.Next(delta5, point), Step::kPublish);
    EXPECT_EQ(point, (FeedPoint{"R1", 5}));
    track.Published(point, 90);
    EXPECT_EQ(track.SequenceOf({"R1", 5}), 90u);

    // A new run starts with its snapshot, whatever its version.
    ASSERT_EQ(track.Next(FeedMessageHead{true, "R2", 2}, point), Step::kPublish);
    EXPECT_EQ(point, (FeedPoint{"R2", 2}));
    track.Published(point, 91);
    EXPECT_EQ(track.Next(FeedMessageHead{false, std::nullopt, 3}, point), Step::kPublish);
    EXPECT_EQ(point, (FeedPoint{"R2", 3}));
    EXPECT_EQ(track.SequenceOf({"R1", 2}), std::nullopt);

    EXPECT_EQ(ReadFeedMessageHead(R"({"type":"move","version":7})")->version, 7);
    EXPECT_EQ(ReadFeedMessageHead(R"({"type":"snapshot","version":7,"run":"R"})")->run, "R");
    EXPECT_FALSE(ReadFeedMessageHead(R"({"type":"snapshot","version":7})"));
    EXPECT_FALSE(ReadFeedMessageHead(R"({"type":"error","text":"no"})"));
    // What would break a NATS header or the feed's address, or a version that is no count.
    for (const char* hostile :
         {R"({"type":"snapshot","version":1,"run":"R\r\nX: y"})",
          R"({"type":"snapshot","version":1,"run":"R&since=0"})",
          R"({"type":"snapshot","version":1,"run":""})", R"({"type":"move","version":-2})",
          R"({"type":"move","version":18446744073709551615})", R"({"type":"move","version":1.5})",
          "[[[[[[", ""})
        EXPECT_FALSE(ReadFeedMessageHead(hostile)) << hostile;
}

// The snapshot for newcomers goes out only while the stream ends at its
// point: a follower applies the live messages after it, and one that came
// before it would be missed. Sent at once when it gets there, then again each
// interval.
TEST(RelaySnapshotCast, OnlyTheStateTheStreamEndsAt) {
    SnapshotCast cast(1.0);
    const FeedPoint v5{"R1", 5}, v6{"R1", 6}, v7{"R1", 7};
    EXPECT_EQ(cast.Due(v5, 0), nullptr);  // nothing offered yet
    EXPECT_TRUE(cast.Stale(v5));

    cast.Offer(v6, "six");  // the server's state, ahead of the stream
    EXPECT_EQ(cast.Due(v5, 0.1), nullptr);
    struct Step {
        std::optional<FeedPoint> last;
        double now;
        const char* sent;  // nullptr: nothing sent
        bool first;
    };
    for (const Step& step :
         {Step{v6, 0.2, "six", true}, Step{v6, 0.5, nullptr, false}, Step{v6, 1.2, "six", false},
          Step{v7, 2.5, nullptr, false}, Step{std::nullopt, 3, nullptr, false}}) {
        const SnapshotCast::Snapshot* snapshot = cast.Due(step.last, step.now);
        if (!step.sent) {
            EXPECT_EQ(snapshot, nullptr) << step.now;
            continue;
        }
        ASSERT_NE(snapshot, nullptr) << step.now;
        EXPECT_EQ(snapshot->json, step.sent);
        EXPECT_EQ(snapshot->point, v6);
        EXPECT_EQ(cast.firstSending(), step.first) << step.now;
    }
    EXPECT_TRUE(cast.Stale(v7));
    // A new run's snapshot of the same version is another point.
    cast.Offer({"R2", 6}, "R2");
    EXPECT_EQ(cast.Due(v6, 4), nullptr);
    ASSERT_NE(cast.Due(FeedPoint{"R2", 6}, 4), nullptr);
    EXPECT_TRUE(cast.firstSending());
}

// A link that is down is tried again after 1 s, then 2, 4 ... up to 30 s,
// jittered down by at most a quarter, and its log says when it went and when
// it came back, nothing for the tries between.
TEST(RelayRetry, BackoffAndOneLineEachWay) {
    const double pauses[] = {RetryPauseSeconds(1, 0), RetryPauseSeconds(2, 0),
                             RetryPauseSeconds(5, 0), RetryPauseSeconds(6, 0),
                             RetryPauseSeconds(1000, 0)};
    EXPECT_EQ(std::vector<double>(std::begin(pauses), std::end(pauses)),
              (std::vector<double>{1, 2, 16, 30, 30}));
    EXPECT_DOUBLE_EQ(RetryPauseSeconds(3, 1), 3);
    EXPECT_DOUBLE_EQ(RetryPauseSeconds(3, 7), 3);  // jitter is clamped

    LinkLog nats("NATS");
    EXPECT_EQ(nats.Worked(10), "");
    EXPECT_EQ(nats.Failed("cannot reach NATS (no server)", 100), "cannot reach NATS (no server)");
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(nats.Failed("cannot reach NATS (no server)", 101 + k), "");
    EXPECT_EQ(nats.failures(), 6);
    EXPECT_EQ(nats.Worked(108.4), "NATS reachable again after 8 s");
    EXPECT_EQ(nats.failures(), 0);
}

}  // namespace
}  // namespace lantrel
