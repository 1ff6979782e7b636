// The data-recovery configuration: its file body, names, key-file administrators, signatures
// and damaged files.
#include "recovery/AdminRecovery.h"

#include <cryptopp/filters.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "format/KeyFooter.h"
#include "recovery/AdminKeyEntry.h"
#include "recovery/Signed.h"
#include "support/ScriptedCallback.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::ReadText;
using cryvan_test::ScriptedCallback;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminKeyEntry;
using FCryptEng::AdminRecovery;
using FCryptEng::KeyFooter;
using FCryptEng::KeyPair;
using FCryptEng::KeySet;
using FCryptEng::Signed;

std::string Be16(unsigned v) {
    return {char(v >> 8), char(v)};
}
std::size_t Get16(const std::string& s, std::size_t at) {
    return std::size_t(std::uint8_t(s.at(at))) << 8 | std::uint8_t(s.at(at + 1));
}

template <class E>
void ExpectThrows(const std::function<void()>& action, const char* text) {
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_STREQ(e.what(), text);
    }
}

class Config : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_setup = std::make_unique<ScriptedCallback>();
        s_org = std::make_unique<KeyPair>();
        s_org->Create();
        s_other = std::make_unique<KeyPair>();
        s_other->Create();
        s_pair = std::make_unique<AdminRecovery>(s_setup.get());
        ASSERT_TRUE(s_pair->Add("Admin", "pA", false));
        ASSERT_TRUE(s_pair->Add("admin", "pa", false));
    }
    static void TearDownTestSuite() {
        s_pair.reset();
        s_org.reset();
        s_other.reset();
        s_setup.reset();
    }

    std::string Save(const AdminRecovery& config, const std::string& name = "Data Recovery.bin") {
        config.SaveAs(dir / name);
        return ReadText(dir / name);
    }
    AdminRecovery Reopen(const std::string& bytes) {
        WriteText(dir / "reopened.bin", bytes);
        AdminRecovery config(&cb);
        config.Open(dir / "reopened.bin");
        return config;
    }

    static inline std::unique_ptr<ScriptedCallback> s_setup;
    static inline std::unique_ptr<KeyPair> s_org, s_other;
    static inline std::unique_ptr<AdminRecovery> s_pair;

    TempDir dir;
    ScriptedCallback cb;
};

TEST_F(Config, ANewConfigurationIsFiveBytesThatDoNotReadBack) {
    AdminRecovery fresh(&cb);
    EXPECT_TRUE(fresh.GetPermitEP());
    EXPECT_EQ(fresh.GetK(), 1u);
    EXPECT_EQ(fresh.GetN(), 0u);
    EXPECT_EQ(fresh.GetName(0), std::nullopt);
    // The body, then an empty signature.
    EXPECT_EQ(Save(fresh), std::string("\x01\x00\x00\x00\x01\x00\x00", 7));
    ExpectThrows<AdminRecovery::Err>([&] { Reopen(Save(fresh)); }, "\"AR Error\"");
}

TEST_F(Config, TheThresholdInAFileMustNotExceedTheCount) {
    const std::string saved = Save(*s_pair);
    struct Case {
        unsigned n, k;
        bool accepted;
    } const cases[] = {{2, 0, true}, {2, 2, true}, {2, 3, false}, {1, 2, false}, {0, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " " + std::to_string(c.k));
        std::string bytes = saved;
        bytes.replace(1, 4, Be16(c.n) + Be16(c.k));
        if (c.accepted) {
            const AdminRecovery read = Reopen(bytes);
            EXPECT_EQ(read.GetK(), c.k);
        } else {
            ExpectThrows<AdminRecovery::Err>([&] { Reopen(bytes); }, "\"AR Error\"");
        }
    }
}

