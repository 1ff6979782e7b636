#include "filters/SeparateHashFilter.h"

#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PipelineRecorder.h"

namespace {

using cryvan_test::PipelineRecorder;

std::string Mac(const std::string& key, const std::string& data) {
    CryptoPP::HMAC<CryptoPP::SHA256> mac(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                         key.size());
    std::string digest(mac.DigestSize(), '\0');
    mac.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(&digest[0]),
                        reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return digest;
}

TEST(SeparateHashFilter, DigestCoversEveryByteWhateverTheSplit) {
    const std::string key = "0123456789abcdef";
    const std::string data = cryvan_test::Pattern(140000);
    const std::vector<std::vector<std::size_t>> splits = {{}, {1, 7, 65536}, {0, 3, 0, 65536}};
    for (const auto& pieces : splits) {
        SCOPED_TRACE(pieces.size());
        CryptoPP::HMAC<CryptoPP::SHA256> mac(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                             key.size());
        PipelineRecorder rec;
        CryptoP2::SeparateHashFilter filter(mac, new CryptoPP::Redirector(rec));
        cryvan_test::PutInPieces(filter, data, pieces);

        EXPECT_EQ(rec.AllBytes(), data);
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
        std::string digest(mac.DigestSize(), '\0');
        mac.Final(reinterpret_cast<CryptoPP::byte*>(&digest[0]));
        EXPECT_EQ(digest, Mac(key, data));
    }
}

TEST(SeparateHashFilter, LeavesTheHashOpen) {
    CryptoPP::SHA256 hash;
    { CryptoPP::StringSource source("abc", true, new CryptoP2::SeparateHashFilter(hash)); }
    hash.Update(reinterpret_cast<const CryptoPP::byte*>("def"), 3);
    std::string digest(hash.DigestSize(), '\0');
    hash.Final(reinterpret_cast<CryptoPP::byte*>(&digest[0]));

    CryptoPP::SHA256 whole;
    std::string expected(whole.DigestSize(), '\0');
    whole.CalculateDigest(reinterpret_cast<CryptoPP::byte*>(&expected[0]),
                          reinterpret_cast<const CryptoPP::byte*>("abcdef"), 6);
    EXPECT_EQ(digest, expected);
}

}  // namespace
