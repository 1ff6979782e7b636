#include "format/KeySet.h"

#include <cstring>

#include "filters/KeyWrap.h"
#include "filters/Random.h"
#include "os/Logger.h"

namespace FCryptEng {
namespace {

CryptoPP::SecByteBlock RandomBlock(std::size_t size) {
    CryptoPP::SecByteBlock block(size);
    CryptoP2::GlobalRNG().GenerateBlock(block.data(), block.size());
    return block;
}

}  // namespace

KeySet::KeySet(bool withKEK) {
    OS::Trace t("KeySet::KeySet()");
    if (withKEK)
        m_kek = RandomBlock(kKekSize);
    m_encKey = RandomBlock(kEncKeySize);
    m_macKey = RandomBlock(kMacKeySize);
    m_iv = RandomBlock(kIvSize);
}

KeySet::KeySet(const KeySet& other)
    : m_kek(other.m_kek),
      m_encKey(other.m_encKey),
      m_macKey(other.m_macKey),
      m_iv(other.m_iv),
      m_wrapped(other.m_wrapped) {
    OS::Trace t("KeySet::KeySet()");
}

KeySet& KeySet::operator=(const KeySet& other) {
    OS::Trace t("KeySet::operator=()");
    if (this != &other) {
        Clear();
        m_kek = other.m_kek;
        m_encKey = other.m_encKey;
        m_macKey = other.m_macKey;
        m_iv = other.m_iv;
        m_wrapped = other.m_wrapped;
    }
    return *this;
}

KeySet::KeySet(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("KeySet::KeySet()");
    Read(source);
}

const CryptoPP::SecByteBlock* KeySet::KEK() const {
    OS::Trace t("KeySet::KEK()");
    return Get(m_kek);
}

const CryptoPP::SecByteBlock* KeySet::EncKey() const {
    OS::Trace t("KeySet::EncKey()");
    return Get(m_encKey);
}

const CryptoPP::SecByteBlock* KeySet::MacKey() const {
    OS::Trace t("KeySet::MacKey()");
    return Get(m_macKey);
}

const CryptoPP::SecByteBlock* KeySet::IV() const {
    OS::Trace t("KeySet::IV()");
    return Get(m_iv);
}

bool KeySet::IncludesKEK() const {
    OS::Trace t("KeySet::IncludesKEK()");
    if (m_wrapped)
        return m_wrapped->size() == kWrappedWithKek;
    return m_kek.has_value();
}

std::uint32_t KeySet::EncodingSize() const {
    OS::Trace t("KeySet::EncodingSize()");
    if (m_wrapped)
        return static_cast<std::uint32_t>(m_wrapped->size() + 4);
    std::size_t size = 12;  // the length word and the 8 bytes that wrapping adds
    for (const auto* key : {&m_kek, &m_encKey, &m_macKey, &m_iv}) {
        if (*key)
            size += (*key)->size();
    }
    return static_cast<std::uint32_t>(size);
}

std::uint32_t KeySet::Write(CryptoPP::BufferedTransformation& sink) const {
    OS::Trace t("KeySet::Write()");
    if (!m_wrapped)
        throw Err();
    const auto length = static_cast<std::uint32_t>(m_wrapped->size());
    sink.PutWord32(length, CryptoPP::BIG_ENDIAN_ORDER);
    sink.Put(m_wrapped->data(), m_wrapped->size());
    return length + 4;
}

std::uint32_t KeySet::Read(CryptoPP::BufferedTransformation& source) {
    OS::Trace t("KeySet::Read()");
    Clear();
    if (source.MaxRetrievable() < 4)
        throw Err();
    CryptoPP::word32 length = 0;
    source.GetWord32(length, CryptoPP::BIG_ENDIAN_ORDER);
    // The stated length is untrusted: nothing is allocated until the bytes are known to be there.
    if (source.MaxRetrievable() < length)
        throw Err();
    CryptoPP::SecByteBlock wrapped(length);
    if (source.Get(wrapped.data(), wrapped.size()) != length)
        throw Err();
    m_wrapped = std::move(wrapped);
    return length + 4;
}

void KeySet::Wrap(const CryptoPP::SecByteBlock& wrappingKey) {
    OS::Trace t("KeySet::Wrap()");
    if (!IsPlain())
        throw Err();
    CryptoPP::SecByteBlock plain(EncodingSize() - 12);
    CryptoPP::byte* out = plain.data();
    for (const auto* key : {&m_kek, &m_encKey, &m_macKey, &m_iv}) {
        if (*key) {
            std::memcpy(out, (*key)->data(), (*key)->size());
            out += (*key)->size();
        }
    }
    CryptoPP::SecByteBlock wrapped(plain.size() + 8);
    if (CryptoP2::AesKeyWrap(wrappingKey, plain, wrapped) != CryptoP2::KeyWrapResult::Ok)
        throw Err();
    Clear();
    m_wrapped = std::move(wrapped);
}

bool KeySet::Unwrap(const CryptoPP::SecByteBlock& wrappingKey) {
    OS::Trace t("KeySet::Unwrap()");
    if (!m_wrapped)
        throw Err();
    const std::size_t length = m_wrapped->size();
    if (length != kWrappedWithKek && length != kWrappedWithoutKek)
        throw Err();
    const bool withKek = length == kWrappedWithKek;
    CryptoPP::SecByteBlock plain(length - 8);
    const CryptoP2::KeyWrapResult result = CryptoP2::AesKeyUnwrap(wrappingKey, *m_wrapped, plain);
    if (result == CryptoP2::KeyWrapResult::Integrity)
        return false;
    if (result != CryptoP2::KeyWrapResult::Ok)
        throw Err();
    Clear();
    const CryptoPP::byte* in = plain.data();
    auto take = [&in](std::size_t size) {
        CryptoPP::SecByteBlock key(in, size);
        in += size;
        return key;
    };
    if (withKek)
        m_kek = take(kKekSize);
    m_encKey = take(kEncKeySize);
    m_macKey = take(kMacKeySize);
    m_iv = take(kIvSize);
    return true;
}

KeySet KeySet::FromPlain(const CryptoPP::byte* keys, bool withKEK) {
    OS::Trace t("KeySet::FromPlain()");
    KeySet set;
    auto take = [&keys](std::size_t size) {
        CryptoPP::SecByteBlock key(keys, size);
        keys += size;
        return key;
    };
    if (withKEK)
        set.m_kek = take(kKekSize);
    set.m_encKey = take(kEncKeySize);
    set.m_macKey = take(kMacKeySize);
    set.m_iv = take(kIvSize);
    return set;
}

void KeySet::Clear() {
    OS::Trace t("KeySet::Clear()");
    // Each block wipes itself as it is released.
    m_kek.reset();
    m_encKey.reset();
    m_macKey.reset();
    m_iv.reset();
    m_wrapped.reset();
}

}  // namespace FCryptEng
