// UTF-8 inside, UTF-16 at the Windows API: the one place names cross between the two.
#pragma once

#include <string>

namespace OS {

// Text that is not valid UTF-8 (or holds a NUL) raises File::Error 0: it would reach the system
// as some other name.
std::wstring Wide(const std::string& utf8);
// Unpaired surrogates (names the system accepted but no UTF-8 text spells) become U+FFFD.
std::string Utf8(const std::wstring& utf16);
std::string Utf8(const wchar_t* utf16, std::size_t length);

// `path` as the API takes it: absolute, with '\' separators, and "\\?\" (or "\\?\UNC\") in front
// once it is too long for the old limit, so that long paths work. Raises File::Error 0 for a
// name no conversion can carry.
std::wstring SystemPath(const std::string& path);

}  // namespace OS
