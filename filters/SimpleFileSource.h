// Pipeline source over an open ReadFile: streams it in blocks of at most 65,536 bytes and ends
// the stream with exactly one MessageEnd. The file is neither opened, closed nor owned here.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>

#include "os/File.h"

namespace CryptoP2 {

class SimpleFileSource : public CryptoPP::Source {
  public:
    static constexpr std::size_t kBlockSize = 65536;
    static constexpr std::uint64_t kNoLimit = UINT64_MAX;

    // Reads to the end of the file.
    SimpleFileSource(OS::ReadFile& file, bool pumpAll,
                     CryptoPP::BufferedTransformation* attachment = nullptr);
    // Reads at most `limit` bytes from the file's current position.
    SimpleFileSource(OS::ReadFile& file, std::uint64_t limit, bool pumpAll,
                     CryptoPP::BufferedTransformation* attachment = nullptr);

    // One block: byteCount receives the bytes moved; 0 means the stream has ended.
    size_t Pump2(CryptoPP::lword& byteCount, bool blocking = true) override;
    size_t PumpMessages2(unsigned int& messageCount, bool blocking = true) override;
    size_t PumpAll2(bool blocking = true) override;
    bool SourceExhausted() const override { return m_exhausted; }

  private:
    void Step(CryptoPP::lword& byteCount, bool endOnShortRead);

    OS::ReadFile* m_file;
    CryptoPP::SecByteBlock m_buffer;
    std::uint64_t m_remaining;
    bool m_exhausted = false;
};

}  // namespace CryptoP2
