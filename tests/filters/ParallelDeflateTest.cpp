#include "filters/ParallelDeflate.h"

#include <cryptopp/zlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PipelineRecorder.h"
#include "SampleData.h"
#include "ZlibReference.h"
#include "filters/ProgressFilter.h"
#include "filters/Zlib.h"

// While set, array allocations of a block's size fail on every thread but this one: how a
// worker that runs out of memory is seen.
std::atomic<bool> g_failWorkerArrays{false};
std::thread::id g_caller;

void* operator new[](std::size_t size) {
    if (g_failWorkerArrays && size >= 100000 && std::this_thread::get_id() != g_caller)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using cryvan_test::Bytes;
using cryvan_test::Compress2;
using cryvan_test::CryptoppDecompress;
using cryvan_test::ThroughAHardFlush;

using CryptoP2::ParallelDeflater;
using cryvan_test::Pattern;
using cryvan_test::PipelineRecorder;
using cryvan_test::PutInPieces;
using cryvan_test::RandomBytes;
using cryvan_test::Text;
using Pieces = std::vector<std::size_t>;

constexpr std::size_t kBlock = ParallelDeflater::kBlockSize;

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

// Records like PipelineRecorder, but its put number `failAt` (from 1) throws; 0 never.
class FailingSink : public PipelineRecorder {
  public:
    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override {
        if (++puts == failAt)
            throw std::runtime_error("sink failed");
        return PipelineRecorder::Put2(inString, length, messageEnd, blocking);
    }
    std::size_t puts = 0, failAt = 0;
};

TEST(ParallelDeflater, AFailureFurtherOnReachesTheCallerAndTheNextMessageStartsAfresh) {
    const std::string data = Text(20 * kBlock + 3, 6), next = Text(3 * kBlock, 7);
    const std::string expected = Deflate(next);
    FailingSink whole;
    PutInPieces(*std::make_unique<ParallelDeflater>(new CryptoPP::Redirector(whole)), data, {});
    const std::size_t puts = whole.puts;
    // The header, the first block, one in the middle, the Adler-32, the end of the message.
    for (std::size_t failAt : {std::size_t(1), std::size_t(2), puts / 2, puts - 1, puts}) {
        for (unsigned workers : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(failAt) + ". put of " + std::to_string(puts) + " fails, " +
                         std::to_string(workers) + " workers");
            FailingSink sink;
            sink.failAt = failAt;
            ParallelDeflater deflater(new CryptoPP::Redirector(sink), workers);
            EXPECT_THROW(PutInPieces(deflater, data, Pieces(40, 65536)), std::runtime_error);
            ASSERT_EQ(sink.puts, failAt);
            sink.events.clear();
            PutInPieces(deflater, next, {});
            EXPECT_EQ(sink.AllBytes(), expected);
        }
    }
}

TEST(ParallelDeflater, AWorkersFailureReachesTheCaller) {
    const std::string data = Text(4 * kBlock, 12);
    const std::string expected = Deflate(data);
    PipelineRecorder rec;
    ParallelDeflater deflater(new CryptoPP::Redirector(rec), 2);
    g_caller = std::this_thread::get_id();
    g_failWorkerArrays = true;
    EXPECT_THROW(PutInPieces(deflater, data, {}), std::bad_alloc);
    g_failWorkerArrays = false;
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 0u);
    EXPECT_EQ(Through(deflater, rec, data, {}), expected);
}

TEST(ParallelDeflater, ACancelFurtherOnStopsTheMessage) {
    OS::ProgressWord count{0};
    OS::CancelFlag cancel{1};
    ParallelDeflater deflater(new CryptoP2::ProgressFilter(&count, &cancel, nullptr, 0, nullptr, 0,
                                                           new CryptoPP::BitBucket));
    const std::string data = Text(10 * kBlock, 8);
    EXPECT_THROW(deflater.Put(Bytes(data), data.size()),
                 CryptoP2::ProgressFilter::OperationTerminated);
}

TEST(ParallelDeflater, CanBeDestroyedMidMessage) {
    const std::string data = Text(10 * kBlock + 1, 9);
    for (unsigned workers : {1u, 2u, 4u}) {
        PipelineRecorder rec;
        auto deflater = std::make_unique<ParallelDeflater>(new CryptoPP::Redirector(rec), workers);
        deflater->Put(Bytes(data), data.size());
        deflater.reset();
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 0u);
    }
}

TEST(ParallelDeflater, HardFlushMakesEverythingSoFarReadable) {
    const std::string first = Text(2 * kBlock + 5000, 10), second = Text(kBlock + 7000, 11);
    PipelineRecorder rec;
    ParallelDeflater deflater(new CryptoPP::Redirector(rec));
    const std::string stream = ThroughAHardFlush(deflater, rec, first, second);
    EXPECT_EQ(Uncompress(stream, first.size() + second.size()), first + second);
}

TEST(ParallelDeflater, NonBlockingPutsAreRefused) {
    ParallelDeflater deflater;
    const CryptoPP::byte one = 'x';
    EXPECT_THROW(deflater.Put2(&one, 1, 0, false),
                 CryptoPP::BufferedTransformation::BlockingInputOnly);
    EXPECT_THROW(deflater.Flush(true, -1, false),
                 CryptoPP::BufferedTransformation::BlockingInputOnly);
}

}  // namespace
