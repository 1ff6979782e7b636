// The ways into a container: each key entry holds its own copy of the footer key set, wrapped
// under a key only its owner can rebuild (a password, an emergency key pair, administrators).
#pragma once

#include <cryptopp/secblock.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "format/FooterEntry.h"
#include "format/KeyPair.h"
#include "format/KeySet.h"
#include "format/UnlockResult.h"
#include "os/Errors.h"

namespace FCryptEng {

class KeyEntry : public FooterEntry {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"KeyEntry error\"") {}
    };

    // On Unlocked, `out` (empty on entry) receives a plain copy of the footer key set.
    virtual UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>& out) = 0;

    // Takes a copy of the footer key set, wrapped under this entry's wrapper key.
    void SetKeys(const KeySet& keys);
    const KeySet* GetKeySet() const { return m_keySet ? &*m_keySet : nullptr; }

  protected:
    KeyEntry() = default;
    KeyEntry(const KeyEntry&) = default;
    KeyEntry& operator=(const KeyEntry&) = default;
    // Encoding size of the key set as it will be written (0 before SetKeys).
    std::uint32_t KeySetSize() const { return m_keySet ? m_keySet->EncodingSize() : 0; }
    void PutKeySet(CryptoPP::BufferedTransformation& sink) const;

    std::optional<KeySet> m_keySet;
    CryptoPP::SecByteBlock m_wrapperKey;
};

// Opened by the user's password: the wrapper key is PBKDF2 of the password and a random salt.
class UserPasswordKeyEntry : public KeyEntry {
  public:
    static constexpr std::uint16_t kTag = 0x8C14;
    static constexpr std::size_t kSaltSize = 16;

    explicit UserPasswordKeyEntry(const char* password);
    UserPasswordKeyEntry(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize);

    std::uint16_t Tag() const override { return kTag; }
    std::uint32_t CalcBodySize() const override;
    void PutBody(CryptoPP::BufferedTransformation& sink) const override;
    UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>& out) override;

    const CryptoPP::SecByteBlock& Salt() const { return m_salt; }

  private:
    CryptoPP::SecByteBlock m_salt;
};

// Opened by the user's emergency password: a random wrapper key, RSA-encrypted with the
// emergency key pair, whose private key is sealed under the emergency password.
class EmergencyPasswordKeyEntry : public KeyEntry {
  public:
    static constexpr std::uint16_t kTag = 0x8C7A;

    explicit EmergencyPasswordKeyEntry(const KeyPair& keyPair);
    EmergencyPasswordKeyEntry(CryptoPP::BufferedTransformation& source, std::uint32_t bodySize);

    std::uint16_t Tag() const override { return kTag; }
    std::uint32_t CalcBodySize() const override;
    void PutBody(CryptoPP::BufferedTransformation& sink) const override;
    UnlockResult TryPassword(const char* password, std::unique_ptr<KeySet>& out) override;

    // The public key is not stored: only the sealed private key is there.
    const KeyPair& GetKeyPair() const { return m_keyPair; }

  private:
    KeyPair m_keyPair;
    CryptoPP::SecByteBlock m_encryptedWrapperKey;
};

}  // namespace FCryptEng
