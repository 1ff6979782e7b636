#include "format/Footer.h"

#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <memory>

#include "os/Logger.h"

namespace FCryptEng {

std::uint32_t Footer::RawBodySize() {
    OS::Trace t("Footer::RawBodySize()");
    if (m_rawBodySize == 0) {
        std::uint64_t size = 0;
        for (std::size_t i = 0; FooterEntry* entry = Entry(i); ++i)
            size += entry->EncodingSize();
        if (size + kMacSize > kMaxLength)
            throw FooterEntry::Err();
        m_rawBodySize = std::uint32_t(size);
    }
    return m_rawBodySize;
}

void Footer::SizeChanged(FooterEntry* entry) {
    m_rawBodySize = 0;
    if (entry)
        entry->SizeChanged();
}

const KeySet& Footer::Keys() const {
    if (!m_keys || !m_keys->MacKey())
        throw KeySet::Err();
    return *m_keys;
}

void Footer::MakeRawEncoding() {
    OS::Trace t("Footer::MakeRawEncoding()");
    const std::uint32_t size = RawBodySize();
    CryptoPP::SecByteBlock body(size);
    CryptoPP::ArraySink sink(body.data(), body.size());
    for (std::size_t i = 0; FooterEntry* entry = Entry(i); ++i)
        entry->PutEncoding(sink);
    // A record that wrote other than it announced would shift every record after it.
    if (sink.TotalPutLength() != size)
        throw FooterEntry::Err();
    m_rawBody.swap(body);
}

CryptoPP::SecByteBlock Footer::ComputeMac(const CryptoPP::byte* data, std::size_t size) const {
    const KeySet& keys = Keys();
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(keys.MacKey()->data(), keys.MacKey()->size());
    CryptoPP::SecByteBlock mac(kMacSize);
    hmac.CalculateDigest(mac.data(), data, size);
    return mac;
}

void Footer::CreateMac() {
    OS::Trace t("Footer::CreateMac()");
    m_mac = ComputeMac(m_rawBody.data(), m_rawBody.size());
}

void Footer::PutEncoding(CryptoPP::BufferedTransformation& sink) {
    OS::Trace t("Footer::PutEncoding()");
    PreEncodingHook();
    const KeySet& keys = Keys();
    const std::uint32_t plainSize = RawBodySize();
    const std::uint64_t length = std::uint64_t(EncodedBodySize(plainSize)) + kMacSize;
    if (length > kMaxLength)
        throw FooterEntry::Err();
    sink.PutWord32(std::uint32_t(length) | m_kind, CryptoPP::BIG_ENDIAN_ORDER);

    // The body is encoded, MAC'd and transformed a piece at a time: a directory of many files
    // is never held whole, nor twice.
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(keys.MacKey()->data(), keys.MacKey()->size());
    const std::unique_ptr<CryptoPP::BufferedTransformation> body =
        BodyWriter(new CryptoPP::Redirector(sink, CryptoPP::Redirector::DATA_ONLY));
    CryptoPP::SecByteBlock piece(kPieceSize);
    std::size_t used = 0;
    std::uint64_t total = 0;
    const auto flush = [&] {
        hmac.Update(piece.data(), used);
        body->Put(piece.data(), used);
        total += used;
        used = 0;
    };
    for (std::size_t i = 0; FooterEntry* entry = Entry(i); ++i) {
        const std::uint32_t size = entry->EncodingSize();
        if (piece.size() - used < size)
            flush();
        CryptoPP::ArraySink out(piece.data() + used, size);
        entry->PutEncoding(out);
        // A record that wrote other than it announced would shift every record after it.
        if (out.TotalPutLength() != size)
            throw FooterEntry::Err();
        used += size;
    }
    flush();
    if (total != plainSize)
        throw FooterEntry::Err();
    body->MessageEnd();
    m_mac.New(kMacSize);
    hmac.Final(m_mac.data());
    sink.Put(m_mac.data(), m_mac.size());
    m_rawBody.New(0);
    m_rawBodySize = 0;
}

std::uint32_t Footer::EncodedBodySize(std::uint32_t plainSize) const {
    return plainSize;
}

std::unique_ptr<CryptoPP::BufferedTransformation> Footer::BodyWriter(
    CryptoPP::BufferedTransformation* out) const {
    return std::unique_ptr<CryptoPP::BufferedTransformation>(out);
}

void Footer::ReadEncoding(CryptoPP::BufferedTransformation& source, std::uint32_t n) {
    OS::Trace t("Footer::ReadEncoding()");
    // The length is untrusted: nothing is allocated before the bytes are known to be there.
    if (n < kMacSize || n > kMaxLength || source.MaxRetrievable() < n)
        throw Err("Corrupt input file");
    CryptoPP::SecByteBlock body(n - kMacSize);
    std::size_t done = 0;
    while (done < body.size()) {
        const std::size_t piece = std::min<std::size_t>(body.size() - done, 65536);
        if (source.Get(body.data() + done, piece) != piece)
            throw Err("Corrupt input file");
        done += piece;
    }
    CryptoPP::SecByteBlock mac(kMacSize);
    if (source.Get(mac.data(), mac.size()) != mac.size())
        throw Err("Corrupt input file");
    m_rawBody.swap(body);
    m_mac.swap(mac);
    m_rawBodySize = 0;
}

void Footer::VerifyMac() {
    OS::Trace t("Footer::VerifyMac()");
    VerifyMacOf(m_rawBody.data(), m_rawBody.size());
}

void Footer::VerifyMacOf(const CryptoPP::byte* data, std::size_t size) {
    CryptoPP::SecByteBlock fresh = ComputeMac(data, size);
    if (fresh.size() != m_mac.size() ||
        !CryptoPP::VerifyBufsEqual(fresh.data(), m_mac.data(), m_mac.size()))
        throw Err("Footer MAC mismatch");
    m_mac.swap(fresh);
}

void Footer::ReleaseBody() {
    OS::Trace t("Footer::ReleaseBody()");
    m_rawBody.New(0);
    m_rawBodySize = 0;
}

}  // namespace FCryptEng
