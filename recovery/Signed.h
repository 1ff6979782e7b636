// The base of the configuration records kept as signed files: the record's body, then a u16
// signature length and the signature (RSASSA-PKCS1-v1_5 with SHA-256 over the body as the
// record writes it now).
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <optional>
#include <string>

#include "format/KeyPair.h"
#include "os/Errors.h"

namespace FCryptEng {

class Signed {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"Signed file error\"") {}
    };
    class Null : public OS::Error {
      public:
        Null() : OS::Error("\"Signed file empty\"") {}
    };

    // Signed files are small; a larger one is refused rather than read into memory.
    static constexpr std::uint64_t kMaxFileSize = 16u << 20;

    Signed() = default;
    Signed(const Signed&) = default;
    Signed& operator=(const Signed&) = default;
    virtual ~Signed() = default;

    // The body: read exactly its own bytes; write them deterministically from the fields.
    virtual void Read(CryptoPP::BufferedTransformation& source) = 0;
    virtual void Write(CryptoPP::BufferedTransformation& sink) const = 0;

    void ClearSignature() { m_signature.reset(); }
    // Atomic: a temporary file beside the target, flushed, then renamed over it. A private
    // file is readable by its owner only (a sealed key is no business of other users).
    virtual void SaveAs(const std::string& path, bool privateFile = false) const;
    virtual void Open(const std::string& path);
    void Sign(const KeyPair& keys);
    bool CheckSignature(const KeyPair& keys) const;
    const std::optional<CryptoPP::SecByteBlock>& Signature() const { return m_signature; }

  private:
    CryptoPP::SecByteBlock Body() const;

    std::optional<CryptoPP::SecByteBlock> m_signature;
};

}  // namespace FCryptEng
