// Viewers on loopback against the real server: logon, chat, rename, drop, ban,
// the local viewer's files, and the reference viewer program.
#include "live_viewers.h"

namespace lantrel::testing {
namespace {

using ViewersTest = LiveServerTest;

TEST_F(ViewersTest, ThreeViewersLogOnChatAndRename) {
    StartServer("SITE=Loopback Open\n");
    auto& anna = AddViewer(2, "Anna");
    auto& ben = AddViewer(3, "Ben");
    auto& carl = AddViewer(4, "Carl");
    for (auto& v : viewers)
        v->client->Logon();
    auto allSeeAll = [&] {
        for (auto& v : viewers)
            if (!v->HasUser("Anna") || !v->HasUser("Ben") || !v->HasUser("Carl")) return false;
        return true;
    };
    ASSERT_TRUE(PollAll(allSeeAll, 10));
    EXPECT_TRUE(anna.picture().loggedOn);
    EXPECT_TRUE(anna.picture().pingFeature);
    EXPECT_EQ(carl.picture().site, "Loopback Open");

    anna.client->Chat("hello from Anna");
    ASSERT_TRUE(PollAll(
        [&] {
            for (auto& v : viewers)
                if (!v->HasChat(" [Anna] - hello from Anna")) return false;
            return true;
        },
        10));

    // Each change comes in several datagrams: wait for the last of them too.
    ben.client->Send("CHANGE:Bert");
    ASSERT_TRUE(PollAll(
        [&] {
            for (auto& v : viewers)
                if (!v->HasUser("Bert") || v->HasUser("Ben")) return false;
            return anna.HasChat("[SERVER] - Alias changed from Ben to Bert");
        },
        10));

    carl.client->Send("LOGOFF");
    ASSERT_TRUE(PollAll(
        [&] {
            return !anna.HasUser("Carl") && !ben.HasUser("Carl") &&
                   ben.HasChat(" [SERVER] - Carl has left!");
        },
        10));

    // Every request acted upon exactly once, even where a slow ACK brought a re-send.
    for (auto& v : viewers)
        EXPECT_EQ(v->ChatCount(" [Anna] - hello from Anna"), 1);
    EXPECT_EQ(anna.ChatCount("[SERVER] - Alias changed from Ben to Bert"), 1);
    auto log = LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string(39, '-')), 3);
    EXPECT_NE(std::find(log.begin(), log.end(), "New logon: 127.0.0.4           "), log.end());
}

TEST_F(ViewersTest, BannedAddressGetsNoAnswerAtAll) {
    StartServer("ADMIN=127.0.0.2\n");
    auto& admin = AddViewer(2, "Admin");
    auto& other = AddViewer(3, "Other");
    auto& pest = AddViewer(4, "Pest");
    for (auto& v : viewers)
        v->client->Logon();
    ASSERT_TRUE(PollAll([&] { return admin.HasUser("Pest") && admin.HasUser("Other"); }, 10));

    // Not an administrator: ignored like an unknown command.
    other.client->Send("SECURITY");
    other.client->Send("SRBOOT:127.0.0.4");
    admin.client->Send("SECURITY");
    ASSERT_TRUE(PollAll([&] { return admin.picture().secUsers.size() == 3; }, 10));
    EXPECT_EQ(admin.picture().secUsers[2], "Pest:127.0.0.4           ");
    EXPECT_TRUE(other.picture().secUsers.empty());
    EXPECT_TRUE(admin.HasUser("Pest"));

    admin.client->Send("SRBOOT: 127.0.0.4");
    EXPECT_TRUE(PollAll(
        [&] { return !admin.HasUser("Pest") && pest.HasNotice(" You have been booted!"); }, 10));

    const long before = pest.client->stats().datagrams;
    pest.client->Logon();
    pest.client->Send("PING");
    PollAll([] { return false; }, 2.5);
    EXPECT_EQ(pest.client->stats().datagrams, before);  // not even an ACK
    EXPECT_FALSE(admin.HasUser("Pest"));
}

TEST_F(ViewersTest, LocalViewerTalksThroughInDatAndOutDat) {
    StartServer();
    auto& anna = AddViewer(2, "Anna");
    AppendBytes(dir.File("in.dat"), "LOGONv15:Console\r\n");
    ASSERT_TRUE(
        Eventually([&] { return Contains(dir.Read("out.dat"), "LOGON SUCCESSFUL\r\n"); }, 10));
    anna.client->Logon();
    ASSERT_TRUE(PollAll([&] { return anna.HasUser("Console"); }, 10));
    ASSERT_TRUE(Eventually(
        [&] { return Contains(dir.Read("out.dat"), "CHAT: [Server] Anna has arrived!\r\n"); }, 10));

    AppendBytes(dir.File("in.dat"), "CHAT:hi from the console\nSECURITY\n");
    ASSERT_TRUE(PollAll([&] { return anna.HasChat(" [Console] - hi from the console"); }, 10));
    ASSERT_TRUE(
        Eventually([&] { return Contains(dir.Read("out.dat"), "SECUSER: Anna:127.0.0.2"); }, 10));
    // Nothing for the local viewer is framed.
    for (const auto& line : SplitLines(dir.Read("out.dat")))
        EXPECT_TRUE(line.empty() || line[0] != '<') << line;
}

TEST_F(ViewersTest, ReferenceViewerPrintsWhatArrives) {
    StartServer();
    std::string command = "printf 'hello\\n/who\\n/name Zed\\n' | '" +
                          std::string(LANTREL_VIEWER_BIN) + "' --port " + std::to_string(port) +
                          " --name Tess --raw --seconds 3";
    ChildProcess viewer({"/bin/sh", "-c", command}, dir.File("viewer.txt"));
    ASSERT_EQ(viewer.Wait(15), 0);
    auto lines = SplitLines(dir.Read("viewer.txt"));
    auto has = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    EXPECT_TRUE(has("LOGON SUCCESSFUL"));
    EXPECT_TRUE(has("CHAT:[SERVER] Users= 1"));
    bool chat = false, alias = false;
    for (const auto& l : lines) {
        chat = chat || Contains(l, ">CHAT: [Tess] - hello");
        alias = alias || Contains(l, ">CHAT:[SERVER] - Alias changed from Tess to Zed");
    }
    EXPECT_TRUE(chat);
    EXPECT_TRUE(alias);
    // It logged off on its way out: a newcomer finds itself alone.
    auto& check = AddViewer(3, "Check");
    check.client->Logon();
    ASSERT_TRUE(PollAll([&] { return check.HasUser("Check"); }, 10));
    EXPECT_EQ(check.picture().users, (std::vector<std::string>{"Check"}));
}

}  // namespace
}  // namespace lantrel::testing
