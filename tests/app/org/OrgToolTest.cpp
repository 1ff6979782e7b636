// Runs the built cryvan-org as its users would, checking its output and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "recovery/AdminRecovery.h"
#include "recovery/Organisation.h"
#include "support/ScriptedCallback.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::Be16;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminRecovery;
using FCryptEng::Organisation;

constexpr const char* kPassword = "organisation words";

std::string Quote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class OrgTool : public ::testing::Test {
  protected:
    // The password input arrives on descriptor 3, as a script would hand it over.
    Result Run(const std::vector<std::string>& args, const std::string& input = "") const {
        WriteText(tmp / "input", input);
        std::string command = Quote(CRYVAN_ORG_BIN);
        for (const std::string& a : args)
            command += " " + Quote(a);
        command += " 3<" + Quote(tmp / "input") + " </dev/null >" + Quote(tmp / "out") + " 2>" +
                   Quote(tmp / "err");
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadText(tmp / "out");
        r.err = ReadText(tmp / "err");
        return r;
    }

    Result Create(const std::string& path, const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args{"create",        "--name", "Harbour Works", "--output", path,
                                      "--password-fd", "3"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args, std::string(kPassword) + "\n");
    }

    TempDir tmp;
    EnvVar configDirs{"XDG_CONFIG_DIRS", (tmp / "etc").c_str()};
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(OrgTool, CreateShowAndVerify) {
    const std::string record = tmp / "Organisation.bin";
    const Result created = Create(record, {"--recovery", "on", "--folder", "program"});
    ASSERT_EQ(created.code, 0) << created.err;

    Organisation org;
    org.Open(record);
    EXPECT_EQ(org.Name(), "Harbour Works");
    EXPECT_TRUE(org.Check());
    EXPECT_TRUE(org.RecoveryApplies());
    EXPECT_TRUE(org.ProgramFolder());

    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Harbour Works"));
    EXPECT_TRUE(Contains(shown.out, "Key fingerprint:  " + org.Fingerprint()));
    EXPECT_TRUE(Contains(shown.out, "Signature:        valid"));
    EXPECT_TRUE(Contains(shown.out, "program"));

    // A configuration signed with the key the password opens, as the preferences sign it.
    cryvan_test::ScriptedCallback callback;
    AdminRecovery config(&callback);
    config.Add("Admin One", "administrator words", false);
    config.Add("Admin Two", "administrator words 2", false);
    config.SetK(2);
    config.SetPermitEP(false);
    const auto key = org.OpenKey(kPassword);
    ASSERT_TRUE(key);
    config.Sign(*key);
    const std::string recovery = tmp / "Data Recovery.bin";
    config.SaveAs(recovery);

    const Result verified = Run({"verify", "--org", record, recovery});
    EXPECT_EQ(verified.code, 0) << verified.err;
    EXPECT_TRUE(Contains(verified.out, "N = 2, K = 2"));
    EXPECT_TRUE(Contains(verified.out, "Emergency passwords permitted: no"));
    EXPECT_TRUE(Contains(verified.out, "  Admin One\n  Admin Two\n"));

    // Changed after signing, or signed for another organisation: refused.
    config.SetK(1);
    config.SaveAs(recovery);
    const Result altered = Run({"verify", "--org", record, recovery});
    EXPECT_EQ(altered.code, 1);
    EXPECT_TRUE(Contains(altered.out, "Signature:        INVALID"));
    EXPECT_EQ(altered.err.rfind("error: ", 0), 0u);

    ASSERT_EQ(Create(tmp / "other.bin").code, 0);
    config.Sign(*key);
    config.SaveAs(recovery);
    EXPECT_EQ(Run({"verify", "--org", record, recovery}).code, 0);
    EXPECT_EQ(Run({"verify", "--org", tmp / "other.bin", recovery}).code, 1);
}

TEST_F(OrgTool, DefaultPathIsTheAllUsersFolder) {
    const Result created =
        Run({"create", "--name", "Acme", "--recovery", "off", "--password-fd", "3"},
            std::string(kPassword) + "\r\n");
    ASSERT_EQ(created.code, 0) << created.err;
    const std::string record = tmp / "etc/Tenvik-Labs/Cryvan/Organisation.bin";
    ASSERT_TRUE(fs::is_regular_file(record));
    Organisation org;
    org.Open(record);
    EXPECT_FALSE(org.RecoveryApplies());
    EXPECT_FALSE(org.ProgramFolder());
    EXPECT_TRUE(org.OpenKey(kPassword)) << "the line end is not part of the password";

    const Result shown = Run({"show"});
    EXPECT_EQ(shown.code, 0);
    EXPECT_TRUE(Contains(shown.out, "does not apply"));
    EXPECT_TRUE(Contains(Run({"--help"}).out, tmp / "etc/Tenvik-Labs/Cryvan/Organisation.bin"));
}

TEST_F(OrgTool, DamagedRecordsAreInvalid) {
    const std::string record = tmp / "Organisation.bin";
    ASSERT_EQ(Create(record).code, 0);
    std::string bytes = ReadText(record);
    bytes[6] ^= 0x01;
    WriteText(record, bytes);
    EXPECT_EQ(Run({"show", record}).code, 1);
    EXPECT_TRUE(Contains(Run({"show", record}).out, "Signature:        INVALID"));
    WriteText(tmp / "Data Recovery.bin", "x");
    EXPECT_EQ(Run({"verify", "--org", record, tmp / "Data Recovery.bin"}).code, 1);

    WriteText(record, bytes.substr(0, 40));
    EXPECT_EQ(Run({"show", record}).code, 1);
}

TEST_F(OrgTool, ExitCodes) {
    const std::string record = tmp / "Organisation.bin";
    ASSERT_EQ(Create(record).code, 0);
    WriteText(tmp / "empty", "");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::string input;
        int code;
    } const cases[] = {
        {"help", {"help"}, "", 0},
        {"no command", {}, "", 2},
        {"unknown command", {"sign"}, "", 2},
        {"create without a name",
         {"create", "--output", tmp / "a.bin", "--password-fd", "3"},
         "organisation words\n",
         2},
        {"bad --recovery", {"create", "--name", "A", "--recovery", "maybe"}, "", 2},
        {"bad --folder", {"create", "--name", "A", "--folder", "home"}, "", 2},
        {"bad descriptor", {"create", "--name", "A", "--password-fd", "three"}, "", 2},
        {"name with a line break", {"create", "--name", "A\nB", "--password-fd", "3"}, "", 2},
        {"verify without a file", {"verify", "--org", record}, "", 2},
        {"show two records", {"show", record, record}, "", 2},
        {"password too short",
         {"create", "--name", "A", "--output", tmp / "a.bin", "--password-fd", "3"},
         "short\n",
         4},
        {"password too long",
         {"create", "--name", "A", "--output", tmp / "a.bin", "--password-fd", "3"},
         std::string(51, 'p') + "\n",
         4},
        {"no password",
         {"create", "--name", "A", "--output", tmp / "a.bin", "--password-fd", "3"},
         "",
         4},
        {"descriptor not open",
         {"create", "--name", "A", "--output", tmp / "a.bin", "--password-fd", "9"},
         "",
         3},
        {"record exists",
         {"create", "--name", "A", "--output", record, "--password-fd", "3"},
         "organisation words\n",
         3},
        {"missing record", {"show", tmp / "none.bin"}, "", 3},
        {"missing configuration", {"verify", "--org", record, tmp / "none.bin"}, "", 3},
        {"empty record", {"show", tmp / "empty"}, "", 1},
        {"empty configuration", {"verify", "--org", record, tmp / "empty"}, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = Run(c.args, c.input);
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        if (c.code != 0) {
            EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(tmp / "a.bin"));

    // --force replaces the record, with a new key.
    Organisation before;
    before.Open(record);
    ASSERT_EQ(Create(record, {"--force"}).code, 0);
    Organisation after;
    after.Open(record);
    EXPECT_TRUE(after.Check());
    EXPECT_NE(after.Fingerprint(), before.Fingerprint());
}

TEST_F(OrgTool, PrivateKeyIsReadableByAdministratorsOnly) {
    const std::string record = tmp / "Organisation.bin";
    const std::string keyFile = tmp / "Organisation Key.bin";
    const Result created = Create(record);
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_TRUE(Contains(created.out, "Private key: " + keyFile));
    struct stat st {};
    ASSERT_EQ(stat(keyFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IROTH, 0u) << "other users can read the sealed key";
    EXPECT_EQ(ReadText(record).find(Be16(FCryptEng::KeyPair::kSealedKeyTag)), std::string::npos);
    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Private key:      " + keyFile + " (readable by "));
}

TEST_F(OrgTool, ProtectKeyMovesAnEarlierRecordsKeyOut) {
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
    cryvan_test::ScriptedCallback callback;
    AdminRecovery config(&callback);
    config.Add("Admin One", "administrator words", false);
    config.SetK(1);
    config.Sign(keys);
    const std::string recovery = tmp / "Data Recovery.bin";
    config.SaveAs(recovery);

    const Result before = Run({"show", record});
    EXPECT_TRUE(Contains(before.out, "inside the record")) << before.out;
    EXPECT_TRUE(Contains(before.err, "protect-key")) << before.err;

    const Result wrong = Run({"protect-key", record, "--password-fd", "3"}, "not the password\n");
    EXPECT_EQ(wrong.code, 4) << wrong.err;
    EXPECT_EQ(ReadText(record), cryvan_test::SignedFile(body, keys));

    const Result moved =
        Run({"protect-key", record, "--password-fd", "3"}, std::string(kPassword) + "\n");
    ASSERT_EQ(moved.code, 0) << moved.err;
    Organisation org;
    org.Open(record);
    EXPECT_EQ(org.Version(), Organisation::kVersion);
    EXPECT_TRUE(org.Check());
    EXPECT_TRUE(org.OpenKey(kPassword));
    EXPECT_EQ(ReadText(record).find(Be16(FCryptEng::KeyPair::kSealedKeyTag)), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat((tmp / "Organisation Key.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IROTH, 0u);
    EXPECT_EQ(Run({"verify", "--org", record, recovery}).code, 0);

    const Result again = Run({"protect-key", record});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_TRUE(Contains(again.out, "already"));
}

}  // namespace
