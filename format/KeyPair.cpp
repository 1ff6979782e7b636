#include "format/KeyPair.h"

#include <cryptopp/filters.h>
#include <cryptopp/pkcspad.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "filters/KeyDerivation.h"
#include "filters/KeyWrap.h"
#include "filters/Random.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

using CryptoPP::byte;
using CryptoPP::SecByteBlock;

using Signer = CryptoPP::RSASS<CryptoPP::PKCS1v15, CryptoPP::SHA256>::Signer;
using Verifier = CryptoPP::RSASS<CryptoPP::PKCS1v15, CryptoPP::SHA256>::Verifier;
using Encryptor = CryptoPP::RSAES<CryptoPP::PKCS1v15>::Encryptor;
using Decryptor = CryptoPP::RSAES<CryptoPP::PKCS1v15>::Decryptor;

constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kEncodingCapacity = 10240;
constexpr std::size_t kMaxRecordBody = 0xFFFF;

// Keys read from records are hostile until shown otherwise: bound the sizes so that a record
// cannot make later RSA operations slow, and reject the degenerate values.
constexpr unsigned kMinModulusBits = 512;
constexpr unsigned kMaxModulusBits = 4096;
constexpr unsigned kMaxExponentBits = 64;

bool SaneNumbers(const CryptoPP::Integer& n, const CryptoPP::Integer& e) {
    const unsigned bits = n.BitCount();
    return bits >= kMinModulusBits && bits <= kMaxModulusBits && n.IsOdd() && n.IsPositive() &&
           e > CryptoPP::Integer::One() && e.IsOdd() && e.BitCount() <= kMaxExponentBits && e < n;
}

bool SanePrivateKey(const CryptoPP::RSA::PrivateKey& key) {
    // Level 1 checks p·q = n and the exponents against each other; the size bound comes first so
    // those products stay cheap.
    return SaneNumbers(key.GetModulus(), key.GetPublicExponent()) &&
           key.Validate(CryptoP2::GlobalRNG(), 1);
}

// Pulls a record's tag, length and body, never trusting the length before the bytes are there.
SecByteBlock ReadRecord(CryptoPP::BufferedTransformation& source, std::uint16_t tag) {
    CryptoPP::word16 word = 0;
    if (source.MaxRetrievable() < 2 || source.GetWord16(word, CryptoPP::BIG_ENDIAN_ORDER) != 2 ||
        word != tag)
        throw KeyPair::Err();
    if (source.MaxRetrievable() < 2 || source.GetWord16(word, CryptoPP::BIG_ENDIAN_ORDER) != 2)
        throw KeyPair::Err();
    const std::size_t length = word;
    if (source.MaxRetrievable() < length)
        throw KeyPair::Err();
    SecByteBlock body(length);
    if (length > 0 && source.Get(body.data(), length) != length)
        throw KeyPair::Err();
    return body;
}

void PutRecord(CryptoPP::BufferedTransformation& sink, std::uint16_t tag, const byte* body,
               std::size_t length) {
    sink.PutWord16(tag, CryptoPP::BIG_ENDIAN_ORDER);
    sink.PutWord16(static_cast<CryptoPP::word16>(length), CryptoPP::BIG_ENDIAN_ORDER);
    if (length > 0)
        sink.Put(body, length);
}

}  // namespace

KeyPair::KeyPair() {
    OS::Trace t("KeyPair::KeyPair()");
}

KeyPair::KeyPair(const KeyPair& other) {
    OS::Trace t("KeyPair::KeyPair()");
    if (other.m_private)
        m_private = std::make_unique<CryptoPP::RSA::PrivateKey>(*other.m_private);
    if (other.m_public)
        m_public = std::make_unique<CryptoPP::RSA::PublicKey>(*other.m_public);
    m_sealed = other.m_sealed;
}

KeyPair& KeyPair::operator=(const KeyPair& other) {
    OS::Trace t("KeyPair::operator=()");
    if (this != &other) {
        Delete();
        if (other.m_private)
            m_private = std::make_unique<CryptoPP::RSA::PrivateKey>(*other.m_private);
        if (other.m_public)
            m_public = std::make_unique<CryptoPP::RSA::PublicKey>(*other.m_public);
        m_sealed = other.m_sealed;
    }
    return *this;
}

KeyPair::~KeyPair() {
    OS::Trace t("KeyPair::~KeyPair()");
    Delete();
}

