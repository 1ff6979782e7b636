// Reading a container's ways in without a password: every kind of key entry, records this
// reader does not know, the headers, and footers damaged in the ways a reader must survive.
#include <gtest/gtest.h>

#include <cryptopp/filters.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ContainerInfo.h"
#include "engine/EngineTestSupport.h"
#include "engine/WaysInSupport.h"
#include "os/File.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"

namespace {

using namespace cryvan_test;
using FCryptEng::AdminRecovery;
using FCryptEng::ContainerInfo;
using FCryptEng::EmergencyPassword;
using Header = ContainerInfo::Header;

void PutBe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
}

std::string SealedRecord(const EmergencyPassword& ep) {
    std::string out;
    CryptoPP::StringSink sink(out);
    ep.GetKeyPair().WriteEncryptedPrivateKey(&sink);
    return out;
}

// Puts `record` at the end of the key footer's body (the writer puts the key footer first),
// keeping every length right; the key footer's MAC no longer matches, which no reader without
// the password can tell.
std::string WithKeyRecord(std::string whole, const std::string& record) {
    const std::size_t size = whole.size();
    const std::uint32_t footers = Be32(whole, size - 4);
    const std::size_t region = size - 4 - footers;
    const std::uint32_t word = Be32(whole, region);
    const std::size_t bodyEnd = region + 4 + (word & 0xFFFFFF) - 32;
    whole.insert(bodyEnd, record);
    PutBe32(whole, region, word + std::uint32_t(record.size()));
    PutBe32(whole, whole.size() - 4, footers + std::uint32_t(record.size()));
    return whole;
}

class ContainerInfoTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_ways = std::make_unique<SampleWaysIn>();
        s_otherConfig = std::make_unique<AdminRecovery>(s_ways->callback.get());
        ASSERT_TRUE(s_otherConfig->Add("Ann", "ann's password", false));
        s_otherConfig->SetK(0);
    }
    static void TearDownTestSuite() {
        s_otherConfig.reset();
        s_ways.reset();
    }

    void SetUp() override { WriteText(dir / "a.txt", TextBytes(3000)); }

    std::string Make(const std::vector<const char*>& passwords,
                     const std::vector<const FCryptEng::RecoverySource*>& recoveries = {},
                     const std::string& header = "Cryvan encrypted file - do not edit") {
        const std::string container = dir / "box.aes";
        EngineRun run;
        run.prepare = [&](FCryptEng::FileEncryptor& enc) {
            for (const auto* r : recoveries)
                enc.AddRecovery(*r);
        };
        EXPECT_EQ(run.Encrypt({dir / "a.txt"}, container, passwords, InputDeletionMode::Keep, false,
                              header),
                  OperationState::Finished);
        return container;
    }

    std::string Damaged(const std::string& bytes) {
        const std::string path = dir / "damaged.aes";
        WriteText(path, bytes);
        try {
            ContainerInfo::Read(path);
        } catch (const ContainerInfo::Damaged& e) {
            return e.what();
        }
        return "(read as a container)";
    }

    TempDir dir;
    static inline std::unique_ptr<SampleWaysIn> s_ways;
    static inline std::unique_ptr<AdminRecovery> s_otherConfig;
};

TEST_F(ContainerInfoTest, PasswordEntriesAreCountedAndNothingElseInvented) {
    for (const std::vector<const char*>& passwords :
         {std::vector<const char*>{"one"}, std::vector<const char*>{"one", "two", "three"}}) {
        const std::string path = Make(passwords);
        const ContainerInfo info = ContainerInfo::Read(path);
        EXPECT_EQ(info.passwordEntries, passwords.size());
        EXPECT_EQ(info.header, Header::Text);
        EXPECT_EQ(info.size, fs::file_size(path));
        EXPECT_TRUE(info.emergencyEntries.empty());
        EXPECT_FALSE(info.administrators);
        EXPECT_EQ(info.unknownRecords, 0u);
    }
}

TEST_F(ContainerInfoTest, EmergencyEntryCarriesItsOwnersSealedKey) {
    const ContainerInfo info = ContainerInfo::Read(Make({"pw"}, {s_ways->mine.get()}));
    EXPECT_EQ(info.passwordEntries, 1u);
    ASSERT_EQ(info.emergencyEntries.size(), 1u);
    // Byte-equal to the record in its owner's file, and to no one else's.
    EXPECT_EQ(info.emergencyEntries[0], SealedRecord(*s_ways->mine));
    EXPECT_NE(info.emergencyEntries[0], SealedRecord(*s_ways->theirs));
}

