// The sequence frame and the stable compaction of the client table.
#include <gtest/gtest.h>

#include "net/framing.h"
#include "net/net.h"

namespace lantrel {
namespace {

TEST(ParseFrameTest, ReadsOnlyWellFormedFrames) {
    struct Row {
        const char* datagram;
        SequenceNumber seq;
        const char* text;
    } rows[] = {
        {"< 17>FEN: x", 17, "FEN: x"},
        {"<17>FEN: x", 17, "FEN: x"},
        {"<   3>PING", 3, "PING"},
        {"< 2.6>PING", 3, "PING"},                  // rounded to the nearest whole number
        {"< 5>", 5, ""},                            // a framed empty message
        {"< 2147483648>PING", 2147483648, "PING"},  // numbers go on past 32 bits
        {"< 5>>x", 5, ">x"},                        // only the first ">" closes the frame
        {"< 0>PING", 0, "< 0>PING"},                // number not above 0
        {"<-2>PING", 0, "<-2>PING"},
        {"<>PING", 0, "<>PING"},    // nothing between
        {"<PING", 0, "<PING"},      // no ">"
        {"<x>PING", 0, "<x>PING"},  // no number
        {"PING", 0, "PING"},
        {" < 1>PING", 0, " < 1>PING"},  // the "<" must come first
        {"", 0, ""},
    };
    for (const auto& row : rows) {
        Frame frame = ParseFrame(row.datagram);
        EXPECT_EQ(frame.seq, row.seq) << row.datagram;
        EXPECT_EQ(frame.text, row.text) << row.datagram;
    }
}

TEST(ParseFrameTest, FrameAndAckUseNumberText) {
    EXPECT_EQ(FrameMessage(17, "FEN: x"), "< 17>FEN: x");
    EXPECT_EQ(FrameMessage(1, ""), "< 1>");
    EXPECT_EQ(AckText(17), "ACK: 17");
    const std::string framed = FrameMessage(123456, "CHAT: [a] - <b>");
    Frame back = ParseFrame(framed);
    EXPECT_EQ(back.seq, 123456);
    EXPECT_EQ(back.text, "CHAT: [a] - <b>");
}

TEST(CompactClientTableTest, KeepsTheOrderOfTheOccupiedSlots) {
    ClientTable table;
    int occupied[] = {2, 3, 7, 250, 499, 500};
    for (int k : occupied) {
        table.slots[k].ip = static_cast<IpAddress>(k);
        table.slots[k].name = "n" + std::to_string(k);
    }
    CompactClientTable(table);
    EXPECT_EQ(table.Count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(table.slots[i + 1].ip, static_cast<IpAddress>(occupied[i]));
        EXPECT_EQ(table.slots[i + 1].name, "n" + std::to_string(occupied[i]));
    }
    for (int k = 7; k <= kClientSlots; ++k) {
        EXPECT_EQ(table.slots[k].ip, 0u) << k;
        EXPECT_EQ(table.slots[k].name, std::string(kNameWidth, ' ')) << k;
    }
}

TEST(CompactClientTableTest, FullAndEmptyTablesStayAsTheyAre) {
    ClientTable table;
    CompactClientTable(table);
    EXPECT_EQ(table.Count(), 0);
    for (int k = 1; k <= kClientSlots; ++k)
        table.slots[k].ip = static_cast<IpAddress>(k);
    CompactClientTable(table);
    EXPECT_EQ(table.Count(), kClientSlots);
    EXPECT_EQ(table.slots[kClientSlots].ip, static_cast<IpAddress>(kClientSlots));
}

}  // namespace
}  // namespace lantrel
