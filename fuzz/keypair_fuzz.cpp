// Key-pair records from hostile bytes: each record alone, then a public record followed by a
// sealed one, and whatever parses is put to use. Only KeyPair::Err may come out of the reads.
#include <cryptopp/filters.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/KeyPair.h"

namespace {

using FCryptEng::KeyPair;

template <class Action>
bool Accepted(Action action) {
    try {
        action();
        return true;
    } catch (const KeyPair::Err&) {
        return false;
    }
}

// The input's last 128 bytes serve as a signature over all of it.
void UsePublicKey(const KeyPair& pair, const uint8_t* data, size_t size) {
    CryptoPP::byte signature[KeyPair::kCipherSize] = {};
    if (size >= sizeof signature)
        std::memcpy(signature, data + size - sizeof signature, sizeof signature);
    pair.CheckSignature(data, size, signature, sizeof signature);
    const size_t plain = size < KeyPair::kMaxPlainSize ? size : KeyPair::kMaxPlainSize;
    Accepted([&] { pair.EncryptWithPublicKey(data, plain); });
}

void UseSealedKey(KeyPair& pair, const uint8_t* data, size_t size) {
    bool opened = false;
    if (!Accepted([&] { opened = pair.Decrypt("fuzz"); }) || !opened)
        return;
    const auto signature = pair.Sign(data, size);
    pair.MakePublicFromPrivate();
    if (signature && !pair.CheckSignature(data, size, signature->data(), signature->size()))
        __builtin_trap();
    const size_t plain = size < KeyPair::kMaxPlainSize ? size : KeyPair::kMaxPlainSize;
    const auto cipher = pair.EncryptWithPublicKey(data, plain);
    const auto back = pair.DecryptWithPrivateKey(cipher.data(), cipher.size());
    if (!back || back->size() != plain || (plain && std::memcmp(back->data(), data, plain) != 0))
        __builtin_trap();
    pair.DecryptWithPrivateKey(data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        KeyPair pair;
        CryptoPP::ArraySource source(data, size, true);
        if (Accepted([&] { pair.ReadPublicKey(source); }))
            UsePublicKey(pair, data, size);
    }
    {
        KeyPair pair;
        CryptoPP::ArraySource source(data, size, true);
        if (Accepted([&] { pair.ReadEncryptedPrivateKey(source); }))
            UseSealedKey(pair, data, size);
    }
    {
        KeyPair pair;
        CryptoPP::ArraySource source(data, size, true);
        if (Accepted([&] { pair.ReadPublicKey(source); }) &&
            Accepted([&] { pair.ReadEncryptedPrivateKey(source); })) {
            KeyPair copy(pair);
            UsePublicKey(copy, data, size);
            UseSealedKey(pair, data, size);
        }
    }
    return 0;
}
