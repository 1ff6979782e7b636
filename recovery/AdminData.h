// One data-recovery administrator: name, RSA key pair whose private key is sealed under the
// administrator's password, the name encrypted under the same password, and inside a container
// the administrator's RSA-encrypted share of the container secret. The sealed private key lives
// either in the configuration record or only in the administrator's key file.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "format/KeyPair.h"

namespace FCryptEng {

class AdminData {
  public:
    static constexpr std::uint8_t kWithPrivateKey = 0x47;
    static constexpr std::uint8_t kKeyInKeyFile = 0x88;
    static constexpr std::size_t kSaltSize = 16;
    // Every container record holds at least its three u16 lengths.
    static constexpr std::uint32_t kMinBodySize = 6;

    AdminData() = default;
    AdminData(const AdminData&) = default;
    AdminData& operator=(const AdminData&) = default;
    AdminData(AdminData&&) = default;
    AdminData& operator=(AdminData&&) = default;
    ~AdminData() = default;

    // A fresh key pair sealed under the password and the name encrypted under it. Raises
    // AdminRecovery::Err for a name too long for the records.
    void CreateNewAdmin(const char* name, const char* password, bool keyFile);
    void MakeEncName(const char* password);
    // True (and the name set) when the password is this administrator's. Raises
    // AdminRecovery::Err for a malformed encrypted name, the name left unchanged.
    bool RecoverName(const char* password);

    // Raises KeyPair::Err without a public key or for more than KeyPair::kMaxPlainSize bytes.
    void EncKeyShare(const CryptoPP::byte* share, std::size_t length);
    // Empty when there is no share or the opened private key does not decrypt it.
    CryptoPP::SecByteBlock DecKeyShare() const;

    // Configuration record; the private key goes with it when the key lives in the record or
    // the record is a key file.
    void Write(CryptoPP::BufferedTransformation& sink, bool forKeyFile) const;
    void Read(CryptoPP::BufferedTransformation& source);
    // Any failure gives false and leaves no file behind.
    bool WriteKeyDisk(const std::string& path) const;
    // Takes the key pair from this administrator's key file; false for anything else.
    bool ReadKeyDisk(const std::string& path);

    // Container record.
    void WriteBody(CryptoPP::BufferedTransformation& sink) const;
    void ReadBody(CryptoPP::BufferedTransformation& source);
    std::uint32_t BodySize() const;

    const std::string& Name() const { return m_name; }
    void ClearName() { m_name.clear(); }
    bool KeyFile() const { return m_keyFile; }
    KeyPair& Keys() { return m_keyPair; }
    const KeyPair& Keys() const { return m_keyPair; }
    const std::optional<CryptoPP::SecByteBlock>& EncName() const { return m_encName; }
    const std::optional<CryptoPP::SecByteBlock>& EncShare() const { return m_encShare; }

  private:
    std::string m_name;
    KeyPair m_keyPair;
    bool m_keyFile = false;
    std::optional<CryptoPP::SecByteBlock> m_encName;
    std::optional<CryptoPP::SecByteBlock> m_encShare;
};

}  // namespace FCryptEng
