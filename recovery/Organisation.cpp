#include "recovery/Organisation.h"

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/sha.h>

#include "os/Logger.h"

namespace FCryptEng {
namespace {

std::uint8_t PullByte(CryptoPP::BufferedTransformation& source) {
    CryptoPP::byte value = 0;
    if (source.MaxRetrievable() < 1 || source.Get(value) != 1)
        throw Organisation::Err();
    return value;
}

std::uint16_t PullWord16(CryptoPP::BufferedTransformation& source) {
    CryptoPP::word16 value = 0;
    if (source.MaxRetrievable() < 2 || source.GetWord16(value, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw Organisation::Err();
    return value;
}

bool SamePublicKey(const KeyPair& a, const KeyPair& b) {
    return a.PublicKey() && b.PublicKey() &&
           a.PublicKey()->GetModulus() == b.PublicKey()->GetModulus() &&
           a.PublicKey()->GetPublicExponent() == b.PublicKey()->GetPublicExponent();
}

// The sealed private key on its own, in the signed-file framing (without a signature).
class OrganisationKey : public Signed {
  public:
    OrganisationKey() = default;
    explicit OrganisationKey(const KeyPair& keys) : m_keys(keys) {}
    const KeyPair& Keys() const { return m_keys; }

    void Read(CryptoPP::BufferedTransformation& source) override {
        if (PullWord16(source) != Organisation::kKeyTag || PullByte(source) != 1)
            throw Organisation::Err();
        KeyPair keys;
        keys.ReadEncryptedPrivateKey(source);
        m_keys = keys;
    }
    void Write(CryptoPP::BufferedTransformation& sink) const override {
        sink.PutWord16(Organisation::kKeyTag, CryptoPP::BIG_ENDIAN_ORDER);
        sink.Put(1);
        m_keys.WriteEncryptedPrivateKey(&sink);
    }

  private:
    KeyPair m_keys;
};

}  // namespace

bool Organisation::ValidName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

void Organisation::Create(const std::string& name, const char* password, bool recoveryApplies,
                          bool programFolder) {
    OS::Trace t("Organisation::Create()");
    if (!ValidName(name) || !password)
        throw Err();
    KeyPair keys;
    keys.Create();
    const KeyPair signer(keys);
    keys.Encrypt(password);

    m_name = name;
    m_version = kVersion;
    m_flags = static_cast<std::uint8_t>((recoveryApplies ? kRecoveryApplies : 0) |
                                        (programFolder ? kProgramFolder : 0));
    m_keys = keys;
    Sign(signer);
    if (!Signature())
        throw Err();
}

bool Organisation::Check() const {
    OS::Trace t("Organisation::Check()");
    return m_keys.HasPublicKey() && (m_version == kVersion || m_keys.HasSealedKey()) &&
           CheckSignature(m_keys);
}

std::optional<KeyPair> Organisation::OpenKey(const char* password) const {
    OS::Trace t("Organisation::OpenKey()");
    if (!m_keys.HasPublicKey() || !password)
        throw Err();
    KeyPair keys(m_keys);
    if (!keys.HasSealedKey()) {
        if (m_keyPath.empty())
            throw Err();
        OrganisationKey file;
        file.Open(m_keyPath);
        keys = file.Keys();
    }
    if (!keys.Decrypt(password))
        return std::nullopt;
    keys.MakePublicFromPrivate();
    // The sealed key must belong to the public key that everyone checks against.
    if (!SamePublicKey(keys, m_keys))
        throw Err();
    return keys;
}

std::string Organisation::Fingerprint() const {
    OS::Trace t("Organisation::Fingerprint()");
    if (!m_keys.PublicKey())
        throw Err();
    std::string der;
    CryptoPP::StringSink derSink(der);
    m_keys.PublicKey()->DEREncode(derSink);
    std::string hex;
    CryptoPP::SHA256 hash;
    CryptoPP::StringSource(
        der, true,
        new CryptoPP::HashFilter(hash,
                                 new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    return hex;
}

std::string Organisation::KeyFileFor(const std::string& recordPath) {
    const std::size_t cut = recordPath.rfind('/');
    return (cut == std::string::npos ? std::string() : recordPath.substr(0, cut + 1)) +
           kKeyFileName;
}

void Organisation::SaveAs(const std::string& path, bool privateFile) const {
    OS::Trace t("Organisation::SaveAs()");
    if (m_version == kVersion) {
        if (!m_keys.HasSealedKey())
            throw Err();  // a record read from its file has no key to write
        OrganisationKey(m_keys).SaveAs(KeyFileFor(path), true);
    }
    Signed::SaveAs(path, privateFile);
}

void Organisation::Open(const std::string& path) {
    OS::Trace t("Organisation::Open()");
    m_keyPath.clear();
    Signed::Open(path);
    m_keyPath = KeyFileFor(path);
}

void Organisation::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("Organisation::Read()");
    if (PullWord16(source) != kTag)
        throw Err();
    const std::uint8_t version = PullByte(source);
    if (version != kVersion && version != kVersionWithKey)
        throw Err();
    const std::size_t nameLength = PullWord16(source);
    if (nameLength == 0 || nameLength > kMaxNameLength || source.MaxRetrievable() < nameLength)
        throw Err();
    std::string name(nameLength, '\0');
    if (source.Get(reinterpret_cast<CryptoPP::byte*>(name.data()), nameLength) != nameLength ||
        !ValidName(name))
        throw Err();
    const std::uint8_t flags = PullByte(source);
    if ((flags & ~(kRecoveryApplies | kProgramFolder)) != 0)
        throw Err();
    KeyPair keys;
    keys.ReadPublicKey(source);
    if (version == kVersionWithKey)
        keys.ReadEncryptedPrivateKey(source);

    m_name = std::move(name);
    m_version = version;
    m_flags = flags;
    m_keys = keys;
}

void Organisation::Write(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("Organisation::Write()");
    if (!ValidName(m_name))
        throw Err();
    sink.PutWord16(kTag, CryptoPP::BIG_ENDIAN_ORDER);
    sink.Put(m_version);
    sink.PutWord16(static_cast<CryptoPP::word16>(m_name.size()), CryptoPP::BIG_ENDIAN_ORDER);
    sink.Put(reinterpret_cast<const CryptoPP::byte*>(m_name.data()), m_name.size());
    sink.Put(m_flags);
    m_keys.WritePublicKey(sink);
    if (m_version == kVersionWithKey)
        m_keys.WriteEncryptedPrivateKey(&sink);
}

}  // namespace FCryptEng
