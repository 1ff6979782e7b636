// Outputs that appear only when complete: anonymous files where the file system has them, short
// temporary names elsewhere, names as long as a folder holds, stale temporaries swept.
#include "os/PendingOutput.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "support/TempDir.h"

namespace {

using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::PendingOutput;
namespace fs = std::filesystem;

// Forces outputs under temporary names for as long as it lives.
class NamedTemporaries {
  public:
    explicit NamedTemporaries(bool on) : m_on(on) {
        if (m_on)
            setenv(PendingOutput::kNamedTemporariesVariable, "1", 1);
    }
    ~NamedTemporaries() {
        if (m_on)
            unsetenv(PendingOutput::kNamedTemporariesVariable);
    }
    NamedTemporaries(const NamedTemporaries&) = delete;
    NamedTemporaries& operator=(const NamedTemporaries&) = delete;

  private:
    bool m_on;
};

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

bool AnonymousFilesWork(const std::string& folder) {
    const OS::Descriptor fd(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    return fd.Valid() && access("/proc/self/fd", X_OK) == 0;
}

void Write(PendingOutput& out, const std::string& text) {
    out.File().Write(text.data(), text.size());
}

struct OutputCase {
    const char* what;
    bool named;  // the fallback forced
    std::size_t nameLength;
    std::uint32_t attributes;
    bool executable;
};

class Outputs : public ::testing::TestWithParam<OutputCase> {};

// A previous file of the final name stays whole until Commit; the output has no name, or one
// short temporary name, meanwhile; the final name may be as long as a folder holds.
TEST_P(Outputs, AppearOnlyAtCommitUnderAnyName) {
    const OutputCase& c = GetParam();
    TempDir dir;
    if (!c.named && !AnonymousFilesWork(dir.Path()))
        GTEST_SKIP() << "no anonymous files in " << dir.Path();
    const NamedTemporaries force(c.named);
    const std::string name(c.nameLength, 'n');
    WriteText(dir / name, "previous");

    PendingOutput out(dir / name, c.attributes);
    out.SetExecutable(c.executable);
    out.Open();
    EXPECT_EQ(out.Anonymous(), !c.named);
    Write(out, "the new content");

    std::set<std::string> during = Names(dir.Path());
    ASSERT_EQ(during.erase(name), 1u);
    if (c.named) {
        ASSERT_EQ(during.size(), 1u);
        const std::string temporary = *during.begin();
        EXPECT_TRUE(PendingOutput::IsTemporaryName(temporary)) << temporary;
        EXPECT_LE(temporary.size(), 32u);
    } else {
        EXPECT_TRUE(during.empty()) << *during.begin();
    }
    EXPECT_EQ(ReadText(dir / name), "previous");

    out.Commit();
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{name});
    EXPECT_EQ(ReadText(dir / name), "the new content");
    struct stat st {};
    ASSERT_EQ(stat((dir / name).c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & S_IWUSR) == 0, (c.attributes & OS::ATTR_READONLY) != 0);
    EXPECT_EQ((st.st_mode & S_IXUSR) != 0, c.executable);
}

INSTANTIATE_TEST_SUITE_P(
    PendingOutput, Outputs,
    ::testing::Values(OutputCase{"anonymous", false, 8, 0, false},
                      OutputCase{"anonymous_longest_name", false, NAME_MAX, 0, false},
                      OutputCase{"anonymous_read_only", false, 8, OS::ATTR_READONLY, false},
                      OutputCase{"anonymous_executable", false, NAME_MAX, 0, true},
                      OutputCase{"named", true, 8, 0, false},
                      OutputCase{"named_longest_name", true, NAME_MAX, 0, false},
                      OutputCase{"named_read_only", true, NAME_MAX, OS::ATTR_READONLY, false},
                      OutputCase{"named_executable", true, 8, 0, true}),
    [](const auto& test) { return std::string(test.param.what); });

// Given up (a failure, a cancel), the output leaves nothing and the previous file as it was.
TEST(PendingOutput, DiscardedLeavesOnlyThePreviousFile) {
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "anonymous");
        TempDir dir;
        const NamedTemporaries force(named);
        WriteText(dir / "f", "previous");
        {
            PendingOutput out(dir / "f", OS::ATTR_READONLY);
            out.Open();
            Write(out, "half");
        }
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"f"});
        EXPECT_EQ(ReadText(dir / "f"), "previous");
    }
}

