#include "recovery/EmergencyPassword.h"

#include <cryptopp/filters.h>
#include <cryptopp/queue.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "format/KeyFooter.h"
#include "os/DateTime.h"
#include "os/User.h"
#include "recovery/EPImp.h"
#include "support/SharedFixtures.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::EmergencyPassword;
using FCryptEng::EPImp;
using FCryptEng::KeyEntry;
using FCryptEng::KeyFooter;
using FCryptEng::KeyPair;
using FCryptEng::KeySet;
using FCryptEng::Signed;
using FCryptEng::UnlockResult;
using FCryptEng::UserPasswordKeyEntry;

constexpr const char* kPassword = "emergency words";
constexpr const char* kOrganisation = "Harbour Works";

std::string Be16(unsigned v) {
    return {char(v >> 8), char(v)};
}
std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}

// An EPInfo record built from the layout, not by the code under test.
std::string InfoRecord(unsigned length, std::uint32_t date, const std::string& user,
                       const std::string& organisation, unsigned tag = 0xFA04) {
    return Be16(tag) + Be16(length) + Be32(date) + Be16(unsigned(user.size())) + user +
           Be16(unsigned(organisation.size())) + organisation;
}

CryptoPP::ByteQueue Queue(const std::string& bytes) {
    CryptoPP::ByteQueue q;
    q.Put(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
    return q;
}

// Names whatever Open raised, so that a table can say which failure each input must give.
std::string OpenOutcome(EmergencyPassword& record, const std::string& path) {
    try {
        record.Open(path);
        return "opens";
    } catch (const Signed::Null& e) {
        return e.what();
    } catch (const Signed::Err& e) {
        return e.what();
    } catch (const KeyPair::Err& e) {
        return e.what();
    } catch (const EmergencyPassword::Err& e) {
        return e.what();
    }
}

bool SameDate(const EmergencyPassword::Date& d, const OS::DateTime& t) {
    return d.day == t.day && d.month == t.month && d.year == t.year;
}

void ExpectEmpty(const EmergencyPassword& record) {
    EXPECT_FALSE(record.GetKeyPair().HasPublicKey());
    EXPECT_FALSE(record.GetKeyPair().HasSealedKey());
    EXPECT_FALSE(record.GetKeyPair().HasPrivateKey());
    const EmergencyPassword::Date date = record.CreationDate();
    EXPECT_EQ(date.day, 1);
    EXPECT_EQ(date.month, 1);
    EXPECT_EQ(date.year, 1);
    EXPECT_EQ(record.User(), "");
    EXPECT_EQ(record.Organisation(), "");
}

// Writes a key footer holding the entry and a user-password entry, and reads it back for each
// password offered: the way a container is made and opened.
UnlockResult OpenFooterWith(std::unique_ptr<KeyEntry> entry, const char* password,
                            const KeySet& keys) {
    KeyFooter footer(nullptr);
    footer.Add(std::move(entry));
    footer.Add(std::make_unique<UserPasswordKeyEntry>("user password"));
    footer.SetKeys(&keys);
    std::string out;
    CryptoPP::StringSink sink(out);
    footer.PutEncoding(sink);

    CryptoPP::StringSource source(out, true);
    CryptoPP::word32 word = 0;
    EXPECT_EQ(source.GetWord32(word), 4u);
    KeyFooter read(nullptr, source, word & 0xFFFFFF);
    std::unique_ptr<KeySet> got;
    const UnlockResult result = read.TryPassword(password, got);
    if (result == UnlockResult::Unlocked) {
        EXPECT_TRUE(got && *got->KEK() == *keys.KEK() && *got->EncKey() == *keys.EncKey() &&
                    *got->MacKey() == *keys.MacKey() && *got->IV() == *keys.IV());
    }
    return result;
}

// One record made the way the application makes it, shared by the suite; each test saves it
// into its own folder.
class EmergencyPasswordFile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_before = OS::DateTime::Now();
        s_record = std::make_unique<EmergencyPassword>();
        s_record->Create(kOrganisation);
        s_after = OS::DateTime::Now();
        s_createdPair = std::make_unique<KeyPair>(s_record->GetKeyPair());
        const KeyPair copy(s_record->GetKeyPair());
        s_record->Encrypt(kPassword);
        s_record->Sign(copy);
        s_other = std::make_unique<KeyPair>();
        s_other->Create();
    }
    static void TearDownTestSuite() {
        s_record.reset();
        s_createdPair.reset();
        s_other.reset();
    }

    std::string SaveRecord() {
        const std::string path = m_dir / "Emergency Password.bin";
        s_record->SaveAs(path);
        return path;
    }

    static std::unique_ptr<EmergencyPassword> s_record;
    static std::unique_ptr<KeyPair> s_createdPair, s_other;
    static OS::DateTime s_before, s_after;
    TempDir m_dir;
};

