#include "format/KeyPair.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/queue.h>
#include <cryptopp/rsa.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "filters/KeyDerivation.h"
#include "filters/KeyWrap.h"
#include "filters/Random.h"
#include "support/TempDir.h"

namespace {

using CryptoPP::byte;
using CryptoPP::Integer;
using CryptoPP::SecByteBlock;
using FCryptEng::KeyPair;

constexpr const char* kPassword = "correct horse";

SecByteBlock FromHex(const std::string& hex) {
    std::string raw;
    CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(raw)));
    return SecByteBlock(reinterpret_cast<const byte*>(raw.data()), raw.size());
}

std::string ToHex(const byte* data, std::size_t size) {
    std::string out;
    CryptoPP::StringSource(data, size, true,
                           new CryptoPP::HexEncoder(new CryptoPP::StringSink(out), false));
    return out;
}

std::string ToHex(const Integer& value) {
    SecByteBlock bytes(value.MinEncodedSize());
    value.Encode(bytes.data(), bytes.size());
    return ToHex(bytes.data(), bytes.size());
}

std::string Str(const SecByteBlock& block) {
    return std::string(reinterpret_cast<const char*>(block.data()), block.size());
}

SecByteBlock Bytes(const std::string& text) {
    return SecByteBlock(reinterpret_cast<const byte*>(text.data()), text.size());
}

SecByteBlock Concat(const SecByteBlock& a, const SecByteBlock& b) {
    SecByteBlock out(a.size() + b.size());
    if (a.size())
        std::memcpy(out.data(), a.data(), a.size());
    if (b.size())
        std::memcpy(out.data() + a.size(), b.data(), b.size());
    return out;
}

// Framing built by hand, not by the code under test.
SecByteBlock Record(std::uint16_t tag, const SecByteBlock& body) {
    const byte header[4] = {byte(tag >> 8), byte(tag), byte(body.size() >> 8), byte(body.size())};
    return Concat(SecByteBlock(header, 4), body);
}

CryptoPP::ByteQueue Queue(const SecByteBlock& bytes) {
    CryptoPP::ByteQueue q;
    q.Put(bytes.data(), bytes.size());
    return q;
}

SecByteBlock Drain(CryptoPP::BufferedTransformation& q) {
    SecByteBlock out(static_cast<std::size_t>(q.MaxRetrievable()));
    q.Get(out.data(), out.size());
    return out;
}

SecByteBlock PublicRecord(const KeyPair& pair) {
    CryptoPP::ByteQueue q;
    const std::uint32_t count = pair.WritePublicKey(q);
    EXPECT_EQ(count, q.MaxRetrievable());
    return Drain(q);
}

SecByteBlock SealedRecord(const KeyPair& pair) {
    CryptoPP::ByteQueue q;
    const std::uint32_t count = pair.WriteEncryptedPrivateKey(&q);
    EXPECT_EQ(count, q.MaxRetrievable());
    return Drain(q);
}

SecByteBlock SpkiOf(const Integer& n, const Integer& e) {
    CryptoPP::RSA::PublicKey key;
    key.Initialize(n, e);
    std::string der;
    CryptoPP::StringSink sink(der);
    key.DEREncode(sink);
    return Bytes(der);
}

void ExpectErr(const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no KeyPair::Err";
    } catch (const KeyPair::Err& e) {
        EXPECT_STREQ(e.what(), "\"KeyPair error\"");
    }
}

void ExpectSameKey(const CryptoPP::RSA::PrivateKey& a, const CryptoPP::RSA::PrivateKey& b) {
    EXPECT_EQ(a.GetModulus(), b.GetModulus());
    EXPECT_EQ(a.GetPublicExponent(), b.GetPublicExponent());
    EXPECT_EQ(a.GetPrivateExponent(), b.GetPrivateExponent());
    EXPECT_EQ(a.GetPrime1(), b.GetPrime1());
    EXPECT_EQ(a.GetPrime2(), b.GetPrime2());
    EXPECT_EQ(a.GetMultiplicativeInverseOfPrime2ModPrime1(),
              b.GetMultiplicativeInverseOfPrime2ModPrime1());
}

