#include "filters/KeyWrap.h"

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

using CryptoPP::SecByteBlock;
using namespace CryptoP2;

SecByteBlock FromHex(const std::string& hex) {
    std::string raw;
    CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(raw)));
    return SecByteBlock(reinterpret_cast<const CryptoPP::byte*>(raw.data()), raw.size());
}

std::string ToHex(const SecByteBlock& block) {
    std::string out;
    CryptoPP::HexEncoder encoder(new CryptoPP::StringSink(out));
    encoder.Put(block.data(), block.size());
    encoder.MessageEnd();
    return out;
}

SecByteBlock Filled(std::size_t size, CryptoPP::byte value) {
    SecByteBlock block(size);
    if (size > 0)
        std::memset(block.data(), value, size);
    return block;
}

const std::string kKek = "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F";
const std::string kData = "00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F";

struct Vector {
    std::size_t kekBytes;
    std::size_t dataBytes;
    const char* wrapped;
};

// RFC 3394, section 4.
const Vector kVectors[] = {
    {16, 16, "1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5"},
    {24, 16, "96778B25AE6CA435F92B5B97C050AED2468AB8A17AD84E5D"},
    {32, 16, "64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7"},
    {24, 24, "031D33264E15D33268F24EC260743EDCE1C6C7DDEE725A936BA814915C6762D2"},
    {32, 24, "A8F9BC1612C68B3FF6E6F4FBE30E71E4769C8B80A32CB8958CD5D17D6B254DA1"},
    {32, 32, "28C9F404C4B810F4CBCCB35CFB87F8263F5786E2D80ED326CBC7F0E71A99F43BFB988B9B7A02DD21"},
};

TEST(KeyWrap, Rfc3394Vectors) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(std::to_string(v.kekBytes) + "-byte KEK, " + std::to_string(v.dataBytes));
        const SecByteBlock kek = FromHex(kKek.substr(0, 2 * v.kekBytes));
        const SecByteBlock data = FromHex(kData.substr(0, 2 * v.dataBytes));

        SecByteBlock wrapped(data.size() + 8);
        ASSERT_EQ(AesKeyWrap(kek, data, wrapped), KeyWrapResult::Ok);
        EXPECT_EQ(ToHex(wrapped), v.wrapped);

        SecByteBlock plain(data.size());
        ASSERT_EQ(AesKeyUnwrap(kek, FromHex(v.wrapped), plain), KeyWrapResult::Ok);
        EXPECT_EQ(ToHex(plain), ToHex(data));
    }
}

TEST(KeyWrap, SingleBlockRoundTrip) {
    const SecByteBlock kek = FromHex(kKek.substr(0, 32));
    const SecByteBlock data = FromHex("0011223344556677");
    SecByteBlock wrapped(16);
    ASSERT_EQ(AesKeyWrap(kek, data, wrapped), KeyWrapResult::Ok);
    // The six-round loop over one block, worked out independently.
    EXPECT_EQ(ToHex(wrapped), "B82669CA42CB86233B5E5CFEACEE620B");
    SecByteBlock plain(8);
    ASSERT_EQ(AesKeyUnwrap(kek, wrapped, plain), KeyWrapResult::Ok);
    EXPECT_EQ(ToHex(plain), "0011223344556677");
}

TEST(KeyWrap, WrongKeyOrDamagedDataFailsIntegrityAndLeavesOutput) {
    const SecByteBlock kek = FromHex(kKek);
    const SecByteBlock wrapped = FromHex(kVectors[5].wrapped);

    SecByteBlock otherKek = kek;
    otherKek[31] ^= 1;
    SecByteBlock damaged = wrapped;
    damaged[20] ^= 0x80;

    for (const auto& [key, input] : {std::pair{otherKek, wrapped}, std::pair{kek, damaged}}) {
        SecByteBlock plain = Filled(32, 0x5A);
        EXPECT_EQ(AesKeyUnwrap(key, input, plain), KeyWrapResult::Integrity);
        EXPECT_EQ(ToHex(plain), ToHex(Filled(32, 0x5A)));
    }
}

TEST(KeyWrap, LengthChecksInOrderAndOutputUntouched) {
    struct Case {
        bool wrap;
        std::size_t kek, input, output;
        KeyWrapResult expected;
    };
    const Case cases[] = {
        {true, 16, 12, 20, KeyWrapResult::InputLength},
        {true, 16, 16, 16, KeyWrapResult::OutputLength},
        {true, 20, 16, 24, KeyWrapResult::KekLength},
        {true, 0, 16, 24, KeyWrapResult::KekLength},
        {true, 16, 0, 8, KeyWrapResult::InputLength},
        {true, 20, 12, 12, KeyWrapResult::KekLength},    // the key is checked first
        {true, 32, 12, 12, KeyWrapResult::InputLength},  // then the input, then the output
        {false, 16, 8, 0, KeyWrapResult::InputLength},
        {false, 16, 20, 12, KeyWrapResult::InputLength},
        {false, 16, 24, 24, KeyWrapResult::OutputLength},
        {false, 33, 8, 8, KeyWrapResult::KekLength},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.wrap ? "wrap" : "unwrap") + " kek " + std::to_string(c.kek) +
                     " in " + std::to_string(c.input) + " out " + std::to_string(c.output));
        const SecByteBlock kek = Filled(c.kek, 1);
        const SecByteBlock input = Filled(c.input, 2);
        SecByteBlock output = Filled(c.output, 3);
        const KeyWrapResult result =
            c.wrap ? AesKeyWrap(kek, input, output) : AesKeyUnwrap(kek, input, output);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(ToHex(output), ToHex(Filled(c.output, 3)));
    }
}

}  // namespace