void KeyPair::Create() {
    OS::Trace t("KeyPair::Create()");
    Delete();
    auto key = std::make_unique<CryptoPP::RSA::PrivateKey>();
    key->Initialize(CryptoP2::GlobalRNG(), kModulusBits, kPublicExponent);
    m_private = std::move(key);
    MakePublicFromPrivate();
}

void KeyPair::Delete() {
    OS::Trace t("KeyPair::Delete()");
    // The big integers and the sealed block wipe themselves as they are freed.
    m_private.reset();
    m_public.reset();
    m_sealed.reset();
}

void KeyPair::MakePublicFromPrivate() {
    OS::Trace t("KeyPair::MakePublicFromPrivate()");
    if (!m_private)
        throw Err();
    auto key = std::make_unique<CryptoPP::RSA::PublicKey>();
    key->Initialize(m_private->GetModulus(), m_private->GetPublicExponent());
    m_public = std::move(key);
}

void KeyPair::Encrypt(const char* password) {
    OS::Trace t("KeyPair::Encrypt()");
    if (!m_private)
        throw Err();

    SecByteBlock salt(kSaltSize);
    CryptoP2::GlobalRNG().GenerateBlock(salt.data(), salt.size());
    SecByteBlock kek = CryptoP2::DerivePasswordKey(password, salt);

    SecByteBlock encoding(kEncodingCapacity);
    CryptoPP::ArraySink out(encoding.data(), encoding.size());
    m_private->DEREncode(out);
    const auto used = static_cast<std::size_t>(out.TotalPutLength());
    if (used == 0 || used > encoding.size())
        throw Err();
    // Zero padding to whole 8-byte blocks; BER decoding stops at the end of the outer SEQUENCE.
    SecByteBlock padded((used + 7) / 8 * 8);
    std::memcpy(padded.data(), encoding.data(), used);
    std::fill(padded.begin() + used, padded.end(), byte(0));

    SecByteBlock sealed(kSaltSize + padded.size() + 8);
    if (sealed.size() > kMaxRecordBody)
        throw Err();
    SecByteBlock wrapped(padded.size() + 8);
    if (CryptoP2::AesKeyWrap(kek, padded, wrapped) != CryptoP2::KeyWrapResult::Ok)
        throw Err();
    std::memcpy(sealed.data(), salt.data(), kSaltSize);
    std::memcpy(sealed.data() + kSaltSize, wrapped.data(), wrapped.size());

    m_sealed = std::move(sealed);
    m_private.reset();
}

bool KeyPair::Decrypt(const char* password) {
    OS::Trace t("KeyPair::Decrypt()");
    if (!m_sealed)
        throw Err();
    m_private.reset();
    m_public.reset();

    const SecByteBlock& sealed = *m_sealed;
    if (sealed.size() < kSaltSize + 16 || (sealed.size() - kSaltSize) % 8 != 0)
        throw Err();
    const SecByteBlock salt(sealed.data(), kSaltSize);
    const SecByteBlock wrapped(sealed.data() + kSaltSize, sealed.size() - kSaltSize);
    SecByteBlock kek = CryptoP2::DerivePasswordKey(password, salt);

    SecByteBlock plain(wrapped.size() - 8);
    const CryptoP2::KeyWrapResult result = CryptoP2::AesKeyUnwrap(kek, wrapped, plain);
    if (result == CryptoP2::KeyWrapResult::Integrity)
        return false;
    if (result != CryptoP2::KeyWrapResult::Ok)
        throw Err();

    // The password was right; a body that does not decode is damage, not a wrong password.
    auto key = std::make_unique<CryptoPP::RSA::PrivateKey>();
    try {
        CryptoPP::ArraySource in(plain.data(), plain.size(), true);
        key->BERDecode(in);
    } catch (const CryptoPP::Exception&) {
        throw Err();
    }
    if (!SanePrivateKey(*key))
        throw Err();

    m_private = std::move(key);
    m_sealed.reset();
    return true;
}

std::uint32_t KeyPair::WritePublicKey(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("KeyPair::WritePublicKey()");
    if (!m_public)
        throw Err();
    std::string der;
    CryptoPP::StringSink out(der);
    m_public->DEREncode(out);
    if (der.empty() || der.size() > kMaxRecordBody)
        throw Err();
    PutRecord(sink, kPublicKeyTag, reinterpret_cast<const byte*>(der.data()), der.size());
    return static_cast<std::uint32_t>(der.size() + 4);
}

