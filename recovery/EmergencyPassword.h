// The user's emergency password: a key pair whose private key is sealed under a second
// password, with who made it and when, kept as a self-signed file. Every container encrypted
// while it is enabled gets a key entry that this password opens.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "format/KeyPair.h"
#include "format/RecoverySource.h"
#include "os/Errors.h"

namespace FCryptEng {

class EPImp;

class EmergencyPassword : public RecoverySource {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"EP error\"") {}
    };

    struct Date {
        std::uint8_t day = 1;
        std::uint8_t month = 1;
        std::uint16_t year = 1;
    };

    EmergencyPassword();
    EmergencyPassword(const EmergencyPassword& other);
    EmergencyPassword& operator=(const EmergencyPassword& other);
    ~EmergencyPassword() override;

    // A fresh key pair, the current user's name and today's UTC date; the record is unsigned.
    void Create(const char* organisation);
    // Seals the private key under the emergency password.
    void Encrypt(const char* password);
    // On failure the record is left empty, so nothing half-read can make a key entry.
    void Open(const std::string& path);
    void SaveAs(const std::string& path) const;
    void Sign(const KeyPair& keys);
    bool CheckSignature(const KeyPair& keys) const;

    // The record's own pair: public key and sealed private key once sealed or opened.
    const KeyPair& GetKeyPair() const;
    Date CreationDate() const;
    const std::string& User() const;
    const std::string& Organisation() const;

    // Needs the public key and the sealed private key; raises Err without them.
    std::unique_ptr<KeyEntry> MakeKeyEntry() const override;

  private:
    std::unique_ptr<EPImp> m_imp;
};

}  // namespace FCryptEng