TEST_F(Config, NamesAreExactAndInOrder) {
    AdminRecovery config(*s_pair);
    EXPECT_EQ(config.GetN(), 2u);
    EXPECT_EQ(config.GetName(0), "Admin");
    EXPECT_EQ(config.GetName(1), "admin");
    EXPECT_EQ(config.GetName(2), std::nullopt);
    EXPECT_TRUE(config.Exists("Admin"));
    EXPECT_FALSE(config.Exists("ADMIN"));
    ExpectThrows<AdminRecovery::Err>([&] { config.Add("admin", "other", false); }, "\"AR Error\"");
    EXPECT_EQ(config.GetN(), 2u);
    EXPECT_FALSE(config.Remove("ADMIN"));
    EXPECT_TRUE(config.Remove("Admin"));
    EXPECT_FALSE(config.Exists("Admin"));
    EXPECT_EQ(config.GetName(0), "admin");
    EXPECT_EQ(config.GetN(), 1u);
    // The copy was deep: the original still has both.
    EXPECT_EQ(s_pair->GetN(), 2u);
    config = *s_pair;
    EXPECT_EQ(config.GetName(0), "Admin");
}

TEST_F(Config, KeyFileAdministratorsNeedTheirFileWritten) {
    AdminRecovery config(&cb);
    cb.textAnswers = {std::nullopt, dir / "missing-folder-is-a-file/k.key", dir / "kee.key"};
    WriteText(dir / "missing-folder-is-a-file", "x");
    EXPECT_FALSE(config.Add("Kee", "pw", true));
    EXPECT_FALSE(config.Add("Kee", "pw", true));
    EXPECT_EQ(config.GetN(), 0u);
    EXPECT_FALSE(config.Exists("Kee"));
    EXPECT_TRUE(config.Add("Kee", "pw", true));
    EXPECT_EQ(cb.asked, std::vector<std::string>(3, "text Kee create"));
    EXPECT_TRUE(std::filesystem::exists(dir / "kee.key"));

    // Without a callback nobody can name the file.
    AdminRecovery silent(nullptr);
    EXPECT_FALSE(silent.Add("Kee", "pw", true));

    // Saved and reopened, the administrator still needs the key file.
    config.SetK(1);
    const AdminRecovery read = Reopen(Save(config));
    KeySet keys(true);
    KeyFooter footer(nullptr);
    footer.Add(read.MakeKeyEntry());
    footer.SetKeys(&keys);
    std::string framed;
    CryptoPP::StringSink sink(framed);
    footer.PutEncoding(sink);
    CryptoPP::StringSource source(framed.substr(4), true);
    KeyFooter back(&cb, source, std::uint32_t(framed.size() - 4), &AdminKeyEntry::Read);
    cb.asked.clear();
    cb.textAnswers = {dir / "kee.key"};
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(back.TryPassword("pw", got), FCryptEng::UnlockResult::Unlocked);
    EXPECT_EQ(cb.asked, std::vector<std::string>{"text Kee"});
}

TEST_F(Config, AnEmptyNameIsAName) {
    AdminRecovery config(&cb);
    ASSERT_TRUE(config.Add("", "nameless", false));
    EXPECT_TRUE(config.Exists(""));
    ExpectThrows<AdminRecovery::Err>([&] { config.Add(nullptr, "other", false); }, "\"AR Error\"");
    const AdminRecovery read = Reopen(Save(config));
    EXPECT_EQ(read.GetName(0), "");

    KeySet keys(true);
    std::unique_ptr<FCryptEng::KeyEntry> made = read.MakeKeyEntry();
    made->SetKeys(keys);
    std::string body;
    CryptoPP::StringSink sink(body);
    made->PutBody(sink);
    CryptoPP::StringSource source(body, true);
    AdminKeyEntry entry(&cb, source, std::uint32_t(body.size()));
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(entry.TryPassword("named", got), FCryptEng::UnlockResult::Wrong);
    EXPECT_EQ(entry.TryPassword("nameless", got), FCryptEng::UnlockResult::Unlocked);
    EXPECT_EQ(entry.NumUnlocked(), 1u);
}

TEST_F(Config, OnlyBitZeroOfPermitEPCounts) {
    for (int byte : {0x00, 0x01, 0x02, 0x03, 0xFE, 0xFF}) {
        SCOPED_TRACE(byte);
        std::string bytes = Save(*s_pair);
        bytes[0] = char(byte);
        EXPECT_EQ(Reopen(bytes).GetPermitEP(), (byte & 1) != 0);
    }
    AdminRecovery config(*s_pair);
    config.SetPermitEP(false);
    EXPECT_EQ(Save(config)[0], '\0');
}