// Salt || wrap of `plain` (zero-padded to 8) under the password's key: a sealed body made
// without KeyPair::Encrypt.
SecByteBlock SealBytes(const SecByteBlock& plain, const char* password) {
    SecByteBlock salt(16);
    CryptoP2::GlobalRNG().GenerateBlock(salt.data(), salt.size());
    SecByteBlock padded((plain.size() + 7) / 8 * 8);
    std::memset(padded.data(), 0, padded.size());
    std::memcpy(padded.data(), plain.data(), plain.size());
    SecByteBlock wrapped(padded.size() + 8);
    EXPECT_EQ(CryptoP2::AesKeyWrap(CryptoP2::DerivePasswordKey(password, salt), padded, wrapped),
              CryptoP2::KeyWrapResult::Ok);
    return Concat(salt, wrapped);
}

// Two pairs generated once per suite: key generation is the slow part.
class KeyPairTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_fresh.emplace();
        s_fresh->Create();
        s_other.emplace();
        s_other->Create();
        s_sealed.emplace(*s_fresh);
        s_sealed->Encrypt(kPassword);
    }
    static void TearDownTestSuite() {
        s_fresh.reset();
        s_other.reset();
        s_sealed.reset();
    }

    static const KeyPair& Fresh() { return *s_fresh; }
    static const KeyPair& Other() { return *s_other; }
    static const KeyPair& Sealed() { return *s_sealed; }

  private:
    static inline std::optional<KeyPair> s_fresh;
    static inline std::optional<KeyPair> s_other;
    static inline std::optional<KeyPair> s_sealed;
};

TEST_F(KeyPairTest, CreateMakesA1024BitPairWithExponent17) {
    ASSERT_TRUE(Fresh().HasPrivateKey());
    ASSERT_TRUE(Fresh().HasPublicKey());
    EXPECT_FALSE(Fresh().HasSealedKey());
    EXPECT_EQ(Fresh().PrivateKey()->GetModulus().BitCount(), 1024u);
    EXPECT_EQ(Fresh().PrivateKey()->GetPublicExponent(), Integer(17));
    EXPECT_EQ(Fresh().PublicKey()->GetModulus(), Fresh().PrivateKey()->GetModulus());
    EXPECT_EQ(Fresh().PublicKey()->GetPublicExponent(), Integer(17));
    EXPECT_TRUE(Fresh().PrivateKey()->Validate(CryptoP2::GlobalRNG(), 2));
    EXPECT_NE(Fresh().PrivateKey()->GetModulus(), Other().PrivateKey()->GetModulus());

    KeyPair pair(Fresh());
    pair.Delete();
    EXPECT_FALSE(pair.HasPrivateKey());
    EXPECT_FALSE(pair.HasPublicKey());
    EXPECT_FALSE(pair.HasSealedKey());
}

TEST_F(KeyPairTest, SealingKeepsThePublicKeyAndDropsThePrivateOne) {
    EXPECT_FALSE(Sealed().HasPrivateKey());
    ASSERT_TRUE(Sealed().HasPublicKey());
    ASSERT_TRUE(Sealed().HasSealedKey());
    EXPECT_EQ(Sealed().PublicKey()->GetModulus(), Fresh().PublicKey()->GetModulus());

    // salt, then the wrap of the encoding padded to 8, which adds 8 bytes
    std::string der;
    CryptoPP::StringSink sink(der);
    Fresh().PrivateKey()->DEREncode(sink);
    EXPECT_EQ(Sealed().SealedKey()->size(), 16 + (der.size() + 7) / 8 * 8 + 8);

    const std::uint32_t sizeOnly = Sealed().WriteEncryptedPrivateKey(nullptr);
    const SecByteBlock record = SealedRecord(Sealed());
    EXPECT_EQ(sizeOnly, record.size());
    EXPECT_EQ(Str(record), Str(Record(0x34BE, *Sealed().SealedKey())));
}

