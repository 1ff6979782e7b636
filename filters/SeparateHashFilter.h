// Feeds every byte that passes into a hash owned by the caller and passes the data on
// unchanged. The hash is never finalised here: its owner reads the digest afterwards.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/filters.h>

namespace CryptoP2 {

class SeparateHashFilter : public CryptoPP::Filter {
  public:
    SeparateHashFilter(CryptoPP::HashTransformation& hash,
                       CryptoPP::BufferedTransformation* attachment = nullptr);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    CryptoPP::HashTransformation* m_hash;
};

}  // namespace CryptoP2
