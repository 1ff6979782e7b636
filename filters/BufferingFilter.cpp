#include "filters/BufferingFilter.h"

#include <cstring>
#include <stdexcept>

#include "os/Logger.h"

namespace CryptoP2 {
namespace {

std::uint32_t CheckedSize(std::uint32_t size) {
    // A zero-sized block could never be filled and would loop forever.
    if (size == 0)
        throw std::invalid_argument("BufferingFilter size must not be 0");
    return size;
}

}  // namespace

BufferingFilter::BufferingFilter(std::uint32_t size, CryptoPP::BufferedTransformation* attachment)
    : CryptoPP::Filter(attachment), m_size(CheckedSize(size)), m_buffer(size) {}

size_t BufferingFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                             bool blocking) {
    OS::Trace t("BufferingFilter::Put()");
    if (!blocking)
        throw BlockingInputOnly("BufferingFilter");
    // A full buffer waits for the next byte: the block it holds may be the message's last.
    while (length > m_size - m_used) {
        const std::size_t part = m_size - m_used;
        std::memcpy(m_buffer.data() + m_used, inString, part);
        inString += part;
        length -= part;
        m_used = 0;
        Output(0, m_buffer.data(), m_size, 0, true);
    }
    if (length > 0) {
        std::memcpy(m_buffer.data() + m_used, inString, length);
        m_used += static_cast<std::uint32_t>(length);
    }
    if (messageEnd) {
        PassGathered();
        Output(0, nullptr, 0, messageEnd, true);
    }
    return 0;
}

bool BufferingFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    OS::Trace t("BufferingFilter::Flush()");
    CRYPTOPP_UNUSED(hardFlush);
    if (!blocking)
        throw BlockingInputOnly("BufferingFilter");
    PassGathered();
    return false;
}

void BufferingFilter::PassGathered() {
    const std::uint32_t used = m_used;
    m_used = 0;
    Output(0, m_buffer.data(), used, 0, true);
}

}  // namespace CryptoP2
