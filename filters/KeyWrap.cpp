#include "filters/KeyWrap.h"

#include <cryptopp/aes.h>
#include <cryptopp/misc.h>

#include <cstring>

#include "os/Logger.h"

namespace CryptoP2 {
namespace {

constexpr std::size_t kHalf = 8;
constexpr CryptoPP::byte kInitialValue[kHalf] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};

bool ValidKek(const CryptoPP::SecByteBlock& kek) {
    return kek.size() == 16 || kek.size() == 24 || kek.size() == 32;
}

// Only the last two bytes take t; the same as RFC 3394 below 10,923 blocks.
void XorStep(CryptoPP::byte* a, std::size_t t) {
    a[6] ^= static_cast<CryptoPP::byte>(t >> 8);
    a[7] ^= static_cast<CryptoPP::byte>(t);
}

}  // namespace

KeyWrapResult AesKeyWrap(const CryptoPP::SecByteBlock& kek, const CryptoPP::SecByteBlock& plain,
                         CryptoPP::SecByteBlock& wrapped) {
    OS::Trace t("AesKeyWrap()");
    if (!ValidKek(kek))
        return KeyWrapResult::KekLength;
    if (plain.size() < kHalf || plain.size() % kHalf != 0)
        return KeyWrapResult::InputLength;
    if (wrapped.size() != plain.size() + kHalf)
        return KeyWrapResult::OutputLength;

    const std::size_t n = plain.size() / kHalf;
    CryptoPP::AES::Encryption aes(kek.data(), kek.size());
    // result = A | R[1..n]; block = A | R[i] while one step runs.
    CryptoPP::SecByteBlock result(plain.size() + kHalf);
    CryptoPP::SecByteBlock block(2 * kHalf);
    std::memcpy(result.data(), kInitialValue, kHalf);
    std::memcpy(result.data() + kHalf, plain.data(), plain.size());
    CryptoPP::byte* a = result.data();

    for (std::size_t j = 0; j <= 5; ++j) {
        for (std::size_t i = 1; i <= n; ++i) {
            CryptoPP::byte* r = result.data() + i * kHalf;
            std::memcpy(block.data(), a, kHalf);
            std::memcpy(block.data() + kHalf, r, kHalf);
            aes.ProcessBlock(block.data());
            std::memcpy(a, block.data(), kHalf);
            XorStep(a, n * j + i);
            std::memcpy(r, block.data() + kHalf, kHalf);
        }
    }
    std::memcpy(wrapped.data(), result.data(), result.size());
    return KeyWrapResult::Ok;
}

KeyWrapResult AesKeyUnwrap(const CryptoPP::SecByteBlock& kek, const CryptoPP::SecByteBlock& wrapped,
                           CryptoPP::SecByteBlock& plain) {
    OS::Trace t("AesKeyUnwrap()");
    if (!ValidKek(kek))
        return KeyWrapResult::KekLength;
    if (wrapped.size() < 2 * kHalf || wrapped.size() % kHalf != 0)
        return KeyWrapResult::InputLength;
    if (plain.size() + kHalf != wrapped.size())
        return KeyWrapResult::OutputLength;

    const std::size_t n = wrapped.size() / kHalf - 1;
    CryptoPP::AES::Decryption aes(kek.data(), kek.size());
    CryptoPP::SecByteBlock work(wrapped.data(), wrapped.size());
    CryptoPP::SecByteBlock block(2 * kHalf);
    CryptoPP::byte* a = work.data();

    for (std::size_t j = 6; j-- > 0;) {
        for (std::size_t i = n; i >= 1; --i) {
            CryptoPP::byte* r = work.data() + i * kHalf;
            XorStep(a, n * j + i);
            std::memcpy(block.data(), a, kHalf);
            std::memcpy(block.data() + kHalf, r, kHalf);
            aes.ProcessBlock(block.data());
            std::memcpy(a, block.data(), kHalf);
            std::memcpy(r, block.data() + kHalf, kHalf);
        }
    }
    if (!CryptoPP::VerifyBufsEqual(a, kInitialValue, kHalf))
        return KeyWrapResult::Integrity;
    std::memcpy(plain.data(), work.data() + kHalf, plain.size());
    return KeyWrapResult::Ok;
}

}  // namespace CryptoP2
