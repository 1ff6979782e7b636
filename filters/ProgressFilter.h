// Counts the bytes that pass, turns the count into item and overall percentages, and stops the
// run by throwing OperationTerminated once the cancel flag is set. Every pointer may be null.
#pragma once

#include <cryptopp/filters.h>

#include <atomic>
#include <cstdint>
#include <exception>

#include "os/Progress.h"

namespace CryptoP2 {

class ProgressFilter : public CryptoPP::Filter {
  public:
    class OperationTerminated : public std::exception {
      public:
        const char* what() const noexcept override { return "\"Operation terminated\""; }
    };

    // total: the bytes that make the item 100 percent; 0 leaves both percentages alone.
    // overallEnd: the overall percent once the counter reaches total.
    // pause: while set, every block waits here (the cancel flag still ends the wait).
    ProgressFilter(OS::ByteWord* counter, OS::CancelFlag* cancel, OS::ProgressWord* itemPercent,
                   std::uint64_t total, OS::ProgressWord* overallPercent, std::uint32_t overallEnd,
                   CryptoPP::BufferedTransformation* attachment = nullptr, bool passThrough = true,
                   const std::atomic<bool>* pause = nullptr);

    size_t Put2(const CryptoPP::byte* inString, size_t length, int messageEnd,
                bool blocking) override;
    bool IsolatedFlush(bool hardFlush, bool blocking) override;

  private:
    OS::ByteWord* m_counter;
    OS::CancelFlag* m_cancel;
    OS::ProgressWord* m_itemPercent;
    std::uint64_t m_total;
    OS::ProgressWord* m_overallPercent;
    std::uint32_t m_overallStart;
    std::uint32_t m_overallEnd;
    bool m_passThrough;
    const std::atomic<bool>* m_pause;
};

}  // namespace CryptoP2
