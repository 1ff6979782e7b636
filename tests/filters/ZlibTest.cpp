#include "filters/Zlib.h"

#include <cryptopp/zlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PipelineRecorder.h"
#include "SampleData.h"
#include "ZlibReference.h"

namespace {

using cryvan_test::Bytes;
using cryvan_test::Compress2;
using cryvan_test::CryptoppDecompress;
using cryvan_test::ThroughAHardFlush;

using cryvan_test::PipelineRecorder;
using cryvan_test::PutInPieces;
using cryvan_test::RandomBytes;
using cryvan_test::Text;
using Pieces = std::vector<std::size_t>;

std::string CryptoppCompress(const std::string& data) {
    std::string out;
    CryptoPP::StringSource source(data, true,
                                  new CryptoPP::ZlibCompressor(new CryptoPP::StringSink(out), 6));
    return out;
}

// Runs one message through the filter in the given pieces and checks that it ends once, with no
// put larger than one output block.
std::string Through(CryptoPP::Filter& filter, PipelineRecorder& rec, const std::string& data,
                    const Pieces& pieces) {
    rec.events.clear();
    PutInPieces(filter, data, pieces);
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
    EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
    for (std::size_t length : rec.DataLengths())
        EXPECT_LE(length, 65536u);
    return rec.AllBytes();
}

std::vector<Pieces> Splits(std::size_t size) {
    return {{}, {1, 7, 65536}, Pieces(size / 7, 7)};
}

TEST(Zlib, RoundTripEqualsOneShotDeflateWhateverTheSplit) {
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"1 byte", "x"},
        {"1023 bytes", Text(1023, 1)},
        {"1024 bytes", RandomBytes(1024, 2)},
        {"100 KB random", RandomBytes(100000, 3)},
        {"1 MB text", Text(1000000, 4)},
    };
    // One deflater and one inflater for every message: each must start afresh after an end.
    PipelineRecorder deflated, inflated;
    CryptoP2::ZlibDeflater deflater(new CryptoPP::Redirector(deflated));
    CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(inflated));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = Compress2(c.data);
        for (const Pieces& pieces : Splits(c.data.size())) {
            SCOPED_TRACE(std::to_string(pieces.size()) + " pieces in");
            EXPECT_EQ(Through(deflater, deflated, c.data, pieces), expected);
        }
        for (const Pieces& pieces : Splits(expected.size())) {
            SCOPED_TRACE(std::to_string(pieces.size()) + " pieces out");
            EXPECT_EQ(Through(inflater, inflated, expected, pieces), c.data);
        }
        // Either side of the stream may be the library's own.
        EXPECT_EQ(CryptoppDecompress(expected), c.data);
        EXPECT_EQ(Through(inflater, inflated, CryptoppCompress(c.data), {}), c.data);
    }
}

TEST(Zlib, EmptyInputIsTheEightByteEmptyStream) {
    const std::string empty = {'\x78', '\x9C', '\x03', '\x00', '\x00', '\x00', '\x00', '\x01'};
    PipelineRecorder rec;
    CryptoP2::ZlibDeflater deflater(new CryptoPP::Redirector(rec));
    deflater.Put2(nullptr, 0, -1, true);
    EXPECT_EQ(rec.AllBytes(), empty);
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
    EXPECT_EQ(CryptoppCompress(""), empty);

    PipelineRecorder out;
    CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(out));
    inflater.Put(Bytes(empty), empty.size());
    EXPECT_EQ(out.Count(PipelineRecorder::MessageEnd), 0u);
    inflater.Put2(nullptr, 0, -1, true);
    EXPECT_EQ(out.AllBytes(), "");
    EXPECT_EQ(out.Count(PipelineRecorder::MessageEnd), 1u);
}

TEST(ZlibInflater, DamagedStreamsRaiseTheirText) {
    const std::string good = Compress2(Text(20000, 5));
    auto flip = [](std::string s, std::size_t at) {
        s[at] = static_cast<char>(s[at] ^ 0x55);
        return s;
    };
    struct Case {
        const char* name;
        std::string stream;
        const char* text;
    };
    const Case cases[] = {
        {"flipped header byte", flip(good, 0), CryptoP2::ZlibInflater::kDamaged},
        {"flipped data byte", flip(good, good.size() / 2), CryptoP2::ZlibInflater::kDamaged},
        {"bad Adler-32", flip(good, good.size() - 1), CryptoP2::ZlibInflater::kDamaged},
        {"preset dictionary", std::string("\x78\xBB\x00\x00\x00\x01", 6) + good.substr(2),
         CryptoP2::ZlibInflater::kDamaged},
        {"truncated by one byte", good.substr(0, good.size() - 1),
         CryptoP2::ZlibInflater::kIncomplete},
        {"header only", good.substr(0, 2), CryptoP2::ZlibInflater::kIncomplete},
        {"nothing", "", CryptoP2::ZlibInflater::kIncomplete},
        {"one byte after the end", good + "x", CryptoP2::ZlibInflater::kTrailing},
        {"a second stream", good + good, CryptoP2::ZlibInflater::kTrailing},
    };
    for (const Case& c : cases) {
        for (const Pieces& pieces : {Pieces{}, Pieces(c.stream.size(), 1)}) {
            SCOPED_TRACE(std::string(c.name) + (pieces.empty() ? ", one put" : ", bytewise"));
            PipelineRecorder rec;
            CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(rec));
            try {
                PutInPieces(inflater, c.stream, pieces);
                ADD_FAILURE() << "no error";
            } catch (const CryptoP2::ZlibInflater::Err& e) {
                EXPECT_STREQ(e.what(), c.text);
            }
            EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 0u);
            // The next message is read from its first byte.
            rec.events.clear();
            PutInPieces(inflater, good, {});
            EXPECT_EQ(rec.AllBytes(), Text(20000, 5));
        }
    }
}

