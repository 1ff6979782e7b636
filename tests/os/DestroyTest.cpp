#include "os/Destroy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "os/Logger.h"
#include "support/Folders.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::Change;
using cryvan_test::MakeChange;
using cryvan_test::ReadText;
using cryvan_test::ShmDir;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::File;
using OS::WriteFile;

const std::string kAlphabet = "abcdefghijkLmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-+";

bool OnSecureFileSystem(const std::string& path) {
    struct statfs st {};
    return statfs(path.c_str(), &st) == 0 && OS::IsSecureFileSystem(std::uint32_t(st.f_type));
}

// Records what happens to the entries of one folder.
class FolderEvents {
  public:
    struct Event {
        std::uint32_t mask;
        std::string name;
    };

    explicit FolderEvents(const std::string& dir) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, dir.c_str(),
                              IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE);
    }
    ~FolderEvents() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }

    std::vector<Event> Take() {
        std::vector<Event> events;
        alignas(inotify_event) char buffer[64 * 1024];
        ssize_t n;
        while ((n = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len)
                    events.push_back({e->mask & ~std::uint32_t(IN_ISDIR), e->name});
                p += sizeof(inotify_event) + e->len;
            }
        }
        return events;
    }

  private:
    int m_fd;
};

// ---------------------------------------------------------------------------------------------

TEST(SecureMedium, FileSystemTypes) {
    struct {
        std::uint32_t magic;
        const char* name;
        bool secure;
    } const cases[] = {
        {0xEF53, "ext2/3/4", true},     {0x58465342, "xfs", true},
        {0x4d44, "fat", true},          {0x2011BAB0, "exfat", true},
        {0x5346544e, "ntfs", true},     {0x7366746e, "ntfs3", true},
        {0x3153464a, "jfs", true},      {0x52654973, "reiserfs", true},
        {0x482b, "hfsplus", true},      {0x6969, "nfs", false},
        {0x517B, "smb", false},         {0xFF534D42, "cifs", false},
        {0xFE534D42, "smb2", false},    {0x5346414F, "afs", false},
        {0x73757245, "coda", false},    {0x01021997, "9p", false},
        {0x65735546, "fuse", false},    {0x9660, "iso9660", false},
        {0x15013346, "udf", false},     {0x01021994, "tmpfs", false},
        {0x858458f6, "ramfs", false},   {0x9123683E, "btrfs", false},
        {0x2fc12fc1, "zfs", false},     {0xca451a4e, "bcachefs", false},
        {0xF2F52010, "f2fs", false},    {0x3434, "nilfs", false},
        {0x794c7630, "overlay", false}, {0, "zero", false},
        {0x12345678, "unknown", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OS::IsSecureFileSystem(c.magic), c.secure);
    }
}

TEST(SecureMedium, AttributesAndPlaces) {
    TempDir dir;
    WriteText(dir / "plain", std::string(40000, 'p'));
    EXPECT_EQ(OS::IsSecureMedium(File::Info(dir / "plain", false)), OnSecureFileSystem(dir.Path()));

    // A sparse file has no blocks behind its holes to overwrite.
    const int fd = open((dir / "sparse").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1 << 24), 0);
    close(fd);
    EXPECT_FALSE(OS::IsSecureMedium(File::Info(dir / "sparse", false)));

    // Unreachable places are an invalid drive.
    for (const std::string& name : {dir / "no/such/file", dir / "plain/inner"}) {
        SCOPED_TRACE(name);
        const File::Info info(name, true);
        try {
            OS::IsSecureMedium(info);
            ADD_FAILURE() << "no error";
        } catch (const File::Error& e) {
            EXPECT_EQ(e.code, OS::ErrorCode::InvalidDrive);
        }
    }

    ShmDir shm;
    if (shm.Path().empty())
        GTEST_SKIP() << "no RAM file system at /dev/shm";
    WriteText(shm.Path() + "/f", "in memory");
    EXPECT_FALSE(OS::IsSecureMedium(File::Info(shm.Path() + "/f", false)));
}

TEST(ScrambleName, KeepsLengthAndDots) {
    std::uint32_t n = 0;
    const auto counting = [&n] { return n++; };
    // Index modulo 64, in the alphabet's order (capital L twelfth).
    EXPECT_EQ(OS::ScrambleName(std::string(66, 'x'), counting), kAlphabet + "ab");
    n = 0;
    EXPECT_EQ(OS::ScrambleName("a.b.txt", counting), "a.b.cde");
    n = 62;
    EXPECT_EQ(OS::ScrambleName(".x..y.", counting), ".-..+.");

    std::mt19937 rng(7);
    const auto random = [&rng] { return std::uint32_t(rng()); };
    for (const std::string name : {"a.b.txt", "", "x", ".hidden", "...", "archive.tar.gz",
                                   "trailing.", "na\xC3\xAFve.txt"}) {
        SCOPED_TRACE(name);
        const std::string scrambled = OS::ScrambleName(name, random);
        ASSERT_EQ(scrambled.size(), name.size());
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (name[i] == '.')
                EXPECT_EQ(scrambled[i], '.');
            else
                EXPECT_NE(kAlphabet.find(scrambled[i]), std::string::npos) << i;
        }
    }
}

