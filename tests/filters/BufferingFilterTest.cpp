#include "filters/BufferingFilter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PipelineRecorder.h"

namespace {

using cryvan_test::PipelineRecorder;
using Lengths = std::vector<std::size_t>;

TEST(BufferingFilter, FullBlockWaitsForNextPutOrMessageEnd) {
    PipelineRecorder rec;
    CryptoP2::BufferingFilter filter(65536, new CryptoPP::Redirector(rec));
    const std::string data = cryvan_test::Pattern(100000);

    filter.Put(reinterpret_cast<const CryptoPP::byte*>(data.data()), 65536);
    EXPECT_TRUE(rec.events.empty());

    filter.Put(reinterpret_cast<const CryptoPP::byte*>(data.data()) + 65536, 34464);
    EXPECT_EQ(rec.DataLengths(), Lengths({65536}));

    filter.MessageEnd();
    EXPECT_EQ(rec.DataLengths(), Lengths({65536, 34464}));
    ASSERT_EQ(rec.events.size(), 3u);
    EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
    EXPECT_EQ(rec.AllBytes(), data);
}

TEST(BufferingFilter, EmptyMessageGivesEmptyPutThenMessageEnd) {
    PipelineRecorder rec;
    CryptoP2::BufferingFilter filter(65536, new CryptoPP::Redirector(rec));
    filter.MessageEnd();
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[0].kind, PipelineRecorder::Data);
    EXPECT_EQ(rec.events[0].bytes.size(), 0u);
    EXPECT_EQ(rec.events[1].kind, PipelineRecorder::MessageEnd);
}

// Whatever the pieces, every block but a message's last is exactly the buffer size.
TEST(BufferingFilter, BlocksDoNotDependOnHowInputIsSplit) {
    struct Case {
        std::uint32_t size;
        std::size_t total;
        Lengths pieces;
        Lengths expected;
    };
    const Case cases[] = {
        {65536, 200000, {}, {65536, 65536, 65536, 3392}},
        {65536, 200000, {1, 7, 65536}, {65536, 65536, 65536, 3392}},
        {65536, 200000, {65536, 65536, 65536}, {65536, 65536, 65536, 3392}},
        {65536, 131072, {1, 7, 65536, 0, 65527}, {65536, 65536}},
        {10, 35, {1, 7, 2, 1, 24}, {10, 10, 10, 5}},
        {10, 30, {10, 10, 10}, {10, 10, 10}},
        {1, 3, {1, 1}, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + ", " + std::to_string(c.total) +
                     " bytes, " + std::to_string(c.pieces.size()) + " pieces");
        PipelineRecorder rec;
        CryptoP2::BufferingFilter filter(c.size, new CryptoPP::Redirector(rec));
        const std::string data = cryvan_test::Pattern(c.total);
        cryvan_test::PutInPieces(filter, data, c.pieces);
        EXPECT_EQ(rec.DataLengths(), c.expected);
        EXPECT_EQ(rec.AllBytes(), data);
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
        EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
    }
}

TEST(BufferingFilter, FlushPassesGatheredBytesThenFlush) {
    PipelineRecorder rec;
    CryptoP2::BufferingFilter filter(64, new CryptoPP::Redirector(rec));
    const std::string data = cryvan_test::Pattern(10);
    filter.Put(reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    filter.Flush(true);
    filter.Flush(true);

    ASSERT_EQ(rec.events.size(), 4u);
    EXPECT_EQ(rec.events[0].bytes, data);
    EXPECT_EQ(rec.events[1].kind, PipelineRecorder::Flush);
    EXPECT_EQ(rec.events[2].kind, PipelineRecorder::Data);
    EXPECT_EQ(rec.events[2].bytes.size(), 0u);
    EXPECT_EQ(rec.events[3].kind, PipelineRecorder::Flush);
}

TEST(BufferingFilter, ZeroSizeIsRejected) {
    EXPECT_THROW(CryptoP2::BufferingFilter(0), std::invalid_argument);
}

}  // namespace