TEST_F(KeyPairTest, WrongPasswordIsAResultAndTheSealedKeyStays) {
    KeyPair pair(Sealed());
    for (const char* wrong : {"correct horsf", "", "correct horse "}) {
        EXPECT_FALSE(pair.Decrypt(wrong)) << wrong;
        ASSERT_TRUE(pair.HasSealedKey());
        EXPECT_EQ(Str(*pair.SealedKey()), Str(*Sealed().SealedKey()));
        EXPECT_FALSE(pair.HasPrivateKey());
    }
    // Decrypt drops the public key in every case.
    EXPECT_FALSE(pair.HasPublicKey());

    ASSERT_TRUE(pair.Decrypt(kPassword));
    EXPECT_FALSE(pair.HasSealedKey());
    ASSERT_TRUE(pair.HasPrivateKey());
    ExpectSameKey(*pair.PrivateKey(), *Fresh().PrivateKey());

    EXPECT_FALSE(pair.HasPublicKey());
    pair.MakePublicFromPrivate();
    ASSERT_TRUE(pair.HasPublicKey());
    EXPECT_EQ(pair.PublicKey()->GetModulus(), Fresh().PublicKey()->GetModulus());
}

TEST_F(KeyPairTest, SealingTwiceGivesDifferentBytesThatBothOpen) {
    KeyPair again(Fresh());
    again.Encrypt(kPassword);
    const SecByteBlock& first = *Sealed().SealedKey();
    const SecByteBlock& second = *again.SealedKey();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(Str(first).substr(0, 16), Str(second).substr(0, 16));
    EXPECT_NE(Str(first).substr(16), Str(second).substr(16));

    KeyPair one(Sealed());
    ASSERT_TRUE(one.Decrypt(kPassword));
    ASSERT_TRUE(again.Decrypt(kPassword));
    ExpectSameKey(*one.PrivateKey(), *again.PrivateKey());
}

TEST_F(KeyPairTest, CopiesAreDeep) {
    KeyPair copy(Fresh());
    KeyPair assigned;
    assigned = Sealed();
    EXPECT_NE(copy.PrivateKey(), Fresh().PrivateKey());
    EXPECT_NE(assigned.SealedKey()->data(), Sealed().SealedKey()->data());
    EXPECT_EQ(Str(*assigned.SealedKey()), Str(*Sealed().SealedKey()));

    // Assignment replaces every member, including those the source lacks.
    assigned = copy;
    EXPECT_FALSE(assigned.HasSealedKey());
    ASSERT_TRUE(assigned.HasPrivateKey());
    copy.Delete();
    ExpectSameKey(*assigned.PrivateKey(), *Fresh().PrivateKey());

    KeyPair& self = assigned;
    assigned = self;
    ASSERT_TRUE(assigned.HasPrivateKey());
    ExpectSameKey(*assigned.PrivateKey(), *Fresh().PrivateKey());
    EXPECT_TRUE(assigned.HasPublicKey());
}

TEST_F(KeyPairTest, OperationsWithoutTheNeededMemberFail) {
    const byte message[4] = {1, 2, 3, 4};
    KeyPair empty;
    ExpectErr([&] { empty.Encrypt(kPassword); });
    ExpectErr([&] { empty.MakePublicFromPrivate(); });
    ExpectErr([&] { empty.Decrypt(kPassword); });
    CryptoPP::ByteQueue sink;
    ExpectErr([&] { empty.WritePublicKey(sink); });
    ExpectErr([&] { empty.WriteEncryptedPrivateKey(nullptr); });
    ExpectErr([&] { empty.EncryptWithPublicKey(message, sizeof message); });
    EXPECT_FALSE(empty.Sign(message, sizeof message));
    EXPECT_FALSE(empty.DecryptWithPrivateKey(message, sizeof message));

    // The sealed state has a public key but no private one.
    EXPECT_FALSE(Sealed().Sign(message, sizeof message));
    const auto signature = Fresh().Sign(message, sizeof message);
    ASSERT_TRUE(signature);
    EXPECT_FALSE(empty.CheckSignature(message, sizeof message, signature->data(), 128));
    EXPECT_TRUE(Sealed().CheckSignature(message, sizeof message, signature->data(), 128));
}

