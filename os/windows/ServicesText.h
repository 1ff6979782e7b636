// UTF-8 inside, UTF-16 at the Windows API.
#pragma once

#include <windows.h>

#include <string>

namespace OS {
namespace ServicesText {

// False when `text` is not valid UTF-8.
inline bool ToWide(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty())
        return true;
    const int size = static_cast<int>(text.size());
    const int count =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (count <= 0)
        return false;
    wide.assign(static_cast<std::size_t>(count), L'\0');
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], count) ==
           count;
}

inline std::string Narrow(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], count, nullptr, nullptr);
    return text;
}

}  // namespace ServicesText
}  // namespace OS
