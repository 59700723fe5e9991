// File failures come back as the program's own results, not as system numbers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "support/test_support.h"

namespace lantrel {
namespace {

TEST(FileResultTest, MissingFoldersAndNamesAreFailures) {
    testing::TempDir dir;
    const std::string missing = dir.File("no/such/folder/out.dat");
    EXPECT_EQ(AppendLine(dir.File("out.dat"), "text"), kFileOk);
    EXPECT_EQ(AppendLine(missing, "text"), kFileFailed);
    EXPECT_EQ(CreateEmptyFile(""), kFileFailed);
    ReadOnlyFile file;
    EXPECT_FALSE(file.Open(missing));
    EXPECT_EQ(file.OpenError(), kFileFailed);
    EXPECT_TRUE(file.Open(dir.File("in.dat")));
    EXPECT_EQ(file.OpenError(), kFileOk);
}

// A journal line that could not be written (a full disk may leave part of it)
// is never the start of the next one: that goes on a line of its own.
TEST(JournalTest, TheLineAfterAFailedWriteStartsALineOfItsOwn) {
    testing::TempDir dir;
    const Journal journal{dir.File("later/server.log")};
    journal.Write("<24896> Move  57: b2a3, Index");  // its folder is not there yet
    ASSERT_EQ(::mkdir(dir.File("later").c_str(), 0755), 0);
    journal.Write("<30752> Move  81: e4e5");
    journal.Write("next");
    EXPECT_EQ(dir.Read("later/server.log"), "\r\n<30752> Move  81: e4e5\r\nnext\r\n");
}

TEST(FileResultTest, PermissionProblemsAreDenials) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    testing::TempDir dir;
    ReadOnlyFile file;
    ASSERT_EQ(CreateEmptyFile(dir.File("out.dat")), kFileOk);
    ASSERT_EQ(CreateEmptyFile(dir.File("in.dat")), kFileOk);
    ASSERT_EQ(::chmod(dir.File("out.dat").c_str(), 0444), 0);
    EXPECT_EQ(AppendLine(dir.File("out.dat"), "text"), kFileDenied);
    ASSERT_EQ(::chmod(dir.File("in.dat").c_str(), 0), 0);
    EXPECT_FALSE(file.Open(dir.File("in.dat")));
    EXPECT_EQ(file.OpenError(), kFileDenied);
}

}  // namespace
}  // namespace lantrel
