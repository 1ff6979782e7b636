#include "format/KeyFooter.h"

#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "filters/KeyWrap.h"
#include "os/Logger.h"

namespace {

using CryptoPP::SecByteBlock;
using FCryptEng::KeyEntry;
using FCryptEng::KeyFooter;
using FCryptEng::KeySet;
using FCryptEng::UnlockResult;
using FCryptEng::UserPasswordKeyEntry;

std::string Be16(unsigned v) {
    return {char(v >> 8), char(v)};
}
std::string Be32(std::uint32_t v) {
    return Be16(v >> 16) + Be16(v & 0xFFFF);
}
std::string Str(const SecByteBlock& b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}
SecByteBlock Block(const std::string& s) {
    return SecByteBlock(reinterpret_cast<const CryptoPP::byte*>(s.data()), s.size());
}
std::string Pattern(std::size_t n, int start) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += char(start + i);
    return s;
}

std::string Mac(const std::string& macKey, const std::string& body) {
    std::string mac;
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(reinterpret_cast<const CryptoPP::byte*>(macKey.data()),
                                          macKey.size());
    CryptoPP::StringSource(body, true,
                           new CryptoPP::HashFilter(hmac, new CryptoPP::StringSink(mac)));
    return mac;
}

std::string Frame(const std::string& body, const std::string& macKey) {
    return Be32(0x8C000000u | std::uint32_t(body.size() + 32)) + body + Mac(macKey, body);
}

// Reads a framed key footer the way a container reader does: the word, then the rest.
std::unique_ptr<KeyFooter> Parse(const std::string& framed,
                                 KeyFooter::AdminEntryReader admin = {}) {
    CryptoPP::StringSource src(framed, true);
    CryptoPP::word32 word = 0;
    if (src.GetWord32(word) != 4)
        throw std::runtime_error("short");
    EXPECT_EQ(word >> 24, 0x8Cu);
    return std::make_unique<KeyFooter>(nullptr, src, word & 0xFFFFFF, std::move(admin));
}

std::string Write(KeyFooter& footer, const KeySet& keys) {
    std::string out;
    CryptoPP::StringSink sink(out);
    footer.SetKeys(&keys);
    footer.PutEncoding(sink);
    return out;
}

// The known keys of the hand-made vector.
const std::string kKek = Pattern(32, 0x10), kEnc = Pattern(32, 0x40), kMacKey = Pattern(16, 0x70),
                  kIv = Pattern(16, 0x90), kSalt = Pattern(16, 0xA0);

// A password entry built byte by byte from the layout, with Crypto++'s own PBKDF2.
std::string HandMadePasswordRecord(const std::string& password) {
    SecByteBlock wrapper(32);
    CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA256>().DeriveKey(
        wrapper, wrapper.size(), 0, reinterpret_cast<const CryptoPP::byte*>(password.data()),
        password.size(), reinterpret_cast<const CryptoPP::byte*>(kSalt.data()), kSalt.size(), 1000);
    SecByteBlock wrapped(104);
    EXPECT_EQ(CryptoP2::AesKeyWrap(wrapper, Block(kKek + kEnc + kMacKey + kIv), wrapped),
              CryptoP2::KeyWrapResult::Ok);
    const std::string body = kSalt + Be32(104) + Str(wrapped);
    return Be16(0x8C14) + Be16(std::uint16_t(body.size())) + body;
}

class CapturedWarnings {
  public:
    CapturedWarnings() { OS::Logger::Register(OS::LOG_WARN, &m_out); }
    ~CapturedWarnings() { OS::Logger::Register(0, &m_out); }
    std::string Text() const { return m_out.str(); }

  private:
    std::ostringstream m_out;
};

TEST(KeyFooter, EmptyFooterWord) {
    KeyFooter footer(nullptr);
    KeySet keys(true);
    const std::string out = Write(footer, keys);
    EXPECT_EQ(out.substr(0, 4), std::string("\x8C\x00\x00\x20", 4));
    EXPECT_EQ(out.size(), 36u);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(Parse(out)->TryPassword("anything", got), UnlockResult::Nothing);
}

