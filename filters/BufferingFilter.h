// Gathers irregular pieces into blocks of exactly `size` bytes; only the last block of a message
// (sent at MessageEnd or Flush, even when empty) may be shorter.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <cstdint>

namespace CryptoP2 {

class BufferingFilter : public CryptoPP::Filter {
  public:
    // size must not be 0.
    explicit BufferingFilter(std::uint32_t size,
                             CryptoPP::BufferedTransformation* attachment = nullptr);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    void PassGathered();

    std::uint32_t m_size;
    CryptoPP::SecByteBlock m_buffer;
    std::uint32_t m_used = 0;
};

}  // namespace CryptoP2