TEST(ZlibInflater, TrailingBytesInALaterPutAreRefused) {
    const std::string stream = Compress2("abc");
    PipelineRecorder rec;
    CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(rec));
    inflater.Put(Bytes(stream), stream.size());
    EXPECT_EQ(rec.AllBytes(), "abc");
    EXPECT_THROW(inflater.Put(Bytes(stream), 1), CryptoP2::ZlibInflater::Err);
}

// Counts what arrives without keeping it.
class CountingSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
  public:
    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override {
        CRYPTOPP_UNUSED(blocking);
        CRYPTOPP_UNUSED(messageEnd);
        total += length;
        largest = std::max(largest, length);
        nonZero = nonZero ||
                  std::any_of(inString, inString + length, [](CryptoPP::byte b) { return b != 0; });
        return 0;
    }
    std::size_t total = 0, largest = 0;
    bool nonZero = false;
};

TEST(ZlibInflater, HugeOutputComesBlockByBlock) {
    // 64 MiB of zeros deflate to about 64 KB.
    constexpr std::size_t kOut = std::size_t(64) << 20;
    PipelineRecorder bomb;
    {
        CryptoP2::ZlibDeflater deflater(new CryptoPP::Redirector(bomb));
        const std::string zeros(1 << 20, '\0');
        for (std::size_t done = 0; done < kOut; done += zeros.size())
            deflater.Put(Bytes(zeros), zeros.size());
        deflater.MessageEnd();
    }
    const std::string stream = bomb.AllBytes();
    ASSERT_LT(stream.size(), 100000u);

    CountingSink sink;
    CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(sink));
    inflater.Put(Bytes(stream), stream.size());
    inflater.MessageEnd();
    EXPECT_EQ(sink.total, kOut);
    EXPECT_LE(sink.largest, 65536u);
    EXPECT_FALSE(sink.nonZero);
}

TEST(ZlibInflater, AStatedSizeBoundsEachMessage) {
    // 64 MiB of zeros, stated as 10 bytes: refused at the first block that passes the size,
    // with nothing of that block passed on.
    PipelineRecorder bomb;
    {
        CryptoP2::ZlibDeflater deflater(new CryptoPP::Redirector(bomb));
        const std::string zeros(1 << 20, '\0');
        for (int i = 0; i < 64; ++i)
            deflater.Put(Bytes(zeros), zeros.size());
        deflater.MessageEnd();
    }
    const std::string stream = bomb.AllBytes();
    const std::string small = Compress2("0123456789");

    struct Case {
        const std::string* stream;
        std::uint64_t stated;
        const char* error;  // null: accepted
    } const cases[] = {
        {&small, 10, nullptr},
        {&small, 9, CryptoP2::ZlibInflater::kTooLong},
        {&small, 11, CryptoP2::ZlibInflater::kTooShort},
        {&stream, 10, CryptoP2::ZlibInflater::kTooLong},
        {&stream, std::uint64_t(64) << 20, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.stream->size()) + " stated " + std::to_string(c.stated));
        CountingSink sink;
        CryptoP2::ZlibInflater inflater(new CryptoPP::Redirector(sink));
        inflater.ExpectSize(c.stated);
        // Fed a kilobyte at a time: the refusal must come with the piece that passes the size,
        // not at the end of the stream.
        std::size_t fed = 0;
        try {
            for (; fed < c.stream->size(); fed += 1024)
                inflater.Put(Bytes(*c.stream) + fed,
                             std::min<std::size_t>(1024, c.stream->size() - fed));
            inflater.MessageEnd();
            EXPECT_EQ(c.error, nullptr);
            EXPECT_EQ(sink.total, c.stated);
        } catch (const CryptoP2::ZlibInflater::Err& e) {
            ASSERT_NE(c.error, nullptr) << e.what();
            EXPECT_STREQ(e.what(), c.error);
            EXPECT_LE(sink.total, c.stated);
            if (c.stream == &stream) {
                EXPECT_EQ(fed, 0u);
            }
        }
        // The next message starts afresh.
        inflater.ExpectSize(10);
        inflater.Put(Bytes(small), small.size());
        inflater.MessageEnd();
    }
}

TEST(ZlibDeflater, HardFlushMakesEverythingSoFarReadable) {
    const std::string first = Text(5000, 6), second = Text(7000, 7);
    PipelineRecorder rec;
    CryptoP2::ZlibDeflater deflater(new CryptoPP::Redirector(rec));
    EXPECT_EQ(CryptoppDecompress(ThroughAHardFlush(deflater, rec, first, second)), first + second);
}

TEST(Zlib, NonBlockingPutsAreRefused) {
    CryptoP2::ZlibDeflater deflater;
    CryptoP2::ZlibInflater inflater;
    const CryptoPP::byte one = 'x';
    for (CryptoPP::Filter* filter :
         {static_cast<CryptoPP::Filter*>(&deflater), static_cast<CryptoPP::Filter*>(&inflater)}) {
        EXPECT_THROW(filter->Put2(&one, 1, 0, false),
                     CryptoPP::BufferedTransformation::BlockingInputOnly);
        EXPECT_THROW(filter->Flush(true, -1, false),
                     CryptoPP::BufferedTransformation::BlockingInputOnly);
    }
}

TEST(ZlibDeflater, RefusesLevelsZlibDoesNotHave) {
    EXPECT_THROW(CryptoP2::ZlibDeflater(nullptr, 10), std::invalid_argument);
    EXPECT_THROW(CryptoP2::ZlibDeflater(nullptr, -2), std::invalid_argument);
}

}  // namespace
