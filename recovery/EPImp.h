// The emergency-password record behind its handle: the public-key record, the sealed-private-key
// record and the EPInfo record, in that order, as the body of a signed file.
#pragma once

#include <cryptopp/cryptlib.h>

#include <cstdint>
#include <string>

#include "format/KeyPair.h"
#include "recovery/EmergencyPassword.h"
#include "recovery/Signed.h"

namespace FCryptEng {

class EPImp : public Signed {
  public:
    // Who made the emergency password and when.
    struct EPInfo {
        static constexpr std::uint16_t kTag = 0xFA04;
        // The date and the two name lengths that the length field counts besides the names.
        static constexpr std::uint32_t kFixedLength = 8;
        // What the operating system's user-name query is given, terminator included.
        static constexpr std::size_t kUserNameBuffer = 257;

        EmergencyPassword::Date date;
        std::string user;
        std::string organisation;

        // Raises EmergencyPassword::Err for a wrong tag, missing bytes or a length field that
        // disagrees with the stored name lengths. Names end at their first zero byte.
        void Read(CryptoPP::BufferedTransformation& source);
        // Raises EmergencyPassword::Err when the names do not fit the 16-bit length field.
        void Write(CryptoPP::BufferedTransformation& sink) const;
        // The current user's name, today's UTC date and the given organisation.
        void SetToCurrent(const char* organisation);
    };

    EPImp() = default;
    EPImp(const EPImp&) = default;
    EPImp& operator=(const EPImp&) = default;
    ~EPImp() override = default;

    // Nothing of the record changes unless the whole body reads.
    void Read(CryptoPP::BufferedTransformation& source) override;
    void Write(CryptoPP::BufferedTransformation& sink) const override;

    void Create(const char* organisation);
    void Encrypt(const char* password);

    const KeyPair& GetKeyPair() const { return m_keyPair; }
    const EPInfo& Info() const { return m_info; }
    EPInfo& Info() { return m_info; }

  private:
    KeyPair m_keyPair;
    EPInfo m_info;
};

}  // namespace FCryptEng