TEST(KeyFooter, HandMadeVectorOpensWithItsPassword) {
    const std::string record = HandMadePasswordRecord("correct horse");
    ASSERT_EQ(record.size(), 4u + 124u);
    auto footer = Parse(Frame(record, kMacKey));
    ASSERT_EQ(footer->NumEntries(), 1u);

    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("correct horsf", got), UnlockResult::Wrong);
    EXPECT_FALSE(got);
    EXPECT_EQ(footer->TryPassword("correct horse", got), UnlockResult::Unlocked);
    ASSERT_TRUE(got && got->KEK());
    EXPECT_EQ(Str(*got->KEK()), kKek);
    EXPECT_EQ(Str(*got->EncKey()), kEnc);
    EXPECT_EQ(Str(*got->MacKey()), kMacKey);
    EXPECT_EQ(Str(*got->IV()), kIv);
}

TEST(KeyFooter, PasswordEntriesRoundTrip) {
    KeySet keys(true);
    KeyFooter footer(nullptr);
    footer.Add(std::make_unique<UserPasswordKeyEntry>("first"));
    footer.Add(std::make_unique<UserPasswordKeyEntry>("first"));
    footer.Add(std::make_unique<UserPasswordKeyEntry>("second"));
    const std::string out = Write(footer, keys);

    // Same password, different salts and wrapped sets.
    auto* a = static_cast<UserPasswordKeyEntry*>(footer.GetEntry(0));
    auto* b = static_cast<UserPasswordKeyEntry*>(footer.GetEntry(1));
    EXPECT_NE(Str(a->Salt()), Str(b->Salt()));
    EXPECT_EQ(a->BodySize(), 124u);
    EXPECT_EQ(out.size(), 4u + 3 * 128u + 32u);
    EXPECT_NE(out.substr(4 + 4, 124), out.substr(4 + 128 + 4, 124));

    for (const char* password : {"first", "second"}) {
        SCOPED_TRACE(password);
        auto read = Parse(out);
        std::unique_ptr<KeySet> got;
        EXPECT_EQ(read->TryPassword("wrong", got), UnlockResult::Wrong);
        EXPECT_EQ(read->TryPassword(password, got), UnlockResult::Unlocked);
        ASSERT_TRUE(got);
        EXPECT_EQ(*got->KEK(), *keys.KEK());
        EXPECT_EQ(*got->EncKey(), *keys.EncKey());
        EXPECT_EQ(*got->MacKey(), *keys.MacKey());
        EXPECT_EQ(*got->IV(), *keys.IV());
    }
}

TEST(KeyFooter, TamperingIsFoundOnlyAfterAnUnlock) {
    // An unknown record after the entry: changing it leaves the entry intact.
    const std::string record = HandMadePasswordRecord("pw");
    const std::string unknown = Be16(0x8C99) + Be16(3) + "abc";
    std::string framed = Frame(record + unknown, kMacKey);
    framed[framed.size() - 32 - 1] ^= 1;

    auto footer = Parse(framed);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("not it", got), UnlockResult::Wrong);
    try {
        footer->TryPassword("pw", got);
        FAIL() << "no exception";
    } catch (const FCryptEng::Footer::Err& e) {
        EXPECT_STREQ(e.what(), "Footer MAC mismatch");
    }
}

TEST(KeyFooter, UnknownRecordsAreSkippedWithOneWarningEach) {
    const std::string record = HandMadePasswordRecord("pw");
    const std::string unknown = Be16(0x1234) + Be16(3) + "xyz";
    const std::string admin = Be16(0x8C3B) + Be16(2) + "zz";
    CapturedWarnings warnings;
    auto footer = Parse(Frame(unknown + record + admin, kMacKey));
    EXPECT_EQ(footer->NumEntries(), 1u);
    EXPECT_EQ(warnings.Text(),
              ":WARN: Unrecognised tag reading Key Footer - ignoring this entry\n"
              ":WARN: Unrecognised tag reading Key Footer - ignoring this entry\n");
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("pw", got), UnlockResult::Unlocked);
}

TEST(KeyFooter, ARecordLongerThanItsFieldsKeepsTheReaderInPlace) {
    std::string record = HandMadePasswordRecord("one");
    record = Be16(0x8C14) + Be16(124 + 6) + record.substr(4) + "JUNK!!";
    auto footer = Parse(Frame(record + HandMadePasswordRecord("two"), kMacKey));
    ASSERT_EQ(footer->NumEntries(), 2u);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("two", got), UnlockResult::Unlocked);
}

