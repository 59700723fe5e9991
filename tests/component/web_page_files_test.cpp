// The page's folder serves what lies in it, whatever links it holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "support/fake_server.h"
#include "web/page_files.h"

namespace lantrel {
namespace {

using ::testing::ElementsAre;

TEST(PageFilesTest, LinksAreFollowedOnlyWhereTheyStayInsideTheFolder) {
    testing::TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("web").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("web/js").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("beside").c_str(), 0755), 0);
    dir.Write("web/index.html", "<p>page</p>");
    dir.Write("web/js/app.js", "app");
    dir.Write("secret.txt", "one folder up");
    dir.Write("beside/key.txt", "beside the root");
    const std::pair<const char*, const char*> links[] = {
        {"js/app.js", "web/same.js"},         // inside: served
        {"js", "web/scripts"},                // a folder inside: served
        {"/etc/passwd", "web/passwd"},        // the system's
        {"../secret.txt", "web/secret.txt"},  // one folder up
        {"../beside", "web/beside"},          // a folder beside the root
        {".", "web/loop"},                    // back to the root
        {"..", "web/js/up"},                  // back up, and out of it
        {"cycle-b", "web/cycle-a"},           // links that never end
        {"cycle-a", "web/cycle-b"},
    };
    for (const auto& [target, link] : links)
        ASSERT_EQ(::symlink(target, dir.File(link).c_str()), 0) << link;

    const PageFiles page = LoadPageFiles(dir.File("web"));
    std::vector<std::string> served;
    for (const auto& [path, bytes] : page.files)
        served.push_back(path);
    EXPECT_THAT(served,
                ElementsAre("/", "/index.html", "/js/app.js", "/same.js", "/scripts/app.js"));
    EXPECT_EQ(page.files.at("/same.js"), "app");
    std::vector<std::string> leftOut = page.leftOut;
    std::sort(leftOut.begin(), leftOut.end());
    EXPECT_THAT(leftOut, ElementsAre("/beside/", "/js/up/", "/loop/", "/passwd", "/scripts/up/",
                                     "/secret.txt"));
}

TEST(PageFilesTest, AFolderThatIsALinkIsReadWhereItLeads) {
    testing::TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("release").c_str(), 0755), 0);
    dir.Write("release/index.html", "<p>page</p>");
    ASSERT_EQ(::symlink("release", dir.File("current").c_str()), 0);
    EXPECT_EQ(LoadPageFiles(dir.File("current")).files.size(), 2u);
    EXPECT_TRUE(LoadPageFiles(dir.File("missing")).files.empty());
}

}  // namespace
}  // namespace lantrel
