// The secret values that protect one piece of a container: KEK (optional), EncKey, MacKey, IV.
// A set is empty, plain (the keys) or wrapped (their AES key wrap), never plain and wrapped at
// once. Only the wrapped form is ever written.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <cstdint>
#include <optional>

#include "os/Errors.h"

namespace FCryptEng {

class KeySet {
  public:
    class Err : public OS::Error {
      public:
        explicit Err(const char* text = "\"KeySet error\"") : OS::Error(text) {}
    };

    static constexpr std::size_t kKekSize = 32;
    static constexpr std::size_t kEncKeySize = 32;
    static constexpr std::size_t kMacKeySize = 16;
    static constexpr std::size_t kIvSize = 16;
    static constexpr std::uint32_t kWrappedWithKek = 104;
    static constexpr std::uint32_t kWrappedWithoutKek = 72;

    // A new plain set with fresh random keys, drawn in the order KEK, EncKey, MacKey, IV.
    explicit KeySet(bool withKEK);
    KeySet(const KeySet& other);
    KeySet& operator=(const KeySet& other);
    // Reads the encoding from source (see Read).
    explicit KeySet(CryptoPP::BufferedTransformation& source);
    ~KeySet() = default;

    // Null when absent, which they always are in the wrapped form.
    const CryptoPP::SecByteBlock* KEK() const;
    const CryptoPP::SecByteBlock* EncKey() const;
    const CryptoPP::SecByteBlock* MacKey() const;
    const CryptoPP::SecByteBlock* IV() const;

    bool IncludesKEK() const;
    // The size of the encoding once written; for a plain set, after wrapping.
    std::uint32_t EncodingSize() const;

    // Writes u32 length (big-endian) and the wrapped bytes; returns the count written.
    std::uint32_t Write(CryptoPP::BufferedTransformation& sink) const;
    // Replaces the set with the wrapped form read from source; returns the count consumed.
    std::uint32_t Read(CryptoPP::BufferedTransformation& source);

    // Plain to wrapped under a 16-, 24- or 32-byte key.
    void Wrap(const CryptoPP::SecByteBlock& wrappingKey);
    // Wrapped to plain; false (and the set unchanged) when the key does not open it.
    bool Unwrap(const CryptoPP::SecByteBlock& wrappingKey);

    void Clear();

    // A plain set from the concatenation [KEK] | EncKey | MacKey | IV, as wrapping takes it.
    static KeySet FromPlain(const CryptoPP::byte* keys, bool withKEK);

  private:
    KeySet() = default;

    static const CryptoPP::SecByteBlock* Get(const std::optional<CryptoPP::SecByteBlock>& block) {
        return block ? &*block : nullptr;
    }
    bool IsPlain() const { return m_encKey && m_macKey && m_iv; }

    std::optional<CryptoPP::SecByteBlock> m_kek;
    std::optional<CryptoPP::SecByteBlock> m_encKey;
    std::optional<CryptoPP::SecByteBlock> m_macKey;
    std::optional<CryptoPP::SecByteBlock> m_iv;
    std::optional<CryptoPP::SecByteBlock> m_wrapped;
};

}  // namespace FCryptEng
