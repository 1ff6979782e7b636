#include "os/Destroy.h"

#include <windows.h>

#include "os/Logger.h"
#include "os/windows/FileTimes.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

constexpr char kRenameAlphabet[] =
    "abcdefghijkLmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-+";
static_assert(sizeof kRenameAlphabet == 65, "the rename alphabet has 64 letters");

void SplitTicks(std::uint64_t ticks, std::int64_t& seconds, std::int64_t& nanoseconds) {
    seconds = std::int64_t(ticks / 10000000u);
    nanoseconds = std::int64_t(ticks % 10000000u) * 100;
}

// Volume serial and file index name the file; size, last write and last change show a rewrite.
FileIdentity IdentityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        File::RaiseLastError();
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    SplitTicks(TicksOf(info.ftLastWriteTime), id.modSeconds, id.modNanoseconds);
    SplitTicks(std::uint64_t(basic.ChangeTime.QuadPart), id.changeSeconds, id.changeNanoseconds);
    return id;
}

}  // namespace

std::string ScrambleName(const std::string& name, const std::function<std::uint32_t()>& next) {
    std::string scrambled = name;
    for (char& c : scrambled) {
        if (c != '.')
            c = kRenameAlphabet[next() % 64];
    }
    return scrambled;
}

FileIdentity File::Identity() const {
    if (m_state.fd == kNoHandle)
        throw Error(ErrorCode::Failed);
    return IdentityOfHandle(m_state.fd);
}

std::optional<FileIdentity> IdentityAt(const std::string& fullName) {
    // Only attributes are read, shared with everyone; a link at the name is described itself.
    const Descriptor handle(
        CreateFileW(SystemPath(fullName).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.Valid()) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return std::nullopt;
        File::RaiseError(int(err));
    }
    return IdentityOfHandle(handle.Get());
}

}  // namespace OS
