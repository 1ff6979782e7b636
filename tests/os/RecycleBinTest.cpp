// The trash on Windows: the Recycle Bin, through the shell.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "os/Trash.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::TempDir;
using cryvan_test::WriteText;

TEST(RecycleBin, IsTheTrashOfEveryProgram) {
    EXPECT_NE(OS::InstalledTrash(), nullptr);
}

TEST(RecycleBin, TakesFilesAndNamesWhatItLeaves) {
    TempDir tmp;
    const std::string plain = tmp / "plain.txt";
    const std::string accented = tmp / "\xc3\xa9t\xc3\xa9 d\xe2\x80\x99hiver.txt";
    const std::string folder = tmp / "folder";
    const std::string held = tmp / "held.txt";
    WriteText(plain, "a");
    std::ofstream(fs::u8path(accented)) << "b";
    fs::create_directory(folder);
    WriteText(folder + "/inside", "c");
    WriteText(held, "d");
    std::unique_ptr<OS::Trash> bin = OS::MakeRecycleBin();

    std::string why;
    for (const std::string& name : {plain, accented, folder}) {
        EXPECT_TRUE(bin->Move(name, why)) << name << ": " << why;
        EXPECT_FALSE(fs::exists(fs::u8path(name))) << name;
    }

    // Open elsewhere without sharing: it stays, and the reason says something.
    HANDLE handle = CreateFileW(fs::path(held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    why.clear();
    EXPECT_FALSE(bin->Move(held, why));
    CloseHandle(handle);
    EXPECT_TRUE(fs::exists(held));
    EXPECT_FALSE(why.empty());

    for (const std::string& name : {tmp / "missing", std::string("\xff\xfe"), std::string()}) {
        why.clear();
        EXPECT_FALSE(bin->Move(name, why)) << name;
        EXPECT_FALSE(why.empty()) << name;
    }
}

}  // namespace
#endif
