#include "filters/ProgressFilter.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "os/Logger.h"

namespace CryptoP2 {
namespace {

// Truncates toward zero and keeps the low 32 bits, as an unsigned word would; a plain cast of a
// double beyond the word's range is undefined.
std::uint32_t TruncateToWord(double value) {
    const double whole = std::fmod(std::trunc(value), 4294967296.0);
    return static_cast<std::uint32_t>(whole);
}

}  // namespace

ProgressFilter::ProgressFilter(OS::ByteWord* counter, OS::CancelFlag* cancel,
                               OS::ProgressWord* itemPercent, std::uint64_t total,
                               OS::ProgressWord* overallPercent, std::uint32_t overallEnd,
                               CryptoPP::BufferedTransformation* attachment, bool passThrough,
                               const std::atomic<bool>* pause)
    : CryptoPP::Filter(attachment),
      m_counter(counter),
      m_cancel(cancel),
      m_itemPercent(itemPercent),
      m_total(total),
      m_overallPercent(overallPercent),
      m_overallStart(overallPercent ? overallPercent->load(std::memory_order_relaxed) : 0),
      m_overallEnd(overallEnd),
      m_passThrough(passThrough),
      m_pause(pause) {}

size_t ProgressFilter::Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                            bool blocking) {
    OS::Trace t("ProgressFilter::Put()");
    // A blocked put would be offered again and counted twice.
    if (!blocking)
        throw BlockingInputOnly("ProgressFilter");
    // Held before counting, so that nothing moves while paused; the block is passed on after.
    while (m_pause && m_pause->load(std::memory_order_relaxed) &&
           !(m_cancel && m_cancel->load(std::memory_order_relaxed) != 0))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::uint64_t count = 0;
    if (m_counter) {
        // Only this thread writes the counter; the display thread just reads it.
        count = m_counter->load(std::memory_order_relaxed) + std::uint64_t(length);
        m_counter->store(count, std::memory_order_relaxed);
    }
    if (m_cancel && m_cancel->load(std::memory_order_relaxed) != 0) {
        OS::Logger::Log(OS::LOG_INFO, "Throwing exception to terminate encryption process early");
        throw OperationTerminated();
    }
    if (m_itemPercent && m_total != 0) {
        m_itemPercent->store(TruncateToWord(double(count) * 100.0 / double(m_total)),
                             std::memory_order_relaxed);
    }
    if (m_overallPercent && m_total != 0) {
        const std::uint32_t span = m_overallEnd - m_overallStart;
        m_overallPercent->store(
            m_overallStart + TruncateToWord(double(span) * double(count) / double(m_total)),
            std::memory_order_relaxed);
    }
    if (m_passThrough)
        return Output(0, inString, length, messageEnd, true);
    if (messageEnd)
        return Output(0, nullptr, 0, messageEnd, true);
    return 0;
}

bool ProgressFilter::IsolatedFlush(bool hardFlush, bool blocking) {
    CRYPTOPP_UNUSED(hardFlush);
    CRYPTOPP_UNUSED(blocking);
    return false;
}

}  // namespace CryptoP2
