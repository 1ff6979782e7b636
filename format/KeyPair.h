// An RSA key pair (1024-bit modulus, e = 17) with a password-sealed form of its private key,
// serialised as two small tagged records: the public key (SubjectPublicKeyInfo) and the
// sealed private key (salt + AES key wrap of the PKCS #8 encoding under a PBKDF2 key).
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/rsa.h>
#include <cryptopp/secblock.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "os/Errors.h"

namespace FCryptEng {

class KeyPair {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"KeyPair error\"") {}
    };

    static constexpr unsigned kModulusBits = 1024;
    static constexpr unsigned kPublicExponent = 17;
    static constexpr std::size_t kCipherSize = 128;  // signatures and RSA ciphertexts
    static constexpr std::size_t kMaxPlainSize = 117;
    static constexpr std::uint16_t kPublicKeyTag = 0xAB78;
    static constexpr std::uint16_t kSealedKeyTag = 0x34BE;

    KeyPair();
    KeyPair(const KeyPair& other);
    KeyPair& operator=(const KeyPair& other);
    ~KeyPair();

    void Create();
    void Delete();
    void MakePublicFromPrivate();

    // Seals the private key under the password; the plain private key is gone afterwards.
    void Encrypt(const char* password);
    // Opens the sealed private key; false (sealed key kept) when the password is wrong.
    bool Decrypt(const char* password);

    // Each returns the record's total size (length + 4).
    std::uint32_t WritePublicKey(CryptoPP::BufferedTransformation& sink) const;
    std::uint32_t ReadPublicKey(CryptoPP::BufferedTransformation& source);
    // With no sink only the size is returned.
    std::uint32_t WriteEncryptedPrivateKey(CryptoPP::BufferedTransformation* sink) const;
    std::uint32_t ReadEncryptedPrivateKey(CryptoPP::BufferedTransformation& source);

    // RSASSA-PKCS1-v1_5 with SHA-256; nullopt when there is no private key or signing fails.
    std::optional<CryptoPP::SecByteBlock> Sign(const CryptoPP::byte* message,
                                               std::size_t length) const;
    bool CheckSignature(const CryptoPP::byte* message, std::size_t length,
                        const CryptoPP::byte* signature, std::size_t signatureLength) const;

    // RSAES-PKCS1-v1_5: at most kMaxPlainSize bytes in, kCipherSize bytes out. Raises Err
    // without a public key or for too long a plaintext.
    CryptoPP::SecByteBlock EncryptWithPublicKey(const CryptoPP::byte* plain,
                                                std::size_t length) const;
    // nullopt when the ciphertext does not decrypt (wrong key, bad padding, wrong size).
    std::optional<CryptoPP::SecByteBlock> DecryptWithPrivateKey(const CryptoPP::byte* cipher,
                                                                std::size_t length) const;

    bool HasPrivateKey() const { return m_private != nullptr; }
    bool HasPublicKey() const { return m_public != nullptr; }
    bool HasSealedKey() const { return m_sealed.has_value(); }
    const CryptoPP::SecByteBlock* SealedKey() const { return m_sealed ? &*m_sealed : nullptr; }
    const CryptoPP::RSA::PublicKey* PublicKey() const { return m_public.get(); }
    const CryptoPP::RSA::PrivateKey* PrivateKey() const { return m_private.get(); }

  private:
    std::unique_ptr<CryptoPP::RSA::PrivateKey> m_private;
    std::unique_ptr<CryptoPP::RSA::PublicKey> m_public;
    std::optional<CryptoPP::SecByteBlock> m_sealed;
};

}  // namespace FCryptEng
