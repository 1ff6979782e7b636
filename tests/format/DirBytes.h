// Directory records put together byte by byte from the documented layout, independently of the
// writer under test, and the small helpers the directory tests share.
#pragma once

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/hmac.h>
#include <cryptopp/modes.h>
#include <cryptopp/queue.h>
#include <cryptopp/secblock.h>
#include <cryptopp/sha.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "filters/KeyWrap.h"
#include "format/KeySet.h"
#include "os/DateTime.h"

namespace dirbytes {

using Bytes = std::string;

inline void Put16(Bytes& b, std::uint16_t v) {
    b += char(v >> 8);
    b += char(v);
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, std::uint16_t(v >> 16));
    Put16(b, std::uint16_t(v));
}

inline OS::DateTime Time(int year, int month, int day, int hour, int minute, int second, int ms) {
    OS::DateTime t;
    t.year = std::uint16_t(year);
    t.month = std::uint8_t(month);
    t.day = std::uint8_t(day);
    t.hour = std::uint8_t(hour);
    t.minute = std::uint8_t(minute);
    t.second = std::uint8_t(second);
    t.millisecond = std::uint16_t(ms);
    return t;
}

struct Times {
    OS::DateTime create = Time(2021, 3, 4, 5, 6, 7, 89);
    OS::DateTime modify = Time(2022, 11, 30, 23, 59, 58, 999);
    OS::DateTime access = Time(2023, 1, 1, 0, 0, 0, 1);
};

inline void PutTime(Bytes& b, std::uint16_t tag, const OS::DateTime& t) {
    Put16(b, tag);
    Put32(b, std::uint32_t(t.year) << 16 | std::uint32_t(t.month) << 8 | t.day);
    Put32(b, ((t.hour * 60u + t.minute) * 60u + t.second) * 1000u + t.millisecond);
}

inline Bytes Head(const std::string& name, std::uint32_t attributes) {
    Bytes b;
    Put16(b, 0xDE01);
    Put16(b, std::uint16_t(name.size()));
    b += name;
    Put16(b, 0xDE0B);
    Put32(b, attributes);
    return b;
}

inline Bytes Tail(const Times& times) {
    Bytes b;
    PutTime(b, 0xDE07, times.create);
    PutTime(b, 0xDE08, times.modify);
    PutTime(b, 0xDE09, times.access);
    return b;
}

inline Bytes FolderBody(const std::string& name, std::uint32_t attributes = 256,
                        const Times& times = Times()) {
    return Head(name, attributes) + Tail(times);
}

struct FileFields {
    std::uint32_t attributes = 8;
    std::uint32_t position = 0;
    std::uint32_t archiveSize = 16;
    std::uint32_t originalSize = 1;
    Bytes keySet;  // the full encoding, length word included
    Bytes mac = Bytes(32, '\x5A');
    Times times;
};

inline Bytes FileBody(const std::string& name, const FileFields& f) {
    Bytes b = Head(name, f.attributes);
    Put16(b, 0xDE02);
    Put32(b, f.position);
    Put16(b, 0xDE03);
    Put32(b, f.archiveSize);
    Put16(b, 0xDE04);
    Put32(b, f.originalSize);
    Put16(b, 0xDE05);
    b += f.keySet;
    Put16(b, 0xDE06);
    b += f.mac;
    return b + Tail(f.times);
}

inline Bytes Record(std::uint16_t tag, const Bytes& body) {
    Bytes b;
    Put16(b, tag);
    Put16(b, std::uint16_t(body.size()));
    return b + body;
}

inline CryptoPP::SecByteBlock ByteRun(unsigned from, unsigned to) {
    CryptoPP::SecByteBlock block(to - from);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = CryptoPP::byte(from + i);
    return block;
}

inline CryptoPP::SecByteBlock Cat(std::initializer_list<CryptoPP::SecByteBlock> parts) {
    CryptoPP::SecByteBlock out;
    for (const auto& part : parts)
        out.Append(part);
    return out;
}

inline Bytes Str(const CryptoPP::SecByteBlock* block) {
    return block ? Bytes(reinterpret_cast<const char*>(block->data()), block->size()) : "<none>";
}
inline Bytes Str(const CryptoPP::SecByteBlock& block) {
    return Str(&block);
}
template <std::size_t N>
Bytes Str(const std::array<CryptoPP::byte, N>& block) {
    return Bytes(reinterpret_cast<const char*>(block.data()), N);
}

inline Bytes FromHex(const std::string& hex) {
    Bytes raw;
    CryptoPP::StringSource(hex, true, new CryptoPP::HexDecoder(new CryptoPP::StringSink(raw)));
    return raw;
}

// The wrapped encoding (u32 length, then the wrap) of plain keys laid out in key-set order.
inline Bytes WrappedEncoding(const CryptoPP::SecByteBlock& wrappingKey,
                             const CryptoPP::SecByteBlock& plain) {
    CryptoPP::SecByteBlock wrapped(plain.size() + 8);
    if (CryptoP2::AesKeyWrap(wrappingKey, plain, wrapped) != CryptoP2::KeyWrapResult::Ok)
        throw std::runtime_error("key wrap failed");
    Bytes b;
    Put32(b, std::uint32_t(wrapped.size()));
    return b + Str(wrapped);
}

inline CryptoPP::ByteQueue Queue(const Bytes& bytes) {
    CryptoPP::ByteQueue q;
    q.Put(reinterpret_cast<const CryptoPP::byte*>(bytes.data()), bytes.size());
    return q;
}

inline Bytes Drain(CryptoPP::BufferedTransformation& q) {
    Bytes out(static_cast<std::size_t>(q.MaxRetrievable()), '\0');
    q.Get(reinterpret_cast<CryptoPP::byte*>(out.data()), out.size());
    return out;
}

// A plain key set with the given keys (kek may be empty for a set without KEK).
inline FCryptEng::KeySet MakeKeySet(const CryptoPP::SecByteBlock& kek,
                                    const CryptoPP::SecByteBlock& enc,
                                    const CryptoPP::SecByteBlock& mac,
                                    const CryptoPP::SecByteBlock& iv) {
    const CryptoPP::SecByteBlock transport = ByteRun(0xE0, 0xF0);
    CryptoPP::ByteQueue q = Queue(WrappedEncoding(transport, Cat({kek, enc, mac, iv})));
    FCryptEng::KeySet set(q);
    if (!set.Unwrap(transport))
        throw std::runtime_error("unwrap failed");
    return set;
}

inline Bytes Hmac(const CryptoPP::SecByteBlock& key, const Bytes& data) {
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(key.data(), key.size());
    CryptoPP::SecByteBlock mac(32);
    hmac.CalculateDigest(mac.data(), reinterpret_cast<const CryptoPP::byte*>(data.data()),
                         data.size());
    return Str(mac);
}

// A framed directory footer around a plain body, encrypted and MAC'd here rather than by the
// code under test.
inline Bytes Frame(const Bytes& plain, const FCryptEng::KeySet& keys) {
    Bytes encrypted;
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption cipher(keys.EncKey()->data(), 16,
                                                         keys.IV()->data());
    CryptoPP::StringSource(plain, true,
                           new CryptoPP::StreamTransformationFilter(
                               cipher, new CryptoPP::StringSink(encrypted),
                               CryptoPP::StreamTransformationFilter::PKCS_PADDING));
    Bytes out;
    Put32(out, 0x25000000u | std::uint32_t(encrypted.size() + 32));
    return out + encrypted + Hmac(*keys.MacKey(), plain);
}

}  // namespace dirbytes
