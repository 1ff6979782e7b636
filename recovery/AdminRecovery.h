// The organisation's data-recovery configuration ("Data Recovery.bin", a signed file): the
// administrators with their public keys and sealed private keys, the threshold K, and whether
// users may use emergency passwords. Every container made while it is on gets an
// administrators' key entry that any K of the N administrators open together.
#pragma once

#include <cryptopp/secblock.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "format/CryptorCallback.h"
#include "format/KeyPair.h"
#include "format/RecoverySource.h"
#include "os/Errors.h"

namespace FCryptEng {

class ARImp;  // derives from Signed

class AdminRecovery : public RecoverySource {
  public:
    class Err : public OS::Error {
      public:
        Err() : OS::Error("\"AR Error\"") {}
    };
    class Null : public OS::Error {
      public:
        Null() : OS::Error("\"AR Null\"") {}
    };

    // The callback is borrowed; it is asked for key-file paths.
    explicit AdminRecovery(CryptorCallback* callback);
    AdminRecovery(const AdminRecovery& other);
    AdminRecovery& operator=(const AdminRecovery& other);
    ~AdminRecovery() override;

    // An empty file raises Null; a malformed one Err, KeyPair::Err or Signed::Err, leaving the
    // configuration partly read and unsigned.
    void Open(const std::string& path);
    void SaveAs(const std::string& path) const;
    void Sign(const KeyPair& keys);
    bool CheckSignature(const KeyPair& keys) const;

    bool GetPermitEP() const;
    void SetPermitEP(bool permit);
    std::uint16_t GetK() const;
    // Not checked against N here; a file with N < K is refused when read.
    void SetK(std::uint16_t k);
    std::uint16_t GetN() const;
    std::optional<std::string> GetName(std::uint16_t index) const;
    // The administrator's encrypted name as stored; null when index >= N or none is stored.
    // Containers carry the same bytes, so a container's administrators are found by them.
    const CryptoPP::SecByteBlock* GetEncName(std::uint16_t index) const;
    // Names compare byte for byte, case-sensitive.
    bool Exists(const std::string& name) const;
    // Raises Err for a name already present. False when a key-file administrator's key file is
    // not chosen or not written; nothing is added then.
    bool Add(const char* name, const char* password, bool keyFile);
    bool Remove(const std::string& name);

    // An administrators' entry with a fresh secret shared among copies of the administrators.
    std::unique_ptr<KeyEntry> MakeKeyEntry() const override;

  private:
    std::unique_ptr<ARImp> m_imp;
};

}  // namespace FCryptEng
