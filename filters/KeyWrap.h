// AES key wrap (RFC 3394) with the default initial value A6A6A6A6A6A6A6A6 under a 16-, 24- or
// 32-byte key-encryption key. Both calls report by result code and leave the output alone
// unless they succeed; the caller sizes the output beforehand.
#pragma once

#include <cryptopp/secblock.h>

namespace CryptoP2 {

// What a wrap or an unwrap did. Only Integrity says anything about a key; the others are a
// caller's sizing mistakes.
enum class KeyWrapResult : int {
    Ok = 0,
    Integrity = 1,     // unwrap: wrong key or damaged data
    InputLength = 2,   // wrap: < 8 bytes, unwrap: < 16, or not a multiple of 8
    OutputLength = 3,  // output is not input + 8 (wrap) or input - 8 (unwrap)
    KekLength = 4,     // key-encryption key is not 16, 24 or 32 bytes
};

KeyWrapResult AesKeyWrap(const CryptoPP::SecByteBlock& kek, const CryptoPP::SecByteBlock& plain,
                         CryptoPP::SecByteBlock& wrapped);
KeyWrapResult AesKeyUnwrap(const CryptoPP::SecByteBlock& kek, const CryptoPP::SecByteBlock& wrapped,
                           CryptoPP::SecByteBlock& plain);

}  // namespace CryptoP2
