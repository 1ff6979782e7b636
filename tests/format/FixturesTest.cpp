// Containers written by an independent implementation of the format: our records must read
// them exactly, down to every stored byte.
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <cryptopp/zlib.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "format/DirFooter.h"
#include "format/KeyFooter.h"
#include "support/SharedFixtures.h"

namespace {

using FCryptEng::DirEntry;
using FCryptEng::DirFooter;
using FCryptEng::KeyEntry;
using FCryptEng::KeyFooter;
using FCryptEng::KeySet;
using FCryptEng::UnlockResult;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Be32At(const std::string& s, std::size_t at) {
    return std::uint32_t(std::uint8_t(s[at])) << 24 | std::uint32_t(std::uint8_t(s[at + 1])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 8 | std::uint8_t(s[at + 3]);
}

// The footer region, found from the end of the file as any reader must.
struct Footers {
    std::uint32_t footerLength = 0;
    std::size_t regionStart = 0;
    std::unique_ptr<KeyFooter> keys;
    std::unique_ptr<DirFooter> dir;
};

Footers ReadFooters(const std::string& file) {
    Footers f;
    f.footerLength = Be32At(file, file.size() - 4);
    f.regionStart = file.size() - 4 - f.footerLength;
    CryptoPP::StringSource src(reinterpret_cast<const CryptoPP::byte*>(file.data()) + f.regionStart,
                               f.footerLength, true);
    std::uint32_t used = 0;
    while (used < f.footerLength) {
        CryptoPP::word32 word = 0;
        src.GetWord32(word);
        const std::uint32_t n = word & 0xFFFFFF;
        if (word >> 24 == 0x8C)
            f.keys = std::make_unique<KeyFooter>(nullptr, src, n);
        else if (word >> 24 == 0x25)
            f.dir = std::make_unique<DirFooter>(src, n);
        else
            ADD_FAILURE() << "footer tag " << (word >> 24);
        used += 4 + n;
    }
    return f;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    CryptoPP::StringSource(bytes, true,
                           new CryptoPP::HexEncoder(new CryptoPP::StringSink(out), false));
    return out;
}

// Decrypts one stored file, checks its MAC and inflates it: the plain bytes.
std::string StoredPlainBytes(const std::string& file, const Footers& f, const DirEntry& e) {
    const std::size_t start = f.regionStart - e.Position();
    const std::string stored = file.substr(start, e.ArchiveSize());
    const KeySet& k = *e.GetKeySet();
    CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption aes(k.EncKey()->data(), 16, k.IV()->data());
    std::string z;
    CryptoPP::StringSource(
        stored, true, new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::StringSink(z)));
    std::string mac;
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(k.MacKey()->data(), k.MacKey()->size());
    CryptoPP::StringSource(z, true, new CryptoPP::HashFilter(hmac, new CryptoPP::StringSink(mac)));
    EXPECT_EQ(Hex(mac),
              Hex(std::string(reinterpret_cast<const char*>(e.Mac().data()), e.Mac().size())));
    if (!e.Compress())
        return z;
    std::string plain;
    CryptoPP::StringSource(z, true,
                           new CryptoPP::ZlibDecompressor(new CryptoPP::StringSink(plain)));
    return plain;
}

std::string Sha256Hex(const std::string& bytes) {
    std::string digest;
    CryptoPP::SHA256 sha;
    CryptoPP::StringSource(bytes, true,
                           new CryptoPP::HashFilter(sha, new CryptoPP::StringSink(digest)));
    return Hex(digest);
}

struct Stored {
    const char* name;
    bool folder;
    std::uint32_t size;
    bool compressed;
    std::uint32_t attributes;
    const char* sha256;
};

struct Fixture {
    const char* file;
    std::vector<const char*> passwords;
    std::uint32_t footerLength;
    std::vector<Stored> entries;
};

// 2025-01-02T03:04:05.006Z
constexpr std::uint32_t kDate = 0x07E90102, kTime = 11045006;

const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> fixtures = {
        {"basic.aes",
         {"correct horse"},
         824,
         {{"docs", true, 0, false, 0x00000100, ""},
          {"docs\\notes.txt", false, 8600, true, 0x01000020,
           "20ffcbc91a43c84299d76fe4639bf479a0f8498ca400ef168a7b507126226d69"},
          {"docs\\random.bin", false, 5000, false, 0x00000000,
           "f338800a3d567dd9f6e3f65307ae220dffbf0ed78ee5909c44f82949de7e0bcd"},
          {"docs\\empty.txt", false, 0, true, 0x01000008,
           "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}}},
        {"foreign-header-unknown-records.aes.exe",
         {"first password", "second password"},
         549,
         {{"hello.txt", false, 13, true, 0x01000008,
           "853ff93762a06ddbf722c4ebe9ddd66d8f63ddaea97f521c3ecc20da7c976020"}}},
        {"emergency-first.aes",
         {"user-password", "emergency-pass"},
         1300,
         {{"report.final.doc", false, 3000, true, 0x01000008,
           "ac5bf985f7a1e04ec3128a72eff503f548c6afa9c21ead43c3d92320e7b1f09a"}}},
        {"folders-only.aes",
         {"folders only"},
         296,
         {{"a", true, 0, false, 0x00000100, ""}, {"a\\b", true, 0, false, 0x00000100, ""}}},
        {"mixed-compression.aes",
         {"mixed"},
         568,
         {{"plain.bin", false, 2048, false, 0x00000008,
           "3ef59a6493f4cf2fc85f45d8bc4dc7dcf93d3c0cd65ce696588ecaa52fac57a7"},
          {"packed.txt", false, 1023, true, 0x01000008,
           "30adcd736af97bd1aee6e71f3fe6ab7bb6239c4f73d11c2059bae362bae9a30c"}}},
    };
    return fixtures;
}

TEST(Fixtures, EveryContainerOpensWithEachPasswordAndReadsExactly) {
    for (const Fixture& fx : Fixtures())
        CRYVAN_REQUIRE_SHARED_FIXTURES(fx.file);
    for (const Fixture& fx : Fixtures()) {
        for (const char* password : fx.passwords) {
            SCOPED_TRACE(std::string(fx.file) + " / " + password);
            const std::string file = Slurp(cryvan_test::SharedFixture(fx.file));
            Footers f = ReadFooters(file);
            EXPECT_EQ(f.footerLength, fx.footerLength);
            ASSERT_TRUE(f.keys && f.dir);

            std::unique_ptr<KeySet> keys;
            EXPECT_EQ(f.keys->TryPassword("not the password", keys), UnlockResult::Wrong);
            ASSERT_EQ(f.keys->TryPassword(password, keys), UnlockResult::Unlocked);
            f.dir->Decrypt(*keys);

            ASSERT_EQ(f.dir->NumEntries(false), fx.entries.size());
            for (std::size_t i = 0; i < fx.entries.size(); ++i) {
                const Stored& want = fx.entries[i];
                const DirEntry& e = *f.dir->GetEntry(i);
                SCOPED_TRACE(want.name);
                EXPECT_EQ(e.Name(), want.name);
                EXPECT_EQ(e.IsDir(), want.folder);
                EXPECT_EQ(e.OriginalSize(), want.size);
                EXPECT_EQ(e.Compress(), want.compressed);
                EXPECT_EQ(e.Attributes(), want.attributes);
                EXPECT_EQ(e.ModTime().PackedDate(), kDate);
                EXPECT_EQ(e.ModTime().TimeOfDay(), kTime);
                if (!want.folder) {
                    const std::string plain = StoredPlainBytes(file, f, e);
                    EXPECT_EQ(plain.size(), want.size);
                    EXPECT_EQ(Sha256Hex(plain), want.sha256);
                }
            }
        }
    }
}

void ReadsAFixtureThatIsNotThere() {
    CRYVAN_REQUIRE_SHARED_FIXTURES("no such fixture.aes");
}

#ifdef _WIN32
// The C runtime's names for the same; an empty value removes the variable.
int setenv(const char* name, const char* value, int) {
    return _putenv_s(name, value);
}
int unsetenv(const char* name) {
    return _putenv_s(name, "");
}
#endif

// CI must never pass a build whose fixture tests all skipped.
TEST(Fixtures, AMissingOneFailsUnderCI) {
    const char* before = std::getenv("CI");
    const std::string saved = before ? before : "";
    setenv("CI", "true", 1);
    EXPECT_FATAL_FAILURE(ReadsAFixtureThatIsNotThere(), "no such fixture.aes is missing");
    if (before)
        setenv("CI", saved.c_str(), 1);
    else
        unsetenv("CI");
}

}  // namespace
