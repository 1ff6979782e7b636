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

// Only one thread writes each word, so a relaxed load and store make a safe increment. The value
// takes the word's own type (a non-deduced parameter), so plain numbers convert to it.
template <class T>
inline T Load(const std::atomic<T>& w) {
    return w.load(std::memory_order_relaxed);
}
template <class T>
inline void Store(std::atomic<T>& w, typename std::atomic<T>::value_type v) {
    w.store(v, std::memory_order_relaxed);
}
template <class T>
inline void Add(std::atomic<T>& w, typename std::atomic<T>::value_type v) {
    Store(w, Load(w) + v);
}

}  // namespace OS
