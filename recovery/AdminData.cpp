#include "recovery/AdminData.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/sha.h>

#include <cstring>

#include "filters/KeyDerivation.h"
#include "filters/Random.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "format/KeySet.h"
#include "os/File.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"
#include "recovery/AdminRecovery.h"

namespace FCryptEng {
namespace {

using CryptoPP::byte;
using CryptoPP::SecByteBlock;

constexpr std::size_t kMacSize = CryptoPP::HMAC<CryptoPP::SHA256>::DIGESTSIZE;
constexpr std::size_t kAesKeySize = 16;
constexpr std::size_t kMaxField = 0xFFFF;
// A key file holds one record of four bounded fields; anything far larger is not one.
constexpr std::uint64_t kMaxKeyFileSize = 1u << 20;

std::uint16_t PullWord16(CryptoPP::BufferedTransformation& source) {
    CryptoPP::word16 word = 0;
    if (source.MaxRetrievable() < 2 || source.GetWord16(word, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw AdminRecovery::Err();
    return word;
}

// A u16 length and that many bytes, the length trusted only once the bytes are there.
SecByteBlock PullField(CryptoPP::BufferedTransformation& source) {
    const std::size_t length = PullWord16(source);
    if (source.MaxRetrievable() < length)
        throw AdminRecovery::Err();
    SecByteBlock field(length);
    if (length > 0 && source.Get(field.data(), length) != length)
        throw AdminRecovery::Err();
    return field;
}

void PutField(CryptoPP::BufferedTransformation& sink, const byte* data, std::size_t length) {
    sink.PutWord16(CryptoPP::word16(length), CryptoPP::BIG_ENDIAN_ORDER);
    if (length > 0)
        sink.Put(data, length);
}

std::size_t FieldSize(const std::optional<SecByteBlock>& field) {
    return field ? field->size() : 0;
}

SecByteBlock NameMac(const SecByteBlock& macKey, const byte* name, std::size_t length) {
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(macKey.data(), macKey.size());
    SecByteBlock mac(kMacSize);
    hmac.CalculateDigest(mac.data(), name, length);
    return mac;
}

}  // namespace

void AdminData::CreateNewAdmin(const char* name, const char* password, bool keyFile) {
    OS::Trace t("AdminData::CreateNewAdmin()");
    const std::string newName = name ? name : "";
    // The encrypted name adds salt, key set, MAC and padding; it must fit its u16 length.
    if (newName.size() + kSaltSize + KeySet::kWrappedWithoutKek + 4 + kMacSize + 16 > kMaxField)
        throw AdminRecovery::Err();
    m_name = newName;
    m_keyFile = keyFile;
    m_encShare.reset();
    m_keyPair.Create();
    m_keyPair.Encrypt(password);
    MakeEncName(password);
}

void AdminData::MakeEncName(const char* password) {
    OS::Trace t("AdminData::MakeEncName()");
    SecByteBlock salt(kSaltSize);
    CryptoP2::GlobalRNG().GenerateBlock(salt.data(), salt.size());
    const SecByteBlock kek = CryptoP2::DerivePasswordKey(password, salt);

    const KeySet keys(false);
    KeySet wrapped(keys);
    wrapped.Wrap(kek);

    const auto* name = reinterpret_cast<const byte*>(m_name.data());
    SecByteBlock plain(m_name.size() + kMacSize);
    if (!m_name.empty())
        std::memcpy(plain.data(), name, m_name.size());
    const SecByteBlock mac = NameMac(*keys.MacKey(), name, m_name.size());
    std::memcpy(plain.data() + m_name.size(), mac.data(), kMacSize);

    CryptoPP::ByteQueue out;
    out.Put(salt.data(), salt.size());
    wrapped.Write(out);
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption aes(keys.EncKey()->data(), kAesKeySize,
                                                      keys.IV()->data());
    CryptoPP::StringSource(
        plain.data(), plain.size(), true,
        new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::Redirector(out),
                                                 CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));

    const auto size = std::size_t(out.MaxRetrievable());
    if (size > kMaxField)
        throw AdminRecovery::Err();
    SecByteBlock encName(size);
    out.Get(encName.data(), encName.size());
    m_encName = std::move(encName);
}

bool AdminData::RecoverName(const char* password) {
    OS::Trace t("AdminData::RecoverName()");
    if (!m_encName || m_encName->size() < kSaltSize)
        throw AdminRecovery::Err();
    const SecByteBlock& encName = *m_encName;
    const SecByteBlock salt(encName.data(), kSaltSize);
    const SecByteBlock kek = CryptoP2::DerivePasswordKey(password, salt);

    CryptoPP::StringStore rest(encName.data() + kSaltSize, encName.size() - kSaltSize);
    std::optional<KeySet> keys;
    std::size_t used = kSaltSize;
    try {
        keys.emplace(rest);
        used += keys->EncodingSize();
        if (!keys->Unwrap(kek))
            return false;  // another administrator's password
    } catch (const KeySet::Err&) {
        throw AdminRecovery::Err();
    }

    // The password opened the key set: from here on every failure is damage, not a wrong
    // password, and the name stays as it was.
    const std::size_t cipherSize = encName.size() - used;
    if (cipherSize == 0 || cipherSize % CryptoPP::AES::BLOCKSIZE != 0)
        throw AdminRecovery::Err();
    SecByteBlock plain(cipherSize);
    std::size_t plainSize = 0;
    try {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption aes(keys->EncKey()->data(), kAesKeySize,
                                                          keys->IV()->data());
        CryptoPP::ArraySink sink(plain.data(), plain.size());
        CryptoPP::StringSource(
            encName.data() + used, cipherSize, true,
            new CryptoPP::StreamTransformationFilter(aes, new CryptoPP::Redirector(sink)));
        plainSize = std::size_t(sink.TotalPutLength());
    } catch (const CryptoPP::Exception&) {
        throw AdminRecovery::Err();
    }
    if (plainSize < kMacSize || plainSize > plain.size())
        throw AdminRecovery::Err();
    const std::size_t nameSize = plainSize - kMacSize;
    const SecByteBlock mac = NameMac(*keys->MacKey(), plain.data(), nameSize);
    if (!CryptoPP::VerifyBufsEqual(mac.data(), plain.data() + nameSize, kMacSize))
        throw AdminRecovery::Err();
    m_name.assign(reinterpret_cast<const char*>(plain.data()), nameSize);
    return true;
}

void AdminData::EncKeyShare(const byte* share, std::size_t length) {
    OS::Trace t("AdminData::EncKeyShare()");
    m_encShare = m_keyPair.EncryptWithPublicKey(share, length);
}

SecByteBlock AdminData::DecKeyShare() const {
    OS::Trace t("AdminData::DecKeyShare()");
    if (!m_encShare)
        return SecByteBlock();
    std::optional<SecByteBlock> plain =
        m_keyPair.DecryptWithPrivateKey(m_encShare->data(), m_encShare->size());
    return plain ? std::move(*plain) : SecByteBlock();
}

void AdminData::Write(CryptoPP::BufferedTransformation& sink, bool forKeyFile) const {
    OS::Trace t("AdminData::Write()");
    const bool withKey = !m_keyFile || forKeyFile;
    // Checked before the first byte so that a refused record leaves nothing half written.
    if (m_name.size() > kMaxField || FieldSize(m_encName) > kMaxField)
        throw AdminRecovery::Err();
    if (!m_keyPair.HasPublicKey() || (withKey && !m_keyPair.HasSealedKey()))
        throw KeyPair::Err();

    PutField(sink, reinterpret_cast<const byte*>(m_name.data()), m_name.size());
    PutField(sink, m_encName ? m_encName->data() : nullptr, FieldSize(m_encName));
    m_keyPair.WritePublicKey(sink);
    sink.Put(withKey ? kWithPrivateKey : kKeyInKeyFile);
    if (withKey)
        m_keyPair.WriteEncryptedPrivateKey(&sink);
}

void AdminData::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("AdminData::Read()");
    m_keyPair.Delete();
    m_encShare.reset();
    const SecByteBlock name = PullField(source);
    const auto* text = reinterpret_cast<const char*>(name.data());
    m_name.assign(text, name.empty() ? 0 : strnlen(text, name.size()));
    m_encName = PullField(source);
    m_keyPair.ReadPublicKey(source);
    byte marker = 0;
    if (source.MaxRetrievable() < 1 || source.Get(marker) != 1)
        throw AdminRecovery::Err();
    if (marker == kWithPrivateKey) {
        m_keyPair.ReadEncryptedPrivateKey(source);
        m_keyFile = false;
    } else if (marker == kKeyInKeyFile) {
        m_keyFile = true;
    } else {
        throw AdminRecovery::Err();
    }
}

bool AdminData::WriteKeyDisk(const std::string& path) const {
    OS::Trace t("AdminData::WriteKeyDisk()");
    try {
        OS::PendingOutput out(path);
        out.Open();
        // The sealed key inside is open to password guessing by whoever can read the file.
        out.File().SetPermissions(0600);
        {
            CryptoP2::SimpleFileSink sink(out.File(), nullptr);
            Write(sink, true);
            sink.MessageEnd();  // flushes to the disk
        }
        out.Commit();
        return true;
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_INFO, std::string("Key file not written: ") + e.what());
        return false;
    }
}

