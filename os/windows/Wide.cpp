#include "os/windows/Wide.h"

#include <windows.h>

#include <vector>

#include "os/File.h"

namespace OS {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    if (utf8.find('\0') != std::string::npos || utf8.size() > 0x7fffffff)
        throw File::Error(ErrorCode::Failed);
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()),
                                      nullptr, 0);
    if (n <= 0)
        throw File::Error(ErrorCode::Failed);
    std::wstring out(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), out.data(),
                        n);
    return out;
}

std::string Utf8(const wchar_t* utf16, std::size_t length) {
    if (length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Utf8(const std::wstring& utf16) {
    return Utf8(utf16.data(), utf16.size());
}

std::wstring SystemPath(const std::string& path) {
    std::wstring wide = Wide(path);
    if (wide.empty())
        throw File::Error(ErrorCode::NotFound);
    // '/' separates levels in our names; the long form takes only '\' and no name holds '/'.
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    // Already in the long form: the system takes it as it stands.
    if (wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    std::vector<wchar_t> full(wide.size() + MAX_PATH + 1);
    DWORD n = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n + 1);
        n = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
    }
    if (n == 0 || n >= full.size())
        throw File::Error(ErrorCode::Failed);
    std::wstring absolute(full.data(), n);
    // The old limit counts the terminator, and a folder must leave room for an 8.3 name.
    if (absolute.size() < MAX_PATH - 12)
        return absolute;
    if (absolute.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

}  // namespace OS
