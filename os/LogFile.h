// The logger's file, the part that differs between systems. Only the logger uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

namespace OS::detail {

// A log file that stays small: whole lines are written at each flush, each stamped with the
// time and the process, and once the file holds `cap` bytes it becomes "<path>.1" (replacing an
// older one) and a new file is begun. Its missing folders are made first. Never opened through
// a link someone planted. Null when the file cannot be opened.
std::unique_ptr<std::streambuf> OpenCappedLog(const std::string& path, std::uint64_t cap);

}  // namespace OS::detail
