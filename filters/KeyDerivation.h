// Password-based key derivation: PBKDF2 (RFC 2898) with HMAC-SHA256 and 1000 iterations.
#pragma once

#include <cryptopp/secblock.h>

namespace CryptoP2 {

class KeyDerivationAlg {
  public:
    virtual ~KeyDerivationAlg();
    // Fills the whole of output; its length is the caller's choice.
    virtual void DeriveKey(CryptoPP::SecByteBlock& output) = 0;
};

class PKCS5_PBKDF2 : public KeyDerivationAlg {
  public:
    static constexpr unsigned kIterations = 1000;

    // password: the bytes up to its first zero byte are used (null counts as empty).
    PKCS5_PBKDF2(const char* password, const CryptoPP::SecByteBlock& salt);

    // Every call derives from block 1 again, so equal lengths give equal keys.
    void DeriveKey(CryptoPP::SecByteBlock& output) override;

  private:
    CryptoPP::SecByteBlock m_password;
    CryptoPP::SecByteBlock m_saltBuffer;  // the salt, then room for the 4-byte block counter
};

// The 32-byte key-encryption key of a password and a salt.
CryptoPP::SecByteBlock DerivePasswordKey(const char* password, const CryptoPP::SecByteBlock& salt);

}  // namespace CryptoP2
