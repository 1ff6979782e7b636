#include "filters/CbcFilter.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PipelineRecorder.h"

namespace {

using cryvan_test::PipelineRecorder;

const CryptoPP::byte kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const CryptoPP::byte kIv[16] = {16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

// What the library's own filter makes of the data: the bytes every container holds.
std::string Reference(const std::string& plain) {
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption mode(kKey, 16, kIv);
    std::string cipher;
    CryptoPP::StringSource(plain, true,
                           new CryptoPP::StreamTransformationFilter(
                               mode, new CryptoPP::StringSink(cipher),
                               CryptoPP::StreamTransformationFilter::PKCS_PADDING));
    return cipher;
}

std::size_t Longest(const PipelineRecorder& rec) {
    const std::vector<std::size_t> lengths = rec.DataLengths();
    return lengths.empty() ? 0 : *std::max_element(lengths.begin(), lengths.end());
}

TEST(CbcFilter, SameBytesAsTheLibraryFilterBothWaysWhateverTheSplit) {
    const std::vector<std::size_t> sizes = {0, 1, 15, 16, 17, 65535, 65536, 65537, 140000};
    const std::vector<std::vector<std::size_t>> splits = {
        {}, {1, 7, 65536}, {0, 3, 0, 65536}, {16, 65520, 5}};
    for (std::size_t size : sizes) {
        const std::string plain = cryvan_test::Pattern(size);
        const std::string expected = Reference(plain);
        for (const auto& pieces : splits) {
            SCOPED_TRACE(std::to_string(size) + " bytes in " + std::to_string(pieces.size()) +
                         " pieces");
            CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption enc(kKey, 16, kIv);
            PipelineRecorder cipher;
            CryptoP2::CbcEncryptFilter encrypt(enc, new CryptoPP::Redirector(cipher));
            cryvan_test::PutInPieces(encrypt, plain, pieces);
            EXPECT_EQ(cipher.AllBytes(), expected);
            EXPECT_EQ(cipher.Count(PipelineRecorder::MessageEnd), 1u);
            EXPECT_LE(Longest(cipher), 65536u);

            CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec(kKey, 16, kIv);
            PipelineRecorder back;
            CryptoP2::CbcDecryptFilter decrypt(dec, new CryptoPP::Redirector(back));
            cryvan_test::PutInPieces(decrypt, expected, pieces);
            EXPECT_EQ(back.AllBytes(), plain);
            EXPECT_EQ(back.Count(PipelineRecorder::MessageEnd), 1u);
            EXPECT_LE(Longest(back), 65536u);
        }
    }
}

TEST(CbcFilter, DecryptingRefusesWhatNoEncryptionMakes) {
    const std::string good = Reference(cryvan_test::Pattern(40));
    // The last block decrypted with a changed IV-side block: its padding byte changes.
    std::string badPadding = good;
    badPadding[good.size() - 17] ^= 0x5a;
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"cut short", good.substr(0, good.size() - 1)},
        {"one byte", good.substr(0, 1)},
        {"bad padding", badPadding},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption dec(kKey, 16, kIv);
        PipelineRecorder back;
        CryptoP2::CbcDecryptFilter decrypt(dec, new CryptoPP::Redirector(back));
        EXPECT_THROW(cryvan_test::PutInPieces(decrypt, c.second, {}), CryptoPP::InvalidCiphertext);
        EXPECT_EQ(back.Count(PipelineRecorder::MessageEnd), 0u);
    }
}

}  // namespace
