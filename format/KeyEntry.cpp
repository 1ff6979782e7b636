#include "format/KeyEntry.h"

#include "filters/KeyDerivation.h"
#include "filters/Random.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

constexpr std::size_t kWrapperKeySize = 32;

}  // namespace

void KeyEntry::SetKeys(const KeySet& keys) {
    OS::Trace t("KeyEntry::SetKeys()");
    m_keySet.emplace(keys);
    if (m_keySet->EncKey())
        m_keySet->Wrap(m_wrapperKey);
    SizeChanged();
}

void KeyEntry::PutKeySet(CryptoPP::BufferedTransformation& sink) const {
    if (!m_keySet)
        throw Err();
    m_keySet->Write(sink);
}

// ---------------------------------------------------------------------------------------------

UserPasswordKeyEntry::UserPasswordKeyEntry(const char* password) : m_salt(kSaltSize) {
    OS::Trace t("UserPasswordKeyEntry::UserPasswordKeyEntry()");
    CryptoP2::GlobalRNG().GenerateBlock(m_salt.data(), m_salt.size());
    m_wrapperKey = CryptoP2::DerivePasswordKey(password, m_salt);
}

UserPasswordKeyEntry::UserPasswordKeyEntry(CryptoPP::BufferedTransformation& source,
                                           std::uint32_t bodySize)
    : m_salt(kSaltSize) {
    OS::Trace t("UserPasswordKeyEntry::ReadBody()");
    if (bodySize < kSaltSize || source.MaxRetrievable() < kSaltSize)
        throw Err();
    source.Get(m_salt.data(), m_salt.size());
    m_keySet.emplace(source);
}

std::uint32_t UserPasswordKeyEntry::CalcBodySize() const {
    return std::uint32_t(kSaltSize) + KeySetSize();
}

void UserPasswordKeyEntry::PutBody(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("UserPasswordKeyEntry::PutBody()");
    sink.Put(m_salt.data(), m_salt.size());
    PutKeySet(sink);
}

UnlockResult UserPasswordKeyEntry::TryPassword(const char* password, std::unique_ptr<KeySet>& out) {
    OS::Trace t("UserPasswordKeyEntry::TryPassword()");
    if (!m_keySet)
        return UnlockResult::Wrong;
    m_wrapperKey = CryptoP2::DerivePasswordKey(password, m_salt);
    KeySet candidate(*m_keySet);
    if (!candidate.Unwrap(m_wrapperKey)) {
        m_wrapperKey.CleanNew(0);
        return UnlockResult::Wrong;
    }
    out = std::make_unique<KeySet>(candidate);
    return UnlockResult::Unlocked;
}

// ---------------------------------------------------------------------------------------------

EmergencyPasswordKeyEntry::EmergencyPasswordKeyEntry(const KeyPair& keyPair) : m_keyPair(keyPair) {
    OS::Trace t("EmergencyPasswordKeyEntry::MakeWrapperKey()");
    m_wrapperKey.New(kWrapperKeySize);
    CryptoP2::GlobalRNG().GenerateBlock(m_wrapperKey.data(), m_wrapperKey.size());
    m_encryptedWrapperKey =
        m_keyPair.EncryptWithPublicKey(m_wrapperKey.data(), m_wrapperKey.size());
}

EmergencyPasswordKeyEntry::EmergencyPasswordKeyEntry(CryptoPP::BufferedTransformation& source,
                                                     std::uint32_t bodySize) {
    OS::Trace t("EmergencyPasswordKeyEntry::ReadBody()");
    const std::uint32_t sealedSize = m_keyPair.ReadEncryptedPrivateKey(source);
    m_keySet.emplace(source);
    const std::uint64_t used = std::uint64_t(sealedSize) + m_keySet->EncodingSize();
    if (used > bodySize)
        throw Err();
    const std::uint64_t rest = bodySize - used;
    if (source.MaxRetrievable() < rest)
        throw Err();
    m_encryptedWrapperKey.New(std::size_t(rest));
    source.Get(m_encryptedWrapperKey.data(), m_encryptedWrapperKey.size());
}

std::uint32_t EmergencyPasswordKeyEntry::CalcBodySize() const {
    return m_keyPair.WriteEncryptedPrivateKey(nullptr) + KeySetSize() +
           std::uint32_t(m_encryptedWrapperKey.size());
}

void EmergencyPasswordKeyEntry::PutBody(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("EmergencyPasswordKeyEntry::PutBody()");
    m_keyPair.WriteEncryptedPrivateKey(&sink);
    PutKeySet(sink);
    sink.Put(m_encryptedWrapperKey.data(), m_encryptedWrapperKey.size());
}

UnlockResult EmergencyPasswordKeyEntry::TryPassword(const char* password,
                                                    std::unique_ptr<KeySet>& out) {
    OS::Trace t("EmergencyPasswordKeyEntry::TryPassword()");
    if (!m_keyPair.HasSealedKey() || !m_keySet)
        return UnlockResult::Wrong;
    // Opening consumes the sealed key, so a copy is opened and the entry stays as read.
    KeyPair opened(m_keyPair);
    if (!opened.Decrypt(password))
        return UnlockResult::Wrong;
    std::optional<CryptoPP::SecByteBlock> wrapper =
        opened.DecryptWithPrivateKey(m_encryptedWrapperKey.data(), m_encryptedWrapperKey.size());
    if (!wrapper || wrapper->size() != kWrapperKeySize)
        return UnlockResult::Wrong;
    KeySet candidate(*m_keySet);
    if (!candidate.Unwrap(*wrapper))
        return UnlockResult::Wrong;
    m_wrapperKey = *wrapper;
    out = std::make_unique<KeySet>(candidate);
    return UnlockResult::Unlocked;
}

}  // namespace FCryptEng
