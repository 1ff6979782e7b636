#include "recovery/Organisation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "os/File.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Be16;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::KeyPair;
using FCryptEng::Organisation;
using FCryptEng::Signed;

constexpr const char* kPassword = "organisation words";

// Names whatever Open raised; "other" for a type the record does not document.
std::string OpenOutcome(Organisation& record, const std::string& path) {
    try {
        record.Open(path);
        return "opens";
    } catch (const Organisation::Err& e) {
        return e.what();
    } catch (const KeyPair::Err& e) {
        return e.what();
    } catch (const Signed::Err& e) {
        return e.what();
    } catch (const Signed::Null& e) {
        return e.what();
    } catch (...) {
        return "other";
    }
}

class OrganisationRecord : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_plain = new KeyPair;
        s_plain->Create();
        s_sealed = new KeyPair(*s_plain);
        s_sealed->Encrypt(kPassword);
    }
    static void TearDownTestSuite() {
        delete s_plain;
        delete s_sealed;
    }

    // The body from the layout, not from the code under test: version 1 carries the sealed
    // key, version 2 keeps it in the key file.
    static std::string Body(const std::string& name, unsigned flags, unsigned version = 1,
                            unsigned tag = 0x0A9E) {
        return Be16(tag) + char(version) + Be16(unsigned(name.size())) + name + char(flags) +
               cryvan_test::PublicKeyRecord(*s_sealed) +
               (version == 2 ? "" : cryvan_test::SealedKeyRecord(*s_sealed));
    }
    static std::string KeyFile(const KeyPair& sealed, unsigned tag = 0x0A9F, unsigned version = 1) {
        return Be16(tag) + char(version) + cryvan_test::SealedKeyRecord(sealed) + Be16(0);
    }

    // A new file each time: truncating a file just written makes some file systems flush it.
    std::string Open(const std::string& bytes, Organisation& record) {
        const std::string path = tmp / ("Organisation" + std::to_string(++m_files) + ".bin");
        WriteText(path, bytes);
        return OpenOutcome(record, path);
    }

    static KeyPair* s_plain;
    static KeyPair* s_sealed;
    TempDir tmp;

  private:
    int m_files = 0;
};

KeyPair* OrganisationRecord::s_plain = nullptr;
KeyPair* OrganisationRecord::s_sealed = nullptr;

TEST_F(OrganisationRecord, CreatedRecordRoundTripsAndOpensItsKey) {
    Organisation created;
    created.Create("Harbour Works", kPassword, true, true);
    EXPECT_TRUE(created.Check());
    created.SaveAs(tmp / "Organisation.bin");

    // Every user reads the record; the sealed key is in a file of its owner's alone.
    struct stat keyFile {};
    ASSERT_EQ(stat((tmp / "Organisation Key.bin").c_str(), &keyFile), 0);
    EXPECT_EQ(keyFile.st_mode & 0777, 0600u);
    const std::string recordBytes = ReadText(tmp / "Organisation.bin");
    EXPECT_EQ(recordBytes.find(Be16(KeyPair::kSealedKeyTag)), std::string::npos);
    EXPECT_EQ(recordBytes[2], char(Organisation::kVersion));

    Organisation opened;
    ASSERT_EQ(OpenOutcome(opened, tmp / "Organisation.bin"), "opens");
    EXPECT_EQ(opened.Name(), "Harbour Works");
    EXPECT_TRUE(opened.RecoveryApplies());
    EXPECT_TRUE(opened.ProgramFolder());
    EXPECT_EQ(opened.Flags(), 0x03);
    EXPECT_TRUE(opened.Check());
    EXPECT_FALSE(opened.Keys().HasPrivateKey());
    EXPECT_EQ(opened.Fingerprint(), created.Fingerprint());
    EXPECT_EQ(opened.Fingerprint().size(), 64u);

    EXPECT_FALSE(opened.OpenKey("organisation wordz"));
    const std::optional<KeyPair> key = opened.OpenKey(kPassword);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->HasPrivateKey());
    // What the preferences sign "Data Recovery.bin" with must verify with the record's key.
    const std::string message = "Data Recovery.bin body";
    const auto signature =
        key->Sign(reinterpret_cast<const CryptoPP::byte*>(message.data()), message.size());
    ASSERT_TRUE(signature);
    EXPECT_TRUE(
        opened.Keys().CheckSignature(reinterpret_cast<const CryptoPP::byte*>(message.data()),
                                     message.size(), signature->data(), signature->size()));

    // Without the key file (a user who may not read it) the record still checks.
    ASSERT_EQ(chmod((tmp / "Organisation Key.bin").c_str(), 0), 0);
    if (access((tmp / "Organisation Key.bin").c_str(), R_OK) != 0) {
        EXPECT_TRUE(opened.Check());
        EXPECT_THROW(opened.OpenKey(kPassword), OS::File::Error);
    }
    std::remove((tmp / "Organisation Key.bin").c_str());
    EXPECT_TRUE(opened.Check());
    EXPECT_THROW(opened.OpenKey(kPassword), OS::File::Error);
}