std::unique_ptr<EmergencyPassword> EmergencyPasswordFile::s_record;
std::unique_ptr<KeyPair> EmergencyPasswordFile::s_createdPair, EmergencyPasswordFile::s_other;
OS::DateTime EmergencyPasswordFile::s_before, EmergencyPasswordFile::s_after;

TEST_F(EmergencyPasswordFile, NewRecordIsEmptyAndMakesNothing) {
    EmergencyPassword record;
    ExpectEmpty(record);
    EXPECT_THROW(record.MakeKeyEntry(), EmergencyPassword::Err);
    EXPECT_FALSE(record.CheckSignature(*s_other));
    EXPECT_THROW(record.SaveAs(m_dir / "new.bin"), KeyPair::Err);
    EXPECT_TRUE(fs::is_empty(m_dir.Path()));

    // Created but not yet sealed: there is no sealed key to store or to put in an entry.
    EXPECT_TRUE(s_createdPair->HasPrivateKey() && s_createdPair->HasPublicKey());
    EXPECT_FALSE(s_createdPair->HasSealedKey());
}

TEST_F(EmergencyPasswordFile, CreatedSealedSignedRecordReopens) {
    const std::string path = SaveRecord();
#ifndef _WIN32
    // The sealed key is the user's alone: other users cannot even read it. (On Windows the
    // profile folder it lives in is the user's alone.)
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
    EmergencyPassword opened;
    opened.Open(path);

    EXPECT_TRUE(opened.CheckSignature(opened.GetKeyPair()));
    EXPECT_FALSE(opened.CheckSignature(*s_other));
    EXPECT_EQ(opened.User(), OS::UserName());
    EXPECT_FALSE(opened.User().empty());
    EXPECT_EQ(opened.Organisation(), kOrganisation);
    const EmergencyPassword::Date date = opened.CreationDate();
    EXPECT_TRUE(SameDate(date, s_before) || SameDate(date, s_after))
        << int(date.day) << "/" << int(date.month) << "/" << date.year;

    const KeyPair& keys = opened.GetKeyPair();
    EXPECT_TRUE(keys.HasPublicKey() && keys.HasSealedKey());
    EXPECT_FALSE(keys.HasPrivateKey());
    KeyPair copy(keys);
    EXPECT_FALSE(copy.Decrypt("emergency word"));
    ASSERT_TRUE(copy.Decrypt(kPassword));
    EXPECT_EQ(copy.PrivateKey()->GetModulus(), s_createdPair->PrivateKey()->GetModulus());
    EXPECT_EQ(copy.PrivateKey()->GetPrivateExponent(),
              s_createdPair->PrivateKey()->GetPrivateExponent());

    // The body is written from the fields alone: saving the opened record gives the same file.
    opened.SaveAs(m_dir / "again.bin");
    EXPECT_EQ(ReadText(m_dir / "again.bin"), ReadText(path));
}