TEST(KeyFooter, EmergencyEntryBeforeAPasswordEntry) {
    FCryptEng::KeyPair pair;
    pair.Create();
    pair.Encrypt("emergency pass");
    KeySet keys(true);
    KeyFooter footer(nullptr);
    footer.Add(std::make_unique<FCryptEng::EmergencyPasswordKeyEntry>(pair));
    footer.Add(std::make_unique<UserPasswordKeyEntry>("user pass"));
    const std::string out = Write(footer, keys);

    for (const char* password : {"user pass", "emergency pass"}) {
        SCOPED_TRACE(password);
        auto read = Parse(out);
        ASSERT_EQ(read->NumEntries(), 2u);
        std::unique_ptr<KeySet> got;
        EXPECT_EQ(read->TryPassword("neither", got), UnlockResult::Wrong);
        EXPECT_EQ(read->TryPassword(password, got), UnlockResult::Unlocked);
        ASSERT_TRUE(got);
        EXPECT_EQ(*got->KEK(), *keys.KEK());
    }
}

TEST(KeyFooter, ADamagedEntryDoesNotLockTheUserOut) {
    // An emergency entry whose sealed key is too short to open raises inside; the password
    // entry after it must still be tried.
    const std::string sealed = Be16(0x34BE) + Be16(17) + std::string(17, 's');
    const std::string keySet = Be32(104) + std::string(104, 'k');
    const std::string emergency = sealed + keySet + std::string(128, 'w');
    const std::string body = Be16(0x8C7A) + Be16(std::uint16_t(emergency.size())) + emergency +
                             HandMadePasswordRecord("pw");
    auto footer = Parse(Frame(body, kMacKey));
    ASSERT_EQ(footer->NumEntries(), 2u);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("pw", got), UnlockResult::Unlocked);
}

// An administrators' entry that wants several passwords: answers 3 until it has two.
class FakeAdminEntry : public KeyEntry {
  public:
    std::uint16_t Tag() const override { return 0x8C3B; }
    std::uint32_t CalcBodySize() const override { return 0; }
    void PutBody(CryptoPP::BufferedTransformation&) const override {}
    UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>&) override {
        calls.push_back(password);
        return calls.size() < 2 ? UnlockResult::MoreAdmins : UnlockResult::Failed;
    }
    std::vector<std::string> calls;
};

TEST(KeyFooter, AnAdministratorsEntryThatAsksForMoreReceivesEveryLaterAttempt) {
    FakeAdminEntry* admin = nullptr;
    auto reader = [&admin](FCryptEng::CryptorCallback*, CryptoPP::BufferedTransformation&,
                           std::uint32_t) {
        auto entry = std::make_unique<FakeAdminEntry>();
        admin = entry.get();
        return std::unique_ptr<KeyEntry>(std::move(entry));
    };
    const std::string body = Be16(0x8C3B) + Be16(0) + HandMadePasswordRecord("pw");
    auto footer = Parse(Frame(body, kMacKey), reader);
    ASSERT_EQ(footer->NumEntries(), 2u);
    std::unique_ptr<KeySet> got;
    EXPECT_EQ(footer->TryPassword("admin one", got), UnlockResult::MoreAdmins);
    // Even the user's password now goes to the administrators' entry.
    EXPECT_EQ(footer->TryPassword("pw", got), UnlockResult::Failed);
    EXPECT_EQ(admin->calls, (std::vector<std::string>{"admin one", "pw"}));
}

TEST(KeyFooter, HostileBodies) {
    const std::string record = HandMadePasswordRecord("pw");
    struct {
        const char* name;
        std::string body;
        const char* text;
    } const cases[] = {
        {"short record header", record + "\x8C\x14\x00", "\"KeyFooter error\""},
        {"record overruns the body", Be16(0x8C14) + Be16(200) + record.substr(4),
         "Corrupt input file"},
        {"unknown record overruns", Be16(0x1111) + Be16(9) + "abc", "\"KeyFooter error\""},
        {"salt missing", Be16(0x8C14) + Be16(10) + std::string(10, 'x'), "\"KeyEntry error\""},
        {"key set cut short", Be16(0x8C14) + Be16(60) + record.substr(4, 60), "\"KeySet error\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Parse(Frame(c.body, kMacKey));
            FAIL() << "no exception";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
    }
    // Every truncation of a valid footer fails cleanly.
    const std::string framed = Frame(record + record, kMacKey);
    for (std::size_t n = 4; n < framed.size(); ++n) {
        std::string cut = framed.substr(0, n);
        EXPECT_THROW(Parse(cut), std::exception) << n;
    }
}

}  // namespace