// ---------------------------------------------------------------------------------------------

// An open descriptor on a file: it sees whatever is written to the data, and keeps the data
// readable after the name has gone.
class Witness {
  public:
    explicit Witness(const std::string& name) : m_fd(open(name.c_str(), O_RDONLY)) {}
    ~Witness() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Witness(const Witness&) = delete;
    Witness& operator=(const Witness&) = delete;
    bool Ok() const { return m_fd >= 0; }
    std::string Data() const {
        struct stat st {};
        if (fstat(m_fd, &st) != 0)
            return "";
        std::string data(std::size_t(st.st_size), '\0');
        return pread(m_fd, data.data(), data.size(), 0) == st.st_size ? data : "";
    }

  private:
    int m_fd;
};

TEST(Overwrite, ZerosReachTheDataBeforeTheNameGoes) {
    TempDir dir;
    const std::string name = dir / "plain.txt";
    WriteText(name, std::string(40000, 'A'));
    Witness witness(name);
    ASSERT_TRUE(witness.Ok());

    OS::ProgressWord percent{3}, counter{1000};
    WriteFile w(name, OS::WriteMode::Replace);
    w.SetProgress(0, &percent, &counter, 5000);
    EXPECT_EQ(w.Overwrite(), OnSecureFileSystem(dir.Path()));

    EXPECT_FALSE(fs::exists(name));
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(w.GetInfo().Exists());
    EXPECT_EQ(witness.Data(), std::string(40000, '\0'));
    EXPECT_EQ(w.DestroyNote(), "");
    EXPECT_EQ(percent, 100u);
    EXPECT_EQ(counter, 5000u);
}

TEST(Eradicate, PassesThenFourRenamesThenDeletion) {
    for (const std::size_t size : {std::size_t(0), std::size_t(100), std::size_t(40000)}) {
        SCOPED_TRACE(size);
        TempDir dir;
        fs::create_directory(dir / "files");
        const std::string name = dir / "files/a.b.txt";
        WriteText(name, std::string(size, 'A'));
        Witness witness(name);
        ASSERT_TRUE(witness.Ok());
        FolderEvents events(dir / "files");
        ASSERT_TRUE(events.Ok());

        OS::ProgressWord percent{0}, counter{200};
        WriteFile w(name, OS::WriteMode::Replace);
        w.SetProgress(0, &percent, &counter, 1000);
        EXPECT_EQ(w.Eradicate(), OnSecureFileSystem(dir.Path()));
        EXPECT_FALSE(fs::exists(name));
        EXPECT_TRUE(fs::is_empty(dir / "files"));
        EXPECT_EQ(w.GetInfo().Name(), "a.b.txt");
        EXPECT_EQ(percent, 100u);
        EXPECT_EQ(counter, 1000u);

        // The data was written (once opened, through to the end) before any rename; then the
        // name went through four renames that kept its shape, and the last name was deleted.
        std::vector<FolderEvents::Event> seen = events.Take();
        std::size_t at = 0;
        if (size != 0) {
            ASSERT_GE(seen.size(), 2u);
            EXPECT_EQ(seen[0].mask, std::uint32_t(IN_OPEN));
            EXPECT_EQ(seen[1].mask, std::uint32_t(IN_CLOSE_WRITE));
            at = 2;
        }
        ASSERT_EQ(seen.size(), at + 9);
        std::string current = "a.b.txt";
        for (int i = 0; i < 4; ++i, at += 2) {
            EXPECT_EQ(seen[at].mask, std::uint32_t(IN_MOVED_FROM));
            EXPECT_EQ(seen[at].name, current);
            EXPECT_EQ(seen[at + 1].mask, std::uint32_t(IN_MOVED_TO));
            current = seen[at + 1].name;
            ASSERT_EQ(current.size(), 7u);
            EXPECT_EQ(current[1], '.');
            EXPECT_EQ(current[3], '.');
            EXPECT_EQ(current.find_first_not_of(kAlphabet + "."), std::string::npos);
        }
        EXPECT_EQ(seen[at].mask, std::uint32_t(IN_DELETE));
        EXPECT_EQ(seen[at].name, current);

        // The last pass is pseudo-random block content, repeated every block: 16,384 + 16,384
        // + 7,232 bytes for 40,000.
        const std::string data = witness.Data();
        ASSERT_EQ(data.size(), size);
        if (size == 0)
            continue;
        const std::size_t block = std::min<std::size_t>(size, 16384);
        EXPECT_NE(data.find_first_not_of(data[0]), std::string::npos) << "not a fixed pattern";
        for (std::size_t i = block; i < size; ++i) {
            if (data[i] != data[i % block]) {
                ADD_FAILURE() << "byte " << i << " differs from its place in the block";
                break;
            }
        }
    }
}

