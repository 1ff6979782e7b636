// Words of the run's status record that one thread writes and another reads without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace OS {

using ProgressWord = std::atomic<std::uint32_t>;
using CancelFlag = std::atomic<std::uint8_t>;

// Only one thread writes each word, so a relaxed load and store make a safe increment.
inline std::uint32_t Load(const ProgressWord& w) {
    return w.load(std::memory_order_relaxed);
}
inline void Store(ProgressWord& w, std::uint32_t v) {
    w.store(v, std::memory_order_relaxed);
}
inline void Add(ProgressWord& w, std::uint32_t v) {
    Store(w, Load(w) + v);
}

}  // namespace OS
