// A pipeline end that records every call it receives, in order, for tests of the stages.
#pragma once

#include <cryptopp/simple.h>

#include <string>
#include <vector>

namespace cryvan_test {

class PipelineRecorder : public CryptoPP::Bufferless<CryptoPP::Sink> {
  public:
    enum Kind { Data, MessageEnd, Flush };
    struct Event {
        Kind kind;
        std::string bytes;  // Data only; may be empty
    };

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override {
        CRYPTOPP_UNUSED(blocking);
        // A bare end-of-message arrives as a put of nothing with messageEnd set.
        if (length > 0 || !messageEnd)
            events.push_back({Data, std::string(reinterpret_cast<const char*>(inString), length)});
        if (messageEnd)
            events.push_back({MessageEnd, {}});
        return 0;
    }
    bool IsolatedFlush(bool hardFlush, bool blocking) override {
        CRYPTOPP_UNUSED(hardFlush);
        CRYPTOPP_UNUSED(blocking);
        events.push_back({Flush, {}});
        return false;
    }

    std::string AllBytes() const {
        std::string all;
        for (const Event& e : events)
            all += e.bytes;
        return all;
    }
    std::vector<std::size_t> DataLengths() const {
        std::vector<std::size_t> lengths;
        for (const Event& e : events) {
            if (e.kind == Data)
                lengths.push_back(e.bytes.size());
        }
        return lengths;
    }
    std::size_t Count(Kind kind) const {
        std::size_t n = 0;
        for (const Event& e : events)
            n += e.kind == kind;
        return n;
    }

    std::vector<Event> events;
};

// Bytes 0, 1, 2, ... wrapping at 251 so that a shifted or repeated block shows.
inline std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>(i % 251);
    return s;
}

// Feeds `data` to `target` in pieces of the given sizes (the rest in one last piece), then ends
// the message.
inline void PutInPieces(CryptoPP::BufferedTransformation& target, const std::string& data,
                        const std::vector<std::size_t>& pieces) {
    const auto* p = reinterpret_cast<const CryptoPP::byte*>(data.data());
    std::size_t at = 0;
    for (std::size_t piece : pieces) {
        if (at + piece > data.size())
            break;
        target.Put(p + at, piece);
        at += piece;
    }
    target.Put(p + at, data.size() - at);
    target.MessageEnd();
}

}  // namespace cryvan_test
