#include "text/text.h"

#include <gtest/gtest.h>

namespace lantrel {
namespace {

TEST(NumberTextTest, SignPositionAndPrintForm) {
    EXPECT_EQ(NumberText(17), " 17");
    EXPECT_EQ(NumberText(0), " 0");
    EXPECT_EQ(NumberText(-5), "-5");
    EXPECT_EQ(PrintForm(16000), " 16000 ");
    EXPECT_EQ(PrintForm(-3), "-3 ");
}

TEST(ParseNumberTest, LeadingNumericPartRounded) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"16000", 16000},
        {"  42abc", 42},
        {"abc", 0},
        {"", 0},
        {"-7", -7},
        {"2.6", 3},
        {"2.5", 2},
        {"3.5", 4},
        {"+9", 9},
        {" 50 ", 50},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNumber(c.text), c.expected) << c.text;
}

TEST(ReadNumberTest, WholeTextsOnlyAndNoOverflow) {
    using Int = std::optional<std::int32_t>;
    constexpr Int kNone = std::nullopt;
    struct Case {
        const char* text;
        Int digitsOnly;  // ReadNumber
        Int signed_;     // ReadSignedNumber
    } cases[] = {
        {"0", 0, 0},
        {"007", 7, 7},
        {"2147483647", 2147483647, 2147483647},
        {"2147483648", kNone, kNone},
        {"-2147483648", kNone, -2147483647 - 1},
        {"-2147483649", kNone, kNone},
        {"+18", kNone, 18},
        {"-35", kNone, -35},
        {"+-5", kNone, kNone},
        {"-+5", kNone, kNone},
        {"--5", kNone, kNone},
        {"+", kNone, kNone},
        {"-", kNone, kNone},
        {"", kNone, kNone},
        {" 5", kNone, kNone},
        {"5 ", kNone, kNone},
        {"5x", kNone, kNone},
        {"0x10", kNone, kNone},
        {"1.5", kNone, kNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadNumber<std::int32_t>(c.text), c.digitsOnly) << c.text;
        EXPECT_EQ(ReadSignedNumber<std::int32_t>(c.text), c.signed_) << c.text;
    }
    EXPECT_EQ(ReadNumber<std::uint16_t>("65535"), 65535);
    EXPECT_EQ(ReadNumber<std::uint16_t>("65536"), std::nullopt);
    EXPECT_EQ(ReadSignedNumber<std::uint16_t>("-1"), std::nullopt);
    EXPECT_EQ(ReadNumber<std::int64_t>("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ReadNumber<std::int64_t>("9223372036854775808"), std::nullopt);
}

TEST(FindTest, OneBasedPositionsAndAfterStart) {
    EXPECT_EQ(Find("abcabc", "c"), 3u);
    EXPECT_EQ(Find("abcabc", "c", 4), 6u);
    EXPECT_EQ(Find("abc", "x"), 0u);
    EXPECT_EQ(Find("abc", "c", 9), 0u);
    EXPECT_FALSE(FoundAfterStart(">first : go", ">first :"));
    EXPECT_TRUE(FoundAfterStart("1 >first : go", ">first :"));
    EXPECT_EQ(FindAfterStart("1 >first : go", ">first :"), 3u);
}

TEST(MidTest, OneBasedSlices) {
    EXPECT_EQ(Mid("LOGONv15:Bob", 10), "Bob");
    EXPECT_EQ(Mid("abc", 4), "");
    EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Left("abcdef", 12), "abcdef");
}

TEST(TextToUtf8Test, Utf8StaysAnythingElseIsWindows1252) {
    const struct {
        const char* text;
        const char* utf8;
    } cases[] = {
        {"Kasparov", "Kasparov"},
        {"Str\xC3\xB6ng \xE2\x99\x9E", "Str\xC3\xB6ng \xE2\x99\x9E"},  // XBoard on Linux
        {"R\xE9ti \xFF", "R\xC3\xA9ti \xC3\xBF"},                      // Latin-1
        {"\x80 \x99 \x93x\x94 \x96",
         "\xE2\x82\xAC \xE2\x84\xA2 \xE2\x80\x9Cx\xE2\x80\x9D \xE2\x80\x93"},
        {"\x81\x9D", "\xC2\x81\xC2\x9D"},  // undefined in Windows-1252: C1 as Windows reads them
        // One text, one decision: a valid sequence beside a stray byte is Windows-1252 too.
        {"\xC3\xB6 \xF6", "\xC3\x83\xC2\xB6 \xC3\xB6"},
        {"\xC0\xAF \xED\xA0\x80",
         "\xC3\x80\xC2\xAF \xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // overlong, surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextToUtf8(c.text), c.utf8) << c.text;
    EXPECT_EQ(Utf8ToLatin1("R\xC3\xA9ti \xC3\xBF\xC2\x80"), "R\xE9ti \xFF\x80");
    // Beyond Latin-1 (Cyrillic, a euro sign, an emoji), and a broken sequence.
    EXPECT_EQ(Utf8ToLatin1("\xD0\x96 \xE2\x82\xAC \xF0\x9F\x98\x80 \x80x"), "? ? ? ?x");
}

TEST(WithoutControlsTest, C0DelAndC1AsTheTextIsRead) {
    EXPECT_EQ(WithoutControls("a\x1b[2J\x07\x7f\tb"), "a?[2J???b");
    // UTF-8: U+009B (CSI) is a control; the bytes of U+265E are not.
    EXPECT_EQ(WithoutControls("\xC2\x9B\xE2\x99\x9E\xC3\xB6"), "?\xE2\x99\x9E\xC3\xB6");
    // Windows-1252: the undefined bytes are, the euro sign and the trade mark are not.
    EXPECT_EQ(WithoutControls("\x80\x81\x99\x9D\xF6"), "\x80?\x99?\xF6");
}

TEST(TrimTest, BlanksOnly) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimRightBlanks("\ta  "), "\ta");
    EXPECT_EQ(TrimLeftBlanks("   "), "");
}

TEST(FixedWidthTest, CutsAndPads) {
    EXPECT_EQ(FixedWidth("Bob", 5), "Bob  ");
    EXPECT_EQ(FixedWidth("abcdefg", 3), "abc");
}

TEST(ReplaceAllTest, LeftToRightWithoutOverlap) {
    EXPECT_EQ(ReplaceAll("a   b", "  ", " "), "a  b");
    EXPECT_EQ(ReplaceAll("<1:x<1:", "<1:", " <first : "), " <first : x <first : ");
}

TEST(GetWordTest, BlanksHalvedBeforeSplitting) {
    struct Case {
        const char* text;
        int n;
        const char* expected;
    } cases[] = {
        {"a  b", 2, "b"},    // two blanks count as one
        {"a   b", 2, " b"},  // three blanks become two: the word begins with a blank
        {"move e2e4 ", 1, "move"}, {"move e2e4 ", 2, "e2e4"}, {"move e2e4 ", 3, ""}, {"", 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetWord(c.text, c.n), c.expected) << c.text;
}

TEST(UpperAsciiTest, LeavesHighBytesAlone) {
    EXPECT_EQ(UpperAscii("r\xe9sult"), "R\xe9SULT");
}

}  // namespace
}  // namespace lantrel
