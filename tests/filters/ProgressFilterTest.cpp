#include "filters/ProgressFilter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "PipelineRecorder.h"
#include "os/Logger.h"

namespace {

using CryptoP2::ProgressFilter;
using cryvan_test::PipelineRecorder;

const CryptoPP::byte* Raw(const std::string& s) {
    return reinterpret_cast<const CryptoPP::byte*>(s.data());
}

// The status words one progress filter writes, as the status record holds them.
struct Status {
    OS::ByteWord counter{0};
    OS::ProgressWord item{0};
    OS::ProgressWord overall{0};
    OS::CancelFlag cancel{0};
};

TEST(ProgressFilter, PercentagesTruncateAndReachTheEnd) {
    struct Case {
        std::uint64_t total;
        std::uint64_t counterStart;  // bytes counted before this item's first block
        std::uint32_t overallStart;
        std::uint32_t overallEnd;
        std::size_t block;
    };
    const Case cases[] = {
        {200000, 0, 20, 70, 65536},
        {3, 0, 0, 100, 1},
        {65537, 0, 99, 100, 65536},
        {4294967295u, 4294967295u - 70000, 0, 100, 65536},  // near the top of 32 bits
        {5ull << 30, (5ull << 30) - 70000, 10, 90, 65536},  // past them
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("total " + std::to_string(c.total));
        Status s;
        s.counter = c.counterStart;
        s.overall = c.overallStart;
        PipelineRecorder rec;
        ProgressFilter filter(&s.counter, &s.cancel, &s.item, c.total, &s.overall, c.overallEnd,
                              new CryptoPP::Redirector(rec));
        const std::string data = cryvan_test::Pattern(c.total - c.counterStart);
        for (std::size_t at = 0; at < data.size(); at += c.block) {
            const std::size_t n = std::min(c.block, data.size() - at);
            filter.Put(Raw(data) + at, n);
            const std::uint64_t count = s.counter.load();
            EXPECT_EQ(count, c.counterStart + at + n);
            EXPECT_EQ(s.item.load(), count * 100 / c.total);
            EXPECT_EQ(s.overall.load(),
                      c.overallStart + (c.overallEnd - c.overallStart) * count / c.total);
        }
        filter.MessageEnd();
        EXPECT_EQ(s.item.load(), 100u);
        EXPECT_EQ(s.overall.load(), c.overallEnd);
        EXPECT_EQ(rec.AllBytes(), data);
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
    }
}

TEST(ProgressFilter, SplitFeedMatchesOnePut) {
    const std::string data = cryvan_test::Pattern(70000);
    std::vector<std::string> outputs;
    std::vector<std::uint64_t> counters;
    for (const auto& pieces : std::vector<std::vector<std::size_t>>{{}, {1, 7, 65536}}) {
        Status s;
        PipelineRecorder rec;
        ProgressFilter filter(&s.counter, &s.cancel, &s.item, 70000, &s.overall, 100,
                              new CryptoPP::Redirector(rec));
        cryvan_test::PutInPieces(filter, data, pieces);
        outputs.push_back(rec.AllBytes());
        counters.push_back(s.counter.load());
        EXPECT_EQ(s.item.load(), 100u);
    }
    EXPECT_EQ(outputs[0], data);
    EXPECT_EQ(outputs[1], data);
    EXPECT_EQ(counters[0], 70000u);
    EXPECT_EQ(counters[1], 70000u);
}

TEST(ProgressFilter, CancelBeforeFirstBlockStopsWithNothingPassedOn) {
    std::ostringstream log;
    OS::Logger::Register(OS::LOG_INFO, &log);
    Status s;
    s.cancel = 1;
    PipelineRecorder rec;
    ProgressFilter filter(&s.counter, &s.cancel, &s.item, 1000, &s.overall, 100,
                          new CryptoPP::Redirector(rec));
    const std::string data = cryvan_test::Pattern(1000);
    try {
        filter.Put(Raw(data), data.size());
        ADD_FAILURE() << "no exception";
    } catch (const ProgressFilter::OperationTerminated& e) {
        EXPECT_STREQ(e.what(), "\"Operation terminated\"");
    }
    OS::Logger::Register(0, &log);

    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(s.counter.load(), 1000u);  // the stopped block is counted
    EXPECT_EQ(s.item.load(), 0u);
    EXPECT_NE(log.str().find("Throwing exception to terminate encryption process early"),
              std::string::npos);
}

TEST(ProgressFilter, CancelDuringRunStopsAtTheNextBlock) {
    Status s;
    PipelineRecorder rec;
    ProgressFilter filter(&s.counter, &s.cancel, &s.item, 300, &s.overall, 100,
                          new CryptoPP::Redirector(rec));
    const std::string data = cryvan_test::Pattern(300);
    filter.Put(Raw(data), 100);
    filter.Put(Raw(data) + 100, 100);
    s.cancel = 1;
    EXPECT_THROW(filter.Put(Raw(data) + 200, 100), ProgressFilter::OperationTerminated);
    EXPECT_EQ(rec.AllBytes(), data.substr(0, 200));
    EXPECT_EQ(s.item.load(), 66u);
}

TEST(ProgressFilter, EmptyBlocksStillCheckCancelAndKeepPercentages) {
    Status s;
    s.item = 42;
    s.overall = 17;
    PipelineRecorder rec;
    // An empty item: total 0, so the percentages are left as they were.
    ProgressFilter filter(&s.counter, &s.cancel, &s.item, 0, &s.overall, 90,
                          new CryptoPP::Redirector(rec));
    filter.Put(nullptr, 0);
    EXPECT_EQ(s.item.load(), 42u);
    EXPECT_EQ(s.overall.load(), 17u);
    EXPECT_EQ(rec.DataLengths(), std::vector<std::size_t>({0}));

    s.cancel = 1;
    EXPECT_THROW(filter.Put(nullptr, 0), ProgressFilter::OperationTerminated);
    EXPECT_THROW(filter.MessageEnd(), ProgressFilter::OperationTerminated);
}

TEST(ProgressFilter, CountingOnlyInstancePassesNoData) {
    OS::ByteWord counter{0};
    PipelineRecorder rec;
    {
        CryptoPP::StringSource source(cryvan_test::Pattern(100000), true,
                                      new ProgressFilter(&counter, nullptr, nullptr, 0, nullptr, 0,
                                                         new CryptoPP::Redirector(rec), false));
    }
    EXPECT_EQ(counter.load(), 100000u);
    EXPECT_EQ(rec.Count(PipelineRecorder::Data), 0u);
}

TEST(ProgressFilter, CounterGoesOnPast32Bits) {
    OS::ByteWord counter{0xFFFFFFF0u};
    ProgressFilter filter(&counter, nullptr, nullptr, 0, nullptr, 0, nullptr, false);
    const std::string data(32, 'x');
    filter.Put(Raw(data), data.size());
    EXPECT_EQ(counter.load(), 0x100000010u);
}

}  // namespace
