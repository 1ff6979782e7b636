#include "filters/Random.h"

#include <cryptopp/osrng.h>

#include <mutex>

namespace CryptoP2 {
namespace {

// The pool's state changes on every draw, so the user-interface thread and the worker must not
// draw at the same time.
class LockedPool final : public CryptoPP::RandomNumberGenerator {
  public:
    std::string AlgorithmName() const override { return "LockedPool"; }
    bool CanIncorporateEntropy() const override { return true; }

    void IncorporateEntropy(const CryptoPP::byte* input, size_t length) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pool.IncorporateEntropy(input, length);
    }

    void GenerateBlock(CryptoPP::byte* output, size_t size) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pool.GenerateBlock(output, size);
    }

  private:
    std::mutex m_mutex;
    CryptoPP::AutoSeededRandomPool m_pool;
};

}  // namespace

CryptoPP::RandomNumberGenerator& GlobalRNG() {
    static LockedPool pool;
    return pool;
}

}  // namespace CryptoP2
