// The display texts of sizes, times, speeds and paths shown while a run goes and after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace App {

// A byte count: "%d bytes", or KB, MB, GB with two decimals. Counts are 32-bit signed on
// purpose: a count above 2,147,483,647 shows as a negative number of bytes.
std::string SizeText(std::int32_t n);
// An unsigned byte counter of the status record, shown through SizeText.
inline std::string SizeText(std::uint32_t n) {
    return SizeText(static_cast<std::int32_t>(n));
}
// "%d hrs %d min %d sec", "%d min %d sec" or "%.2f sec".
std::string TimeText(std::uint32_t ms);
// " (%.2f MB/sec)"; empty for no time at all, which has no speed.
std::string SpeedText(std::uint32_t bytes, std::uint32_t ms);
// The path with its middle replaced by "..." so that it fits in `max` characters: the start
// (up to the first separator) is kept, and as much of the end as fits, from a separator on
// where one falls inside it. Paths that fit are returned unchanged.
std::string CompactPath(const std::string& path, std::size_t max = 40);
// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace App
