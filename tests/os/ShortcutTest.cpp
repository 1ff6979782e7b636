#include "os/Shortcut.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::Shortcut;

#ifdef _WIN32
constexpr char kLink[] = ".lnk";

// Saved the way the shell saves the links it makes.
bool MakeShortcut(const std::string& target, const std::string& file) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    bool saved =
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->SetPath(fs::path(target).make_preferred().c_str())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Save(fs::path(file).make_preferred().c_str(), TRUE));
    if (persist)
        persist->Release();
    if (link)
        link->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return saved;
}
#else
constexpr char kLink[] = "";

bool MakeShortcut(const std::string& target, const std::string& file) {
    return symlink(target.c_str(), file.c_str()) == 0;
}
#endif

class ShortcutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteText(tmp / "file", "content");
        fs::create_directory(tmp / "folder");
        WriteText(tmp / "gone", "soon removed");
        ASSERT_TRUE(MakeShortcut(tmp / "file", ToFile()));
        ASSERT_TRUE(MakeShortcut(tmp / "folder", tmp / ("to-folder" + std::string(kLink))));
        ASSERT_TRUE(MakeShortcut(tmp / "gone", tmp / ("to-gone" + std::string(kLink))));
        fs::remove(tmp / "gone");
    }

    std::string ToFile() const { return tmp / ("to-file" + std::string(kLink)); }

    struct Case {
        std::string name;
        Shortcut expected;
        std::string target;  // with Resolved
    };
    void Check(const Case& c) const {
        SCOPED_TRACE(c.name);
        std::string target = "untouched";
        EXPECT_EQ(OS::ResolveShortcut(tmp / c.name, target), c.expected);
        if (c.expected != Shortcut::Resolved) {
            EXPECT_EQ(target, "untouched");
            return;
        }
        EXPECT_TRUE(fs::path(target).is_absolute()) << target;
        EXPECT_TRUE(fs::equivalent(target, tmp / c.target)) << target;
    }

    TempDir tmp;
};

TEST_F(ShortcutTest, ResolvesWhatExistsAndCallsTheRestBroken) {
    const std::string link = kLink;
    const Case cases[] = {
        {"file", Shortcut::None, ""},
        {"folder", Shortcut::None, ""},
        {"missing", Shortcut::None, ""},
        {"to-file" + link, Shortcut::Resolved, "file"},
        {"to-folder" + link, Shortcut::Resolved, "folder"},
        {"to-gone" + link, Shortcut::Broken, ""},
    };
    for (const Case& c : cases)
        Check(c);
}

#ifdef _WIN32
TEST_F(ShortcutTest, OnlyReadableLinkFilesAreShortcuts) {
    WriteText(tmp / "garbage.lnk", std::string("L\0\0\0 not a link at all", 24));
    WriteText(tmp / "empty.lnk", "");
    fs::create_directory(tmp / "folder.lnk");
    fs::copy_file(ToFile(), tmp / "upper.LNK");
    // A link saved under another extension is an ordinary file to the shell too.
    fs::copy_file(ToFile(), tmp / "renamed.txt");
    const Case cases[] = {
        {"garbage.lnk", Shortcut::Broken, ""}, {"empty.lnk", Shortcut::Broken, ""},
        {"folder.lnk", Shortcut::None, ""},    {"upper.LNK", Shortcut::Resolved, "file"},
        {"renamed.txt", Shortcut::None, ""},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST_F(ShortcutTest, ComStaysAsTheCallerHadIt) {
    // A thread with COM in the other model keeps it; resolving still works there.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    Check({"to-file.lnk", Shortcut::Resolved, "file"});
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // still initialised
    CoUninitialize();
    CoUninitialize();
}
#else
TEST_F(ShortcutTest, ALinkThatLoopsIsBroken) {
    ASSERT_EQ(symlink("loop", (tmp / "loop").c_str()), 0);
    Check({"loop", Shortcut::Broken, ""});
}
#endif

}  // namespace
