#include <gtest/gtest.h>

#include "feed/replay.h"

namespace lantrel {
namespace {

struct StampCase {
    const char* name;
    const char* line;
    std::optional<std::int64_t> ms;
};

class ReplayStampTest : public ::testing::TestWithParam<StampCase> {};

TEST_P(ReplayStampTest, ReadsTheStampAtTheStartOfTheLine) {
    EXPECT_EQ(ReplayStampMs(GetParam().line), GetParam().ms);
}

constexpr std::int64_t kDay = 86400000;
// 2021-03-28 is day 18714 after 1970-01-01.
constexpr std::int64_t k20210328 = 18714 * kDay;

INSTANTIATE_TEST_SUITE_P(
    Lines, ReplayStampTest,
    ::testing::Values(
        StampCase{"WinBoardToEngine", "1234 >first : go", 1234},
        StampCase{"WinBoardFromEngine", "2310 <first : move d2d4", 2310},
        StampCase{"WinBoardSecond", "0 >second: new", 0},
        StampCase{"WinBoardUsermoveTwice", "2317 >second: usermove 2317 >second: d2d4", 2317},
        StampCase{"ContinuationLine", "protover 2", std::nullopt},
        StampCase{"StartChildProcess", "StartChildProcess (dir=\".\") fairymax", std::nullopt},
        StampCase{"GuiNote", "GameEnds(28, Xboard adjudication: Checkmate, 4)", std::nullopt},
        StampCase{"DigitsWithoutMarker", "1 +0 0 0 NNUE evaluation", std::nullopt},
        StampCase{"DigitsWithoutBlank", "1234>first : go", std::nullopt},
        StampCase{"Empty", "", std::nullopt},
        StampCase{"ArenaDateTime", "2021-03-28 20:19:25.113-->1:go",
                  k20210328 + ((20 * 60 + 19) * 60 + 25) * 1000 + 113},
        StampCase{"ArenaOneFractionDigit", "2021-03-28 00:00:01.5<--1:id name X", k20210328 + 1500},
        StampCase{"ArenaNoFraction", "2021-03-28 00:00:01*1*Found move:e2-e4", k20210328 + 1000},
        StampCase{"ArenaLeapDay", "2024-02-29 00:00:00.000-->1:go", 19782 * kDay},
        StampCase{"ArenaTimeOnly", "20:19:25.113-->1:go", ((20 * 60 + 19) * 60 + 25) * 1000 + 113},
        StampCase{"ArenaBadMonth", "2021-13-28 20:19:25.113-->1:go", std::nullopt},
        StampCase{"ArenaBadHour", "2021-03-28 24:19:25.113-->1:go", std::nullopt},
        StampCase{"ArenaCutShort", "2021-03-28 20:19", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<std::pair<std::int64_t, std::string>> Flatten(const std::vector<ReplayChunk>& chunks) {
    std::vector<std::pair<std::int64_t, std::string>> out;
    for (const ReplayChunk& chunk : chunks)
        out.emplace_back(chunk.atMs, chunk.text);
    return out;
}

using Schedule = std::vector<std::pair<std::int64_t, std::string>>;

TEST(ReplayScheduleTest, UnstampedLinesGoWithTheStampedLineBeforeThem) {
    const std::string log =
        "locale = C.UTF-8\n"
        "StartChildProcess (dir=\".\") fairymax\n"
        "432 >first : xboard\n"
        "protover 2\n"
        "1218 <first : tellics say     Fairy-Max 5.0b\n"
        "1224 >first : new\n"
        "random\n"
        "1224 >first : level 40 0:10 0\n";
    EXPECT_EQ(Flatten(BuildReplaySchedule(log)),
              (Schedule{{0,
                         "locale = C.UTF-8\nStartChildProcess (dir=\".\") fairymax\n"
                         "432 >first : xboard\nprotover 2\n"},
                        {786, "1218 <first : tellics say     Fairy-Max 5.0b\n"},
                        {792, "1224 >first : new\nrandom\n"},
                        {792, "1224 >first : level 40 0:10 0\n"}}));
}

TEST(ReplayScheduleTest, KeepsLineEndsAndALastLineWithoutOne) {
    EXPECT_EQ(Flatten(BuildReplaySchedule("10 >first : new\r\n20 >first : go")),
              (Schedule{{0, "10 >first : new\r\n"}, {10, "20 >first : go"}}));
}

TEST(ReplayScheduleTest, AStampGoingBackAddsNoWait) {
    // A second GUI run appended to the same file starts its stamps again.
    const std::string log =
        "5000 >first : quit\n"
        "300 >first : xboard\n"
        "400 >first : new\n";
    EXPECT_EQ(Flatten(BuildReplaySchedule(log)), (Schedule{{0, "5000 >first : quit\n"},
                                                           {0, "300 >first : xboard\n"},
                                                           {100, "400 >first : new\n"}}));
}

TEST(ReplayScheduleTest, ArenaLogsAreTimedByTheirDateTimes) {
    // Over midnight the date carries the time on.
    const std::string log =
        "2021-03-28 23:59:59.900-->1:go\n"
        "2021-03-29 00:00:00.150<--1:info depth 1 score cp 20 time 1 nodes 20 pv e2e4 e7e5\n"
        "continued\n";
    EXPECT_EQ(Flatten(BuildReplaySchedule(log)),
              (Schedule{{0, "2021-03-28 23:59:59.900-->1:go\n"},
                        {250,
                         "2021-03-29 00:00:00.150<--1:info depth 1 score cp 20 time 1 nodes 20 "
                         "pv e2e4 e7e5\ncontinued\n"}}));
}

TEST(ReplayScheduleTest, ALogWithoutStampsIsOneChunkAtOnce) {
    EXPECT_EQ(Flatten(BuildReplaySchedule("a\nb\n")), (Schedule{{0, "a\nb\n"}}));
    EXPECT_TRUE(BuildReplaySchedule("").empty());
}

TEST(ReplayScheduleTest, ChunksTogetherHoldTheWholeLogInOrder) {
    const std::string log = "x\n1 >first : a\ny\n\n3 <first : b\n2 >first : c\nz";
    std::string joined;
    std::int64_t last = 0;
    for (const ReplayChunk& chunk : BuildReplaySchedule(log)) {
        joined += chunk.text;
        EXPECT_GE(chunk.atMs, last);
        last = chunk.atMs;
    }
    EXPECT_EQ(joined, log);
}

TEST(ReplayTimeTest, SpeedScalesTheScheduleAndZeroMeansAtOnce) {
    EXPECT_EQ(ReplayTimeMs(1000, 1), 1000);
    EXPECT_EQ(ReplayTimeMs(1000, 10), 100);
    EXPECT_EQ(ReplayTimeMs(1000, 0.5), 2000);
    EXPECT_EQ(ReplayTimeMs(1000, 3), 333);
    EXPECT_EQ(ReplayTimeMs(1000, 0), 0);
}

struct OptionsCase {
    const char* name;
    std::vector<std::string> args;
    std::string error;  // empty: accepted
};

class ReplayOptionsErrorTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(ReplayOptionsErrorTest, SaysWhatIsWrong) {
    ParsedReplayOptions parsed = ParseReplayOptions(GetParam().args);
    EXPECT_EQ(parsed.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ReplayOptionsErrorTest,
    ::testing::Values(OptionsCase{"NoFiles", {}, "RECORDED_LOG and TARGET_LOG are needed"},
                      OptionsCase{"OneFile", {"a.log"}, "RECORDED_LOG and TARGET_LOG are needed"},
                      OptionsCase{"ThreeFiles", {"a", "b", "c"}, "too many file names"},
                      OptionsCase{"UnknownOption", {"--fast", "a", "b"}, "unknown option '--fast'"},
                      OptionsCase{
                          "SpeedWithoutValue", {"a", "b", "--speed"}, "--speed needs a value"},
                      OptionsCase{"SpeedNotANumber",
                                  {"--speed", "fast", "a", "b"},
                                  "--speed needs a number of 0 or more, not 'fast'"},
                      OptionsCase{"SpeedNegative",
                                  {"--speed", "-2", "a", "b"},
                                  "--speed needs a number of 0 or more, not '-2'"},
                      OptionsCase{"SpeedTrailingText",
                                  {"--speed", "2x", "a", "b"},
                                  "--speed needs a number of 0 or more, not '2x'"},
                      OptionsCase{"PauseNotANumber",
                                  {"--pause", "", "a", "b"},
                                  "--pause needs a number of 0 or more, not ''"},
                      OptionsCase{"Accepted", {"--speed", "2.5", "a", "b"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplayOptionsTest, ReadsEveryOption) {
    ParsedReplayOptions parsed = ParseReplayOptions(
        {"--speed", "20", "--from-start", "rec.log", "--loop", "--pause", "500", "gui.log"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.speed, 20);
    EXPECT_TRUE(parsed.options.fromStart);
    EXPECT_TRUE(parsed.options.loop);
    EXPECT_EQ(parsed.options.loopPauseMs, 500);
    EXPECT_EQ(parsed.options.recordedLog, "rec.log");
    EXPECT_EQ(parsed.options.targetLog, "gui.log");

    ParsedReplayOptions plain = ParseReplayOptions({"rec.log", "gui.log"});
    EXPECT_EQ(plain.options.speed, 1);
    EXPECT_FALSE(plain.options.fromStart);
    EXPECT_FALSE(plain.options.loop);

    EXPECT_EQ(ParseReplayOptions({"--instant", "a", "b"}).options.speed, 0);
    EXPECT_EQ(ParseReplayOptions({"--speed", "0", "a", "b"}).options.speed, 0);
    EXPECT_TRUE(ParseReplayOptions({"a", "--help"}).help);
    // A lone "-" names a file (standard streams are not supported, but the name is kept).
    EXPECT_EQ(ParseReplayOptions({"-", "b"}).options.recordedLog, "-");
}

}  // namespace
}  // namespace lantrel