TEST(Destroy, LeavesWhatItCannotOpen) {
    enum class Hold { ReadOnly, Locked };
    for (const Hold hold : {Hold::ReadOnly, Hold::Locked}) {
        for (const bool eradicate : {false, true}) {
            SCOPED_TRACE(std::string(hold == Hold::ReadOnly ? "read-only " : "locked ") +
                         (eradicate ? "eradicate" : "overwrite"));
            TempDir dir;
            const std::string name = dir / "kept.txt";
            WriteText(name, "precious");
            std::unique_ptr<OS::ReadFile> holder;
            if (hold == Hold::ReadOnly) {
                // Root could open it for writing: the flag must be honoured anyway.
                chmod(name.c_str(), 0444);
            } else {
                holder = std::make_unique<OS::ReadFile>(name);
                holder->Open();
            }
            WriteFile w(name, OS::WriteMode::Replace);
            EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
            EXPECT_FALSE(w.IsOpen());
            EXPECT_EQ(ReadText(name), "precious");
        }
    }

    // An empty file is never opened to be eradicated, so read-only does not keep it.
    TempDir dir;
    WriteText(dir / "empty", "");
    chmod((dir / "empty").c_str(), 0444);
    WriteFile w(dir / "empty", OS::WriteMode::Replace);
    w.Eradicate();
    EXPECT_FALSE(fs::exists(dir / "empty"));
}

TEST(Destroy, SkipsWhatIsNotAPlainFile) {
    TempDir dir;
    WriteText(dir / "target", "target data");
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "target", dir / "link");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);

    for (const char* name : {"missing", "folder", "link", "pipe"}) {
        for (const bool eradicate : {false, true}) {
            SCOPED_TRACE(std::string(name) + (eradicate ? " eradicate" : " overwrite"));
            WriteFile w(dir / name, OS::WriteMode::Replace);
            EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
        }
    }
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
    EXPECT_EQ(ReadText(dir / "target"), "target data");
}

TEST(Destroy, AFileWithOtherNamesIsOnlyUnlinked) {
    for (const bool eradicate : {false, true}) {
        SCOPED_TRACE(eradicate ? "eradicate" : "overwrite");
        TempDir dir;
        WriteText(dir / "chosen", "shared content");
        ASSERT_EQ(link((dir / "chosen").c_str(), (dir / "other").c_str()), 0);
        OS::ProgressWord percent{0};
        WriteFile w(dir / "chosen", OS::WriteMode::Replace);
        w.SetProgress(0, &percent, nullptr, 0);
        EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
        EXPECT_FALSE(fs::exists(dir / "chosen"));
        EXPECT_EQ(ReadText(dir / "other"), "shared content");
        EXPECT_NE(w.DestroyNote().find("hard links"), std::string::npos) << w.DestroyNote();
        EXPECT_EQ(percent, 100u);
    }
}

TEST(Destroy, LeavesAFileThatIsNoLongerTheOneRead) {
    for (const Change change :
         {Change::None, Change::Grown, Change::Touched, Change::Replaced, Change::Symlink}) {
        for (int how = 0; how < 3; ++how) {
            SCOPED_TRACE(int(change) * 10 + how);
            TempDir dir;
            const std::string name = dir / "input.txt";
            WriteText(name, "original");
            const std::optional<OS::FileIdentity> read = OS::IdentityAt(name);
            ASSERT_TRUE(read);
            MakeChange(name, change);

            std::string note;
            if (how < 2) {
                WriteFile w(name, OS::WriteMode::Replace);
                w.ExpectIdentity(*read);
                how == 0 ? w.Overwrite() : w.Eradicate();
                note = w.DestroyNote();
            } else {
                const auto outcomes = OS::DeleteFileList({name}, false, {*read});
                ASSERT_EQ(outcomes.size(), 1u);
                EXPECT_EQ(outcomes[0].result,
                          change == Change::None ? OS::Removal::Removed : OS::Removal::Changed);
                note = outcomes[0].reason;
            }
            std::error_code ec;
            EXPECT_EQ(fs::exists(fs::symlink_status(name, ec)), change != Change::None);
            if (change != Change::None) {
                EXPECT_NE(note.find("changed"), std::string::npos) << note;
                EXPECT_EQ(ReadText(name).substr(0, 8), "original");
            }
        }
    }
    // A name that is gone has no identity.
    TempDir dir;
    EXPECT_FALSE(OS::IdentityAt(dir / "missing"));
    EXPECT_FALSE(OS::IdentityAt(dir / "no-folder/missing"));
}

