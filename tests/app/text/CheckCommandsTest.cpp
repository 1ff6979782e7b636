// cryvan --list and --test on containers made by the engine: the listing line by line, the
// ways a password comes and fails, and damage found and named file by file.
#include "app/text/CheckCommands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/text/TerminalFixture.h"
#include "engine/EngineTestSupport.h"
#include "os/File.h"
#include "recovery/AdminRecovery.h"
#include "support/SharedFixtures.h"

namespace {

using namespace cryvan_test;
using S = App::ExitStatus;

// A time zone an hour east of UTC for one test, so that local times differ from stored ones.
class LocalZone {
  public:
    explicit LocalZone(const char* zone) : m_zone("TZ", zone) { tzset(); }
    ~LocalZone() { tzset(); }

  private:
    EnvVar m_zone;
};

// 2023-11-14 22:13:20 UTC.
constexpr long kTime = 1700000000;

class CheckCommands : public TerminalFixture {
  protected:
    // in/top: two text files (compressed), random bytes (stored), a hidden and a read-only
    // file, a name with a space, an empty folder and a folder with a file; every time kTime.
    void SetUp() override {
        const std::string top = dir / "in/top";
        fs::create_directories(top + "/empty");
        fs::create_directories(top + "/sub");
        WriteText(top + "/a.txt", TextBytes(5000));
        WriteText(top + "/b.bin", RandomBytes(3000));
        WriteText(top + "/.hidden", "0123456789");
        WriteText(top + "/ro.txt", TextBytes(20));
        WriteText(top + "/with space.txt", "twelve bytes");
        WriteText(top + "/sub/c.txt", "seven b");
        chmod((top + "/ro.txt").c_str(), 0444);
        for (const std::string& p : Expand(top))
            SetModTime(p, kTime, 0);
        WriteText(dir / "pw", "secret1\n");
        container = dir / "box.aes";
        EngineRun run;
        ASSERT_EQ(run.Encrypt(Expand(top), container, {"secret1"}),
                  FCryptEng::OperationState::Finished);
    }

    void TearDown() override { chmod((dir / "in/top/ro.txt").c_str(), 0644); }

    // Where the stored data of entry `name` begins in the container, and its stored size.
    std::pair<std::uint64_t, std::uint32_t> StoredPlace(const std::string& name) {
        EngineRun run;
        auto dec = run.Open(container, "secret1");
        const std::string bytes = ReadText(container);
        const std::uint32_t footer = Be32(bytes, bytes.size() - 4);
        for (std::size_t i = 0; const FCryptEng::DirEntry* e = dec->Directory().GetEntry(i); ++i)
            if (e->Name() == name)
                return {bytes.size() - 4 - footer - e->Position(), e->ArchiveSize()};
        ADD_FAILURE() << "no entry " << name;
        return {0, 0};
    }

    void FlipByte(std::uint64_t at) {
        std::string bytes = ReadText(container);
        ASSERT_LT(at, bytes.size());
        bytes[at] = char(bytes[at] ^ 0x5A);
        WriteText(container, bytes);
    }

    // Flips a byte in the middle of a stored file's data.
    void Damage(const std::string& name) {
        const auto [start, size] = StoredPlace(name);
        ASSERT_GT(size, 0u);
        FlipByte(start + size / 2);
    }

