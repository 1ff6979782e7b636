// The organisation tool's commands run in process: their output, their errors and statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/org/Command.h"
#include "recovery/AdminRecovery.h"
#include "recovery/Organisation.h"
#include "support/ScriptedCallback.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using App::ExitStatus;
using cryvan_test::Be16;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminRecovery;
using FCryptEng::Organisation;

constexpr const char* kPassword = "organisation words";

struct Result {
    ExitStatus status = ExitStatus::Unexpected;
    std::string out;
    std::string err;
    std::string prompts;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class OrgCommands : public ::testing::Test {
  protected:
    // `typed` is what arrives on the input, a terminal's or a script's.
    Result Run(const std::vector<std::string>& args, const std::string& typed = "",
               bool terminal = false) const {
        std::istringstream in(typed);
        std::ostringstream out, err, prompts;
        App::StreamInput input(in, prompts, terminal);
        Org::Io io{out, err, input};
        Result r;
        r.status = Org::RunTool(args, io);
        r.out = out.str();
        r.err = err.str();
        r.prompts = prompts.str();
        return r;
    }

    Result Create(const std::string& path, const std::vector<std::string>& extra = {}) const {
        WriteText(tmp / "pw", std::string(kPassword) + "\n");
        std::vector<std::string> args{"create", "--name",          "Harbour Works", "--output",
                                      path,     "--password-file", tmp / "pw"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }

    // A configuration signed with `keys`, as the preferences sign it.
    std::string SignedConfiguration(const FCryptEng::KeyPair& keys, int k = 2) const {
        cryvan_test::ScriptedCallback callback;
        AdminRecovery config(&callback);
        config.Add("Admin One", "administrator words", false);
        config.Add("Admin Two", "administrator words 2", false);
        config.SetK(k);
        config.SetPermitEP(false);
        config.Sign(keys);
        const std::string path = tmp / "Data Recovery.bin";
        config.SaveAs(path);
        return path;
    }

    TempDir tmp;
    EnvVar configDirs{"XDG_CONFIG_DIRS", (tmp / "etc").c_str()};
};

TEST_F(OrgCommands, CreateShowAndVerify) {
    const std::string record = tmp / "Organisation.bin";
    const Result created = Create(record, {"--recovery", "on", "--folder", "program"});
    ASSERT_EQ(created.status, ExitStatus::Success) << created.err;
    EXPECT_TRUE(Contains(created.out, "Wrote " + record));

    Organisation org;
    org.Open(record);
    EXPECT_EQ(org.Name(), "Harbour Works");
    EXPECT_TRUE(org.Check());
    EXPECT_TRUE(org.RecoveryApplies());
    EXPECT_TRUE(org.ProgramFolder());

    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.status, ExitStatus::Success) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Harbour Works"));
    EXPECT_TRUE(Contains(shown.out, "Key fingerprint:  " + org.Fingerprint()));
    EXPECT_TRUE(Contains(shown.out, "Signature:        valid"));
    EXPECT_TRUE(Contains(shown.out, "program"));

    const auto key = org.OpenKey(kPassword);
    ASSERT_TRUE(key);
    const std::string recovery = SignedConfiguration(*key);
    const Result verified = Run({"verify", "--org", record, recovery});
    EXPECT_EQ(verified.status, ExitStatus::Success) << verified.err;
    EXPECT_TRUE(Contains(verified.out, "N = 2, K = 2"));
    EXPECT_TRUE(Contains(verified.out, "Emergency passwords permitted: no"));
    EXPECT_TRUE(Contains(verified.out, "  Admin One\n  Admin Two\n"));

    // Changed after signing, or signed for another organisation: refused.
    std::string bytes = ReadText(recovery);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteText(recovery, bytes);
    const Result altered = Run({"verify", "--org", record, recovery});
    EXPECT_EQ(altered.status, ExitStatus::Failed);
    EXPECT_EQ(altered.err.rfind("error: ", 0), 0u) << altered.err;

    SignedConfiguration(*key);
    ASSERT_EQ(Create(tmp / "other.bin").status, ExitStatus::Success);
    const Result other = Run({"verify", "--org", tmp / "other.bin", recovery});
    EXPECT_EQ(other.status, ExitStatus::Failed);
    EXPECT_TRUE(Contains(other.out, "Signature:        INVALID"));
}

TEST_F(OrgCommands, DefaultPathIsTheAllUsersFolder) {
    const Result created =
        Run({"create", "--name", "Acme", "--recovery", "off"}, std::string(kPassword) + "\r\n");
    ASSERT_EQ(created.status, ExitStatus::Success) << created.err;
    const std::string record = tmp / "etc/Tenvik-Labs/Cryvan/Organisation.bin";
    ASSERT_TRUE(fs::is_regular_file(record));
    Organisation org;
    org.Open(record);
    EXPECT_FALSE(org.RecoveryApplies());
    EXPECT_FALSE(org.ProgramFolder());
    EXPECT_TRUE(org.OpenKey(kPassword)) << "the line end is not part of the password";

    const Result shown = Run({"show"});
    EXPECT_EQ(shown.status, ExitStatus::Success);
    EXPECT_TRUE(Contains(shown.out, "does not apply"));
    EXPECT_TRUE(Contains(Run({"--help"}).out, record));
}

TEST_F(OrgCommands, DamagedRecordsFail) {
    const std::string record = tmp / "Organisation.bin";
    ASSERT_EQ(Create(record).status, ExitStatus::Success);
    std::string bytes = ReadText(record);
    bytes[6] ^= 0x01;
    WriteText(record, bytes);
    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.status, ExitStatus::Failed);
    EXPECT_TRUE(Contains(shown.out, "Signature:        INVALID"));
    WriteText(tmp / "Data Recovery.bin", "x");
    EXPECT_EQ(Run({"verify", "--org", record, tmp / "Data Recovery.bin"}).status,
              ExitStatus::Failed);
    EXPECT_EQ(Run({"protect-key", record}, std::string(kPassword) + "\n").status,
              ExitStatus::Failed);

