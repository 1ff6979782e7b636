#include "filters/SeparateHashFilter.h"

#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <stdexcept>
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

namespace {

// A hash that fails on its n-th update, as a worker's task may.
class FailingHash : public CryptoPP::SHA256 {
  public:
    explicit FailingHash(int failAt) : m_left(failAt) {}
    void Update(const CryptoPP::byte* input, size_t length) override {
        if (--m_left == 0)
            throw std::runtime_error("hash failed");
        CryptoPP::SHA256::Update(input, length);
    }

  private:
    int m_left;
};

TEST(SeparateHashFilter, OnAWorkerTheDigestIsCompleteAtMessageEnd) {
    const std::string key = "0123456789abcdef";
    const std::string data = cryvan_test::Pattern(1000000);
    CryptoP2::PipelineWorker worker;
    // The same worker serves one message after another, as it does file after file.
    for (const auto& pieces : std::vector<std::vector<std::size_t>>{{}, {1, 7, 65536}, {70000}}) {
        CryptoPP::HMAC<CryptoPP::SHA256> mac(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                             key.size());
        PipelineRecorder rec;
        CryptoP2::SeparateHashFilter filter(mac, new CryptoPP::Redirector(rec), &worker);
        cryvan_test::PutInPieces(filter, data, pieces);
        EXPECT_EQ(rec.AllBytes(), data);
        std::string digest(mac.DigestSize(), '\0');
        mac.Final(reinterpret_cast<CryptoPP::byte*>(&digest[0]));
        EXPECT_EQ(digest, Mac(key, data));
    }
}

TEST(SeparateHashFilter, AFailureOnTheWorkerIsRaisedOnTheCallersThread) {
    const std::string data = cryvan_test::Pattern(10 * 65536);
    CryptoP2::PipelineWorker worker;
    {
        FailingHash hash(3);
        PipelineRecorder rec;
        CryptoP2::SeparateHashFilter filter(hash, new CryptoPP::Redirector(rec), &worker);
        EXPECT_THROW(cryvan_test::PutInPieces(filter, data, std::vector<std::size_t>(10, 65536)),
                     std::runtime_error);
        // The message never ends once its hash has failed.
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 0u);
    }
    // The failure is told once; the worker goes on serving.
    CryptoPP::SHA256 hash;
    CryptoP2::SeparateHashFilter filter(hash, nullptr, &worker);
    EXPECT_NO_THROW(cryvan_test::PutInPieces(filter, data, {}));
}

}  // namespace