TEST_F(EmergencyPasswordFile, CopiesAreDeep) {
    EmergencyPassword opened;
    opened.Open(SaveRecord());
    EmergencyPassword copy(opened);
    EmergencyPassword assigned;
    assigned = opened;
    const EmergencyPassword& alias = assigned;
    assigned = alias;

    // Emptying the original (a failed open) leaves both copies whole.
    WriteText(m_dir / "bad.bin", "x");
    EXPECT_ANY_THROW(opened.Open(m_dir / "bad.bin"));
    ExpectEmpty(opened);
    for (const EmergencyPassword* record : {&copy, &assigned}) {
        EXPECT_TRUE(record->CheckSignature(record->GetKeyPair()));
        EXPECT_EQ(record->Organisation(), kOrganisation);
        EXPECT_TRUE(record->GetKeyPair().HasSealedKey());
    }
}

TEST_F(EmergencyPasswordFile, ChangedUserNameOpensButFailsTheCheck) {
    const std::string path = SaveRecord();
    std::string file = ReadText(path);
    const KeyPair& keys = s_record->GetKeyPair();
    CryptoPP::ByteQueue pub;
    const std::size_t info = keys.WritePublicKey(pub) + keys.WriteEncryptedPrivateKey(nullptr);
    ASSERT_EQ(file.substr(info, 2), "\xFA\x04");
    const std::size_t firstOfUser = info + 10;
    ASSERT_EQ(file.substr(firstOfUser, s_record->User().size()), s_record->User());
    file[firstOfUser] = file[firstOfUser] == 'x' ? 'y' : 'x';
    WriteText(path, file);

    EmergencyPassword opened;
    ASSERT_NO_THROW(opened.Open(path));
    EXPECT_NE(opened.User(), s_record->User());
    EXPECT_FALSE(opened.CheckSignature(opened.GetKeyPair()));
}

TEST(EmergencyPasswordInfo, DateIsYearMonthDayBigEndian) {
    const std::string bytes = InfoRecord(5 + 3 + 8, 0x07D50C1F, "alice", "Org");
    EXPECT_EQ(bytes.substr(4, 4), "\x07\xD5\x0C\x1F");

    EPImp::EPInfo read;
    auto queue = Queue(bytes);
    read.Read(queue);
    EXPECT_EQ(queue.MaxRetrievable(), 0u);
    EXPECT_EQ(read.date.day, 31);
    EXPECT_EQ(read.date.month, 12);
    EXPECT_EQ(read.date.year, 2005);
    EXPECT_EQ(read.user, "alice");
    EXPECT_EQ(read.organisation, "Org");

    CryptoPP::ByteQueue written;
    read.Write(written);
    std::string out(std::size_t(written.MaxRetrievable()), '\0');
    written.Get(reinterpret_cast<CryptoPP::byte*>(out.data()), out.size());
    EXPECT_EQ(out, bytes);
}

TEST(EmergencyPasswordInfo, RecordWithThatDateStoresThoseBytes) {
    TempDir dir;
    EPImp imp;
    imp.Create("Org");
    imp.Info().date = {31, 12, 2005};
    imp.Encrypt(kPassword);
    imp.SaveAs(dir / "ep.bin");
    const std::string file = ReadText(dir / "ep.bin");
    const std::string expected =
        InfoRecord(unsigned(imp.Info().user.size()) + 3 + 8, 0x07D50C1F, imp.Info().user, "Org") +
        Be16(0);
    ASSERT_GE(file.size(), expected.size());
    EXPECT_EQ(file.substr(file.size() - expected.size()), expected);

    EmergencyPassword opened;
    opened.Open(dir / "ep.bin");
    EXPECT_EQ(opened.CreationDate().day, 31);
    EXPECT_EQ(opened.CreationDate().month, 12);
    EXPECT_EQ(opened.CreationDate().year, 2005);
}

