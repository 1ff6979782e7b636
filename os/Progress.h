// Words of the run's status record that one thread writes and another reads without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace OS {

// Percentages, counts and states.
using ProgressWord = std::atomic<std::uint32_t>;
// Byte counts: a run may read or write far more than 4 GiB in all.
using ByteWord = std::atomic<std::uint64_t>;
using CancelFlag = std::atomic<std::uint8_t>;

// A lock here would let a paused worker hold up the display.
static_assert(ByteWord::is_always_lock_free, "byte counters must be lock-free");

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
inline std::uint64_t Load(const ByteWord& w) {
    return w.load(std::memory_order_relaxed);
}
inline void Store(ByteWord& w, std::uint64_t v) {
    w.store(v, std::memory_order_relaxed);
}
inline void Add(ByteWord& w, std::uint64_t v) {
    Store(w, Load(w) + v);
}

}  // namespace OS