TEST_F(KeyPairTest, RecordsRoundTripThroughAQueue) {
    CryptoPP::ByteQueue q;
    const std::uint32_t publicSize = Sealed().WritePublicKey(q);
    const std::uint32_t sealedSize = Sealed().WriteEncryptedPrivateKey(&q);
    const byte trailer[3] = {0xAB, 0x78, 0x00};
    q.Put(trailer, sizeof trailer);

    KeyPair read;
    EXPECT_EQ(read.ReadPublicKey(q), publicSize);
    EXPECT_EQ(read.ReadEncryptedPrivateKey(q), sealedSize);
    // Exactly the records were taken, not the bytes after them.
    EXPECT_EQ(q.MaxRetrievable(), sizeof trailer);
    EXPECT_EQ(read.PublicKey()->GetModulus(), Fresh().PublicKey()->GetModulus());
    EXPECT_EQ(read.PublicKey()->GetPublicExponent(), Integer(17));
    EXPECT_EQ(Str(*read.SealedKey()), Str(*Sealed().SealedKey()));
    EXPECT_EQ(Str(PublicRecord(read)), Str(PublicRecord(Sealed())));

    ASSERT_TRUE(read.Decrypt(kPassword));
    ExpectSameKey(*read.PrivateKey(), *Fresh().PrivateKey());
}

TEST_F(KeyPairTest, ReadsAHandBuiltPublicKeyRecord) {
    // A 1024-bit key with e = 17, laid out field by field.
    const std::string n =
        "ce5806ff917553e74f12b98fa71934a8bde3798d925c58986dfa41d971cb4631"
        "d8d78e40e5938954a3042f9e0be24c46296d8bba436261a169bba9b683c0a244"
        "778cb097839df9513ff91d59f784c8f3a8193440feb33d7dce2eade454f39a5e"
        "bbcb70af279ee1f96a5d03b1d38d7a5b576239c794595cce5513c3d523d8d6ed";
    const std::string spki =
        "30819d"  // SubjectPublicKeyInfo
        "300d"
        "06092a864886f70d010101"
        "0500"  // rsaEncryption, NULL
        "03818b"
        "00"  // BIT STRING, 0 unused
        "30818702818100" +
        n +        // SEQUENCE, INTEGER n
        "020111";  // INTEGER e
    const std::string record =
        "ab78"
        "00a0" +
        spki;

    KeyPair pair;
    auto q = Queue(FromHex(record));
    EXPECT_EQ(pair.ReadPublicKey(q), 164u);
    ASSERT_TRUE(pair.HasPublicKey());
    EXPECT_EQ(ToHex(pair.PublicKey()->GetModulus()), n);
    EXPECT_EQ(pair.PublicKey()->GetPublicExponent(), Integer(17));
    EXPECT_EQ(ToHex(PublicRecord(pair).data(), 164), record);
}

TEST_F(KeyPairTest, WrongTagsAreRefusedAndTheMemberIsReleased) {
    const SecByteBlock publicRecord = PublicRecord(Fresh());
    const SecByteBlock publicBody(publicRecord.data() + 4, publicRecord.size() - 4);
    for (std::uint16_t tag : {0x34BE, 0x0000, 0xAB79, 0x78AB, 0xFFFF}) {
        SCOPED_TRACE(tag);
        KeyPair pair(Sealed());
        auto q = Queue(Record(tag, publicBody));
        ExpectErr([&] { pair.ReadPublicKey(q); });
        EXPECT_FALSE(pair.HasPublicKey());
        EXPECT_TRUE(pair.HasSealedKey());
    }
    for (std::uint16_t tag : {0xAB78, 0x0000, 0x34BF, 0xBE34}) {
        SCOPED_TRACE(tag);
        KeyPair pair(Sealed());
        auto q = Queue(Record(tag, *Sealed().SealedKey()));
        ExpectErr([&] { pair.ReadEncryptedPrivateKey(q); });
        EXPECT_FALSE(pair.HasSealedKey());
        EXPECT_TRUE(pair.HasPublicKey());
    }
    // Reading a sealed record drops an opened private key too.
    KeyPair opened(Fresh());
    auto q = Queue(Record(0x0000, *Sealed().SealedKey()));
    ExpectErr([&] { opened.ReadEncryptedPrivateKey(q); });
    EXPECT_FALSE(opened.HasPrivateKey());
}

