// What the compression tests hold our streams against: zlib's own one-shot deflate at level 6,
// and the library's own inflater.
#pragma once

#include <cryptopp/filters.h>
#include <cryptopp/zlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "PipelineRecorder.h"
#include "filters/Zlib.h"

namespace cryvan_test {

inline const CryptoPP::byte* Bytes(const std::string& s) {
    return reinterpret_cast<const CryptoPP::byte*>(s.data());
}

inline std::string Compress2(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&out[0]), &size, Bytes(data),
                        static_cast<uLong>(data.size()), 6),
              Z_OK);
    out.resize(size);
    return out;
}

inline std::string CryptoppDecompress(const std::string& data) {
    std::string out;
    CryptoPP::StringSource source(data, true,
                                  new CryptoPP::ZlibDecompressor(new CryptoPP::StringSink(out)));
    return out;
}

// Puts `first`, flushes hard and checks that what came out so far inflates to `first`; then puts
// `second` and ends the message. Returns the whole stream.
inline std::string ThroughAHardFlush(CryptoPP::Filter& deflater, PipelineRecorder& rec,
                                     const std::string& first, const std::string& second) {
    deflater.Put(Bytes(first), first.size());
    deflater.Flush(true);
    EXPECT_EQ(rec.Count(PipelineRecorder::Flush), 1u);

    PipelineRecorder partial;
    CryptoP2::ZlibInflater reader(new CryptoPP::Redirector(partial));
    const std::string sofar = rec.AllBytes();
    reader.Put(Bytes(sofar), sofar.size());
    EXPECT_EQ(partial.AllBytes(), first);

    deflater.Put(Bytes(second), second.size());
    deflater.MessageEnd();
    return rec.AllBytes();
}

}  // namespace cryvan_test
