// zlib (RFC 1950) compression and decompression stages over the system zlib. The deflater's
// output does not depend on how the input is split into puts; the inflater holds nothing between
// puts but zlib's own window, so a stream that inflates to any size costs the same memory.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/secblock.h>

#include <cstdint>
#include <memory>

#include "os/Errors.h"

namespace CryptoP2 {

namespace detail {
// zlib's stream state; kept behind a pointer because zlib refuses a stream that has moved.
struct ZlibStream;
}  // namespace detail

class ZlibDeflater : public CryptoPP::Filter {
  public:
    // level: 0 (store) to 9 (best), or -1 for zlib's default (6).
    explicit ZlibDeflater(CryptoPP::BufferedTransformation* attachment = nullptr, int level = 6);
    ~ZlibDeflater() override;

    // Each message becomes one complete zlib stream, sent on at its end.
    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    // A hard flush sends everything so far on, byte-aligned (a sync flush); a soft one nothing.
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    void Run(int flush);

    std::unique_ptr<detail::ZlibStream> m_stream;
    CryptoPP::SecByteBlock m_out;
};

class ZlibInflater : public CryptoPP::Filter {
  public:
    class Err : public OS::Error {
      public:
        explicit Err(const char* text) : OS::Error(text) {}
    };
    static constexpr const char* kDamaged = "Zlib stream damaged";
    static constexpr const char* kIncomplete = "Zlib stream incomplete";
    static constexpr const char* kTrailing = "Zlib stream has trailing data";
    static constexpr const char* kTooLong = "Zlib stream inflates past its stated size";
    static constexpr const char* kTooShort = "Zlib stream inflates short of its stated size";

    explicit ZlibInflater(CryptoPP::BufferedTransformation* attachment = nullptr);
    ~ZlibInflater() override;

    // Each message must be exactly one zlib stream. After an Err the inflater is ready for a
    // new message.
    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

    // From now on each message must inflate to exactly `size` bytes: the first block that would
    // pass it raises kTooLong before any of it goes on, and an end short of it raises kTooShort.
    void ExpectSize(std::uint64_t size) {
        m_limited = true;
        m_expected = size;
    }

  private:
    std::unique_ptr<detail::ZlibStream> m_stream;
    CryptoPP::SecByteBlock m_out;
    bool m_ended = false;
    bool m_limited = false;
    std::uint64_t m_expected = 0;
    std::uint64_t m_produced = 0;  // in this message
};

}  // namespace CryptoP2
