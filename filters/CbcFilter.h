// CBC with PKCS #7 padding as pipeline stages, running the mode over whole runs of blocks
// straight from the input into one buffer of our own: the same bytes as Crypto++'s
// StreamTransformationFilter, without its copies. Output comes in pieces of at most 65,536
// bytes. The mode (16-byte blocks, keyed, IV set) stays the caller's.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <cstddef>

namespace CryptoP2 {

class CbcEncryptFilter : public CryptoPP::Filter {
  public:
    explicit CbcEncryptFilter(CryptoPP::StreamTransformation& mode,
                              CryptoPP::BufferedTransformation* attachment = nullptr);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    void AddTail(const CryptoPP::byte*& in, std::size_t& length);

    CryptoPP::StreamTransformation* m_mode;
    CryptoPP::SecByteBlock m_out;
    std::size_t m_used = 0;
    CryptoPP::SecByteBlock m_tail;
    std::size_t m_tailUsed = 0;
};

// Raises CryptoPP::InvalidCiphertext at MessageEnd for a length that is no whole number of
// blocks or for padding that is not PKCS #7. The last block is held back until then.
class CbcDecryptFilter : public CryptoPP::Filter {
  public:
    explicit CbcDecryptFilter(CryptoPP::StreamTransformation& mode,
                              CryptoPP::BufferedTransformation* attachment = nullptr);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    void PassAllButLast();

    CryptoPP::StreamTransformation* m_mode;
    CryptoPP::SecByteBlock m_out;  // 65,536 bytes to pass and the block held back
    std::size_t m_used = 0;
    CryptoPP::SecByteBlock m_tail;
    std::size_t m_tailUsed = 0;
};

}  // namespace CryptoP2
