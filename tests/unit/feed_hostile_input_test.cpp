// Log lines no sane GUI writes, but a damaged log or a broken engine can: the
// feed must turn them into something harmless. Cases found by fuzz/feed_log.
#include <gtest/gtest.h>

#include <string>

#include "feed/parsing.h"

namespace lantrel {
namespace {

std::string InfoWithTime(const std::string& time) {
    return "t<--1:info depth 3 score cp 5 time " + time + " nodes 7 pv e2e4 e7e5";
}

// A UCI time with more digits than a whole number holds is written at the limit
// (it used to be converted past the range of the integer type).
TEST(HostileArenaLineTest, HugeThinkingTimeIsWrittenAtTheLimit) {
    struct Row {
        const char* name;
        std::string time;
        std::string expected;
    };
    const Row rows[] = {
        {"ordinary", "4567", "456"},
        {"largest exact", "92000000000000000000", "9200000000000000000"},
        {"26 digits", std::string(26, '9'), "9200000000000000000"},
        {"beyond a double", std::string(400, '9'), "9200000000000000000"},
        {"negative", "-" + std::string(30, '9'), "-9200000000000000000"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TranslateArenaLine(InfoWithTime(row.time)),
                  "t <first :  3 5 " + row.expected + " 7 e2e4")
            << row.name;
    }
}

}  // namespace
}  // namespace lantrel
