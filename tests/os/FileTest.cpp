#include "os/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace {

using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::File;
using OS::ReadFile;
using OS::WriteFile;
using OS::WriteMode;

int CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const File::Error& e) {
        return static_cast<int>(e.code);
    }
    return -1;
}

class CwdGuard {
  public:
    explicit CwdGuard(const std::string& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CwdGuard() { std::filesystem::current_path(m_old); }

  private:
    std::filesystem::path m_old;
};

TEST(FileInfo, SplitsAtTheLastSeparator) {
    TempDir dir;
    WriteText(dir / "a.txt", "hello");
    File::Info info(dir / "a.txt", false);
    EXPECT_EQ(info.Name(), "a.txt");
    EXPECT_EQ(info.Path(), dir.Path() + "/");
    EXPECT_TRUE(info.Exists());
    EXPECT_EQ(info.Size(), 5u);

    // A bare name is found in the current folder, whose path ends in exactly one separator.
    CwdGuard cwd(dir.Path());
    File::Info bare("a.txt", false);
    EXPECT_EQ(bare.Path(), std::filesystem::current_path().string() + "/");
    EXPECT_TRUE(bare.Exists());
    EXPECT_EQ(File::GetCurrentPath(), std::filesystem::current_path().string());
}

TEST(FileInfo, MissingFile) {
    TempDir dir;
    File::Info maybe(dir / "missing", true);
    EXPECT_FALSE(maybe.Exists());
    EXPECT_EQ(maybe.Size(), 0u);
    EXPECT_EQ(CodeOf([&] { File::Info(dir / "missing", false); }), 1);
    // Only "not found" is tolerated: a path through a file is a different failure.
    WriteText(dir / "f", "x");
    EXPECT_FALSE(File::Info(dir / "f/inner", true).Exists());  // ENOTDIR maps to 1 as well
}

TEST(FileInfo, Attributes) {
    TempDir dir;
    WriteText(dir / "plain", "x");
    WriteText(dir / ".hidden", "x");
    WriteText(dir / "ro", "x");
    chmod((dir / "ro").c_str(), 0444);
    std::filesystem::create_directory(dir / "sub");
    {
        // Sparse: a large size with no data blocks behind it.
        const int fd = open((dir / "sparse").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 1 << 24), 0);
        close(fd);
    }
    struct {
        const char* name;
        std::uint32_t set;
        std::uint32_t clear;
    } const cases[] = {
        {"plain", 0, OS::ATTR_READONLY | OS::ATTR_HIDDEN | OS::ATTR_DIRECTORY | OS::ATTR_SPARSE},
        {".hidden", OS::ATTR_HIDDEN, OS::ATTR_READONLY},
        {"ro", OS::ATTR_READONLY, OS::ATTR_HIDDEN},
        {"sub", OS::ATTR_DIRECTORY, OS::ATTR_READONLY},
        {"sparse", OS::ATTR_SPARSE, OS::ATTR_DIRECTORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const File::Info info(dir / c.name, false);
        EXPECT_EQ(info.Attributes() & c.set, c.set);
        EXPECT_EQ(info.Attributes() & c.clear, 0u);
        // The flags the file system never reports here must not appear.
        EXPECT_EQ(info.Attributes() & (1u | 2u | 4u), 0u);
    }
    EXPECT_EQ(File::Info(dir / "sub", false).Size(), 0u);
    EXPECT_EQ(File::Info(dir / "sparse", false).Size(), 1u << 24);
}

TEST(WriteFile, ModesOnNewAndExistingFiles) {
    TempDir dir;
    const std::string existing = dir / "existing";
    WriteText(existing, "0123456789");

    EXPECT_EQ(CodeOf([&] { WriteFile(dir / "missing", WriteMode::Truncate); }), 1);
    EXPECT_EQ(CodeOf([&] { WriteFile(dir / "missing", WriteMode::OpenExisting); }), 1);
    EXPECT_EQ(CodeOf([&] {
                  WriteFile w(existing, WriteMode::CreateNew);
                  w.Open();
              }),
              2);

    struct {
        WriteMode mode;
        const char* expected;
    } const cases[] = {
        {WriteMode::Truncate, "ab"},
        {WriteMode::Replace, "ab"},
        {WriteMode::OpenExisting, "ab23456789"},
        {WriteMode::WriteThrough, "ab23456789"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        WriteText(existing, "0123456789");
        WriteFile w(existing, c.mode);
        w.Open();
        EXPECT_EQ(w.Write("ab", 2), 2u);
        w.Close();
        EXPECT_EQ(ReadText(existing), c.expected);
    }
}

TEST(WriteFile, CreatesTheMissingFoldersOfANewFile) {
    TempDir dir;
    const std::string name = dir / "a/b/c/new.bin";
    for (WriteMode mode : {WriteMode::CreateNew, WriteMode::Replace}) {
        SCOPED_TRACE(static_cast<int>(mode));
        std::filesystem::remove_all(dir / "a");
        WriteFile w(name, mode);
        EXPECT_FALSE(w.GetInfo().Exists());
        w.Open();
        w.Write("x", 1);
        w.Close();
        EXPECT_EQ(ReadText(name), "x");
    }
    // A folder of the path that is a file cannot be created.
    WriteText(dir / "blocker", "");
    EXPECT_NE(CodeOf([&] {
                  WriteFile w(dir / "blocker/sub/new.bin", OS::WriteMode::Replace);
                  w.Open();
              }),
              -1);
}

TEST(ReadFile, ReadsAndMoves) {
    TempDir dir;
    std::string content;
    for (int i = 0; i < 100; ++i)
        content += char('A' + i % 26);
    WriteText(dir / "data", content);

    EXPECT_EQ(CodeOf([&] { ReadFile r(dir / "missing"); }), 1);

    ReadFile r(dir / "data");
    EXPECT_FALSE(r.IsOpen());
    r.Open();
    EXPECT_TRUE(r.IsOpen());
    char buf[200];
    EXPECT_EQ(r.Move(-16, false), 84u);
    EXPECT_EQ(r.Read(buf, sizeof buf), 16u);
    EXPECT_EQ(std::string(buf, 16), content.substr(84));
    EXPECT_EQ(r.Read(buf, sizeof buf), 0u);
    EXPECT_EQ(r.Move(10, false), 10u);
    EXPECT_EQ(r.Move(5, true), 15u);
    EXPECT_EQ(r.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), content.substr(15, 3));
    r.Close();
    EXPECT_FALSE(r.IsOpen());
    // A closed file can be opened again.
    r.Open();
    EXPECT_EQ(r.Read(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "AB");
}

TEST(WriteFile, LeftOpenIsDeletedOnlyWhenAsked) {
    TempDir dir;
    {
        WriteFile w(dir / "partial", OS::WriteMode::Replace, true);
        w.SetCreationAttributes(OS::ATTR_READONLY);
        w.Open();
        w.Write("half", 4);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "partial"));
    {
        WriteFile w(dir / "kept", OS::WriteMode::Replace, false);
        w.Open();
        w.Write("half", 4);
    }
    EXPECT_EQ(ReadText(dir / "kept"), "half");
    {
        // Closed normally: never deleted by destruction.
        WriteFile w(dir / "closed", OS::WriteMode::Replace, true);
        w.Open();
        w.Write("all", 3);
        w.Close();
    }
    EXPECT_EQ(ReadText(dir / "closed"), "all");
}

TEST(WriteFile, ReadOnlyCreationAttributeAndDelete) {
    TempDir dir;
    const std::string name = dir / "ro.txt";
    WriteFile w(name, OS::WriteMode::Replace);
    w.SetCreationAttributes(OS::ATTR_READONLY | OS::ATTR_HIDDEN);
    w.Open();
    w.Write("x", 1);
    w.Close();
    EXPECT_TRUE(File::Info(name, false).Attributes() & OS::ATTR_READONLY);

    EXPECT_EQ(CodeOf([&] { w.Delete(false); }), 3);
    EXPECT_TRUE(std::filesystem::exists(name));
    w.Delete(true);
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_FALSE(w.GetInfo().Exists());
    // Deleting what is already gone is not an error.
    EXPECT_NO_THROW(w.Delete(false));
}

TEST(WriteFile, CompressedRequestStillCreatesTheFile) {
    TempDir dir;
    WriteFile w(dir / "c.bin", OS::WriteMode::Replace);
    w.SetCreationAttributes(OS::ATTR_COMPRESSED);
    w.Open();
    w.Write("data", 4);
    w.Close();
    EXPECT_EQ(ReadText(dir / "c.bin"), "data");
}

TEST(WriteFile, TimesAreSetInUtc) {
    TempDir dir;
    const std::string name = dir / "t.bin";
    const OS::DateTime modify = OS::DateTime::FromPacked(0x07E90102u, 11045006u);
    const OS::DateTime access = OS::DateTime::FromPacked(0x07E8020Cu, 1000u);
    WriteFile w(name, OS::WriteMode::Replace);
    w.Open();
    w.Write("x", 1);
    w.SetFileTimes(OS::DateTime{}, modify, access);
    w.Close();
    const File::Info info(name, false);
    EXPECT_EQ(info.ModTime(), modify);
    EXPECT_EQ(info.AccessTime(), access);

    w.Open();
    const OS::DateTime bogus = OS::DateTime::FromPacked(0x07E90D01u, 0);
    EXPECT_EQ(CodeOf([&] { w.SetFileTimes(bogus, bogus, bogus); }), 0);
}

TEST(Locks, WritersExcludeEveryoneReadersShare) {
    TempDir dir;
    const std::string name = dir / "locked";
    WriteText(name, "precious");

    {
        ReadFile r1(name), r2(name);
        r1.Open();
        r2.Open();  // readers share
        WriteFile w(name, OS::WriteMode::Replace);
        EXPECT_EQ(CodeOf([&] { w.Open(); }), 6);
        EXPECT_FALSE(w.IsOpen());
        // The refused writer must not have emptied the file the readers hold.
        EXPECT_EQ(ReadText(name), "precious");
        r1.Close();
        r2.Close();
    }
    {
        WriteFile w(name, OS::WriteMode::OpenExisting);
        w.Open();
        ReadFile r(name);
        EXPECT_EQ(CodeOf([&] { r.Open(); }), 6);
        WriteFile w2(name, OS::WriteMode::Truncate);
        EXPECT_EQ(CodeOf([&] { w2.Open(); }), 6);
        w.Close();
        r.Open();  // free again
    }
}

TEST(WriteFile, FullDiskReportsCodeNineAndWhatWasWritten) {
    TempDir dir;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    std::string data(25000, 'z');
    std::size_t written = 12345;
    int code = -1;
    {
        WriteFile w(dir / "big", OS::WriteMode::Replace);
        w.Open();
        try {
            w.Write(data.data(), data.size(), &written);
        } catch (const File::Error& e) {
            code = static_cast<int>(e.code);
        }
        w.Close();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(code, 9);
    EXPECT_EQ(written, 10000u);
    EXPECT_EQ(std::filesystem::file_size(dir / "big"), 10000u);
}

TEST(WriteFile, RecycleMovesToTheTrash) {
    TempDir dir;
    // GIO reads the data folder once per process; every test runs in a process of its own.
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    std::filesystem::create_directories(dir / "data");
    const std::string name = dir / "bin-me.txt";
    WriteText(name, "recyclable");

    WriteFile w(name, OS::WriteMode::OpenExisting);
    w.Open();
    w.Recycle();
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_EQ(ReadText(dir / "data/Trash/files/bin-me.txt"), "recyclable");
    EXPECT_TRUE(std::filesystem::exists(dir / "data/Trash/info/bin-me.txt.trashinfo"));

    // A name already in the trash is renamed, not lost.
    WriteText(name, "second");
    WriteFile w2(name, WriteMode::OpenExisting);
    w2.Recycle();
    EXPECT_FALSE(std::filesystem::exists(name));
    int found = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir / "data/Trash/files"))
        found += ReadText(e.path().string()) == "second";
    EXPECT_EQ(found, 1);
}

}  // namespace
