// Names on disk as the records meet them: full names of files being encrypted, common paths and
// destination folders. '/' separates levels everywhere; on Windows '\' does too, and a name may
// begin with a drive, a server or the long-path prefix.
#pragma once

#include <cstddef>
#include <string>

#include "os/File.h"

namespace FCryptEng {
namespace NativePath {

inline bool IsSeparator(char c) {
#ifdef _WIN32
    return c == OS::kSeparator || c == '\\';
#else
    return c == OS::kSeparator;
#endif
}

inline bool EndsInSeparator(const std::string& path) {
    return !path.empty() && IsSeparator(path.back());
}

// Where the last separator at or before `before` stands, or npos.
inline std::size_t FindLastSeparator(const std::string& name,
                                     std::size_t before = std::string::npos) {
    if (name.empty())
        return std::string::npos;
    for (std::size_t i = before < name.size() ? before + 1 : name.size(); i-- > 0;) {
        if (IsSeparator(name[i]))
            return i;
    }
    return std::string::npos;
}

inline std::size_t FindSeparator(const std::string& name, std::size_t from) {
    for (std::size_t i = from; i < name.size(); ++i) {
        if (IsSeparator(name[i]))
            return i;
    }
    return std::string::npos;
}

// Byte for byte, except that any separator matches any other.
inline bool SameChar(char a, char b) {
    return a == b || (IsSeparator(a) && IsSeparator(b));
}

inline bool StartsWith(const std::string& name, const std::string& prefix) {
    if (prefix.size() > name.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!SameChar(name[i], prefix[i]))
            return false;
    }
    return true;
}

// The name without what ties it to one machine, so that it is relative: the drive ("C:"), the
// server ("\\server"), the long-path prefix, then one leading separator.
inline std::string WithoutRoot(std::string name) {
#ifdef _WIN32
    const auto sep = [&](std::size_t i) { return i < name.size() && IsSeparator(name[i]); };
    // "\\?\C:\x", "\\.\C:\x" and "\\?\UNC\server\share\x" are the long forms of the usual ones.
    if (sep(0) && sep(1) && name.size() >= 4 && (name[2] == '?' || name[2] == '.') && sep(3)) {
        name.erase(0, 4);
        if (name.size() >= 4 && (name[0] == 'U' || name[0] == 'u') &&
            (name[1] == 'N' || name[1] == 'n') && (name[2] == 'C' || name[2] == 'c') && sep(3))
            name.replace(0, 3, "\\");
    }
    if (name.size() >= 2 && name[1] == ':') {
        name.erase(0, 2);
    } else if (sep(0) && sep(1)) {
        const std::size_t share = FindSeparator(name, 2);
        name.erase(0, share == std::string::npos ? name.size() : share);
    }
#endif
    if (!name.empty() && IsSeparator(name[0]))
        name.erase(0, 1);
    return name;
}

}  // namespace NativePath
}  // namespace FCryptEng
