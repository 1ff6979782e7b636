#include "recovery/EmergencyPassword.h"

#include "os/Logger.h"
#include "recovery/EPImp.h"

namespace FCryptEng {

EmergencyPassword::EmergencyPassword() : m_imp(std::make_unique<EPImp>()) {
    OS::Trace t("EmergencyPassword::EmergencyPassword()");
}

EmergencyPassword::EmergencyPassword(const EmergencyPassword& other)
    : RecoverySource(other), m_imp(std::make_unique<EPImp>(*other.m_imp)) {
    OS::Trace t("EmergencyPassword::EmergencyPassword()");
}

EmergencyPassword& EmergencyPassword::operator=(const EmergencyPassword& other) {
    OS::Trace t("EmergencyPassword::operator=()");
    if (this != &other)
        *m_imp = *other.m_imp;
    return *this;
}

EmergencyPassword::~EmergencyPassword() {
    OS::Trace t("EmergencyPassword::~EmergencyPassword()");
}

void EmergencyPassword::Create(const char* organisation) {
    OS::Trace t("EmergencyPassword::Create()");
    m_imp->Create(organisation);
}

void EmergencyPassword::Encrypt(const char* password) {
    OS::Trace t("EmergencyPassword::Encrypt()");
    m_imp->Encrypt(password);
}

void EmergencyPassword::Open(const std::string& path) {
    OS::Trace t("EmergencyPassword::Open()");
    try {
        m_imp->Open(path);
    } catch (...) {
        // A body read before the framing failed, or the previous record, must not pass for
        // what the file holds.
        *m_imp = EPImp();
        throw;
    }
}

void EmergencyPassword::SaveAs(const std::string& path) const {
    OS::Trace t("EmergencyPassword::SaveAs()");
    m_imp->SaveAs(path, true);
}

void EmergencyPassword::Sign(const KeyPair& keys) {
    OS::Trace t("EmergencyPassword::Sign()");
    m_imp->Sign(keys);
}

bool EmergencyPassword::CheckSignature(const KeyPair& keys) const {
    OS::Trace t("EmergencyPassword::CheckSignature()");
    return m_imp->CheckSignature(keys);
}

const KeyPair& EmergencyPassword::GetKeyPair() const {
    return m_imp->GetKeyPair();
}

EmergencyPassword::Date EmergencyPassword::CreationDate() const {
    return m_imp->Info().date;
}

const std::string& EmergencyPassword::User() const {
    return m_imp->Info().user;
}

const std::string& EmergencyPassword::Organisation() const {
    return m_imp->Info().organisation;
}

std::unique_ptr<KeyEntry> EmergencyPassword::MakeKeyEntry() const {
    OS::Trace t("EmergencyPassword::MakeKeyEntry()");
    const KeyPair& keys = m_imp->GetKeyPair();
    // An entry without the sealed key could be written but never opened.
    if (!keys.HasPublicKey() || !keys.HasSealedKey())
        throw Err();
    return std::make_unique<EmergencyPasswordKeyEntry>(keys);
}

}  // namespace FCryptEng
