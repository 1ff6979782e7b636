// The organisation record, "Organisation.bin": the organisation's name, whether its data
// recovery applies, which folder holds its "Data Recovery.bin", and the organisation key pair
// (public key, private key sealed under the organisation password) that signs that file.
// The record is signed with its own key pair: a record that checks is whole and unaltered
// since it was sealed. Who may install one is decided by the folder it is installed in.
//
// Every user reads the record, so the sealed private key lives in a file of its own beside
// it, "Organisation Key.bin", readable by administrators only: users can verify the
// configuration but cannot attack the organisation password offline.
//
// Body, big-endian: u16 tag 0x0A9E, u8 version, u16 name length and the name, u8 flags
// (bit 0 data recovery applies, bit 1 program folder; other bits 0), the public-key record,
// and in version 1 only the sealed-private-key record; then the signature framing of Signed.
// The key file: u16 tag 0x0A9F, u8 version 1, the sealed-private-key record, an empty
// signature (the key proves itself: it must open to the record's public key).
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "format/KeyPair.h"
#include "os/Errors.h"
#include "recovery/Signed.h"

namespace FCryptEng {

class Organisation : public Signed {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"Organisation error\"") {}
    };

    static constexpr char kFileName[] = "Organisation.bin";
    static constexpr char kKeyFileName[] = "Organisation Key.bin";
    static constexpr std::uint16_t kTag = 0x0A9E;
    static constexpr std::uint16_t kKeyTag = 0x0A9F;
    // Written now: the sealed key in its own file. Version 1 records carry it inside and are
    // still read (and written back as they were, so that their signature holds).
    static constexpr std::uint8_t kVersion = 2;
    static constexpr std::uint8_t kVersionWithKey = 1;
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
    // nullopt for a wrong password. Raises KeyPair::Err or Err for a damaged sealed key, and
    // File::Error when the key file cannot be read (not an administrator, or no file).
    std::optional<KeyPair> OpenKey(const char* password) const;

    // The record, and for a record of this version the key file beside it (readable by its
    // owner only; see OS::ShareWithAdministrators). The key file is written first, so a
    // record never names a key that is not there.
    void SaveAs(const std::string& path, bool privateFile = false) const override;
    // Also remembers where the key file of this record is.
    void Open(const std::string& path) override;
    // The key file that belongs to a record at `recordPath`.
    static std::string KeyFileFor(const std::string& recordPath);
    std::uint8_t Version() const { return m_version; }
    // Makes a version 1 record one of this version; its key then goes to a key file when saved.
    void SeparateKey() { m_version = kVersion; }

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
    std::uint8_t m_version = kVersion;
    std::uint8_t m_flags = 0;
    // The public key; the sealed private key too after Create, or when read from version 1.
    KeyPair m_keys;
    std::string m_keyPath;
};

}  // namespace FCryptEng
