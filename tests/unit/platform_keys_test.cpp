// Terminal input cut into operator keys: escape sequences (function keys,
// arrows, Alt+key) must never leave a byte behind that reads as B, I or R.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix.h"

namespace lantrel {
namespace {

std::vector<std::string> AllKeys(std::string input) {
    std::vector<std::string> keys;
    while (!input.empty())
        keys.push_back(TakeKey(input));
    return keys;
}

TEST(TakeKeyTest, EscapeSequencesGiveNoKey) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"F3 (SS3)", "\x1bOR"},
        {"F1 (SS3)", "\x1bOP"},
        {"Down arrow", "\x1b[B"},
        {"Up arrow", "\x1b[A"},
        {"F5 with parameters", "\x1b[15~"},
        {"Shift+Right", "\x1b[1;2C"},
        {"Alt+R", "\x1br"},
        {"Escape alone", "\x1b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AllKeys(c.bytes), std::vector<std::string>(1, "")) << c.name;
}

TEST(TakeKeyTest, PlainKeysComeOneAtATimeAroundSequences) {
    EXPECT_EQ(AllKeys("b"), (std::vector<std::string>{"b"}));
    // Typed quickly, several keys arrive in one read: none is lost.
    EXPECT_EQ(AllKeys("ri"), (std::vector<std::string>{"r", "i"}));
    EXPECT_EQ(AllKeys("b\x1b[Bi\x1bOR"), (std::vector<std::string>{"b", "", "i", ""}));
    std::string none;
    EXPECT_EQ(TakeKey(none), "");
}

}  // namespace
}  // namespace lantrel