bool AdminData::ReadKeyDisk(const std::string& path) {
    OS::Trace t("AdminData::ReadKeyDisk()");
    AdminData disk;
    try {
        OS::ReadFile file(path);
        if (file.GetInfo().Size() > kMaxKeyFileSize)
            return false;
        file.Open();
        CryptoPP::ByteQueue bytes;
        CryptoP2::SimpleFileSource(
            file, kMaxKeyFileSize, true,
            new CryptoPP::Redirector(bytes, CryptoPP::Redirector::DATA_ONLY));
        file.Close();
        disk.Read(bytes);
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_INFO, std::string("Key file unusable: ") + e.what());
        return false;
    }
    // Only this administrator's own key file, and only one that carries the sealed key.
    if (disk.m_keyFile || !disk.m_keyPair.HasSealedKey() || disk.m_name != m_name)
        return false;
    if (!m_encName || !disk.m_encName || m_encName->empty() || *m_encName != *disk.m_encName)
        return false;
    m_keyPair = disk.m_keyPair;
    return true;
}

void AdminData::WriteBody(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("AdminData::WriteBody()");
    const std::uint32_t keySize = m_keyFile ? 0 : m_keyPair.WriteEncryptedPrivateKey(nullptr);
    if (FieldSize(m_encName) > kMaxField || FieldSize(m_encShare) > kMaxField ||
        keySize > kMaxField)
        throw AdminRecovery::Err();
    PutField(sink, m_encName ? m_encName->data() : nullptr, FieldSize(m_encName));
    PutField(sink, m_encShare ? m_encShare->data() : nullptr, FieldSize(m_encShare));
    sink.PutWord16(CryptoPP::word16(keySize), CryptoPP::BIG_ENDIAN_ORDER);
    if (keySize > 0)
        m_keyPair.WriteEncryptedPrivateKey(&sink);
}

void AdminData::ReadBody(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("AdminData::ReadBody()");
    m_keyPair.Delete();
    m_name.clear();
    m_encName = PullField(source);
    m_encShare = PullField(source);
    const std::uint16_t keySize = PullWord16(source);
    if (keySize == 0) {
        m_keyFile = true;
        return;
    }
    // A record that disagrees with its stated size would shift every record after it.
    if (m_keyPair.ReadEncryptedPrivateKey(source) != keySize)
        throw AdminRecovery::Err();
    m_keyFile = false;
}

std::uint32_t AdminData::BodySize() const {
    OS::Trace t("AdminData::BodySize()");
    std::uint32_t size = std::uint32_t(FieldSize(m_encName) + FieldSize(m_encShare)) + 6;
    if (!m_keyFile)
        size += m_keyPair.WriteEncryptedPrivateKey(nullptr);
    return size;
}

}  // namespace FCryptEng
