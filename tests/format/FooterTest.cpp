#include "format/Footer.h"

#include <cryptopp/filters.h>
#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using FCryptEng::Footer;
using FCryptEng::FooterEntry;
using FCryptEng::KeySet;

// A record whose body is whatever the test puts in it.
class BlobEntry : public FooterEntry {
  public:
    BlobEntry(std::uint16_t tag, std::string body) : m_body(std::move(body)), m_tag(tag) {}
    std::uint16_t Tag() const override { return m_tag; }
    std::uint32_t CalcBodySize() const override { return std::uint32_t(m_body.size()); }
    void PutBody(CryptoPP::BufferedTransformation& sink) const override {
        sink.Put(reinterpret_cast<const CryptoPP::byte*>(m_body.data()), m_body.size());
    }
    std::string m_body;

  private:
    std::uint16_t m_tag;
};

class BlobFooter : public Footer {
  public:
    BlobFooter() : Footer(0x8C000000) {}
    FooterEntry* Entry(std::size_t i) override {
        return i < m_entries.size() ? m_entries[i].get() : nullptr;
    }
    std::vector<std::unique_ptr<BlobEntry>> m_entries;
};

std::string Encode(FooterEntry& e) {
    std::string out;
    CryptoPP::StringSink sink(out);
    e.PutEncoding(sink);
    return out;
}

TEST(FooterEntry, EmptyBodyIsFourBytesAndSizeIsCachedUntilChanged) {
    BlobEntry e(0x8C14, "");
    EXPECT_EQ(Encode(e), std::string("\x8C\x14\x00\x00", 4));

    BlobEntry f(0x25DE, "abc");
    EXPECT_EQ(f.EncodingSize(), 7u);
    f.m_body = "abcdef";
    EXPECT_EQ(f.EncodingSize(), 7u);  // cached
    f.SizeChanged();
    EXPECT_EQ(f.EncodingSize(), 10u);
    EXPECT_EQ(Encode(f), std::string("\x25\xDE\x00\x06"
                                     "abcdef",
                                     10));
}

TEST(FooterEntry, BodyBeyondSixteenBitsIsRefusedNotWrapped) {
    BlobEntry e(0x25DE, std::string(65536, 'x'));
    EXPECT_THROW(e.EncodingSize(), FooterEntry::Err);
    BlobEntry max(0x25DE, std::string(65535, 'x'));
    EXPECT_EQ(max.EncodingSize(), 65539u);
}

TEST(Footer, FramingMacAndVerification) {
    KeySet keys(true);
    BlobFooter footer;
    footer.m_entries.push_back(std::make_unique<BlobEntry>(0x8C14, "hello"));
    footer.SetKeys(&keys);
    std::string out;
    CryptoPP::StringSink sink(out);
    footer.PutEncoding(sink);

    // Word: kind | (body + MAC); then body; then HMAC-SHA-256 of the body.
    const std::string body("\x8C\x14\x00\x05hello", 9);
    ASSERT_EQ(out.size(), 4 + body.size() + 32);
    EXPECT_EQ(out.substr(0, 4), std::string("\x8C\x00\x00\x29", 4));
    EXPECT_EQ(out.substr(4, body.size()), body);
    std::string mac;
    CryptoPP::HMAC<CryptoPP::SHA256> hmac(keys.MacKey()->data(), keys.MacKey()->size());
    CryptoPP::StringSource(body, true,
                           new CryptoPP::HashFilter(hmac, new CryptoPP::StringSink(mac)));
    EXPECT_EQ(out.substr(4 + body.size()), mac);

    BlobFooter read;
    CryptoPP::StringSource src(out.substr(4), true);
    read.ReadEncoding(src, 0x29);
    read.SetKeys(&keys);
    EXPECT_NO_THROW(read.VerifyMac());

    KeySet other(true);
    read.SetKeys(&other);
    try {
        read.VerifyMac();
        FAIL() << "no exception";
    } catch (const Footer::Err& e) {
        EXPECT_STREQ(e.what(), "Footer MAC mismatch");
    }
    // The stored MAC is kept, so the right keys still verify.
    read.SetKeys(&keys);
    EXPECT_NO_THROW(read.VerifyMac());
}

TEST(Footer, ReadEncodingTrustsNoLength) {
    const std::string bytes(100, 'x');
    for (std::uint32_t n : {0u, 31u, 101u, 0x00FFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(n);
        BlobFooter f;
        CryptoPP::StringSource src(bytes, true);
        EXPECT_THROW(f.ReadEncoding(src, n), Footer::Err);
    }
    BlobFooter f;
    CryptoPP::StringSource src(bytes, true);
    f.ReadEncoding(src, 100);
    EXPECT_EQ(f.RawBody().size(), 68u);
}

}  // namespace