TEST_F(KeyPairTest, EveryTruncationIsRefusedWithoutReadingTheBody) {
    const SecByteBlock publicRecord = PublicRecord(Fresh());
    const SecByteBlock sealedRecord = SealedRecord(Sealed());
    struct Case {
        const char* name;
        const SecByteBlock& record;
        std::function<void(KeyPair&, CryptoPP::BufferedTransformation&)> read;
    };
    const Case cases[] = {
        {"public", publicRecord, [](KeyPair& p, auto& s) { p.ReadPublicKey(s); }},
        {"sealed", sealedRecord, [](KeyPair& p, auto& s) { p.ReadEncryptedPrivateKey(s); }},
    };
    for (const Case& c : cases) {
        for (std::size_t cut = 0; cut < c.record.size(); ++cut) {
            SCOPED_TRACE(std::string(c.name) + " cut at " + std::to_string(cut));
            CryptoPP::ByteQueue q;
            q.Put(c.record.data(), cut);
            KeyPair pair;
            ExpectErr([&] { c.read(pair, q); });
            EXPECT_FALSE(pair.HasPublicKey());
            EXPECT_FALSE(pair.HasSealedKey());
            // At most the tag and the length were taken.
            EXPECT_GE(q.MaxRetrievable() + 4, cut);
        }
    }
}

TEST_F(KeyPairTest, HostilePublicKeyBodiesAreRefused) {
    const Integer n = Fresh().PublicKey()->GetModulus();
    const SecByteBlock good = SpkiOf(n, 17);
    SecByteBlock wrongOid(good);
    wrongOid[12] ^= 0x01;  // last byte of the rsaEncryption OID
    SecByteBlock shortInner(good.data(), good.size() - 1);

    const std::vector<std::pair<const char*, SecByteBlock>> bodies = {
        {"empty", SecByteBlock()},
        {"garbage", FromHex("3082ffff0000")},
        {"indefinite", FromHex("3080300d06092a864886f70d01010105000000")},
        {"cut inside", shortInner},
        {"other algorithm", wrongOid},
        {"tiny modulus", SpkiOf(Integer(3233), 17)},
        {"huge modulus", SpkiOf(Integer::Power2(4200) + 1, 17)},
        {"even modulus", SpkiOf(n + 1, 17)},
        {"negative modulus", SpkiOf(-n, 17)},
        {"e = 1", SpkiOf(n, 1)},
        {"even e", SpkiOf(n, 16)},
        {"e above n", SpkiOf(n, n + 2)},
        {"e of 65 bits", SpkiOf(n, Integer::Power2(64) + 1)},
    };
    for (const auto& [name, body] : bodies) {
        SCOPED_TRACE(name);
        KeyPair pair(Fresh());
        auto q = Queue(Record(0xAB78, body));
        ExpectErr([&] { pair.ReadPublicKey(q); });
        EXPECT_FALSE(pair.HasPublicKey());
    }
    KeyPair pair;
    auto q = Queue(Record(0xAB78, SpkiOf(n, Integer::Power2(63) + 1)));
    EXPECT_NO_THROW(pair.ReadPublicKey(q));
}

TEST_F(KeyPairTest, MalformedSealedKeysRaiseOrFailAsTheyShould) {
    // A wrong size means no salt or no whole wrap: an error. A well-shaped block that does not
    // unwrap is indistinguishable from a wrong password.
    struct Case {
        std::size_t size;
        bool raises;
    };
    for (const Case c : {Case{0, true}, Case{16, true}, Case{31, true}, Case{36, true},
                         Case{41, true}, Case{32, false}, Case{40, false}}) {
        SCOPED_TRACE(c.size);
        SecByteBlock body(c.size);
        CryptoP2::GlobalRNG().GenerateBlock(body.data(), body.size());
        KeyPair pair;
        auto q = Queue(Record(0x34BE, body));
        EXPECT_EQ(pair.ReadEncryptedPrivateKey(q), c.size + 4);
        if (c.raises) {
            ExpectErr([&] { pair.Decrypt(kPassword); });
        } else {
            EXPECT_FALSE(pair.Decrypt(kPassword));
        }
        EXPECT_FALSE(pair.HasPrivateKey());
    }

    // The right password over contents that are not a usable private key.
    const CryptoPP::RSA::PrivateKey& key = *Fresh().PrivateKey();
    CryptoPP::RSA::PrivateKey inconsistent;
    inconsistent.Initialize(key.GetModulus(), key.GetPublicExponent(), key.GetPrivateExponent() + 2,
                            key.GetPrime1(), key.GetPrime2(), key.GetModPrime1PrivateExponent(),
                            key.GetModPrime2PrivateExponent(),
                            key.GetMultiplicativeInverseOfPrime2ModPrime1());
    std::string der;
    CryptoPP::StringSink sink(der);
    inconsistent.DEREncode(sink);
    for (const SecByteBlock& plain : {SecByteBlock(nullptr, 24), Bytes(der)}) {
        KeyPair pair;
        auto q = Queue(Record(0x34BE, SealBytes(plain, kPassword)));
        pair.ReadEncryptedPrivateKey(q);
        ExpectErr([&] { pair.Decrypt(kPassword); });
        EXPECT_FALSE(pair.HasPrivateKey());
        EXPECT_TRUE(pair.HasSealedKey());
    }
}

