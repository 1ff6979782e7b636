// What the Windows bodies of the file services do where Windows differs: its error numbers,
// attributes, creation times, sharing, long paths and wide names.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "os/Directory.h"
#include "os/Errors.h"
#include "os/File.h"
#include "os/PendingOutput.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::TempDir;
using OS::ErrorCode;
using OS::ErrorLayer;

struct WindowsErrorCase {
    unsigned long err;
    int fileCode;  // -1: no error
    int directoryCode;
};

TEST(WindowsErrors, SystemNumbersMapToTheCodeOfEachLayer) {
    const WindowsErrorCase cases[] = {
        {0, -1, -1}, {2, 1, 1},   {3, 1, 1},  {5, 3, 3},  {15, 8, 8}, {19, 7, 7},
        {29, 5, 5},  {30, 4, 4},  {32, 6, 6}, {33, 6, 6}, {80, 2, 2}, {183, 2, 2},
        {112, 9, 0}, {145, 0, 9}, {87, 0, 0}, {1, 0, 0},
    };
    for (const WindowsErrorCase& c : cases) {
        SCOPED_TRACE("system error " + std::to_string(c.err));
        const auto file = OS::MapWindowsError(c.err, ErrorLayer::File);
        const auto dir = OS::MapWindowsError(c.err, ErrorLayer::Directory);
        EXPECT_EQ(file ? int(*file) : -1, c.fileCode);
        EXPECT_EQ(dir ? int(*dir) : -1, c.directoryCode);
    }
    try {
        OS::RaiseWindowsError<ErrorLayer::Directory>(112);
        FAIL() << "no error raised";
    } catch (const OS::Directory::Error& e) {
        EXPECT_STREQ(e.what(), "Directory operation failed");
    }
}

bool RunsUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void Write(const std::string& name, const std::string& text, std::uint32_t attributes = 0) {
    OS::WriteFile file(name, OS::WriteMode::Replace);
    file.SetCreationAttributes(attributes);
    file.Open();
    file.Write(text.data(), text.size());
    file.Close();
}

std::string Read(const std::string& name) {
    OS::ReadFile file(name);
    file.Open();
    std::string text(std::size_t(file.GetInfo().Size()), '\0');
    text.resize(file.Read(text.data(), text.size()));
    file.Close();
    return text;
}

TEST(WindowsFile, CreationAttributesAreAppliedAndReadBack) {
    TempDir dir;
    const std::string name = dir / "attributes.txt";
    Write(name, "x", OS::ATTR_READONLY | OS::ATTR_HIDDEN | OS::ATTR_ARCHIVE);
    const OS::File::Info info(name, false);
    EXPECT_EQ(info.Attributes() &
                  (OS::ATTR_READONLY | OS::ATTR_HIDDEN | OS::ATTR_ARCHIVE | OS::ATTR_SYSTEM),
              OS::ATTR_READONLY | OS::ATTR_HIDDEN | OS::ATTR_ARCHIVE);

    OS::WriteFile file(name, OS::WriteMode::OpenExisting);
    try {
        file.Delete(false);
        FAIL() << "a read-only file was deleted";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, ErrorCode::Denied);
    }
    EXPECT_TRUE(OS::File::Info(name, false).Exists());
    file.Delete(true);
    EXPECT_FALSE(OS::File::Info(name, true).Exists());
}

TEST(WindowsFile, AllThreeTimesAreSetAndReadBack) {
    TempDir dir;
    const std::string name = dir / "times.txt";
    OS::DateTime create, modify, access;
    create.year = 2001, create.month = 2, create.day = 3, create.hour = 4, create.minute = 5;
    create.second = 6, create.millisecond = 7;
    modify = create, modify.year = 2011;
    access = create, access.year = 2021;
    {
        OS::WriteFile file(name, OS::WriteMode::Replace);
        file.Open();
        file.Write("abc", 3);
        file.SetFileTimes(create, modify, access);
        file.Close();
    }
    const OS::File::Info info(name, false);
    EXPECT_EQ(info.ModTime(), modify);
    EXPECT_EQ(info.AccessTime(), access);
    // Wine keeps its files on Linux file systems, which have no settable creation time.
    if (RunsUnderWine())
        GTEST_SKIP() << "the creation time is only kept by Windows' own file systems";
    EXPECT_EQ(info.CreateTime(), create);
}

