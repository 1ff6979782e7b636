// What destruction asks of Windows: what a name holds, renames that never replace, removal of
// exactly the file looked at, and the identity of files.
#include "os/Destroy.h"

#include <windows.h>

#include "os/DestroyParts.h"
#include "os/Logger.h"
#include "os/windows/FileTimes.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A link (a reparse point) at the name is opened itself, never what it points to.
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

void SplitTicks(std::uint64_t ticks, std::int64_t& seconds, std::int64_t& nanoseconds) {
    seconds = std::int64_t(ticks / 10000000u);
    nanoseconds = std::int64_t(ticks % 10000000u) * 100;
}

// Volume serial and file index name the file; size, last write and last change show a rewrite.
// False with the system's error in GetLastError.
bool FactsOfHandle(HANDLE handle, DestroyParts::NameFacts& facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return false;
    FileIdentity& id = facts.identity;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    SplitTicks(TicksOf(info.ftLastWriteTime), id.modSeconds, id.modNanoseconds);
    SplitTicks(std::uint64_t(basic.ChangeTime.QuadPart), id.changeSeconds, id.changeNanoseconds);
    const DWORD attributes = info.dwFileAttributes;
    facts.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.plainFile = !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                      FILE_ATTRIBUTE_DEVICE)) &&
                      GetFileType(handle) == FILE_TYPE_DISK;
    facts.links = info.nNumberOfLinks;
    return true;
}

// Only attributes are read, shared with everyone: no open elsewhere is disturbed.
HANDLE OpenToLook(const std::string& fullName) {
    return CreateFileW(SystemPath(fullName).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                       OPEN_EXISTING, kNoFollow, nullptr);
}

}  // namespace

FileIdentity File::Identity() const {
    if (m_state.fd == kNoHandle)
        throw Error(ErrorCode::Failed);
    DestroyParts::NameFacts facts;
    if (!FactsOfHandle(m_state.fd, facts))
        RaiseLastError();
    return facts.identity;
}

void DropCachedPages(const std::string& fullName) {
    // Opening the file past the cache makes the system write back and drop its cached pages.
    const Descriptor handle(CreateFileW(SystemPath(fullName).c_str(), GENERIC_READ, kShareAll,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
    if (!handle.Valid())
        File::RaiseLastError();
}

namespace DestroyParts {

NameInFolder::NameInFolder(const std::string& fullName) {
    const std::size_t cut = fullName.find_last_of("/\\");
    m_folder = cut == std::string::npos ? std::string() : fullName.substr(0, cut + 1);
    m_name = cut == std::string::npos ? fullName : fullName.substr(cut + 1);
    m_handle.Reset(OpenToLook(fullName));
    m_openError = m_handle.Valid() ? 0 : int(GetLastError());
}

std::optional<NameFacts> NameInFolder::Look(int& err) const {
    if (!m_handle.Valid()) {
        err = m_openError;
        return std::nullopt;
    }
    NameFacts facts;
    if (!FactsOfHandle(m_handle.Get(), facts)) {
        err = int(GetLastError());
        return std::nullopt;
    }
    return facts;
}

// The file looked at is opened again for deletion and compared with the first handle, then
// deleted through that handle: whatever took its name meanwhile stays.
int NameInFolder::Remove() const {
    if (!m_handle.Valid())
        return m_openError;
    const Descriptor target(CreateFileW(SystemPath(m_folder + m_name).c_str(),
                                        DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                        kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
    if (!target.Valid())
        return int(GetLastError());
    NameFacts looked, now;
    if (!FactsOfHandle(m_handle.Get(), looked) || !FactsOfHandle(target.Get(), now))
        return int(GetLastError());
    if (looked.identity.device != now.identity.device ||
        looked.identity.inode != now.identity.inode)
        return ERROR_FILE_NOT_FOUND;
    // Unlinking ignores permission bits on POSIX; the read-only flag is its nearest kin here.
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(target.Get(), FileBasicInfo, &basic, sizeof basic))
        return int(GetLastError());
    const DWORD attributes = basic.FileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        basic.FileAttributes = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(target.Get(), FileBasicInfo, &basic, sizeof basic))
            return int(GetLastError());
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(target.Get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
        const int err = int(GetLastError());
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            basic.FileAttributes = attributes;
            SetFileInformationByHandle(target.Get(), FileBasicInfo, &basic, sizeof basic);
        }
        return err;
    }
    return 0;
}

bool IsMissing(int err) {
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
}

std::string TextOf(int err) {
    return ErrorText(ErrorLayer::File,
                     MapWindowsError(unsigned(err), ErrorLayer::File).value_or(ErrorCode::Failed));
}

Moved MoveNoReplace(const std::string& from, const std::string& to, int& err) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name.
    if (MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), 0))
        return Moved::Done;
    err = int(GetLastError());
    return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? Moved::NameTaken
                                                                   : Moved::Failed;
}

std::optional<ErrorCode> RemovalRefused(const std::string& fullName) {
    // What refuses a deletion (the file's or the folder's rights, an open without delete
    // sharing) refuses this open too.
    const Descriptor handle(CreateFileW(SystemPath(fullName).c_str(), DELETE, kShareAll, nullptr,
                                        OPEN_EXISTING, kNoFollow, nullptr));
    if (handle.Valid())
        return std::nullopt;
    const DWORD err = GetLastError();
    if (IsMissing(int(err)))
        return std::nullopt;
    return MapWindowsError(err, ErrorLayer::File).value_or(ErrorCode::Failed);
}

void AllowRemoval(const std::string& fullName) {
    const std::wstring name = SystemPath(fullName);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD cleared = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(name.c_str(), cleared ? cleared : FILE_ATTRIBUTE_NORMAL);
    }
}

}  // namespace DestroyParts
}  // namespace OS