std::uint32_t KeyPair::ReadPublicKey(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("KeyPair::ReadPublicKey()");
    m_public.reset();
    const SecByteBlock body = ReadRecord(source, kPublicKeyTag);

    auto key = std::make_unique<CryptoPP::RSA::PublicKey>();
    try {
        CryptoPP::ArraySource in(body.data(), body.size(), true);
        key->BERDecode(in);
    } catch (const CryptoPP::Exception&) {
        throw Err();
    }
    if (!SaneNumbers(key->GetModulus(), key->GetPublicExponent()))
        throw Err();
    m_public = std::move(key);
    return static_cast<std::uint32_t>(body.size() + 4);
}

std::uint32_t KeyPair::WriteEncryptedPrivateKey(CryptoPP::BufferedTransformation* sink) const {
    OS::Trace t("KeyPair::WriteEncryptedPrivateKey()");
    if (!m_sealed || m_sealed->size() > kMaxRecordBody)
        throw Err();
    if (sink)
        PutRecord(*sink, kSealedKeyTag, m_sealed->data(), m_sealed->size());
    return static_cast<std::uint32_t>(m_sealed->size() + 4);
}

std::uint32_t KeyPair::ReadEncryptedPrivateKey(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("KeyPair::ReadEncryptedPrivateKey()");
    m_sealed.reset();
    m_private.reset();
    SecByteBlock body = ReadRecord(source, kSealedKeyTag);
    const auto count = static_cast<std::uint32_t>(body.size() + 4);
    m_sealed = std::move(body);
    return count;
}

std::optional<SecByteBlock> KeyPair::Sign(const byte* message, std::size_t length) const {
    OS::Trace t("KeyPair::Sign()");
    if (!m_private || (!message && length > 0))
        return std::nullopt;
    try {
        Signer signer(*m_private);
        SecByteBlock signature(signer.MaxSignatureLength());
        const std::size_t size =
            signer.SignMessage(CryptoP2::GlobalRNG(), message, length, signature.data());
        if (size != signature.size())
            return std::nullopt;
        return signature;
    } catch (const CryptoPP::Exception&) {
        return std::nullopt;
    }
}

bool KeyPair::CheckSignature(const byte* message, std::size_t length, const byte* signature,
                             std::size_t signatureLength) const {
    OS::Trace t("KeyPair::CheckSignature()");
    if (!m_public || !signature || signatureLength != kCipherSize || (!message && length > 0))
        return false;
    try {
        Verifier verifier(*m_public);
        if (verifier.SignatureLength() != signatureLength)
            return false;
        return verifier.VerifyMessage(message, length, signature, signatureLength);
    } catch (const CryptoPP::Exception&) {
        return false;
    }
}

SecByteBlock KeyPair::EncryptWithPublicKey(const byte* plain, std::size_t length) const {
    OS::Trace t("KeyPair::EncryptWithPublicKey()");
    if (!m_public || (!plain && length > 0))
        throw Err();
    Encryptor encryptor(*m_public);
    if (length > kMaxPlainSize || length > encryptor.FixedMaxPlaintextLength())
        throw Err();
    SecByteBlock cipher(encryptor.FixedCiphertextLength());
    try {
        encryptor.Encrypt(CryptoP2::GlobalRNG(), plain, length, cipher.data());
    } catch (const CryptoPP::Exception&) {
        throw Err();
    }
    return cipher;
}

std::optional<SecByteBlock> KeyPair::DecryptWithPrivateKey(const byte* cipher,
                                                           std::size_t length) const {
    OS::Trace t("KeyPair::DecryptWithPrivateKey()");
    if (!m_private || !cipher)
        return std::nullopt;
    try {
        Decryptor decryptor(*m_private);
        if (length != decryptor.FixedCiphertextLength())
            return std::nullopt;
        SecByteBlock plain(decryptor.FixedMaxPlaintextLength());
        const CryptoPP::DecodingResult result =
            decryptor.Decrypt(CryptoP2::GlobalRNG(), cipher, length, plain.data());
        if (!result.isValidCoding || result.messageLength > plain.size())
            return std::nullopt;
        plain.resize(result.messageLength);
        return plain;
    } catch (const CryptoPP::Exception&) {
        return std::nullopt;
    }
}

}  // namespace FCryptEng