TEST_F(KeyPairTest, SignatureFailsOnAnyChangedByte) {
    SecByteBlock message = Bytes("The configuration as it was signed, byte for byte.");
    const auto signed_ = Fresh().Sign(message.data(), message.size());
    ASSERT_TRUE(signed_);
    SecByteBlock signature = *signed_;
    ASSERT_EQ(signature.size(), 128u);
    EXPECT_TRUE(Fresh().CheckSignature(message.data(), message.size(), signature.data(), 128));
    EXPECT_FALSE(Other().CheckSignature(message.data(), message.size(), signature.data(), 128));

    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] ^= 0x01;
        EXPECT_FALSE(Fresh().CheckSignature(message.data(), message.size(), signature.data(), 128))
            << "message byte " << i;
        message[i] ^= 0x01;
    }
    for (std::size_t i = 0; i < signature.size(); ++i) {
        signature[i] ^= 0x80;
        EXPECT_FALSE(Fresh().CheckSignature(message.data(), message.size(), signature.data(), 128))
            << "signature byte " << i;
        signature[i] ^= 0x80;
    }
    EXPECT_FALSE(Fresh().CheckSignature(message.data(), message.size() - 1, signature.data(), 128));

    SecByteBlock longer(nullptr, 129);
    std::memcpy(longer.data(), signature.data(), 128);
    for (std::size_t length : {0, 127, 129}) {
        EXPECT_FALSE(Fresh().CheckSignature(message.data(), message.size(), longer.data(), length))
            << length;
    }

    const auto empty = Fresh().Sign(nullptr, 0);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(Fresh().CheckSignature(nullptr, 0, empty->data(), empty->size()));
}

