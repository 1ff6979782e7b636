// The one password reader of every program: a line from a descriptor or a file, read straight
// into wiping memory.
#pragma once

#include <cstddef>
#include <string>

#include "app/core/Secrets.h"

namespace App {

// Longest line kept; longer lines are cut. Room for a password is reserved once at this size.
inline constexpr std::size_t kMaxLine = 4096;

// Reads one line from the descriptor, without its end, a byte at a time so that nothing of the
// next line is taken, into `text`'s reserved room. False when the descriptor ended before any
// byte.
bool ReadSecretLine(int fd, Secret& text);

// The first line of a descriptor (--password-fd) or a file (--password-file), without its end.
Secret ReadPasswordFd(int fd);
Secret ReadPasswordFile(const std::string& path);
// The password of --password-fd (`fromDescriptor`) or --password-file, `value` as typed. Raises
// std::runtime_error with the usage text: a value that is no descriptor number, or what could
// not be read, naming the option.
Secret ReadPasswordOption(bool fromDescriptor, const std::string& value);

}  // namespace App
