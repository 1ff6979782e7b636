#include "filters/ParallelDeflate.h"

#include <cryptopp/zlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PipelineRecorder.h"
#include "SampleData.h"
#include "filters/ProgressFilter.h"
#include "filters/Zlib.h"

namespace {

using CryptoP2::ParallelDeflater;
using cryvan_test::Pattern;
using cryvan_test::PipelineRecorder;
using cryvan_test::PutInPieces;
using cryvan_test::RandomBytes;
using cryvan_test::Text;
using Pieces = std::vector<std::size_t>;

constexpr std::size_t kBlock = ParallelDeflater::kBlockSize;

const CryptoPP::byte* Bytes(const std::string& s) {
    return reinterpret_cast<const CryptoPP::byte*>(s.data());
}

std::string Compress2(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &size, Bytes(data),
                        static_cast<uLong>(data.size()), 6),
              Z_OK);
    out.resize(size);
    return out;
}

// Plain zlib, told the size to expect; it checks the Adler-32 itself.
std::string Uncompress(const std::string& stream, std::size_t size) {
    std::string out(size + 1, '\0');
    uLongf length = static_cast<uLongf>(out.size());
    const int ret = uncompress(reinterpret_cast<Bytef*>(&out[0]), &length, Bytes(stream),
                               static_cast<uLong>(stream.size()));
    EXPECT_EQ(ret, Z_OK);
    out.resize(ret == Z_OK ? length : 0);
    return out;
}

std::string Inflate(const std::string& stream) {
    std::string out;
    CryptoP2::ZlibInflater inflater(new CryptoPP::StringSink(out));
    inflater.Put(Bytes(stream), stream.size());
    inflater.MessageEnd();
    return out;
}

std::string CryptoppDecompress(const std::string& stream) {
    std::string out;
    CryptoPP::StringSource source(stream, true,
                                  new CryptoPP::ZlibDecompressor(new CryptoPP::StringSink(out)));
    return out;
}

// One message through the deflater in the given pieces: it ends once, in puts of at most one
// block of the pipeline.
std::string Through(ParallelDeflater& deflater, PipelineRecorder& rec, const std::string& data,
                    const Pieces& pieces) {
    rec.events.clear();
    PutInPieces(deflater, data, pieces);
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
    EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
    for (std::size_t length : rec.DataLengths())
        EXPECT_LE(length, 65536u);
    return rec.AllBytes();
}

std::string Deflate(const std::string& data, unsigned workers = 2) {
    PipelineRecorder rec;
    ParallelDeflater deflater(new CryptoPP::Redirector(rec), workers);
    return Through(deflater, rec, data, {});
}

TEST(ParallelDeflater, EveryReaderGetsTheInputBackWhateverTheSplitAndThreads) {
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"empty", ""},
        {"1 byte", "x"},
        {"one block", Text(kBlock, 1)},
        {"one block and 1 byte", Text(kBlock + 1, 2)},
        {"several blocks of text", Text(5 * kBlock + 4321, 3)},
        {"random", RandomBytes(3 * kBlock + 17, 4)},
        {"repetitive", Pattern(12 * kBlock + 5)},
    };
    const Pieces splits[] = {{}, {1, 7, 65536, kBlock - 1, kBlock + 1}, Pieces(4000, 4099)};
    // One deflater per thread count for every message: each must start afresh after an end.
    std::vector<std::unique_ptr<PipelineRecorder>> recs;
    std::vector<std::unique_ptr<ParallelDeflater>> deflaters;
    for (unsigned workers : {1u, 2u, 3u}) {
        recs.push_back(std::make_unique<PipelineRecorder>());
        deflaters.push_back(
            std::make_unique<ParallelDeflater>(new CryptoPP::Redirector(*recs.back()), workers));
        EXPECT_EQ(deflaters.back()->Workers(), workers);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stream = Deflate(c.data);
        ASSERT_GE(stream.size(), 6u);
        // Deflate, 32 KiB window, no preset dictionary for inflate to ask for.
        EXPECT_EQ(stream.substr(0, 2), "\x78\x9C");
        EXPECT_EQ(Uncompress(stream, c.data.size()), c.data);
        EXPECT_EQ(Inflate(stream), c.data);
        EXPECT_EQ(CryptoppDecompress(stream), c.data);
        // Up to one block, the calling thread makes exactly what serial zlib makes.
        if (c.data.size() <= kBlock) {
            EXPECT_EQ(stream, Compress2(c.data));
        }
        for (std::size_t k = 0; k < deflaters.size(); ++k) {
            for (const Pieces& pieces : splits) {
                SCOPED_TRACE(std::to_string(k + 1) + " workers, " + std::to_string(pieces.size()) +
                             " pieces");
                EXPECT_EQ(Through(*deflaters[k], *recs[k], c.data, pieces), stream);
            }
        }
    }
}

TEST(ParallelDeflater, TextCompressesAlmostAsWellAsSerialZlib) {
    const std::string text = Text(64 * kBlock, 5);
    // Measured 1.0008: each block restarts its codes and ends with a 4-byte marker.
    EXPECT_LT(double(Deflate(text).size()), 1.003 * double(Compress2(text).size()));
}

}  // namespace
