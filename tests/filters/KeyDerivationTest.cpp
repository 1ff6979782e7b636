#include "filters/KeyDerivation.h"

#include <cryptopp/hex.h>
#include <cryptopp/pwdbased.h>
#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using CryptoPP::SecByteBlock;

SecByteBlock Bytes(const std::string& text) {
    return SecByteBlock(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
}

std::string ToHex(const SecByteBlock& block) {
    std::string out;
    CryptoPP::HexEncoder encoder(new CryptoPP::StringSink(out), false);
    encoder.Put(block.data(), block.size());
    encoder.MessageEnd();
    return out;
}

SecByteBlock Derive(const std::string& password, const SecByteBlock& salt, std::size_t length) {
    SecByteBlock out(length);
    CryptoP2::PKCS5_PBKDF2 kdf(password.c_str(), salt);
    kdf.DeriveKey(out);
    return out;
}

// Known answers for 1000 iterations, from an implementation outside this project.
TEST(PBKDF2, KnownAnswers) {
    EXPECT_EQ(ToHex(CryptoP2::DerivePasswordKey("password", Bytes("salt"))),
              "632c2812e46d4604102ba7618e9d6d7d2f8128f6266b4a03264d2a0460b7dcb3");
    EXPECT_EQ(ToHex(Derive("passwordPASSWORDpassword",
                           Bytes("saltSALTsaltSALTsaltSALTsaltSALTsalt"), 40)),
              "4610df202292270a7613e4723f6e8d1e513fb62caba8fb8a0168293411f2896c"
              "c4daad9e2b12273c");
}

TEST(PBKDF2, MatchesLibraryDerivation) {
    struct Case {
        std::string password;
        std::string salt;
        std::size_t length;
    };
    const std::string longPassword(100, 'k');  // longer than the HMAC block: hashed as the key
    const std::string binarySalt("\x00\x01\xff\x80 salt\x00", 11);
    const Case cases[] = {
        {"password", "salt", 1},
        {"password", "salt", 20},
        {"password", "salt", 32},
        {"password", "salt", 33},
        {"password", "salt", 64},
        {"password", "salt", 100},
        {"", "salt", 32},
        {"p", "", 32},
        {longPassword, binarySalt, 48},
        {"pass word", std::string(200, 's'), 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.substr(0, 12) + " / " + std::to_string(c.length));
        SecByteBlock expected(c.length);
        CryptoPP::PKCS5_PBKDF2_HMAC<CryptoPP::SHA256>().DeriveKey(
            expected.data(), expected.size(), 0,
            reinterpret_cast<const CryptoPP::byte*>(c.password.data()), c.password.size(),
            reinterpret_cast<const CryptoPP::byte*>(c.salt.data()), c.salt.size(), 1000);
        EXPECT_EQ(ToHex(Derive(c.password, Bytes(c.salt), c.length)), ToHex(expected));
    }
}

TEST(PBKDF2, ShortOutputIsPrefixOfLonger) {
    const SecByteBlock salt = Bytes("0123456789abcdef");
    const std::string longer = ToHex(Derive("secret", salt, 70));
    for (std::size_t length : {1u, 20u, 31u, 32u, 33u, 65u}) {
        EXPECT_EQ(ToHex(Derive("secret", salt, length)), longer.substr(0, 2 * length));
    }
}

TEST(PBKDF2, PasswordEndsAtFirstZeroByte) {
    const SecByteBlock salt = Bytes("salt");
    EXPECT_EQ(ToHex(CryptoP2::DerivePasswordKey("pass\0word", salt)),
              ToHex(CryptoP2::DerivePasswordKey("pass", salt)));
    EXPECT_EQ(ToHex(CryptoP2::DerivePasswordKey(nullptr, salt)),
              ToHex(CryptoP2::DerivePasswordKey("", salt)));
}

TEST(PBKDF2, SecondDerivationFromSameObjectRepeatsTheFirst) {
    CryptoP2::PKCS5_PBKDF2 kdf("password", Bytes("salt"));
    SecByteBlock first(40), second(40);
    kdf.DeriveKey(first);
    kdf.DeriveKey(second);
    EXPECT_EQ(ToHex(first), ToHex(second));
}

}  // namespace
