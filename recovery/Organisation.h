// The organisation record, "Organisation.bin": the organisation's name, whether its data
// recovery applies, which folder holds its "Data Recovery.bin", and the organisation key pair
// (public key, private key sealed under the organisation password) that signs that file.
// The record is signed with its own key pair: a record that checks is whole and unaltered
// since it was sealed. Who may install one is decided by the folder it is installed in.
//
// Body, big-endian: u16 tag 0x0A9E, u8 version 1, u16 name length and the name, u8 flags
// (bit 0 data recovery applies, bit 1 program folder; other bits 0), the public-key record
// and the sealed-private-key record; then the signature framing of Signed.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "recovery/KeyPair.h"
#include "recovery/Signed.h"

namespace FCryptEng {

class Organisation : public Signed {
  public:
    class Err : public std::exception {
      public:
        const char* what() const noexcept override { return "\"Organisation error\""; }
    };

    static constexpr char kFileName[] = "Organisation.bin";
    static constexpr std::uint16_t kTag = 0x0A9E;
    static constexpr std::uint8_t kVersion = 1;
    static constexpr std::uint8_t kRecoveryApplies = 0x01;
    static constexpr std::uint8_t kProgramFolder = 0x02;
    static constexpr std::size_t kMaxNameLength = 256;
    // The organisation password dialog takes at most 50 characters; a longer password could
    // never be typed there.
    static constexpr std::size_t kMinPasswordLength = 8;
    static constexpr std::size_t kMaxPasswordLength = 50;

    // 1 to kMaxNameLength bytes, no control characters.
    static bool ValidName(const std::string& name);

    Organisation() = default;

    // A fresh key pair, its private key sealed under the password, the record self-signed.
    // Raises Err for an invalid name or a null password.
    void Create(const std::string& name, const char* password, bool recoveryApplies,
                bool programFolder);

    // The self-signature verifies with the record's own public key.
    bool Check() const;
    // A copy of the key pair with the private key opened, for signing "Data Recovery.bin";
    // nullopt for a wrong password. Raises KeyPair::Err or Err for a damaged sealed key.
    std::optional<KeyPair> OpenKey(const char* password) const;

    const std::string& Name() const { return m_name; }
    std::uint8_t Flags() const { return m_flags; }
    bool RecoveryApplies() const { return (m_flags & kRecoveryApplies) != 0; }
    bool ProgramFolder() const { return (m_flags & kProgramFolder) != 0; }
    // Public key and sealed private key.
    const KeyPair& Keys() const { return m_keys; }
    // SHA-256 of the public key's DER encoding, 64 lower-case hex digits.
    std::string Fingerprint() const;

    void Read(CryptoPP::BufferedTransformation& source) override;
    void Write(CryptoPP::BufferedTransformation& sink) const override;

  private:
    std::string m_name;
    std::uint8_t m_flags = 0;
    KeyPair m_keys;
};

}  // namespace FCryptEng
