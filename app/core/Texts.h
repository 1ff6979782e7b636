// The display texts of sizes, times, speeds and paths shown while a run goes and after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace App {

// A byte count: "%d bytes", or KB, MB, GB with two decimals; GB has no upper end.
std::string SizeText(std::uint64_t n);
// "%d hrs %d min %d sec", "%d min %d sec" or "%.2f sec".
std::string TimeText(std::uint32_t ms);
// " (%.2f MB/sec)"; empty for no time at all, which has no speed.
std::string SpeedText(std::uint64_t bytes, std::uint32_t ms);
// The path with its middle replaced by "..." so that it fits in `max` characters: the start
// (up to the first separator) is kept, and as much of the end as fits, from a separator on
// where one falls inside it. Paths that fit are returned unchanged.
std::string CompactPath(const std::string& path, std::size_t max = 40);
// Text from outside the program (a stored name, a path) made safe to print on a terminal: C0
// controls, DEL, ESC, C1 controls and bytes that are not UTF-8 become visible "\x1b" or
// "\u009b", so a name can neither move the cursor nor rewrite lines. A backslash stays as it is.
std::string EscapeControls(const std::string& text);
// The length of the well-formed UTF-8 sequence of two to four bytes at `at` (its code point in
// `codePoint`), or 0: a byte below 0x80, an overlong form, a surrogate, past U+10FFFF, cut short.
std::size_t Utf8Sequence(const std::string& text, std::size_t at,
                         std::uint32_t* codePoint = nullptr);
// The same for a message of several lines: its line feeds and tabs stay.
std::string EscapeText(const std::string& text);
// printf into a string.
#ifdef __MINGW32__
// mingw's C99 printf (app/core/CMakeLists.txt selects it): the system's knows no %zu.
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

}  // namespace App
