// The destination of a decryption: reached through links if the user named it so, but nothing
// below it is ever reached through one; names too long for the file system are refused first.
#include "os/Destination.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "os/PendingOutput.h"
#include "support/Folders.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Listing;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::Destination;
using Reach = OS::Destination::Reach;
namespace fs = std::filesystem;

void Link(const std::string& target, const std::string& at) {
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
}

struct LinkCase {
    const char* what;
    // Makes the links in `dest`, pointing into `outside`.
    std::function<void(const std::string& dest, const std::string& outside)> setUp;
    std::string relative;  // a file to write
    Reach parent;          // reaching its folder, making what is missing
    bool nameIsLink;       // Describe sees a link in the file's place
};

TEST(Destination, NothingBelowTheDestinationIsReachedThroughALink) {
    const std::vector<LinkCase> cases = {
        {"a folder link", [](auto& d, auto& o) { Link(o, d + "/sub"); }, "sub/x.txt", Reach::Link,
         false},
        {"a folder link deeper down",
         [](auto& d, auto& o) {
             fs::create_directories(d + "/a");
             Link(o, d + "/a/b");
         },
         "a/b/c/x.txt", Reach::Link, false},
        {"a relative folder link", [](auto& d, auto&) { Link("../outside", d + "/sub"); },
         "sub/x.txt", Reach::Link, false},
        {"a dangling link where a folder would be made",
         [](auto& d, auto& o) { Link(o + "/new", d + "/sub"); }, "sub/x.txt", Reach::Link, false},
        {"a link in the file's place", [](auto& d, auto& o) { Link(o + "/x.txt", d + "/x.txt"); },
         "x.txt", Reach::Ok, true},
        {"plain folders", [](auto& d, auto&) { fs::create_directories(d + "/a/b"); }, "a/b/x.txt",
         Reach::Ok, false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string dest = dir / "dest", outside = dir / "outside";
        fs::create_directories(dest);
        fs::create_directories(outside);
        WriteText(outside + "/x.txt", "outside");
        c.setUp(dest, outside);
        const auto before = Listing(outside);

        Destination destination(dest);
        OS::File::Info info;
        const Reach described = destination.Describe(c.relative, info);
        EXPECT_EQ(described, c.parent == Reach::Link ? Reach::Link : Reach::Ok);
        EXPECT_EQ(info.IsLink(), c.nameIsLink);
        EXPECT_EQ(destination.MakeFolder(c.relative + ".d"), c.parent);
        int fd = -1;
        EXPECT_EQ(destination.OpenParent(c.relative, true, fd), c.parent);
        if (c.parent == Reach::Ok) {
            OS::PendingOutput out(dest + "/" + c.relative);
            out.OpenIn(fd);
            out.File().Write("new", 3);
            out.Commit();
            destination.Changed(c.relative);
            destination.Sync();
        }
        EXPECT_EQ(Listing(outside), before);
        // A link in the file's place is replaced itself, never written through.
        if (c.parent == Reach::Ok) {
            EXPECT_EQ(ReadText(dest + "/" + c.relative), "new");
        }
    }
}

// The user named the folder: links on the way to it are followed, and a missing one is made.
TEST(Destination, TheChosenFolderMayBeALinkOrMissing) {
    TempDir dir;
    fs::create_directories(dir / "real");
    Link(dir / "real", dir / "chosen");
    for (const std::string& root : {dir / "chosen", dir / "new/deeper"}) {
        SCOPED_TRACE(root);
        Destination destination(root);
        int fd = -1;
        const bool existed = fs::exists(root);
        EXPECT_EQ(destination.OpenParent("sub/x.txt", false, fd), Reach::Missing);
        EXPECT_EQ(fs::exists(root), existed);  // only looked
        EXPECT_EQ(destination.MakeFolder("sub"), Reach::Ok);
        EXPECT_TRUE(fs::is_directory(root + "/sub"));
    }
    EXPECT_TRUE(fs::is_directory(dir / "real/sub"));
}

// Every name a folder holds is written; longer ones fail before anything is made.
TEST(Destination, NamesTooLongForTheFileSystemAreRefusedFirst) {
    TempDir dir;
    const std::string longest(NAME_MAX, 'n');
    std::string deep;
    while (deep.size() + NAME_MAX < PATH_MAX)
        deep += std::string(NAME_MAX, 'd') + "/";
    struct Case {
        std::string relative;
        bool fits;
    };
    const std::vector<Case> cases = {
        {longest, true},          {longest + "/" + longest, true},
        {longest + "n", false},   {"a/" + longest + "n", false},
        {longest + "n/b", false}, {deep + longest, false},  // the whole name passes PATH_MAX
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative.size());
        TempDir root;
        Destination destination(root / "dest");
        int fd = -1;
        OS::File::Info info;
        for (int step = 0; step < 3; ++step) {
            try {
                if (step == 0)
                    EXPECT_NE(destination.Describe(c.relative, info), Reach::Link);
                else if (step == 1)
                    EXPECT_EQ(destination.OpenParent(c.relative, true, fd), Reach::Ok);
                else
                    EXPECT_EQ(destination.MakeFolder(c.relative), Reach::Ok);
                EXPECT_TRUE(c.fits) << step;
            } catch (const OS::File::NameTooLong&) {
                EXPECT_FALSE(c.fits) << step;
            }
        }
        if (c.fits)
            EXPECT_TRUE(fs::is_directory(root / ("dest/" + c.relative)));
        else
            EXPECT_FALSE(fs::exists(root / "dest"));
    }
}

}  // namespace
