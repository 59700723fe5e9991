#include <gtest/gtest.h>

#include "app/config.h"

namespace lantrel {
namespace {

ServerConfig Apply(std::vector<std::string> lines) {
    ServerConfig config;
    ApplyConfigurationLines(config, lines);
    return config;
}

TEST(ConfigTest, DefaultsWithOnlyAPort) {
    ServerConfig c = Apply({"PORT=17500"});
    EXPECT_EQ(c.path, "");
    EXPECT_EQ(c.port, 17500);
    EXPECT_EQ(c.site, "Lantrel viewer");
    EXPECT_EQ(c.delay, 100);
    EXPECT_EQ(c.delayAfterMove, 300);
    EXPECT_EQ(c.delayAfterGame, 1000);
    EXPECT_FALSE(c.icsMode);
    EXPECT_FALSE(c.saveDebug);
    EXPECT_EQ(ServerLogHeader(c)[1], "Port= 17500 ");
}

TEST(ConfigTest, KeysAreCaseSensitivePrefixes) {
    EXPECT_EQ(Apply({"port=1234"}).port, 16000);
    EXPECT_EQ(Apply({" PORT=1234"}).port, 16000);
    // The value is the rest of the line, blanks included.
    EXPECT_EQ(Apply({"SITE= My club "}).site, " My club ");
    EXPECT_EQ(Apply({"PATH=C:\\WinBoard\\debug.log"}).path, "C:\\WinBoard\\debug.log");
}

TEST(ConfigTest, DelayAndDelayAfterMoveDoNotClash) {
    ServerConfig c = Apply({"DELAY=50", "DELAYAFTERMOVE=500"});
    EXPECT_EQ(c.delay, 50);
    EXPECT_EQ(c.delayAfterMove, 500);
    EXPECT_EQ(c.delayAfterGame, 1000);
}

TEST(ConfigTest, NumbersFromTheNumberParser) {
    EXPECT_EQ(Apply({"PORT=abc"}).port, 0);
    EXPECT_EQ(Apply({"DELAY= 20ms"}).delay, 20);
    EXPECT_EQ(Apply({"DELAYAFTERGAME=1499.6"}).delayAfterGame, 1500);
}

TEST(ConfigTest, FlagsTestOnlyTheirFirstCharacters) {
    EXPECT_FALSE(Apply({"ICSMODE=0"}).icsMode);
    EXPECT_TRUE(Apply({"ICSMODE=1"}).icsMode);
    EXPECT_TRUE(Apply({"ICSMODE=10"}).icsMode);
    EXPECT_FALSE(Apply({"SAVEDEBUG=yes"}).saveDebug);
    EXPECT_TRUE(Apply({"SAVEDEBUG=1"}).saveDebug);
}

TEST(ConfigTest, LogFormatForcesADialectOrIsNamedAsRefused) {
    EXPECT_EQ(Apply({"LOGFORMAT=cutechess"}).logDialect, LogDialect::kCutechess);
    EXPECT_EQ(Apply({"LOGFORMAT= fastchess "}).logDialect, LogDialect::kFastchess);
    EXPECT_EQ(Apply({"LOGFORMAT=arena"}).logDialect, LogDialect::kWinBoard);
    EXPECT_FALSE(Apply({"LOGFORMAT=cutechess", "LOGFORMAT=auto"}).logDialect.has_value());
    const ServerConfig refused = Apply({"LOGFORMAT=chessbase"});
    EXPECT_FALSE(refused.logDialect.has_value());
    EXPECT_EQ(refused.logFormatRefused, "chessbase");
}

TEST(ConfigTest, MenuLines) {
    const std::string three = "MENU ID=3 Crosstable";
    ServerConfig c = Apply({three, "MENU ID=11 Eleven", "MENU ID=0 Zero", "MENU ID=4"});
    EXPECT_EQ(c.menuLines[3], three);
    EXPECT_EQ(c.menuLines[4], "");  // no blank after the number
    for (int i : {0, 1, 2, 5, 6, 7, 8, 9, 10})
        EXPECT_EQ(c.menuLines[i], "") << i;
    // Of two lines with the same number the later one wins.
    EXPECT_EQ(Apply({three, "MENU ID=3 Later"}).menuLines[3], "MENU ID=3 Later");
    EXPECT_EQ(Apply({"MENU  ID=10 Ten"}).menuLines[10], "MENU  ID=10 Ten");
    EXPECT_EQ(Apply({"MENUID=2 x"}).menuLines[2], "");
}

TEST(ConfigTest, LastSiteWins) {
    EXPECT_EQ(Apply({"SITE=First", "SITE=Second"}).site, "Second");
}

TEST(ConfigTest, BindAndAdminAddresses) {
    ServerConfig c = Apply({"BIND=127.0.0.1", "ADMIN=10.0.0.7", "ADMIN=bogus", "ADMIN=127.0.0.5"});
    EXPECT_EQ(c.bindAddress, MakeIp(127, 0, 0, 1));
    ASSERT_EQ(c.adminAddresses.size(), 2u);
    EXPECT_EQ(c.adminAddresses[0], MakeIp(10, 0, 0, 7));
    EXPECT_EQ(c.adminAddresses[1], MakeIp(127, 0, 0, 5));
    EXPECT_EQ(Apply({"BIND=nowhere"}).bindAddress, 0u);
}

TEST(ConfigTest, WebKeys) {
    ServerConfig c =
        Apply({"WEBPORT= 8080", "WEBBIND= 127.0.0.1 ", "WEBCHAT=1", "WEBROOT=/srv/page"});
    EXPECT_EQ(c.webPort, 8080);
    EXPECT_EQ(c.webBind, "127.0.0.1");
    EXPECT_TRUE(c.webChat);
    EXPECT_EQ(c.webRoot, "/srv/page");
    EXPECT_EQ(Apply({}).webPort, 0);  // no listener
    const ServerConfig hardened =
        Apply({"WEBMAXPERADDRESS=4", "WEBORIGINS=https://a.org https://b.org",
               "WEBFRAMEANCESTORS=https://club.org"});
    EXPECT_EQ(hardened.webMaxPerAddress, 4);
    EXPECT_EQ(hardened.webChatOrigins,
              (std::vector<std::string>{"https://a.org", "https://b.org"}));
    EXPECT_EQ(hardened.webFrameAncestors, std::vector<std::string>{"https://club.org"});
    const ServerConfig event =
        Apply({"WEBEVENTFEEDS=ws://pc1:8080 pc2", "WEBEVENTFEEDS=ws://pc3:8080"});
    EXPECT_EQ(event.webEventFeeds,
              std::vector<std::string>{"ws://pc3:8080"});  // the last line wins
    EXPECT_TRUE(event.webEventFeedsRefused.empty());
    EXPECT_EQ(Apply({"WEBEVENTFEEDS=pc2"}).webEventFeedsRefused, std::vector<std::string>{"pc2"});
    for (const char* unusable : {"WEBMAXPERADDRESS=0", "WEBMAXPERADDRESS=x", "WEBMAXPERADDRESS="})
        EXPECT_EQ(Apply({unusable}).webMaxPerAddress, kWebMaxPerAddress) << unusable;
    for (const char* unusable : {"WEBPORT=http", "WEBPORT=65536", "WEBPORT=", "WEBPORT=-1"})
        EXPECT_EQ(Apply({unusable}).webPort, -1) << unusable;
}

TEST(ConfigTest, ServerLogHeaderBytes) {
    ServerConfig c = Apply({"PATH=C:\\gui\\debug.txt", "SITE=Club", "DELAY=-5"});
    std::vector<std::string> expected = {
        "Path=C:\\gui\\debug.txt",
        "Port= 16000 ",
        "Site=Club",
        "Delay=-5 ",
        "Delay after move= 300 ",
        "Delay after game= 1000 ",
    };
    EXPECT_EQ(ServerLogHeader(c), expected);
}

}  // namespace
}  // namespace lantrel
