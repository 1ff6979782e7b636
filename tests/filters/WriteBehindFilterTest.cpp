// Writing on a worker: the blocks that arrive downstream, their order and the end of the message
// are those of a BufferingFilter, with or without a worker, and a failure downstream reaches the
// caller.
#include "filters/WriteBehindFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PipelineRecorder.h"
#include "filters/BufferingFilter.h"

namespace {

using cryvan_test::PipelineRecorder;

// A sink that fails on its n-th put of data, as a full disk would.
class FailingSink : public PipelineRecorder {
  public:
    explicit FailingSink(int failAt) : m_left(failAt) {}
    size_t Put2(const CryptoPP::byte* in, size_t n, int messageEnd, bool blocking) override {
        if (n > 0 && --m_left == 0)
            throw std::runtime_error("write failed");
        return PipelineRecorder::Put2(in, n, messageEnd, blocking);
    }

  private:
    int m_left;
};

TEST(WriteBehindFilter, PassesTheBlocksABufferingFilterWouldWhateverTheSplit) {
    const std::string data = cryvan_test::Pattern(5 * 65536 + 1234);
    const std::vector<std::vector<std::size_t>> splits = {
        {}, {1, 65535, 65536, 3}, {65536, 65536, 65536, 65536, 65536}, {70000, 0, 200000}};
    CryptoP2::PipelineWorker worker;
    for (const auto& pieces : splits) {
        PipelineRecorder expected;
        {
            CryptoP2::BufferingFilter buffering(65536, new CryptoPP::Redirector(expected));
            cryvan_test::PutInPieces(buffering, data, pieces);
        }
        for (CryptoP2::PipelineWorker* w :
             {&worker, static_cast<CryptoP2::PipelineWorker*>(nullptr)}) {
            SCOPED_TRACE(::testing::Message() << pieces.size() << " pieces, worker " << !!w);
            PipelineRecorder rec;
            CryptoP2::WriteBehindFilter filter(w, new CryptoPP::Redirector(rec));
            cryvan_test::PutInPieces(filter, data, pieces);
            // Everything has arrived by the time MessageEnd returns.
            EXPECT_EQ(rec.AllBytes(), data);
            std::vector<std::size_t> full = expected.DataLengths();
            std::vector<std::size_t> got = rec.DataLengths();
            // An empty last put carries no data: only the non-empty blocks must agree.
            full.erase(std::remove(full.begin(), full.end(), 0u), full.end());
            got.erase(std::remove(got.begin(), got.end(), 0u), got.end());
            EXPECT_EQ(got, full);
            EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
            EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
        }
    }
}

TEST(WriteBehindFilter, AWorkerTakenOnMidStreamKeepsTheOrder) {
    // As a run does when its first large file comes after small ones.
    const std::string data = cryvan_test::Pattern(300000);
    CryptoP2::PipelineWorker worker;
    PipelineRecorder rec;
    CryptoP2::WriteBehindFilter filter(nullptr, new CryptoPP::Redirector(rec));
    const auto* p = reinterpret_cast<const CryptoPP::byte*>(data.data());
    filter.Put(p, 100000);
    filter.SetWorker(&worker);
    filter.Put(p + 100000, 150000);
    filter.Flush(true);
    EXPECT_EQ(rec.AllBytes(), data.substr(0, 250000));
    filter.Put(p + 250000, 50000);
    filter.MessageEnd();
    EXPECT_EQ(rec.AllBytes(), data);
}

TEST(WriteBehindFilter, AFailureDownstreamIsRaisedOnTheCallersThread) {
    const std::string data = cryvan_test::Pattern(20 * 65536);
    CryptoP2::PipelineWorker worker;
    for (int failAt : {1, 3, 20}) {
        SCOPED_TRACE(failAt);
        FailingSink sink(failAt);
        CryptoP2::WriteBehindFilter filter(&worker, new CryptoPP::Redirector(sink));
        EXPECT_THROW(cryvan_test::PutInPieces(filter, data, std::vector<std::size_t>(20, 65536)),
                     std::runtime_error);
        // Nothing after the failed block reaches the sink, and the message never ends.
        EXPECT_EQ(sink.AllBytes(), data.substr(0, std::size_t(failAt - 1) * 65536));
        EXPECT_EQ(sink.Count(PipelineRecorder::MessageEnd), 0u);
    }
    // The worker goes on serving.
    PipelineRecorder rec;
    CryptoP2::WriteBehindFilter filter(&worker, new CryptoPP::Redirector(rec));
    EXPECT_NO_THROW(cryvan_test::PutInPieces(filter, data, {}));
    EXPECT_EQ(rec.AllBytes(), data);
}

// A sink that takes its time over each put and counts them.
class SlowSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
  public:
    explicit SlowSink(std::atomic<int>& puts) : m_puts(puts) {}
    size_t Put2(const CryptoPP::byte*, size_t n, int, bool) override {
        if (n > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++m_puts;
        }
        return 0;
    }

  private:
    std::atomic<int>& m_puts;
};

TEST(WriteBehindFilter, DestroyedMidMessageItWaitsForTheWorker) {
    // The attachment goes with the filter: the worker must be done with it first.
    const std::string data = cryvan_test::Pattern(10 * 65536);
    CryptoP2::PipelineWorker worker(4);
    std::atomic<int> puts{0};
    {
        CryptoP2::WriteBehindFilter filter(&worker, new SlowSink(puts));
        filter.Put(reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    }
    // Nine full blocks were handed over; the tenth waited for a byte that never came.
    EXPECT_EQ(puts.load(), 9);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(puts.load(), 9);
}

}  // namespace
