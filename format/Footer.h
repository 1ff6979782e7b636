// A footer: a list of tagged records framed as one u32 word (kind in the top byte, length of
// body and MAC below), the body, and an HMAC-SHA-256 of the plain body under the footer keys.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>

#include "format/FooterEntry.h"
#include "format/KeySet.h"
#include "os/Errors.h"

namespace FCryptEng {

class Footer {
  public:
    class Err : public OS::Error {
      public:
        explicit Err(const char* text) : OS::Error(text) {}
    };

    static constexpr std::uint32_t kMacSize = 32;
    // The 24-bit length field counts the body and the MAC.
    static constexpr std::uint32_t kMaxLength = 0xFFFFFF;

    virtual ~Footer() = default;
    Footer(const Footer&) = delete;
    Footer& operator=(const Footer&) = delete;

    // The record at index, or null past the last one.
    virtual FooterEntry* Entry(std::size_t index) = 0;

    std::uint32_t Kind() const { return m_kind; }
    std::uint32_t RawBodySize();
    // Empties the cached sizes of the footer and of the given record.
    void SizeChanged(FooterEntry* entry = nullptr);
    // Not owned: the caller keeps the footer key set alive while the footer uses it.
    void SetKeys(const KeySet* keys) { m_keys = keys; }

    void MakeRawEncoding();
    void CreateMac();
    // Writes the framed footer; the raw body is gone afterwards.
    void PutEncoding(CryptoPP::BufferedTransformation& sink);
    // Reads body and MAC; the framing word was read by the caller, n is its length field.
    void ReadEncoding(CryptoPP::BufferedTransformation& source, std::uint32_t n);
    // Raises "Footer MAC mismatch" when the plain body does not match the stored MAC.
    void VerifyMac();

    const CryptoPP::SecByteBlock& RawBody() const { return m_rawBody; }
    const CryptoPP::SecByteBlock& Mac() const { return m_mac; }

  protected:
    explicit Footer(std::uint32_t kind) : m_kind(kind), m_mac(kMacSize) {}

    virtual void PreEncodingHook() {}
    virtual void PostEncodingHook() {}

    CryptoPP::SecByteBlock ComputeMac() const;
    const KeySet& Keys() const;

    std::uint32_t m_kind;
    const KeySet* m_keys = nullptr;
    CryptoPP::SecByteBlock m_rawBody;
    CryptoPP::SecByteBlock m_mac;
    std::uint32_t m_rawBodySize = 0;
};

}  // namespace FCryptEng
