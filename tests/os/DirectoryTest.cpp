#include "os/Directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/TempDir.h"

namespace {

using cryvan_test::TempDir;
using OS::Directory;

class DirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(mkdir((tmp / "a").c_str(), 0700), 0);
        cryvan_test::WriteText(tmp / "file", "x");
    }

    static bool IsFolder(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    // Runs `op`, which must raise; returns the code (-1 when nothing was raised).
    template <typename Op>
    static int CodeOf(Op op) {
        try {
            op();
        } catch (const Directory::Error& e) {
            return static_cast<int>(e.code);
        }
        return -1;
    }

    TempDir tmp;
};

TEST_F(DirectoryTest, ExistsOnlyForFolders) {
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {tmp / "a", true},        {tmp / "a/", true},         {tmp.Path(), true},
        {tmp / "file", false},    {tmp / "file/", false},     {tmp / "file/x", false},
        {tmp / "missing", false}, {tmp / "missing/x", false}, {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Directory::Exists(c.path), c.exists);
    }
}

TEST_F(DirectoryTest, IsEmptyLooksForAnyEntry) {
    EXPECT_TRUE(Directory::IsEmpty(tmp / "a"));
    EXPECT_TRUE(Directory::IsEmpty(tmp / "a/"));
    cryvan_test::WriteText(tmp / "a/.hidden", "");
    EXPECT_FALSE(Directory::IsEmpty(tmp / "a"));
    EXPECT_FALSE(Directory::IsEmpty(tmp.Path()));
    EXPECT_EQ(CodeOf([&] { Directory::IsEmpty(tmp / "missing"); }), 1);
}

TEST_F(DirectoryTest, RemoveEmptyAndNotEmpty) {
    cryvan_test::WriteText(tmp / "a/inside", "");
    try {
        Directory::Remove(tmp / "a");
        FAIL() << "no exception";
    } catch (const Directory::Error& e) {
        EXPECT_EQ(e.code, OS::ErrorCode::NotEmpty);
        EXPECT_STREQ(e.what(), "Directory not empty");
    }
    EXPECT_TRUE(IsFolder(tmp / "a"));

    ASSERT_EQ(unlink((tmp / "a/inside").c_str()), 0);
    EXPECT_TRUE(Directory::Remove(tmp / "a/"));
    EXPECT_FALSE(IsFolder(tmp / "a"));
    EXPECT_EQ(CodeOf([&] { Directory::Remove(tmp / "a"); }), 1);
}

TEST_F(DirectoryTest, CreateMakesMissingParents) {
    EXPECT_TRUE(Directory::Create(tmp / "a/b/c"));
    EXPECT_TRUE(IsFolder(tmp / "a/b"));
    EXPECT_TRUE(IsFolder(tmp / "a/b/c"));

    EXPECT_TRUE(Directory::Create(tmp / "x/y//z/"));
    EXPECT_TRUE(IsFolder(tmp / "x/y/z"));
}

TEST_F(DirectoryTest, CreateOfAnExistingFolderChangesNothing) {
    cryvan_test::WriteText(tmp / "a/keep", "k");
    EXPECT_FALSE(Directory::Create(tmp / "a"));
    EXPECT_FALSE(Directory::Create(tmp / "a/"));
    EXPECT_EQ(cryvan_test::ReadText(tmp / "a/keep"), "k");
}

TEST_F(DirectoryTest, CreateOverOrBelowAFileRaises) {
    EXPECT_EQ(CodeOf([&] { Directory::Create(tmp / "file"); }), 2);
    EXPECT_EQ(CodeOf([&] { Directory::Create(tmp / "file/sub"); }), 1);
    EXPECT_EQ(cryvan_test::ReadText(tmp / "file"), "x");
}

// With the current folder gone, relative names lead nowhere: the counterpart of a missing
// drive. The walk up must stop with false instead of raising or looping.
TEST_F(DirectoryTest, CreateWithUnreachableRootIsFalse) {
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(home, 0);
    const std::string gone = tmp / "gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    const bool single = Directory::Create("p");
    const bool nested = Directory::Create("p/q/r");
    ASSERT_EQ(fchdir(home), 0);
    close(home);
    EXPECT_FALSE(single);
    EXPECT_FALSE(nested);
}

TEST_F(DirectoryTest, DeniedAccessRaisesCode3) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permission bits do not bind root";
    ASSERT_EQ(mkdir((tmp / "a/locked").c_str(), 0700), 0);
    ASSERT_EQ(chmod((tmp / "a/locked").c_str(), 0), 0);
    EXPECT_EQ(CodeOf([&] { Directory::Exists(tmp / "a/locked/x"); }), 3);
    EXPECT_EQ(CodeOf([&] { Directory::IsEmpty(tmp / "a/locked"); }), 3);
    EXPECT_EQ(CodeOf([&] { Directory::Create(tmp / "a/locked/x/y"); }), 3);
    ASSERT_EQ(chmod((tmp / "a").c_str(), 0500), 0);
    EXPECT_EQ(CodeOf([&] { Directory::Create(tmp / "a/new"); }), 3);
}

}  // namespace
