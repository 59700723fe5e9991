#include <gtest/gtest.h>
#include <unistd.h>

#include "app/app.h"
#include "feed/feed.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace lantrel {
namespace {

using testing::FakeServer;

// Drives the reader the way the main loop does: measure, read, keep the length.
class LogReaderTest : public ::testing::Test {
  protected:
    std::vector<std::string> ReadPass() {
        std::vector<std::string> lines;
        ReadOnlyFile log;
        EXPECT_TRUE(log.Open(f.dir.File("gui.log")));
        f->feed.reader.logSize = log.Length();
        if (f->feed.reader.bytesRead < f->feed.reader.logSize) {
            CutLogLines(f->feed, log, [&](const std::string& line) { lines.push_back(line); });
            f->feed.reader.bytesRead = f->feed.reader.logSize;
        }
        return lines;
    }
    void Append(const std::string& bytes) { AppendBytes(f.dir.File("gui.log"), bytes); }
    FakeServer f;
};

TEST_F(LogReaderTest, CrLfAndLfGiveTheSameLines) {
    Append("one\r\ntwo\nthree\r\n");
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST_F(LogReaderTest, LoneCrDoesNotEndALine) {
    Append("a\rb\n");
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{"ab"}));
}

TEST_F(LogReaderTest, LineSplitOverTwoPassesIsHandledOnceWhole) {
    Append("first half");
    EXPECT_TRUE(ReadPass().empty());
    EXPECT_EQ(f->feed.reader.partialLine, "first half");
    Append(" and the rest\nnext\n");
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{"first half and the rest", "next"}));
}

TEST_F(LogReaderTest, EmptyLinesAreLinesToo) {
    Append("\n\r\nx\n");
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{"", "", "x"}));
}

TEST_F(LogReaderTest, FirstNulStopsBeforeItSecondAfterItLaterOnesAreText) {
    Append(std::string("ab\0cd\n", 6));
    EXPECT_TRUE(ReadPass().empty());
    EXPECT_EQ(f->feed.reader.bytesRead, 2);  // stopped just before the NUL
    EXPECT_EQ(f->feed.reader.nulBytesSeen, 1);
    EXPECT_TRUE(ReadPass().empty());
    EXPECT_EQ(f->feed.reader.bytesRead, 3);  // the NUL is now the last byte read
    EXPECT_EQ(f->feed.reader.partialLine, std::string("ab\0", 3));
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{std::string("ab\0cd", 5)}));
    Append(std::string("e\0f\n", 4));
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{std::string("e\0f", 3)}));
}

TEST_F(LogReaderTest, BlocksGiveExactlyTheByteByByteLines) {
    // Lines that straddle the reader's block boundary (1 MiB) stay whole.
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; content.size() < (3u << 20); ++i) {
        std::string line = "line " + std::to_string(i) + std::string(i % 977, 'x');
        expected.push_back(line);
        content += line + ((i % 3) ? "\n" : "\r\n");
    }
    Append(content);
    EXPECT_EQ(ReadPass(), expected);
}

TEST_F(LogReaderTest, OverlongLineIsCappedAndNotedOnce) {
    StartServer(*f);
    Append(std::string(kMaxLineLength + 100, 'z') + "\nshort\n" +
           std::string(kMaxLineLength + 1, 'y') + "\n");
    auto lines = ReadPass();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(kMaxLineLength, 'z'));
    EXPECT_EQ(lines[1], "short");
    EXPECT_EQ(lines[2].size(), kMaxLineLength);
    int notes = 0;
    for (const auto& line : f.LogLines())
        notes += line.rfind("Log line longer than", 0) == 0;
    EXPECT_EQ(notes, 1);
}

TEST_F(LogReaderTest, PositionsBeyondTwoGigabytesDoNotWrap) {
    // A sparse file: the reader starts at a 64-bit offset past 2 GiB.
    const std::int64_t start = (std::int64_t{1} << 31) + 10;
    Append("");
    ASSERT_EQ(::truncate(f.dir.File("gui.log").c_str(), start), 0);
    Append("tail line\n");
    f->feed.reader.bytesRead = start;
    EXPECT_EQ(ReadPass(), (std::vector<std::string>{"tail line"}));
    EXPECT_EQ(f->feed.reader.bytesRead, start + 10);
}

TEST(SaveDebugNameTest, CutsNamesAndNumbersExistingFiles) {
    FakeServer f;
    f->feed.game.whitePlayer = "Twenty characters!!!";
    f->feed.game.blackPlayer = "B";
    MakeSaveDebugName(f->feed);
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-Twenty chara_vs_B.log");

    f->feed.game.whitePlayer = "A";
    f.dir.Write("Debug-A_vs_B.log", "");
    MakeSaveDebugName(f->feed);
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-A_vs_B- 1.log");
    f.dir.Write("Debug-A_vs_B- 1.log", "");
    MakeSaveDebugName(f->feed);
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-A_vs_B- 2.log");

    f->feed.game.whitePlayer = "";
    f->feed.game.blackPlayer = "";
    MakeSaveDebugName(f->feed);
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-_vs_.log");
}

TEST(SaveDebugNameTest, NamesCannotLeaveTheWorkingDirectory) {
    FakeServer f;
    f->feed.game.whitePlayer = "../../etc/x";
    f->feed.game.blackPlayer = "\x01\\b:c*d?\"<>|";
    MakeSaveDebugName(f->feed);
    EXPECT_EQ(f->feed.game.saveDebugName, "Debug-.._.._etc_x_vs___b_c_d_____.log");
}

}  // namespace
}  // namespace lantrel