TEST_F(OrganisationRecord, KeyFileIsTheOneOfItsRecord) {
    KeyPair other;
    other.Create();
    other.Encrypt(kPassword);
    const std::string err = "\"Organisation error\"";
    struct Case {
        const char* what;
        std::string keyFile;
        std::string outcome;
    } const cases[] = {
        {"its own key", KeyFile(*s_sealed), "opens"},
        {"another organisation's key", KeyFile(other), err},
        {"wrong tag", KeyFile(*s_sealed, 0x0A9E), err},
        {"unknown version", KeyFile(*s_sealed, 0x0A9F, 2), err},
        {"cut short", KeyFile(*s_sealed).substr(0, 40), "\"KeyPair error\""},
        {"empty", "", "\"Signed file empty\""},
    };
    const std::string body = Body("Acme", 1, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Organisation record;
        ASSERT_EQ(Open(cryvan_test::SignedFile(body, *s_plain), record), "opens");
        EXPECT_TRUE(record.Check());
        EXPECT_EQ(record.Version(), 2);
        WriteText(tmp / "Organisation Key.bin", c.keyFile);
        std::string outcome;
        try {
            outcome = record.OpenKey(kPassword) ? "opens" : "wrong password";
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        EXPECT_EQ(outcome, c.outcome);
    }
}

TEST_F(OrganisationRecord, EarlierRecordMovesItsKeyOut) {
    Organisation record;
    ASSERT_EQ(Open(cryvan_test::SignedFile(Body("Acme", 1), *s_plain), record), "opens");
    EXPECT_EQ(record.Version(), Organisation::kVersionWithKey);
    const std::optional<KeyPair> key = record.OpenKey(kPassword);
    ASSERT_TRUE(key);
    record.SeparateKey();
    record.Sign(*key);
    record.SaveAs(tmp / "moved/Organisation.bin");

    Organisation moved;
    moved.Open(tmp / "moved/Organisation.bin");
    EXPECT_EQ(moved.Version(), Organisation::kVersion);
    EXPECT_TRUE(moved.Check());
    EXPECT_EQ(moved.Fingerprint(), record.Fingerprint());
    EXPECT_TRUE(moved.OpenKey(kPassword));
    // A record read from its file has no key to write a key file from.
    EXPECT_THROW(moved.SaveAs(tmp / "copy.bin"), Organisation::Err);
}

TEST_F(OrganisationRecord, HandBuiltRecordReads) {
    const std::string body = Body("Acme", 0x01);
    // Read and written back byte for byte: the signature covers the body as written.
    Organisation record;
    ASSERT_EQ(Open(cryvan_test::SignedFile(body, *s_plain) + "trailing bytes", record), "opens");
    EXPECT_EQ(record.Name(), "Acme");
    EXPECT_TRUE(record.RecoveryApplies());
    EXPECT_FALSE(record.ProgramFolder());
    EXPECT_TRUE(record.Check());
    std::string written;
    CryptoPP::StringSink sink(written);
    record.Write(sink);
    EXPECT_EQ(written, body);
    EXPECT_TRUE(record.OpenKey(kPassword));
}

TEST_F(OrganisationRecord, ChangesAfterSigningFailTheCheck) {
    struct Case {
        const char* what;
        std::string body;
    } const cases[] = {
        {"name changed", Body("Acmf", 0x01)},
        {"recovery switched off", Body("Acme", 0x00)},
        {"folder moved", Body("Acme", 0x03)},
    };
    const std::string original = Body("Acme", 0x01);
    const std::string signature =
        cryvan_test::SignedFile(original, *s_plain).substr(original.size());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Organisation record;
        ASSERT_EQ(Open(c.body + signature, record), "opens");
        EXPECT_FALSE(record.Check());
    }
    Organisation unsigned_;
    ASSERT_EQ(Open(original + Be16(0), unsigned_), "opens");
    EXPECT_FALSE(unsigned_.Check());

    // Signed by another key pair: whole, but not by its own key.
    KeyPair other;
    other.Create();
    Organisation foreign;
    ASSERT_EQ(Open(cryvan_test::SignedFile(original, other), foreign), "opens");
    EXPECT_FALSE(foreign.Check());
}

