// Whether an overwrite in place can be trusted, by the type of the drive holding the file.
#include <windows.h>

#include "os/Destroy.h"
#include "os/Logger.h"
#include "os/windows/TryWide.h"

namespace OS {
namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The root as the name spells it, for a volume the system could not find: "X:\" or
// "\\server\share\"; empty when the name has none.
std::wstring RootOfName(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return path.substr(0, 2) + L'\\';
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const std::size_t server = path.find_first_of(L"\\/", 2);
        if (server == std::wstring::npos || server == 2)
            return std::wstring();
        const std::size_t share = path.find_first_of(L"\\/", server + 1);
        if (share == server + 1)
            return std::wstring();
        return (share == std::wstring::npos ? path : path.substr(0, share)) + L'\\';
    }
    return std::wstring();
}

}  // namespace

bool IsSecureDriveType(unsigned driveType) {
    switch (driveType) {
        case DRIVE_REMOVABLE:
        case DRIVE_FIXED:
            return true;
        case DRIVE_REMOTE:
        case DRIVE_CDROM:
        case DRIVE_RAMDISK:
            return false;
        case DRIVE_UNKNOWN:
        case DRIVE_NO_ROOT_DIR:
            throw File::Error(ErrorCode::InvalidDrive);
        default:
            throw File::Error(ErrorCode::Failed);
    }
}

unsigned DriveTypeOf(const std::string& path) {
    Trace t("DriveTypeOf()");
    std::wstring wide;
    if (!TryWide(path, wide) || wide.empty() || wide.find(L'\0') != std::wstring::npos)
        return DRIVE_NO_ROOT_DIR;
    // A mounted folder is a volume of its own: its root, not the drive letter's, decides.
    std::wstring root(wide.size() + MAX_PATH, L'\0');
    if (GetVolumePathNameW(wide.c_str(), &root[0], static_cast<DWORD>(root.size()))) {
        root.resize(wcslen(root.c_str()));
    } else {
        root = RootOfName(wide);
        if (root.empty())
            return DRIVE_NO_ROOT_DIR;
    }
    return GetDriveTypeW(root.c_str());
}

bool IsSecureMedium(const File::Info& info) {
    Trace trace("File::IsSecureMedium()");
    // The file system keeps such files elsewhere than where an overwrite lands.
    if (info.Attributes() & (ATTR_COMPRESSED | ATTR_SPARSE | ATTR_ENCRYPTED))
        return false;
    return IsSecureDriveType(DriveTypeOf(info.Path()));
}

}  // namespace OS