TEST(EmergencyPasswordInfo, MalformedRecords) {
    const std::uint32_t date = 0x07EA0C0A;
    struct Case {
        const char* name;
        std::string bytes;
        bool opens;
        const char* user = "";
        const char* organisation = "";
    } const cases[] = {
        {"as written", InfoRecord(5 + 3 + 8, date, "alice", "Org"), true, "alice", "Org"},
        {"empty names", InfoRecord(8, date, "", ""), true, "", ""},
        {"names end at a zero byte",
         InfoRecord(5 + 4 + 8, date, std::string("al\0ce", 5), std::string("\0Org", 4)), true, "al",
         ""},
        {"length one more", InfoRecord(5 + 3 + 9, date, "alice", "Org"), false},
        {"length one less", InfoRecord(5 + 3 + 7, date, "alice", "Org"), false},
        {"wrong tag", InfoRecord(5 + 3 + 8, date, "alice", "Org", 0xFA05), false},
        {"key record tag", InfoRecord(5 + 3 + 8, date, "alice", "Org", 0x34BE), false},
        // 0xFFF8 + 0 + 8 wraps to 0 in 16 bits.
        {"lengths that wrap", InfoRecord(0, date, std::string(0xFFF8, 'u'), ""), false},
        {"user length past the end",
         Be16(0xFA04) + Be16(0xFFFF) + Be32(date) + Be16(0xFFFF) + "alice", false},
        {"organisation length past the end",
         Be16(0xFA04) + Be16(5 + 3 + 8) + Be32(date) + Be16(5) + "alice" + Be16(4) + "Org", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EPImp::EPInfo info;
        info.user = "before";
        auto queue = Queue(c.bytes + "next");
        if (!c.opens) {
            EXPECT_THROW(info.Read(queue), EmergencyPassword::Err);
            EXPECT_EQ(info.user, "before");
            continue;
        }
        ASSERT_NO_THROW(info.Read(queue));
        EXPECT_EQ(info.user, c.user);
        EXPECT_EQ(info.organisation, c.organisation);
        EXPECT_EQ(queue.MaxRetrievable(), 4u);  // exactly its own bytes were consumed
    }

    // Every cut of a good record is refused.
    const std::string good = InfoRecord(5 + 3 + 8, date, "alice", "Org");
    for (std::size_t n = 0; n < good.size(); ++n) {
        EPImp::EPInfo info;
        auto queue = Queue(good.substr(0, n));
        EXPECT_THROW(info.Read(queue), EmergencyPassword::Err) << n;
    }
}

TEST_F(EmergencyPasswordFile, EveryTruncationRaisesItsDocumentedError) {
    const std::string whole = ReadText(SaveRecord());
    const KeyPair& keys = s_record->GetKeyPair();
    CryptoPP::ByteQueue scratch;
    const std::size_t publicEnd = keys.WritePublicKey(scratch);
    const std::size_t sealedEnd = publicEnd + keys.WriteEncryptedPrivateKey(nullptr);
    const std::size_t bodyEnd = sealedEnd + 12 + s_record->User().size() + strlen(kOrganisation);
    ASSERT_EQ(whole.size(), bodyEnd + 2 + KeyPair::kCipherSize);

    const std::string path = m_dir / "cut.bin";
    for (std::size_t n = 0; n < whole.size(); ++n) {
        WriteText(path, whole.substr(0, n));
        EmergencyPassword record;
        const char* expected = n == 0          ? "\"Signed file empty\""
                               : n < sealedEnd ? "\"KeyPair error\""
                               : n < bodyEnd   ? "\"EP error\""
                                               : "\"Signed file error\"";
        ASSERT_EQ(OpenOutcome(record, path), expected) << "cut at " << n;
        ExpectEmpty(record);
        EXPECT_FALSE(record.CheckSignature(*s_createdPair));
    }
    WriteText(path, whole);
    EmergencyPassword record;
    EXPECT_EQ(OpenOutcome(record, path), "opens");
}

TEST_F(EmergencyPasswordFile, KeyEntryOpensWithTheEmergencyPassword) {
    EmergencyPassword opened;
    opened.Open(SaveRecord());
    const KeySet keys(true);
    EXPECT_EQ(OpenFooterWith(opened.MakeKeyEntry(), "not it", keys), UnlockResult::Wrong);
    EXPECT_EQ(OpenFooterWith(opened.MakeKeyEntry(), kPassword, keys), UnlockResult::Unlocked);
    EXPECT_EQ(OpenFooterWith(opened.MakeKeyEntry(), "user password", keys), UnlockResult::Unlocked);
    // Making entries leaves the record as it was.
    EXPECT_TRUE(opened.GetKeyPair().HasSealedKey());
    EXPECT_TRUE(opened.CheckSignature(opened.GetKeyPair()));

    // A record that is created but not sealed has no entry to give.
    EmergencyPassword fresh;
    fresh.Create(kOrganisation);
    EXPECT_THROW(fresh.MakeKeyEntry(), EmergencyPassword::Err);
}

TEST(EmergencyPasswordCreate, OrganisationMustFitTheRecord) {
    const std::size_t room = 0xFFFF - 8 - OS::UserName().size();
    EmergencyPassword record;
    EXPECT_THROW(record.Create(std::string(room + 1, 'o').c_str()), EmergencyPassword::Err);
    ExpectEmpty(record);
    EXPECT_THROW(record.Create(nullptr), EmergencyPassword::Err);

    TempDir dir;
    const std::string longest(room, 'o');
    record.Create(longest.c_str());
    record.Encrypt(kPassword);
    record.SaveAs(dir / "ep.bin");
    EmergencyPassword opened;
    opened.Open(dir / "ep.bin");
    EXPECT_EQ(opened.Organisation(), longest);
}

TEST(EmergencyPasswordCreate, NoUserNameIsAnError) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a process that can become a user without an account";
#else
    constexpr uid_t kNobodyKnown = 54321;
    if (geteuid() != 0 || getpwuid(kNobodyKnown))
        GTEST_SKIP() << "needs root and a uid without an account";
    EXPECT_EXIT(
        {
            unsetenv("USER");
            if (setresuid(kNobodyKnown, kNobodyKnown, kNobodyKnown) != 0)
                std::_Exit(2);
            EmergencyPassword record;
            try {
                record.Create(kOrganisation);
            } catch (const EmergencyPassword::Err&) {
                std::_Exit(record.GetKeyPair().HasPublicKey() ? 3 : 0);
            }
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

// A record written by an independent implementation.
TEST(EmergencyPasswordFixture, OpensChecksAndUnseals) {
    CRYVAN_REQUIRE_SHARED_FIXTURES("Emergency Password.bin");
    const fs::path source = cryvan_test::SharedFixture("Emergency Password.bin");
    TempDir dir;
    const std::string path = dir / "Emergency Password.bin";
    fs::copy_file(source, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);

    EmergencyPassword record;
    record.Open(path);
    EXPECT_TRUE(record.CheckSignature(record.GetKeyPair()));
    EXPECT_EQ(record.User(), "alice");
    EXPECT_EQ(record.Organisation(), "Example Org");
    EXPECT_EQ(record.CreationDate().day, 10);
    EXPECT_EQ(record.CreationDate().month, 12);
    EXPECT_EQ(record.CreationDate().year, 2026);

    KeyPair wrong(record.GetKeyPair());
    EXPECT_FALSE(wrong.Decrypt("emergency-pasS"));
    KeyPair right(record.GetKeyPair());
    EXPECT_TRUE(right.Decrypt("emergency-pass"));

    // Our writer gives back the same bytes, and its key entry opens with that password.
    record.SaveAs(dir / "again.bin");
    EXPECT_EQ(ReadText(dir / "again.bin"), ReadText(path));
    const KeySet keys(true);
    EXPECT_EQ(OpenFooterWith(record.MakeKeyEntry(), "emergency-pass", keys),
              UnlockResult::Unlocked);
}

}  // namespace
