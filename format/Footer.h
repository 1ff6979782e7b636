// A footer: a list of tagged records framed as one u32 word (kind in the top byte, length of
// body and MAC below), the body, and an HMAC-SHA-256 of the plain body under the footer keys.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <memory>

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
    // Records are written in pieces of about this size; one record always fits.
    static constexpr std::size_t kPieceSize = 65536 + 4;

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
    // Wipes and frees the body once what it held has been read.
    void ReleaseBody();
    const CryptoPP::SecByteBlock& Mac() const { return m_mac; }

  protected:
    explicit Footer(std::uint32_t kind) : m_kind(kind), m_mac(kMacSize) {}

    virtual void PreEncodingHook() {}
    // How long the written body is for a plain body of plainSize bytes.
    virtual std::uint32_t EncodedBodySize(std::uint32_t plainSize) const;
    // What the plain body passes through on its way to out (which it takes over): the body as
    // it is, unless a footer transforms it.
    virtual std::unique_ptr<CryptoPP::BufferedTransformation> BodyWriter(
        CryptoPP::BufferedTransformation* out) const;

    CryptoPP::SecByteBlock ComputeMac(const CryptoPP::byte* data, std::size_t size) const;
    // VerifyMac over the given part of the body.
    void VerifyMacOf(const CryptoPP::byte* data, std::size_t size);
    const KeySet& Keys() const;

    std::uint32_t m_kind;
    const KeySet* m_keys = nullptr;
    CryptoPP::SecByteBlock m_rawBody;
    CryptoPP::SecByteBlock m_mac;
    std::uint32_t m_rawBodySize = 0;
};

}  // namespace FCryptEng