// A name no folder can hold is refused before anything is made, with a reason that says so.
TEST(PendingOutput, NamesTooLongAreRefusedBeforeAnythingIsMade) {
    TempDir dir;
    const std::string deep = dir / std::string(NAME_MAX, 'd') + "/";
    std::string pastPathMax = deep;
    while (pastPathMax.size() < PATH_MAX)
        pastPathMax += std::string(NAME_MAX, 'p') + "/";
    for (const std::string& name : {dir / std::string(NAME_MAX + 1, 'n'),
                                    deep + std::string(NAME_MAX + 1, 'n'), pastPathMax + "f"}) {
        for (const bool named : {false, true}) {
            const NamedTemporaries force(named);
            PendingOutput out(name);
            try {
                out.Open();
                ADD_FAILURE() << "opened " << name.size() << " bytes";
            } catch (const OS::File::NameTooLong& e) {
                EXPECT_STREQ(e.what(), "File name too long");
            }
        }
    }
    EXPECT_TRUE(Names(dir.Path()).empty());
}

// What a later output into the folder removes: only regular files named exactly as our
// temporaries, older than the run, that no writer holds.
TEST(PendingOutput, SweepsOnlyStaleTemporariesOfOurs) {
    enum Kind { File, Link, Folder };
    struct Entry {
        std::string name;
        Kind kind;
        bool old;
        bool locked;
        bool removed;
    };
    const std::string ours = ".cryvan-0123456789abcdef";
    const std::vector<Entry> entries = {
        {ours, File, true, false, true},
        {".cryvan-zzzzzzzzzzzzzzzz", File, true, false, true},
        {".cryvan-aaaaaaaaaaaaaaab", File, false, false, false},  // made during the run
        {".cryvan-aaaaaaaaaaaaaaac", File, true, true, false},    // a writer holds it
        {".cryvan-0123456789abcde", File, true, false, false},    // one character short
        {".cryvan-0123456789abcdef0", File, true, false, false},  // one too many
        {".cryvan-0123456789ABCDEF", File, true, false, false},
        {".cryvan-0123456789abcd.f", File, true, false, false},
        {"cryvan-0123456789abcdefg", File, true, false, false},
        {".Cryvan-0123456789abcdef", File, true, false, false},
        {"report.txt", File, true, false, false},
        {".cryvan-linklinklinklink", Link, true, false, false},
        {".cryvan-folderfolderfold", Folder, true, false, false},
    };
    TempDir dir;
    WriteText(dir / "target", "the link's target");
    PendingOutput out(dir / "output");  // the run begins
    std::vector<OS::Descriptor> held;
    const struct timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const Entry& e : entries) {
        const std::string path = dir / e.name;
        if (e.kind == File)
            WriteText(path, "stale");
        else if (e.kind == Link)
            ASSERT_EQ(symlink("target", path.c_str()), 0);
        else
            fs::create_directory(path);
        if (e.old)
            ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), longAgo, AT_SYMLINK_NOFOLLOW), 0);
        else
            ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW), 0);
        if (e.locked) {
            held.emplace_back(open(path.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(flock(held.back().Get(), LOCK_EX), 0);
        }
    }

    out.Open();
    Write(out, "new");
    out.Commit();
    const std::set<std::string> left = Names(dir.Path());
    for (const Entry& e : entries)
        EXPECT_EQ(left.count(e.name) == 0, e.removed) << e.name;
    EXPECT_EQ(ReadText(dir / "target"), "the link's target");
    EXPECT_EQ(ReadText(dir / "output"), "new");
}

}  // namespace
