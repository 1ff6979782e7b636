#include "filters/KeyDerivation.h"

#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstring>

#include "os/Logger.h"

namespace CryptoP2 {

KeyDerivationAlg::~KeyDerivationAlg() = default;

PKCS5_PBKDF2::PKCS5_PBKDF2(const char* password, const CryptoPP::SecByteBlock& salt)
    : m_password(reinterpret_cast<const CryptoPP::byte*>(password),
                 password ? std::strlen(password) : 0),
      m_saltBuffer(salt.size() + 4) {
    OS::Trace t("PKCS5_PBKDF2::PKCS5_PBKDF2()");
    if (salt.size() > 0)
        std::memcpy(m_saltBuffer.data(), salt.data(), salt.size());
}

void PKCS5_PBKDF2::DeriveKey(CryptoPP::SecByteBlock& output) {
    OS::Trace t("PKCS5_PBKDF2::DeriveKey()");
    using HmacSha256 = CryptoPP::HMAC<CryptoPP::SHA256>;
    constexpr std::size_t kBlock = HmacSha256::DIGESTSIZE;

    static const CryptoPP::byte kNoKey = 0;
    HmacSha256 prf(m_password.size() ? m_password.data() : &kNoKey, m_password.size());

    const std::size_t length = output.size();
    const std::size_t blocks = (length + kBlock - 1) / kBlock;
    CryptoPP::SecByteBlock work(blocks * kBlock);
    CryptoPP::SecByteBlock u(kBlock), sum(kBlock);
    CryptoPP::byte* counter = m_saltBuffer.data() + m_saltBuffer.size() - 4;

    for (std::size_t i = 0; i < blocks; ++i) {
        CryptoPP::PutWord(false, CryptoPP::BIG_ENDIAN_ORDER, counter,
                          static_cast<CryptoPP::word32>(i + 1));
        prf.CalculateDigest(u.data(), m_saltBuffer.data(), m_saltBuffer.size());
        std::memcpy(sum.data(), u.data(), kBlock);
        for (unsigned round = 1; round < kIterations; ++round) {
            prf.CalculateDigest(u.data(), u.data(), kBlock);
            CryptoPP::xorbuf(sum.data(), u.data(), kBlock);
        }
        std::memcpy(work.data() + i * kBlock, sum.data(), kBlock);
    }
    // work holds at least `length` bytes; the explicit bound also tells the compiler so.
    std::copy_n(work.data(), std::min(length, work.size()), output.data());
}

CryptoPP::SecByteBlock DerivePasswordKey(const char* password, const CryptoPP::SecByteBlock& salt) {
    OS::Trace t("DerivePasswordKey()");
    CryptoPP::SecByteBlock key(32);
    PKCS5_PBKDF2 kdf(password, salt);
    kdf.DeriveKey(key);
    return key;
}

}  // namespace CryptoP2