    std::string container;
};

TEST_F(CheckCommands, ListsTheTreeLikeTar) {
    const LocalZone zone("CET-1");
    MakeFolders(dir);
    const auto before = Tree(dir.Path());
    ASSERT_EQ(Run({"--password-file", dir / "pw", "--list", container}), S::Success) << err.str();
    const std::vector<std::string> expected = {
        "d----    0 -          2023-11-14 23:13 top/",
        "--h--   10 compressed 2023-11-14 23:13 top/.hidden",
        "----- 5000 compressed 2023-11-14 23:13 top/a.txt",
        "----- 3000 stored     2023-11-14 23:13 top/b.bin",
        "d----    0 -          2023-11-14 23:13 top/empty/",
        "-r---   20 compressed 2023-11-14 23:13 top/ro.txt",
        "d----    0 -          2023-11-14 23:13 top/sub/",
        "-----    7 compressed 2023-11-14 23:13 top/sub/c.txt",
        "-----   12 compressed 2023-11-14 23:13 top/with space.txt",
    };
    EXPECT_EQ(Lines(out.str()), expected);
    EXPECT_EQ(err.str(), "");
    // Nothing was written anywhere.
    EXPECT_EQ(Tree(dir.Path()), before);
}

TEST(CheckCommandsLine, LettersAndEscapes) {
    struct Case {
        std::uint32_t attributes;
        const char* letters;
    } const cases[] = {
        {0, "-----"},
        {OS::ATTR_DIRECTORY, "d----"},
        {OS::ATTR_READONLY | OS::ATTR_ARCHIVE, "-r--a"},
        {OS::ATTR_HIDDEN | OS::ATTR_SYSTEM, "--hs-"},
        // Bits without a letter (compressed storage, sparse) show nothing.
        {0x01000000 | OS::ATTR_SPARSE | OS::ATTR_DIRECTORY | OS::ATTR_READONLY | OS::ATTR_HIDDEN |
             OS::ATTR_SYSTEM | OS::ATTR_ARCHIVE,
         "drhsa"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text::AttributeLetters(c.attributes), c.letters) << c.attributes;
}

TEST_F(CheckCommands, StoredNamesWithControlsAreEscaped) {
    TempDir other;
    const std::string odd = other / "in/bad\x1b[2Jname";
    fs::create_directories(other / "in");
    WriteText(odd, "x");
    EngineRun run;
    ASSERT_EQ(run.Encrypt({odd}, other / "odd.aes", {"secret1"}),
              FCryptEng::OperationState::Finished);
    ASSERT_EQ(Run({"--password-file", dir / "pw", "--list", other / "odd.aes"}), S::Success);
    EXPECT_NE(out.str().find("bad\\x1b[2Jname"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
}

TEST_F(CheckCommands, PasswordsFromEachSourceAndWrongOnes) {
    WriteText(dir / "bad", "wrong-pw\n");
    const std::string wrong = "The password entered was incorrect.";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string typed;
        bool terminal;
        S status;
        int wrongTimes;
    } const cases[] = {
        {"file", {"--password-file", dir / "pw"}, "", false, S::Success, 0},
        {"wrong file: no second try",
         {"--password-file", dir / "bad"},
         "secret1\n",
         true,
         S::Failed,
         1},
        {"piped", {}, "secret1\n", false, S::Success, 0},
        {"piped wrong: no second try", {}, "wrong-pw\nsecret1\n", false, S::Failed, 1},
        {"typed, right at the second try", {}, "nope\nsecret1\n", true, S::Success, 1},
        {"typed wrong three times", {}, "a\nb\nc\nsecret1\n", true, S::Failed, 3},
        {"nothing typed", {}, "", true, S::NoInput, 0},
        {"missing password file",
         {"--password-file", dir / "none"},
         "",
         false,
         S::InvalidCommandLine,
         0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--list");
        args.push_back(container);
        EXPECT_EQ(Run(args, c.typed, c.terminal), c.status) << c.what << "\n" << err.str();
        int found = 0;
        for (const std::string& line : Lines(err.str()))
            found += line == "cryvan: " + wrong;
        EXPECT_EQ(found, c.wrongTimes) << c.what << "\n" << err.str();
        // The listing only once the container opened.
        EXPECT_EQ(out.str().find("top/a.txt") != std::string::npos, c.status == S::Success)
            << c.what;
    }
}

TEST_F(CheckCommands, AdministratorsTypeTheirPasswordsInTurn) {
    ScriptedCallback setup;
    FCryptEng::AdminRecovery admins(&setup);
    ASSERT_TRUE(admins.Add("Ann", "ann's password", false));
    ASSERT_TRUE(admins.Add("Cy", "cy's password", false));
    admins.SetK(2);
    EngineRun run;
    auto enc = FCryptEng::FileCryptor::Create(false, &run.status, &run.callback);
    enc->SetPlainFile(dir / "in/top/a.txt");
    enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
    enc->CipherFile(dir / "admin.aes");
    enc->Password("user's password");
    enc->AddRecovery(admins);
    enc->Begin();
    ASSERT_EQ(run.status.State(), FCryptEng::OperationState::Finished);

    struct Case {
        const char* what;
        std::string typed;
        S status;
    } const cases[] = {
        {"two administrators", "ann's password\ncy's password\n", S::Success},
        {"the second one wrong", "cy's password\nnot cy\n", S::Failed},
        {"no second one", "ann's password\n", S::Cancelled},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run({"--list", dir / "admin.aes"}, c.typed), c.status) << c.what << err.str();
        EXPECT_NE(out.str().find("administrator"), std::string::npos) << c.what << out.str();
        EXPECT_EQ(out.str().find(" a.txt") != std::string::npos, c.status == S::Success)
            << c.what << out.str();
    }
}

TEST_F(CheckCommands, TestPassesAnIntactContainer) {
    ASSERT_EQ(Run({"--password-file", dir / "pw", "--test", container}), S::Success) << err.str();
    EXPECT_NE(out.str().find("All 6 files are intact."), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");
}

TEST_F(CheckCommands, TestNamesEveryDamagedFile) {
    const std::string mac = "File MAC mismatch - corrupted or modified input file";
    struct Case {
        std::vector<std::string> damaged;
        std::vector<std::string> named;  // as stored names are shown
    } const cases[] = {
        {{"top\\b.bin"}, {"top/b.bin"}},
        {{"top\\a.txt", "top\\sub\\c.txt"}, {"top/a.txt", "top/sub/c.txt"}},
    };
    const std::string pristine = ReadText(container);
    for (const Case& c : cases) {
        WriteText(container, pristine);
        for (const std::string& name : c.damaged)
            Damage(name);
        ASSERT_EQ(Run({"--password-file", dir / "pw", "--test", container}), S::Failed)
            << out.str();
        const std::vector<std::string> lines = Lines(err.str());
        ASSERT_EQ(lines.size(), c.named.size() + 1) << err.str();
        for (std::size_t i = 0; i < c.named.size(); ++i) {
            const std::string head = "cryvan: " + c.named[i] + ": ";
            EXPECT_EQ(lines[i].compare(0, head.size(), head), 0) << lines[i];
            // A reason follows the name.
            EXPECT_GT(lines[i].size(), head.size()) << lines[i];
        }
        EXPECT_EQ(lines.back(), "cryvan: " + std::to_string(c.named.size()) + " of 6 files " +
                                    (c.named.size() == 1 ? "is" : "are") + " damaged");
        EXPECT_EQ(out.str().find("intact"), std::string::npos);
    }
    // A stored file's flipped byte is found by its MAC.
    WriteText(container, pristine);
    Damage("top\\b.bin");
    ASSERT_EQ(Run({"--password-file", dir / "pw", "--test", container}), S::Failed);
    EXPECT_EQ(Lines(err.str())[0], "cryvan: top/b.bin: " + mac);
}

TEST_F(CheckCommands, DamagedFootersEndWithTheirReason) {
    const std::string bytes = ReadText(container);
    struct Case {
        const char* what;
        std::uint64_t at;
    } const cases[] = {
        // The directory footer is written last: its MAC ends just before the length word.
        {"directory footer", bytes.size() - 4 - 10},
        // The length word itself.
        {"footer length", bytes.size() - 2},
    };
    for (const Case& c : cases) {
        WriteText(container, bytes);
        FlipByte(c.at);
        for (const char* command : {"--test", "--list"}) {
            EXPECT_EQ(Run({"--password-file", dir / "pw", command, container}), S::Failed)
                << c.what;
            const std::string head = "cryvan: " + container + ": The input file is corrupt. (";
            EXPECT_EQ(err.str().compare(0, head.size(), head), 0) << c.what << "\n" << err.str();
            EXPECT_EQ(out.str().find("top/"), std::string::npos) << c.what;
        }
    }
}

// Containers written by another implementation test intact, and list what their notes say.
TEST_F(CheckCommands, TheSharedFixturesAreIntact) {
    CRYVAN_REQUIRE_SHARED_FIXTURES("basic.aes", "foreign-header-unknown-records.aes.exe",
                                   "emergency-first.aes", "mixed-compression.aes",
                                   "folders-only.aes");
    const LocalZone zone("UTC0");
    struct Case {
        const char* file;
        const char* password;
        const char* verdict;
        const char* line;  // one line of the listing
    } const cases[] = {
        {"basic.aes", "correct horse", "All 3 files are intact.",
         "-r--- 8600 compressed 2025-01-02 03:04 docs/notes.txt"},
        {"foreign-header-unknown-records.aes.exe", "second password", "The 1 file is intact.",
         "----a 13 compressed 2025-01-02 03:04 hello.txt"},
        {"emergency-first.aes", "emergency-pass", "The 1 file is intact.",
         "----a 3000 compressed 2025-01-02 03:04 report.final.doc"},
        {"mixed-compression.aes", "mixed", "All 2 files are intact.",
         "----a 2048 stored     2025-01-02 03:04 plain.bin"},
        {"folders-only.aes", "folders only", "No file is stored; the directory is intact.",
         "d---- 0 -          2025-01-02 03:04 a/b/"},
    };
    for (const Case& c : cases) {
        WriteText(dir / "fixture-pw", std::string(c.password) + "\n");
        const std::string file = SharedFixture(c.file);
        EXPECT_EQ(Run({"--password-file", dir / "fixture-pw", "--test", file}), S::Success)
            << c.file << err.str();
        EXPECT_EQ(Lines(out.str()), std::vector<std::string>{c.verdict}) << c.file;
        EXPECT_EQ(Run({"--password-file", dir / "fixture-pw", "--list", file}), S::Success)
            << c.file << err.str();
        const auto lines = Lines(out.str());
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.file << "\n"
                                                                              << out.str();
    }
}

TEST_F(CheckCommands, UsageAndOtherArguments) {
    EXPECT_EQ(Run({"--list"}), S::InvalidCommandLine);
    EXPECT_EQ(Run({"--list", container, "--test", container}), S::InvalidCommandLine);
    EXPECT_EQ(Run({"--list", container, "extra"}), S::InvalidCommandLine);
    EXPECT_EQ(Run({"--test", dir / "missing.aes"}, "secret1\n"), S::Failed);
    EXPECT_NE(err.str().find("The input file selected does not exist."), std::string::npos);
    // The options of a wizard run are not ours.
    EXPECT_EQ(Run({"--help"}), S::Success);
    EXPECT_NE(out.str().find("--list FILE"), std::string::npos);
    EXPECT_NE(out.str().find("--test FILE"), std::string::npos);
}

}  // namespace