TEST_F(ContainerInfoTest, AdministratorsAreReadAsKOfNWithTheirEncryptedNames) {
    const ContainerInfo info =
        ContainerInfo::Read(Make({"pw"}, {s_ways->mine.get(), s_ways->config.get()}));
    ASSERT_TRUE(info.administrators);
    EXPECT_EQ(info.administrators->k, 2);
    EXPECT_EQ(info.administrators->n, 3);
    ASSERT_EQ(info.administrators->encryptedNames.size(), 3u);
    for (std::uint16_t i = 0; i < 3; ++i) {
        const CryptoPP::SecByteBlock* stored = s_ways->config->GetEncName(i);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(info.administrators->encryptedNames[i],
                  std::string(reinterpret_cast<const char*>(stored->data()), stored->size()));
    }
    // Another configuration's administrator of the same name and password is another one.
    const CryptoPP::SecByteBlock* other = s_otherConfig->GetEncName(0);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(info.administrators->encryptedNames[0],
              std::string(reinterpret_cast<const char*>(other->data()), other->size()));
    EXPECT_EQ(info.emergencyEntries.size(), 1u);
}

TEST_F(ContainerInfoTest, ThresholdZeroNeedsOneAdministrator) {
    const ContainerInfo info = ContainerInfo::Read(Make({"pw"}, {s_otherConfig.get()}));
    ASSERT_TRUE(info.administrators);
    EXPECT_EQ(info.administrators->k, 0);
    EXPECT_EQ(info.administrators->Needed(), 1);
    EXPECT_EQ(info.administrators->n, 1);
}

TEST_F(ContainerInfoTest, UnknownRecordsAreCountedNotHidden) {
    const std::string path = Make({"pw"});
    const std::string unknown = std::string("\x8C\x55\x00\x03", 4) + "abc";
    const std::string empty("\x12\x34\x00\x00", 4);
    WriteText(path, WithKeyRecord(WithKeyRecord(ReadText(path), unknown), empty));
    const ContainerInfo info = ContainerInfo::Read(path);
    EXPECT_EQ(info.unknownRecords, 2u);
    EXPECT_EQ(info.passwordEntries, 1u);
}

TEST_F(ContainerInfoTest, HeaderKinds) {
    const struct {
        std::string header;
        Header kind;
    } cases[] = {
        {std::string("\x7f"
                     "ELF\x02\x01\x01",
                     7) +
             RandomBytes(500),
         Header::LinuxProgram},
        {"MZ" + RandomBytes(300), Header::WindowsProgram},
        {"", Header::Other},
        {"Cryvan encrypted file - do not edi", Header::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header.substr(0, 4));
        const std::string path = Make({"pw"}, {}, c.header);
        const ContainerInfo info = ContainerInfo::Read(path);
        EXPECT_EQ(info.header, c.kind);
        EXPECT_EQ(info.passwordEntries, 1u);
    }
}

TEST_F(ContainerInfoTest, DamagedFootersSayWhatIsWrong) {
    const std::string whole = ReadText(Make({"pw"}, {s_ways->config.get()}));
    const std::size_t size = whole.size();
    const std::uint32_t footers = Be32(whole, size - 4);
    const std::size_t region = size - 4 - footers;

    // Cut short, the last four bytes read as the length take the footers' last byte as their
    // top byte: made large here, since a zero there would point into the file instead.
    std::string lastByteCut = whole.substr(0, size - 1);
    lastByteCut[size - 5] = char(0x7F);
    std::string lengthPastEnd = whole;
    PutBe32(lengthPastEnd, size - 4, std::uint32_t(size));
    std::string keyFooterPastRegion = whole;
    PutBe32(keyFooterPastRegion, region, 0x8C000000 | std::uint32_t(footers));
    std::string noKeyFooter = whole;
    noKeyFooter[region] = char(0x25);
    std::string unknownFooter = whole;
    unknownFooter[region] = char(0x33);
    // A record whose stated size is longer than the body left for it.
    const std::string overlong = WithKeyRecord(whole, std::string("\x8C\x14\x7F\xFF", 4));
    // Two bytes at the end of the body, too few for a record's tag and size.
    const std::string ragged = WithKeyRecord(whole, std::string("\x8C\x14", 2));
    // An administrators' entry that states more administrators than its body holds.
    const std::string shortAdmins =
        WithKeyRecord(whole, std::string("\x8C\x3B\x00\x04", 4) + std::string("\x00\x05\x00\x01"));

    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"empty", "", "too short"},
        {"three bytes", whole.substr(0, 3), "too short"},
        {"last byte cut", lastByteCut, "more than the file holds"},
        {"footer length past the start", lengthPastEnd, "more than the file holds"},
        {"key footer past the region", keyFooterPastRegion, "runs past the end"},
        {"no key footer", noKeyFooter, "no key footer"},
        {"unknown footer tag", unknownFooter, "unrecognised footer tag (0x33)"},
        {"record longer than the body", overlong, "key footer's records are damaged"},
        {"records do not tile", ragged, "key footer's records are damaged"},
        {"administrators past their entry", shortAdmins, "key footer's records are damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(Damaged(c.bytes).find(c.says), std::string::npos) << Damaged(c.bytes);
    }
}

TEST_F(ContainerInfoTest, MissingFileIsAFileError) {
    EXPECT_THROW(ContainerInfo::Read(dir / "nothing.aes"), OS::File::Error);
}

}  // namespace