TEST_F(Config, ReopenedConfigurationOpensContainers) {
    AdminRecovery config(*s_pair);
    config.SetK(2);
    const AdminRecovery read = Reopen(Save(config));
    EXPECT_EQ(read.GetN(), 2u);
    EXPECT_EQ(read.GetK(), 2u);
    EXPECT_EQ(read.GetName(1), "admin");
    EXPECT_EQ(Save(read, "again.bin"), Save(config));

    KeySet keys(true);
    KeyFooter footer(nullptr);
    footer.Add(read.MakeKeyEntry());
    footer.SetKeys(&keys);
    std::string framed;
    CryptoPP::StringSink sink(framed);
    footer.PutEncoding(sink);
    CryptoPP::StringSource source(framed.substr(4), true);
    KeyFooter back(&cb, source, std::uint32_t(framed.size() - 4), &AdminKeyEntry::Read);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(back.TryPassword("pa", got), FCryptEng::UnlockResult::MoreAdmins);
    EXPECT_EQ(back.TryPassword("pA", got), FCryptEng::UnlockResult::Unlocked);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got->EncKey(), *keys.EncKey());
}

TEST_F(Config, SignaturesCoverEveryField) {
    AdminRecovery config(*s_pair);
    EXPECT_FALSE(config.CheckSignature(*s_org));
    EXPECT_FALSE(Reopen(Save(config)).CheckSignature(*s_org));

    config.Sign(*s_org);
    const std::string signedFile = Save(config);
    const AdminRecovery read = Reopen(signedFile);
    EXPECT_TRUE(read.CheckSignature(*s_org));
    EXPECT_FALSE(read.CheckSignature(*s_other));
    KeyPair publicOnly(*s_org);
    publicOnly.Encrypt("org");  // the plain private key is gone, the public key stays
    EXPECT_TRUE(read.CheckSignature(publicOnly));
    EXPECT_TRUE(Reopen(signedFile + "trailing bytes").CheckSignature(*s_org));
    // A copy carries the signature.
    EXPECT_TRUE(AdminRecovery(read).CheckSignature(*s_org));

    const std::vector<std::pair<const char*, std::function<void(AdminRecovery&)>>> changes = {
        {"K", [](AdminRecovery& c) { c.SetK(2); }},
        {"PermitEP", [](AdminRecovery& c) { c.SetPermitEP(false); }},
        {"remove", [](AdminRecovery& c) { c.Remove("admin"); }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.first);
        AdminRecovery changed(read);
        change.second(changed);
        EXPECT_FALSE(changed.CheckSignature(*s_org));
        EXPECT_FALSE(Reopen(Save(changed)).CheckSignature(*s_org));
        changed.Sign(*s_org);
        EXPECT_TRUE(changed.CheckSignature(*s_org));
    }
    EXPECT_TRUE(read.CheckSignature(*s_org));

    // A changed byte of a name in the file.
    std::string bytes = signedFile;
    bytes[7] ^= 0x20;  // "Admin" -> "admin"
    const AdminRecovery renamed = Reopen(bytes);
    EXPECT_EQ(renamed.GetName(0), "admin");
    EXPECT_FALSE(renamed.CheckSignature(*s_org));
}

TEST_F(Config, DamagedFiles) {
    WriteText(dir / "empty.bin", "");
    AdminRecovery config(&cb);
    ExpectThrows<AdminRecovery::Null>([&] { config.Open(dir / "empty.bin"); }, "\"AR Null\"");

    AdminRecovery signedConfig(*s_pair);
    signedConfig.Sign(*s_org);
    const std::string file = Save(signedConfig);
    for (std::size_t size = 1; size < file.size(); ++size) {
        SCOPED_TRACE(size);
        try {
            Reopen(file.substr(0, size));
            ADD_FAILURE() << "accepted";
        } catch (const AdminRecovery::Err&) {
        } catch (const KeyPair::Err&) {
        } catch (const Signed::Err&) {
        }
    }
    // An unknown marker byte after the first public key.
    std::string bytes = file;
    std::size_t marker = 5 + 2 + Get16(file, 5);
    marker += 2 + Get16(file, marker);
    marker += 4 + Get16(file, marker + 2);
    ASSERT_EQ(file[marker], '\x47');
    bytes[marker] = 0x48;
    ExpectThrows<AdminRecovery::Err>([&] { Reopen(bytes); }, "\"AR Error\"");
}

}  // namespace
