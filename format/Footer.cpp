#include "format/Footer.h"

#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/misc.h>
#include <cryptopp/sha.h>

#include <algorithm>

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

CryptoPP::SecByteBlock Footer::ComputeMac() const {
    const KeySet& keys = Keys();
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(keys.MacKey()->data(), keys.MacKey()->size());
    CryptoPP::SecByteBlock mac(kMacSize);
    hmac.CalculateDigest(mac.data(), m_rawBody.data(), m_rawBody.size());
    return mac;
}

void Footer::CreateMac() {
    OS::Trace t("Footer::CreateMac()");
    m_mac = ComputeMac();
}

void Footer::PutEncoding(CryptoPP::BufferedTransformation& sink) {
    OS::Trace t("Footer::PutEncoding()");
    PreEncodingHook();
    MakeRawEncoding();
    CreateMac();
    PostEncodingHook();
    const std::uint64_t length = std::uint64_t(m_rawBody.size()) + kMacSize;
    if (length > kMaxLength)
        throw FooterEntry::Err();
    sink.PutWord32(std::uint32_t(length) | m_kind, CryptoPP::BIG_ENDIAN_ORDER);
    sink.Put(m_rawBody.data(), m_rawBody.size());
    sink.Put(m_mac.data(), m_mac.size());
    m_rawBody.New(0);
    m_rawBodySize = 0;
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
    CryptoPP::SecByteBlock fresh = ComputeMac();
    if (fresh.size() != m_mac.size() ||
        !CryptoPP::VerifyBufsEqual(fresh.data(), m_mac.data(), m_mac.size()))
        throw Err("Footer MAC mismatch");
    m_mac.swap(fresh);
}

}  // namespace FCryptEng