TEST_F(OrganisationRecord, MalformedBodiesAreRefused) {
    const std::string err = "\"Organisation error\"";
    struct Case {
        const char* what;
        std::string body;
        std::string outcome;
    } const cases[] = {
        {"wrong tag", Body("Acme", 1, 1, 0x0A9F), err},
        {"version 3", Body("Acme", 1, 3), err},
        {"version 2 with a key inside",
         Be16(0x0A9E) + char(2) + Be16(4) + "Acme" + char(1) +
             cryvan_test::PublicKeyRecord(*s_sealed) + cryvan_test::SealedKeyRecord(*s_sealed),
         "\"Signed file error\""},
        {"version 0", Body("Acme", 1, 0), err},
        {"unknown flag bit", Body("Acme", 0x05), err},
        {"top flag bit", Body("Acme", 0x81), err},
        {"empty name", Body("", 1), err},
        {"control character in the name", Body("Ac\nme", 1), err},
        {"NUL in the name", Body(std::string("Ac\0me", 5), 1), err},
        {"name too long", Body(std::string(Organisation::kMaxNameLength + 1, 'n'), 1), err},
        {"longest name", Body(std::string(Organisation::kMaxNameLength, 'n'), 1), "opens"},
        {"name length past the end", Be16(0x0A9E) + char(1) + Be16(200) + "Acme", err},
        {"key records swapped",
         Be16(0x0A9E) + char(1) + Be16(4) + "Acme" + char(1) +
             cryvan_test::SealedKeyRecord(*s_sealed) + cryvan_test::PublicKeyRecord(*s_sealed),
         "\"KeyPair error\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Organisation record;
        EXPECT_EQ(Open(cryvan_test::SignedFile(c.body, *s_plain), record), c.outcome);
    }
}

TEST_F(OrganisationRecord, EveryTruncationRaisesADocumentedError) {
    const std::string file = cryvan_test::SignedFile(Body("Acme", 1), *s_plain);
    for (std::size_t length = 0; length < file.size(); ++length) {
        Organisation record;
        const std::string outcome = Open(file.substr(0, length), record);
        EXPECT_NE(outcome, "opens") << "length " << length;
        EXPECT_NE(outcome, "other") << "length " << length;
    }
    Organisation whole;
    EXPECT_EQ(Open(file, whole), "opens");
}

TEST_F(OrganisationRecord, CreateRefusesWhatCannotBeStored) {
    Organisation record;
    EXPECT_THROW(record.Create("", kPassword, true, false), Organisation::Err);
    EXPECT_THROW(record.Create("Tab\there", kPassword, true, false), Organisation::Err);
    EXPECT_THROW(record.Create("Acme", nullptr, true, false), Organisation::Err);
    // An empty record has nothing to check, open or write.
    EXPECT_FALSE(record.Check());
    EXPECT_THROW(record.OpenKey(kPassword), Organisation::Err);
    EXPECT_THROW(record.SaveAs(tmp / "empty.bin"), std::exception);
}

TEST_F(OrganisationRecord, SealedKeyOfAnotherPairIsRefusedOnOpening) {
    KeyPair other;
    other.Create();
    other.Encrypt(kPassword);
    const std::string body = Be16(0x0A9E) + char(1) + Be16(4) + "Acme" + char(1) +
                             cryvan_test::PublicKeyRecord(*s_sealed) +
                             cryvan_test::SealedKeyRecord(other);
    Organisation record;
    ASSERT_EQ(Open(cryvan_test::SignedFile(body, *s_plain), record), "opens");
    EXPECT_TRUE(record.Check());
    EXPECT_THROW(record.OpenKey(kPassword), Organisation::Err);
}

}  // namespace