TEST(Destroy, RamFileSystemIsNotTrustedButTheFileGoes) {
    ShmDir shm;
    if (shm.Path().empty())
        GTEST_SKIP() << "no RAM file system at /dev/shm";
    for (const bool eradicate : {false, true}) {
        SCOPED_TRACE(eradicate);
        const std::string name = shm.Path() + "/secret.txt";
        WriteText(name, std::string(20000, 's'));
        OS::ProgressWord percent{0};
        WriteFile w(name, OS::WriteMode::Replace);
        w.SetProgress(0, &percent, nullptr, 0);
        EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
        EXPECT_TRUE(fs::is_empty(shm.Path()));
        EXPECT_EQ(percent, 100u);
    }
}

TEST(Destroy, AFileWhoseNameCannotGoIsLeftWhole) {
    if (geteuid() == 0)
        GTEST_SKIP() << "a read-only folder does not stop root";
    for (const bool eradicate : {false, true}) {
        SCOPED_TRACE(eradicate ? "eradicate" : "overwrite");
        TempDir dir;
        fs::create_directory(dir / "locked");
        const std::string name = dir / "locked/a.b.txt";
        WriteText(name, std::string(1000, 'A'));
        chmod((dir / "locked").c_str(), 0555);

        // Zeros under a name that stays would lose the content and keep the file.
        WriteFile w(name, OS::WriteMode::Replace);
        EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
        EXPECT_EQ(ReadText(name), std::string(1000, 'A'));
        EXPECT_NE(w.DestroyNote().find("folder"), std::string::npos) << w.DestroyNote();
    }
}

// ---------------------------------------------------------------------------------------------

TEST(DeleteFileList, DeletesEveryNameWhateverItsPermissions) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    WriteText(dir / "one", "1");
    WriteText(dir / "ro", "r");
    chmod((dir / "ro").c_str(), 0444);
    WriteText(dir / "sub/two", "2");
    std::ostringstream warnings;
    OS::Logger::Register(OS::LOG_WARN, &warnings);

    const auto outcomes =
        OS::DeleteFileList({dir / "one", dir / "missing", dir / "ro", dir / "sub/two"}, false);

    OS::Logger::Register(0, &warnings);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].result, OS::Removal::Removed);
    EXPECT_EQ(outcomes[1].result, OS::Removal::Missing);
    EXPECT_EQ(outcomes[2].result, OS::Removal::Removed);
    EXPECT_EQ(outcomes[3].result, OS::Removal::Removed);
    EXPECT_FALSE(fs::exists(dir / "one"));
    EXPECT_FALSE(fs::exists(dir / "ro"));
    EXPECT_FALSE(fs::exists(dir / "sub/two"));
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    EXPECT_NE(warnings.str().find(dir / "missing"), std::string::npos) << warnings.str();
}

// Runs in a process of its own: the trash folder is fixed at GIO's first use.
int RecycleListScenario() {
    TempDir dir;
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    WriteText(dir / "a/same", "first");
    WriteText(dir / "b/same", "second");
    WriteText(dir / "a/ro", "read-only");
    chmod((dir / "a/ro").c_str(), 0444);

    OS::DeleteFileList({dir / "a/same", dir / "b/same", dir / "missing", dir / "a/ro"}, true);

    int failures = 0;
    const auto check = [&failures](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "failed: %s\n", what);
            ++failures;
        }
    };
    check(!fs::exists(dir / "a/same") && !fs::exists(dir / "b/same") && !fs::exists(dir / "a/ro"),
          "names removed");
    std::multiset<std::string> trashed;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir / "data/Trash/files", ec))
        trashed.insert(ReadText(e.path().string()));
    check(trashed == std::multiset<std::string>{"first", "second", "read-only"},
          "all in the trash");
    return failures;
}

TEST(DeleteFileList, ReportsWhatTheTrashRefused) {
    // GIO keeps no trash on a RAM file system.
    ShmDir shm;
    if (shm.Path().empty())
        GTEST_SKIP() << "no RAM file system at /dev/shm";
    WriteText(shm.Path() + "/a", "a");
    const auto outcomes = OS::DeleteFileList({shm.Path() + "/a"}, true);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, OS::Removal::NotTrashed);
    EXPECT_NE(outcomes[0].reason.find("trash"), std::string::npos) << outcomes[0].reason;
    EXPECT_EQ(ReadText(shm.Path() + "/a"), "a");
}

TEST(DeleteFileList, RecyclesEveryNameToTheTrash) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(RecycleListScenario()), testing::ExitedWithCode(0), "");
}

}  // namespace
