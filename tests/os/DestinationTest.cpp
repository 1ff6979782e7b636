// The destination of a decryption: reached through links if the user named it so, but nothing
// below it is ever reached through one; names too long for the file system are refused first.
#include "os/Destination.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <climits>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "os/PendingOutput.h"
#include "support/TempDir.h"
#ifndef _WIN32
#include "support/Folders.h"
#endif

namespace {

#ifndef _WIN32
using cryvan_test::Listing;
#endif
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::Destination;
using Reach = OS::Destination::Reach;
namespace fs = std::filesystem;

#ifdef _WIN32
// What a folder holds, to show that nothing outside the destination changed.
std::map<std::string, std::string> Listing(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = e.path().lexically_relative(root).string();
        out[rel] = e.is_symlink()     ? "-> " + fs::read_symlink(e.path()).string()
                   : e.is_directory() ? "<dir>"
                                      : ReadText(e.path().string());
    }
    return out;
}

using Handle = OS::NativeHandle;
const Handle kNoHandle = OS::kNoHandle;
// Longest name of one level and longest path the wide API takes.
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kPathMax = 32767 - 8;

// Folder links, as a user without privileges may make them where developer mode is on.
bool CanLink() {
    TempDir dir;
    const fs::path probe = fs::path(dir / "probe").make_preferred();
    if (!CreateSymbolicLinkW(probe.c_str(), fs::path(dir.Path()).make_preferred().c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | 2 /* unprivileged */))
        return false;
    // Some systems answer yes and make nothing.
    const DWORD attributes = GetFileAttributesW(probe.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void Link(const std::string& target, const std::string& at) {
    // A file's link must say so; a missing target is taken for a folder.
    const DWORD flags = fs::is_regular_file(target) ? 0 : SYMBOLIC_LINK_FLAG_DIRECTORY;
    ASSERT_NE(CreateSymbolicLinkW(fs::path(at).make_preferred().c_str(),
                                  fs::path(target).make_preferred().c_str(), flags | 2),
              0)
        << at;
}
#else
using Handle = int;
constexpr Handle kNoHandle = -1;
constexpr std::size_t kNameMax = NAME_MAX;
constexpr std::size_t kPathMax = PATH_MAX;

bool CanLink() {
    return true;
}

void Link(const std::string& target, const std::string& at) {
    ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0) << at;
}
#endif

struct LinkCase {
    const char* what;
    // Makes the links in `dest`, pointing into `outside`.
    std::function<void(const std::string& dest, const std::string& outside)> setUp;
    std::string relative;  // a file to write
    Reach parent;          // reaching its folder, making what is missing
    bool nameIsLink;       // Describe sees a link in the file's place
};

TEST(Destination, NothingBelowTheDestinationIsReachedThroughALink) {
    if (!CanLink())
        GTEST_SKIP() << "this system makes no links for this user";
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
        Handle fd = kNoHandle;
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
    if (!CanLink())
        GTEST_SKIP() << "this system makes no links for this user";
    TempDir dir;
    fs::create_directories(dir / "real");
    Link(dir / "real", dir / "chosen");
    for (const std::string& root : {dir / "chosen", dir / "new/deeper"}) {
        SCOPED_TRACE(root);
        Destination destination(root);
        Handle fd = kNoHandle;
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
    const std::string longest(kNameMax, 'n');
    std::string deep;
    while (deep.size() + kNameMax < kPathMax)
        deep += std::string(kNameMax, 'd') + "/";
    struct Case {
        std::string relative;
        bool fits;
    };
    const std::vector<Case> cases = {
        {longest, true},          {longest + "/" + longest, true},
        {longest + "n", false},   {"a/" + longest + "n", false},
        {longest + "n/b", false}, {deep + longest, false},  // the whole name passes the limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative.size());
        TempDir root;
        Destination destination(root / "dest");
        Handle fd = kNoHandle;
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

#ifdef _WIN32
// Names Windows would take for a device, a stream of another file or a folder of their own are
// refused before anything is made; the same names are plain files elsewhere.
TEST(Destination, NamesWindowsReadOtherwiseAreRefused) {
    for (const std::string relative :
         {"CON", "sub/nul", "aux.txt", "Com1.log", "lpt9", "a:b", "sub/x.", "x ", "a\\b", "q?",
          "star*", "pipe|", "lt<", "gt>", "quote\"", "tab\t", "sub/../x"}) {
        SCOPED_TRACE(relative);
        TempDir root;
        Destination destination(root / "dest");
        Handle fd = kNoHandle;
        OS::File::Info info;
        EXPECT_THROW(destination.Describe(relative, info), OS::File::Error);
        EXPECT_THROW(destination.OpenParent(relative, true, fd), OS::File::Error);
        EXPECT_THROW(destination.MakeFolder(relative), OS::File::Error);
        EXPECT_FALSE(fs::exists(root / "dest"));
    }
    TempDir root;
    Destination destination(root / "dest");
    EXPECT_EQ(destination.MakeFolder("CONSOLE/com10/x.y z"), Reach::Ok);
    EXPECT_TRUE(fs::is_directory(root / "dest/CONSOLE/com10/x.y z"));
}
#endif

}  // namespace
