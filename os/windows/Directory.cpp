#include "os/Directory.h"

#include <windows.h>

#include <vector>

#include "os/File.h"
#include "os/Logger.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// "a/b/" and "a/b" name the same folder.
std::size_t WithoutTrailingSeparators(const std::string& path, std::size_t length) {
    while (length > 1 && IsSeparator(path[length - 1]))
        --length;
    return length;
}

std::wstring SystemName(const std::string& path) {
    try {
        return SystemPath(path);
    } catch (const File::Error&) {
        throw Directory::Error(ErrorCode::Failed);
    }
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(SystemName(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr DWORD kAlreadyThere = DWORD(-1);

// 0 when made, kAlreadyThere when a folder of that name already stands there (another writer
// may have been first), otherwise the system's error, ERROR_ALREADY_EXISTS for a file in the way.
DWORD MakeOne(const std::string& path) {
    if (CreateDirectoryW(SystemName(path).c_str(), nullptr))
        return 0;
    const DWORD err = GetLastError();
    return err == ERROR_ALREADY_EXISTS && IsFolder(path) ? kAlreadyThere : err;
}

// The drive or share part of a path: nothing above it can be made.
bool IsRoot(const std::string& path) {
    return path.empty() || (path.size() <= 3 && path.size() >= 2 && path[1] == ':') ||
           (path.size() == 1 && IsSeparator(path[0]));
}

}  // namespace

void Directory::RaiseLastError(IoOp op) {
    RaiseWindowsError<ErrorLayer::Directory>(GetLastError(), op);
}

bool Directory::Exists(const std::string& path) {
    Trace t("Directory::Exists()");
    const DWORD attributes = GetFileAttributesW(SystemName(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME)
        return false;
    RaiseWindowsError<ErrorLayer::Directory>(err);
    return false;
}

bool Directory::IsEmpty(const std::string& path) {
    Trace t("Directory::IsEmpty()");
    std::wstring pattern = SystemName(path);
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        RaiseLastError();
        return false;
    }
    bool empty = true;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            empty = false;
            break;
        }
    } while (FindNextFileW(find, &found));
    const DWORD err = empty ? GetLastError() : ERROR_NO_MORE_FILES;
    FindClose(find);
    if (err != ERROR_NO_MORE_FILES)
        RaiseWindowsError<ErrorLayer::Directory>(err, IoOp::Read);
    return empty;
}

bool Directory::Remove(const std::string& path) {
    Trace t("Directory::Remove()");
    if (!RemoveDirectoryW(SystemName(path).c_str()))
        RaiseLastError();
    return true;
}

bool Directory::Create(const std::string& path) {
    Trace t("Directory::Create()");
    if (Exists(path))
        return false;
    std::size_t length = WithoutTrailingSeparators(path, path.size());
    if (length == 0 || IsRoot(path.substr(0, length)))
        return false;

    // Walk up while the parent is missing, remembering the levels still to make.
    std::vector<std::size_t> pending;
    for (;;) {
        const DWORD err = MakeOne(path.substr(0, length));
        if (err == 0)
            break;
        if (err == kAlreadyThere) {
            if (!pending.empty())
                break;
            return false;
        }
        if (err != ERROR_PATH_NOT_FOUND)
            RaiseWindowsError<ErrorLayer::Directory>(err);
        std::size_t cut = std::string::npos;
        for (std::size_t i = length - 1; i-- > 0;) {
            if (IsSeparator(path[i])) {
                cut = i;
                break;
            }
        }
        if (cut == std::string::npos || cut == 0)
            return false;
        pending.push_back(length);
        length = WithoutTrailingSeparators(path, cut);
        if (IsRoot(path.substr(0, length)) || Exists(path.substr(0, length)))
            return false;
    }
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        const DWORD err = MakeOne(path.substr(0, *it));
        if (err != 0 && err != kAlreadyThere)
            RaiseWindowsError<ErrorLayer::Directory>(err);
    }
    return true;
}

}  // namespace OS
