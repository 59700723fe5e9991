// What the relay publishes: its command line, and which feed messages go out
// under which identity so that the stream holds each version once, in order.
#include <gtest/gtest.h>

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
    };
    for (const Row& row : rows) {
        const RelayCommandLine read = ReadRelayCommandLine(Words(row.line));
        EXPECT_FALSE(read.options) << row.line;
        EXPECT_EQ(read.error.substr(0, std::string(row.error).size()), row.error) << row.line;
    }
    EXPECT_TRUE(ReadRelayCommandLine({"--help"}).error.empty());
}

TEST(RelayPlan, NamesIdentitiesAndTheSnapshotEntry) {
    const RelayNames names = RelayNamesOf("final-2");
    EXPECT_EQ(names.stream, "LANTREL_FINAL-2");
    EXPECT_EQ(names.subject, "lantrel.final-2.events");
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
}

}  // namespace
}  // namespace lantrel
