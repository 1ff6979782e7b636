#include "os/Durable.h"

#include <windows.h>

#include <atomic>

#include "os/File.h"
#include "os/Logger.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

std::atomic<std::uint64_t> g_dataSyncs{0};
std::atomic<std::uint64_t> g_folderSyncs{0};

}  // namespace

int TrySyncData(NativeHandle fd) {
    g_dataSyncs.fetch_add(1, std::memory_order_relaxed);
    return FlushFileBuffers(fd) ? 0 : int(GetLastError());
}

std::uint64_t DataSyncs() {
    return g_dataSyncs.load(std::memory_order_relaxed);
}

std::uint64_t FolderSyncs() {
    return g_folderSyncs.load(std::memory_order_relaxed);
}

void SyncFolder(const std::string& folder) {
    Trace trace("File::SyncFolder()");
    File::RaiseError(TrySyncFolder(folder), IoOp::Write);
}

int TrySyncFolder(const std::string& folder) {
    // A folder opens only for backup semantics; flushing it needs write access.
    const Descriptor handle(CreateFileW(SystemPath(folder).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    if (!handle.Valid()) {
        const DWORD err = GetLastError();
        // Without the right to write the folder, the system keeps its entries as it sees fit.
        return err == ERROR_ACCESS_DENIED ? 0 : int(err);
    }
    return TrySyncFolder(handle.Get());
}

int TrySyncFolder(NativeHandle folderFd) {
    g_folderSyncs.fetch_add(1, std::memory_order_relaxed);
    if (FlushFileBuffers(folderFd))
        return 0;
    const DWORD err = GetLastError();
    // File systems that cannot flush a folder are ignored.
    return err == ERROR_INVALID_FUNCTION || err == ERROR_ACCESS_DENIED ||
                   err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_HANDLE
               ? 0
               : int(err);
}

std::string FolderOf(const std::string& fullName) {
    const std::size_t cut = fullName.find_last_of("/\\");
    if (cut == std::string::npos)
        return File::GetCurrentPath();
    // "C:/name" lives in "C:/", and "/name" in the root of the current drive.
    if (cut == 0 || (cut == 2 && fullName[1] == ':'))
        return fullName.substr(0, cut + 1);
    return fullName.substr(0, cut);
}

}  // namespace OS
