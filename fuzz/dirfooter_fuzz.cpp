// Fuzzes the reading of a decrypted directory footer body.
//
// The input is taken as the plain body. It is encrypted and MAC'd here under fixed footer keys
// and framed as a container holds it, then read through the public path (ReadEncoding, Decrypt)
// so that decryption, MAC check, record parsing and key-set unwrapping all run as in a real
// container, with no test hook in the library. The keys are fixed so that seeds made offline
// with file key sets wrapped under the KEK (10..2F) reach the unwrap and path code too.
//
// Every accepted footer must then give output names inside the destination and survive being
// written and read again.
#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/sha.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "filters/KeyWrap.h"
#include "format/DirFooter.h"
#include "format/FooterEntry.h"
#include "format/KeySet.h"

namespace {

using CryptoPP::SecByteBlock;
using FCryptEng::DirEntry;
using FCryptEng::DirFooter;
using FCryptEng::KeySet;

SecByteBlock Run(unsigned from, std::size_t count) {
    SecByteBlock block(count);
    for (std::size_t i = 0; i < count; ++i)
        block[i] = CryptoPP::byte(from + i);
    return block;
}

// KEK 10..2F, EncKey 40..5F, MacKey 70..7F, IV 90..9F.
const KeySet& Keys() {
    static const KeySet keys = [] {
        SecByteBlock plain;
        for (const SecByteBlock& part :
             {Run(0x10, 32), Run(0x40, 32), Run(0x70, 16), Run(0x90, 16)})
            plain.Append(part);
        const SecByteBlock transport = Run(0xE0, 16);
        SecByteBlock wrapped(plain.size() + 8);
        if (CryptoP2::AesKeyWrap(transport, plain, wrapped) != CryptoP2::KeyWrapResult::Ok)
            __builtin_trap();
        CryptoPP::ByteQueue q;
        q.PutWord32(std::uint32_t(wrapped.size()), CryptoPP::BIG_ENDIAN_ORDER);
        q.Put(wrapped.data(), wrapped.size());
        KeySet set(q);
        if (!set.Unwrap(transport))
            __builtin_trap();
        return set;
    }();
    return keys;
}

void Frame(const std::uint8_t* data, std::size_t size, CryptoPP::BufferedTransformation& out) {
    const KeySet& keys = Keys();
    std::string encrypted;
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher(keys.EncKey()->data(), 16,
                                                         keys.IV()->data());
    CryptoPP::ArraySource(data, size, true,
                          new CryptoPP::StreamTransformationFilter(
                              cipher, new CryptoPP::StringSink(encrypted),
                              CryptoPP::StreamTransformationFilter::PKCS_PADDING));
    SecByteBlock mac(32);
    CryptoPP::HMAC<CryptoPP::SHA256>(keys.MacKey()->data(), keys.MacKey()->size())
        .CalculateDigest(mac.data(), data, size);
    out.Put(reinterpret_cast<const CryptoPP::byte*>(encrypted.data()), encrypted.size());
    out.Put(mac.data(), mac.size());
}

std::unique_ptr<DirFooter> ReadFooter(CryptoPP::BufferedTransformation& framed, std::uint32_t n) {
    auto footer = std::make_unique<DirFooter>(framed, n);
    footer->Decrypt(Keys());
    return footer;
}

bool HasComponent(const std::string& name, const char* part) {
    const std::string inner = std::string("/") + part + "/";
    const std::string tail = std::string("/") + part;
    return name.find(inner) != std::string::npos ||
           (name.size() >= tail.size() &&
            name.compare(name.size() - tail.size(), tail.size(), tail) == 0);
}

void CheckOutputNames(DirFooter& footer) {
    const std::string destination = "/out/";
    using FCryptEng::PathMode;
    for (PathMode mode : {PathMode::Common, PathMode::BaseName, PathMode::Full}) {
        footer.SetPath(mode, destination);
        for (std::size_t i = 0; DirEntry* entry = footer.GetEntry(i); ++i) {
            const std::string& name = entry->FinalName();
            if (mode != PathMode::Full && name.compare(0, destination.size(), destination) != 0)
                __builtin_trap();
            if (name.size() <= 1 || HasComponent(name, "..") || HasComponent(name, ".") ||
                name.find("//") != std::string::npos)
                __builtin_trap();
        }
    }
}

void Fuzz(const std::uint8_t* data, std::size_t size) {
    CryptoPP::ByteQueue framed;
    Frame(data, size, framed);
    const auto n = std::uint32_t(framed.MaxRetrievable());
    auto footer = ReadFooter(framed, n);
    if (footer->RawBody().size() != size ||
        (size && std::memcmp(footer->RawBody().data(), data, size) != 0))
        __builtin_trap();

    const std::size_t count = footer->NumEntries(false);
    for (std::size_t i = 0; i < count; ++i)
        footer->GetEntry(i)->SetSelected(true);
    CheckOutputNames(*footer);

    // What was accepted is written again (unknown records dropped) and must read back alike.
    footer->SetKeys(&Keys());
    CryptoPP::ByteQueue again;
    footer->PutEncoding(again);
    CryptoPP::word32 word = 0;
    again.GetWord32(word, CryptoPP::BIG_ENDIAN_ORDER);
    auto reread = ReadFooter(again, word & 0xFFFFFF);
    if (reread->NumEntries(false) != count)
        __builtin_trap();
    for (std::size_t i = 0; i < count; ++i) {
        if (reread->GetEntry(i)->Name() != footer->GetEntry(i)->Name())
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The footer's 24-bit length counts the MAC and at least one block of padding.
    if (size > FCryptEng::Footer::kMaxLength - 48)
        return 0;
    try {
        Fuzz(data, size);
    } catch (const FCryptEng::Footer::Err&) {
    } catch (const DirEntry::Err&) {
    } catch (const KeySet::Err&) {
    } catch (const FCryptEng::FooterEntry::Err&) {
    }
    return 0;
}
