// Words of the run's status record that one thread writes and another reads without a lock.
#pragma once

#include <atomic>
#include <cstdint>

namespace OS {

using ProgressWord = std::atomic<std::uint32_t>;
using CancelFlag = std::atomic<std::uint8_t>;

}  // namespace OS