TEST_F(KeyPairTest, RsaEncryptionRoundTripsUpTo117Bytes) {
    for (std::size_t size : {0, 1, 32, 117}) {
        SCOPED_TRACE(size);
        SecByteBlock plain(size);
        CryptoP2::GlobalRNG().GenerateBlock(plain.data(), plain.size());
        const SecByteBlock cipher = Sealed().EncryptWithPublicKey(plain.data(), plain.size());
        ASSERT_EQ(cipher.size(), 128u);
        const auto back = Fresh().DecryptWithPrivateKey(cipher.data(), cipher.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(Str(*back), Str(plain));
    }
    SecByteBlock tooLong(nullptr, 118);
    ExpectErr([&] { Fresh().EncryptWithPublicKey(tooLong.data(), tooLong.size()); });
}

TEST_F(KeyPairTest, BadCiphertextGivesNothing) {
    const SecByteBlock plain = Bytes("a 32-byte content key, say......");
    const SecByteBlock cipher = Fresh().EncryptWithPublicKey(plain.data(), plain.size());
    // Another key may, rarely, find valid padding by chance; it never finds the plaintext.
    const auto wrongKey = Other().DecryptWithPrivateKey(cipher.data(), cipher.size());
    EXPECT_TRUE(!wrongKey || *wrongKey != plain);
    EXPECT_FALSE(Fresh().DecryptWithPrivateKey(cipher.data(), 127));
    SecByteBlock longer(nullptr, 129);
    std::memcpy(longer.data(), cipher.data(), 128);
    EXPECT_FALSE(Fresh().DecryptWithPrivateKey(longer.data(), longer.size()));

    SecByteBlock allOnes(128);  // above the modulus
    std::memset(allOnes.data(), 0xFF, allOnes.size());
    EXPECT_FALSE(Fresh().DecryptWithPrivateKey(allOnes.data(), allOnes.size()));
    const SecByteBlock zeros(nullptr, 128);
    EXPECT_FALSE(Fresh().DecryptWithPrivateKey(zeros.data(), zeros.size()));
}

// Interoperability with an independent implementation of the same standards.
int Shell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    const int status = pclose(pipe);
    if (output)
        *output = text;
#ifdef _WIN32
    return status;
#else
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

bool HaveOpenSsl() {
    return Shell("openssl version") == 0;
}

std::string Squeezed(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (!std::isspace(static_cast<unsigned char>(ch)) && ch != ':')
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return out;
}

TEST_F(KeyPairTest, OpenSslReadsOurRecordsAndSignatures) {
    if (!HaveOpenSsl())
        GTEST_SKIP() << "the openssl program is not installed";
    cryvan_test::TempDir dir;
    const SecByteBlock record = PublicRecord(Sealed());
    cryvan_test::WriteText(dir / "pub.der", Str(record).substr(4));

    std::string out;
    ASSERT_EQ(
        Shell("openssl pkey -pubin -inform DER -in " + dir / "pub.der" + " -noout -text", &out), 0)
        << out;
    EXPECT_NE(out.find("1024 bit"), std::string::npos) << out;
    EXPECT_NE(out.find("Exponent: 17 (0x11)"), std::string::npos) << out;
    EXPECT_NE(Squeezed(out).find(ToHex(Fresh().PublicKey()->GetModulus())), std::string::npos)
        << out;

    ASSERT_EQ(Shell("openssl pkey -pubin -inform DER -in " + dir / "pub.der" +
                        " -outform PEM -out " + dir / "pub.pem",
                    &out),
              0)
        << out;
    const std::string message = "signed by us, checked by them";
    const auto signature =
        Fresh().Sign(reinterpret_cast<const byte*>(message.data()), message.size());
    ASSERT_TRUE(signature);
    cryvan_test::WriteText(dir / "msg", message);
    cryvan_test::WriteText(dir / "sig", Str(*signature));
    const std::string verify =
        "openssl dgst -sha256 -verify " + dir / "pub.pem" + " -signature " + dir / "sig" + " ";
    EXPECT_EQ(Shell(verify + dir / "msg", &out), 0) << out;
    EXPECT_NE(out.find("Verified OK"), std::string::npos) << out;
    cryvan_test::WriteText(dir / "other", message + ".");
    EXPECT_NE(Shell(verify + dir / "other", &out), 0) << out;

    const SecByteBlock plain = Bytes("content key for the other side.");
    cryvan_test::WriteText(dir / "cipher",
                           Str(Sealed().EncryptWithPublicKey(plain.data(), plain.size())));

    // The sealed bytes hold PKCS #8 padded with zeros to 8: open them by hand.
    const SecByteBlock& sealed = *Sealed().SealedKey();
    const SecByteBlock salt(sealed.data(), 16);
    const SecByteBlock wrapped(sealed.data() + 16, sealed.size() - 16);
    SecByteBlock padded(wrapped.size() - 8);
    ASSERT_EQ(CryptoP2::AesKeyUnwrap(CryptoP2::DerivePasswordKey(kPassword, salt), wrapped, padded),
              CryptoP2::KeyWrapResult::Ok);
    ASSERT_EQ(padded[0], 0x30);
    ASSERT_EQ(padded[1], 0x82);  // a 1024-bit key's encoding needs a two-byte length
    const std::size_t derSize = 4 + (std::size_t(padded[2]) << 8 | padded[3]);
    ASSERT_LE(derSize, padded.size());
    EXPECT_LT(padded.size() - derSize, 8u);
    for (std::size_t i = derSize; i < padded.size(); ++i)
        EXPECT_EQ(padded[i], 0) << i;
    cryvan_test::WriteText(dir / "key.p8", Str(padded).substr(0, derSize));

    ASSERT_EQ(Shell("openssl pkcs8 -nocrypt -inform DER -in " + dir / "key.p8" +
                        " -outform PEM -out " + dir / "key.pem",
                    &out),
              0)
        << out;
    EXPECT_EQ(Shell("openssl pkey -in " + dir / "key.pem" + " -noout -check", &out), 0) << out;
    EXPECT_NE(out.find("Key is valid"), std::string::npos) << out;
    ASSERT_EQ(Shell("openssl pkeyutl -decrypt -inkey " + dir / "key.pem" +
                        " -pkeyopt rsa_padding_mode:pkcs1 -in " + dir / "cipher" + " -out " +
                        dir / "plain",
                    &out),
              0)
        << out;
    EXPECT_EQ(cryvan_test::ReadText(dir / "plain"), Str(plain));
}

TEST_F(KeyPairTest, OpensAKeySealedByOpenSsl) {
    if (!HaveOpenSsl())
        GTEST_SKIP() << "the openssl program is not installed";
    cryvan_test::TempDir dir;
    std::string out;
    ASSERT_EQ(Shell("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024"
                    " -pkeyopt rsa_keygen_pubexp:17 -out " +
                        dir / "key.pem",
                    &out),
              0)
        << out;
    ASSERT_EQ(Shell("openssl pkcs8 -topk8 -nocrypt -in " + dir / "key.pem" + " -outform DER -out " +
                        dir / "key.p8",
                    &out),
              0)
        << out;
    ASSERT_EQ(Shell("openssl pkey -in " + dir / "key.pem" + " -pubout -outform DER -out " +
                        dir / "pub.der",
                    &out),
              0)
        << out;

    // Seal: PBKDF2-HMAC-SHA256 (1000 rounds) key, zero padding to 8, RFC 3394 wrap.
    const std::string saltHex = "00112233445566778899aabbccddeeff";
    ASSERT_EQ(Shell("openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:secret"
                    " -kdfopt hexsalt:" +
                        saltHex + " -kdfopt iter:1000 PBKDF2",
                    &out),
              0)
        << out;
    const std::string kek = Squeezed(out);
    ASSERT_EQ(kek.size(), 64u) << out;
    std::string p8 = cryvan_test::ReadText(dir / "key.p8");
    ASSERT_FALSE(p8.empty());
    p8.append((8 - p8.size() % 8) % 8, '\0');
    cryvan_test::WriteText(dir / "padded", p8);
    ASSERT_EQ(Shell("openssl enc -id-aes256-wrap -K " + kek + " -iv A6A6A6A6A6A6A6A6 -in " +
                        dir / "padded" + " -out " + dir / "wrapped",
                    &out),
              0)
        << out;
    const SecByteBlock sealed =
        Concat(FromHex(saltHex), Bytes(cryvan_test::ReadText(dir / "wrapped")));
    ASSERT_EQ(sealed.size(), 16 + p8.size() + 8);

    CryptoPP::ByteQueue q;
    const SecByteBlock publicRecord = Record(0xAB78, Bytes(cryvan_test::ReadText(dir / "pub.der")));
    q.Put(publicRecord.data(), publicRecord.size());
    const SecByteBlock sealedRecord = Record(0x34BE, sealed);
    q.Put(sealedRecord.data(), sealedRecord.size());
    KeyPair theirs;
    theirs.ReadPublicKey(q);
    theirs.ReadEncryptedPrivateKey(q);
    const KeyPair publicOnly(theirs);
    EXPECT_FALSE(theirs.Decrypt("Secret"));
    ASSERT_TRUE(theirs.Decrypt("secret"));
    EXPECT_EQ(theirs.PrivateKey()->GetModulus(), publicOnly.PublicKey()->GetModulus());

    // Their signature and their ciphertext, checked and opened by us.
    const std::string message = "signed by them";
    cryvan_test::WriteText(dir / "msg", message);
    ASSERT_EQ(Shell("openssl dgst -sha256 -sign " + dir / "key.pem" + " -out " + dir / "sig" + " " +
                        dir / "msg",
                    &out),
              0)
        << out;
    const std::string sig = cryvan_test::ReadText(dir / "sig");
    ASSERT_EQ(sig.size(), 128u);
    EXPECT_TRUE(publicOnly.CheckSignature(reinterpret_cast<const byte*>(message.data()),
                                          message.size(), reinterpret_cast<const byte*>(sig.data()),
                                          sig.size()));

    ASSERT_EQ(Shell("openssl pkeyutl -encrypt -pubin -inkey " + dir / "pub.der" +
                        " -keyform DER -pkeyopt rsa_padding_mode:pkcs1 -in " + dir / "msg" +
                        " -out " + dir / "cipher",
                    &out),
              0)
        << out;
    const std::string cipher = cryvan_test::ReadText(dir / "cipher");
    const auto plain =
        theirs.DecryptWithPrivateKey(reinterpret_cast<const byte*>(cipher.data()), cipher.size());
    ASSERT_TRUE(plain);
    EXPECT_EQ(Str(*plain), message);
}

}  // namespace