TEST(WindowsFile, AFileBeingWrittenCannotBeOpenedElsewhere) {
    TempDir dir;
    const std::string name = dir / "busy.txt";
    OS::WriteFile writer(name, OS::WriteMode::Replace);
    writer.Open();
    OS::ReadFile reader(name);
    try {
        reader.Open();
        FAIL() << "opened a file another writer holds unshared";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, ErrorCode::InUse);
        EXPECT_STREQ(e.what(), "File in use");
    }
    writer.Close();
    reader.Open();
    reader.Close();
}

TEST(WindowsFile, ReadersShareAFile) {
    TempDir dir;
    const std::string name = dir / "shared.txt";
    Write(name, "shared");
    OS::ReadFile first(name), second(name);
    first.Open();
    second.Open();
    EXPECT_EQ(Read(name), "shared");
    first.Close();
    second.Close();
}

TEST(WindowsFile, PathsBeyondTheOldLimitWork) {
    TempDir dir;
    std::string folder = dir.Path();
    while (folder.size() < 300)
        folder += "/" + std::string(40, 'd');
    const std::string name = folder + "/" + std::string(60, 'f') + ".txt";
    ASSERT_GT(name.size(), 260u);
    Write(name, "deep");  // makes the missing folders too
    EXPECT_EQ(Read(name), "deep");
    EXPECT_TRUE(OS::Directory::Exists(folder));
    EXPECT_FALSE(OS::Directory::IsEmpty(folder));
    OS::WriteFile(name, OS::WriteMode::OpenExisting).Delete(false);
    EXPECT_TRUE(OS::Directory::IsEmpty(folder));
}

TEST(WindowsFile, NamesOutsideAsciiRoundTrip) {
    TempDir dir;
    const std::string leaf = "na\xc3\xafve-\xe6\x97\xa5\xe6\x9c\xac-\xf0\x9f\x98\x80.txt";
    const std::string name = dir / leaf;
    Write(name, "wide");
    const OS::File::Info info(name, false);
    EXPECT_EQ(info.Name(), leaf);
    EXPECT_EQ(Read(name), "wide");
    // The system sees the same name, in UTF-16.
    const std::filesystem::path wide = std::filesystem::u8path(name);
    EXPECT_TRUE(std::filesystem::exists(wide));
}

TEST(WindowsFile, TextThatIsNoUtf8IsRefused) {
    TempDir dir;
    try {
        OS::File::Info(dir / "bad\xff.txt", true);
        FAIL() << "a name that is no UTF-8 reached the system";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, ErrorCode::Failed);
    }
}

TEST(WindowsDirectory, MakesParentsAndRefusesToRemoveAFullFolder) {
    TempDir dir;
    const std::string deep = dir / "a/b/c";
    EXPECT_TRUE(OS::Directory::Create(deep));
    EXPECT_FALSE(OS::Directory::Create(deep));
    EXPECT_TRUE(OS::Directory::IsEmpty(deep));
    try {
        OS::Directory::Remove(dir / "a");
        FAIL() << "a folder with entries was removed";
    } catch (const OS::Directory::Error& e) {
        EXPECT_EQ(e.code, ErrorCode::NotEmpty);
    }
    EXPECT_TRUE(OS::Directory::Remove(deep));
    EXPECT_FALSE(OS::Directory::Exists(deep));
}

TEST(WindowsPendingOutput, CommitReplacesAndDiscardLeavesNothing) {
    TempDir dir;
    const std::string name = dir / "out.txt";
    Write(name, "old");
    {
        OS::PendingOutput out(name, OS::ATTR_HIDDEN);
        out.Open();
        out.File().Write("new", 3);
        EXPECT_EQ(Read(name), "old");  // still the old one until the commit
        out.Commit();
    }
    EXPECT_EQ(Read(name), "new");
    EXPECT_TRUE(OS::File::Info(name, false).Attributes() & OS::ATTR_HIDDEN);
    {
        OS::PendingOutput out(dir / "never.txt");
        out.Open();
        out.File().Write("lost", 4);
    }
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(OS::File::Info(dir / "never.txt", true).Exists());
}

}  // namespace

#endif  // _WIN32