    WriteText(record, bytes.substr(0, 40));
    EXPECT_EQ(Run({"show", record}).status, ExitStatus::Failed);
}

TEST_F(OrgCommands, ErrorsAndTheirStatuses) {
    const std::string record = tmp / "Organisation.bin";
    ASSERT_EQ(Create(record).status, ExitStatus::Success);
    WriteText(tmp / "empty", "");
    WriteText(tmp / "short", "short\n");
    WriteText(tmp / "long", std::string(51, 'p') + "\n");
    WriteText(tmp / "nul", std::string("organisation\0words\n", 19));
    const std::string a = tmp / "a.bin";
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string typed;
        ExitStatus status;
    } const cases[] = {
        {"help", {"help"}, "", ExitStatus::Success},
        {"no command", {}, "", ExitStatus::InvalidCommandLine},
        {"unknown command", {"sign"}, "", ExitStatus::InvalidCommandLine},
        {"create without a name",
         {"create", "--output", a},
         kPassword,
         ExitStatus::InvalidCommandLine},
        {"bad --recovery",
         {"create", "--name", "A", "--recovery", "maybe"},
         "",
         ExitStatus::InvalidCommandLine},
        {"bad --folder",
         {"create", "--name", "A", "--folder", "home"},
         "",
         ExitStatus::InvalidCommandLine},
        {"--output without a value",
         {"create", "--name", "A", "--output"},
         "",
         ExitStatus::InvalidCommandLine},
        {"--output naming a folder",
         {"create", "--name", "A", "--output", tmp / ""},
         "",
         ExitStatus::InvalidCommandLine},
        {"bad descriptor",
         {"create", "--name", "A", "--password-fd", "three"},
         "",
         ExitStatus::InvalidCommandLine},
        {"descriptor not open",
         {"create", "--name", "A", "--output", a, "--password-fd", "999"},
         "",
         ExitStatus::InvalidCommandLine},
        {"password file missing",
         {"create", "--name", "A", "--output", a, "--password-file", tmp / "none"},
         "",
         ExitStatus::InvalidCommandLine},
        {"two password sources",
         {"create", "--name", "A", "--output", a, "--password-file", tmp / "short", "--password-fd",
          "0"},
         "",
         ExitStatus::InvalidCommandLine},
        {"name with a line break",
         {"create", "--name", "A\nB"},
         "",
         ExitStatus::InvalidCommandLine},
        {"verify without a file", {"verify", "--org", record}, "", ExitStatus::InvalidCommandLine},
        {"show two records", {"show", record, record}, "", ExitStatus::InvalidCommandLine},
        {"unknown option", {"protect-key", "--bogus"}, "", ExitStatus::InvalidCommandLine},
        {"password too short",
         {"create", "--name", "A", "--output", a, "--password-file", tmp / "short"},
         "",
         ExitStatus::Failed},
        {"password too long",
         {"create", "--name", "A", "--output", a, "--password-file", tmp / "long"},
         "",
         ExitStatus::Failed},
        {"password with a NUL byte",
         {"create", "--name", "A", "--output", a, "--password-file", tmp / "nul"},
         "",
         ExitStatus::Failed},
        {"no password on the input",
         {"create", "--name", "A", "--output", a},
         "",
         ExitStatus::NoInput},
        {"record exists",
         {"create", "--name", "A", "--output", record},
         kPassword,
         ExitStatus::Failed},
        {"missing record", {"show", tmp / "none.bin"}, "", ExitStatus::Failed},
        {"missing configuration",
         {"verify", "--org", record, tmp / "none.bin"},
         "",
         ExitStatus::Failed},
        {"empty record", {"show", tmp / "empty"}, "", ExitStatus::Failed},
        {"empty configuration", {"verify", "--org", record, tmp / "empty"}, "", ExitStatus::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = Run(c.args, c.typed);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        if (c.status != ExitStatus::Success) {
            EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(a));

    // --force replaces the record, with a new key.
    Organisation before;
    before.Open(record);
    ASSERT_EQ(Create(record, {"--force"}).status, ExitStatus::Success);
    Organisation after;
    after.Open(record);
    EXPECT_TRUE(after.Check());
    EXPECT_NE(after.Fingerprint(), before.Fingerprint());
}

TEST_F(OrgCommands, ATypedPasswordIsAskedTwiceOnATerminal) {
    const std::string record = tmp / "Organisation.bin";
    const std::string twice = std::string(kPassword) + "\n" + kPassword + "\n";
    const Result created = Run({"create", "--name", "Acme", "--output", record}, twice, true);
    ASSERT_EQ(created.status, ExitStatus::Success) << created.err;
    EXPECT_TRUE(Contains(created.prompts, "Repeat the organisation password: "));
    EXPECT_FALSE(Contains(created.out + created.err + created.prompts, kPassword));

    const Result mismatch = Run({"create", "--name", "Acme", "--output", tmp / "b.bin"},
                                std::string(kPassword) + "\nother words here\n", true);
    EXPECT_EQ(mismatch.status, ExitStatus::Failed);
    EXPECT_TRUE(Contains(mismatch.err, "do not match"));
    const Result ended = Run({"create", "--name", "Acme", "--output", tmp / "b.bin"},
                             std::string(kPassword) + "\n", true);
    EXPECT_EQ(ended.status, ExitStatus::NoInput);
    EXPECT_FALSE(fs::exists(tmp / "b.bin"));
}

TEST_F(OrgCommands, PrivateKeyIsReadableByAdministratorsOnly) {
    const std::string record = tmp / "Organisation.bin";
    const std::string keyFile = tmp / "Organisation Key.bin";
    const Result created = Create(record);
    ASSERT_EQ(created.status, ExitStatus::Success) << created.err;
    EXPECT_TRUE(Contains(created.out, "Private key: " + keyFile));
    struct stat st {};
    ASSERT_EQ(stat(keyFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IROTH, 0u) << "other users can read the sealed key";
    // The sealed key is in its own file only. Compared by its last 64 bytes (sealed, so random):
    // two bytes of a tag can turn up by chance among a record's random key bytes.
    const std::string sealed = ReadText(keyFile);
    ASSERT_GE(sealed.size(), 64u);
    EXPECT_EQ(ReadText(record).find(sealed.substr(sealed.size() - 64)), std::string::npos);
    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.status, ExitStatus::Success) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Private key:      " + keyFile + " (readable by "));
}

TEST_F(OrgCommands, ProtectKeyMovesAnEarlierRecordsKeyOut) {
    // A record as earlier versions wrote it: the sealed key inside, readable by every user.
    FCryptEng::KeyPair keys;
    keys.Create();
    FCryptEng::KeyPair sealed(keys);
    sealed.Encrypt(kPassword);
    const std::string body = Be16(0x0A9E) + char(1) + Be16(4) + "Acme" + char(1) +
                             cryvan_test::PublicKeyRecord(sealed) +
                             cryvan_test::SealedKeyRecord(sealed);
    const std::string record = tmp / "Organisation.bin";
    WriteText(record, cryvan_test::SignedFile(body, keys));
    chmod(record.c_str(), 0644);
    // A configuration signed before the move keeps verifying after it: the key pair stays.
    const std::string recovery = SignedConfiguration(keys, 1);

    const Result before = Run({"show", record});
    EXPECT_TRUE(Contains(before.out, "inside the record")) << before.out;
    EXPECT_TRUE(Contains(before.err, "protect-key")) << before.err;

    const Result wrong = Run({"protect-key", record}, "not the password\n");
    EXPECT_EQ(wrong.status, ExitStatus::Failed) << wrong.err;
    EXPECT_EQ(ReadText(record), cryvan_test::SignedFile(body, keys));
    EXPECT_EQ(Run({"protect-key", record}).status, ExitStatus::NoInput);

    const Result moved = Run({"protect-key", record}, std::string(kPassword) + "\n");
    ASSERT_EQ(moved.status, ExitStatus::Success) << moved.err;
    Organisation org;
    org.Open(record);
    EXPECT_EQ(org.Version(), Organisation::kVersion);
    EXPECT_TRUE(org.Check());
    EXPECT_TRUE(org.OpenKey(kPassword));
    // The sealed key left the record (compared whole: two bytes of a tag can turn up by
    // chance among a record's random key bytes).
    EXPECT_EQ(ReadText(record).find(cryvan_test::SealedKeyRecord(sealed)), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat((tmp / "Organisation Key.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IROTH, 0u);
    EXPECT_EQ(Run({"verify", "--org", record, recovery}).status, ExitStatus::Success);

    const Result again = Run({"protect-key", record});
    EXPECT_EQ(again.status, ExitStatus::Success) << again.err;
    EXPECT_TRUE(Contains(again.out, "already"));
}

TEST_F(OrgCommands, HelpListsEveryCommandAndExitStatus) {
    const std::string help = Run({"-h"}).out;
    for (const auto& command : Org::Commands())
        EXPECT_TRUE(Contains(help, "\n  " + command->Usage().substr(0, command->Usage().find(' '))))
            << command->Name();
    for (const App::ExitStatusRow& row : App::kExitStatuses)
        EXPECT_TRUE(Contains(help, "  " + std::to_string(App::Code(row.status)) + "  " +
                                       std::string(row.meaning).substr(0, 20)))
            << row.meaning;
}

}  // namespace
