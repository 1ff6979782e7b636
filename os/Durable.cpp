#include "os/Durable.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "os/Descriptor.h"
#include "os/File.h"
#include "os/Logger.h"

namespace OS {
namespace {

std::atomic<std::uint64_t> g_dataSyncs{0};
std::atomic<std::uint64_t> g_folderSyncs{0};

}  // namespace

int TrySyncData(int fd) {
    g_dataSyncs.fetch_add(1, std::memory_order_relaxed);
    return fsync(fd) == 0 ? 0 : errno;
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
    const Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid())
        return errno;
    return TrySyncFolder(fd.Get());
}

int TrySyncFolder(int folderFd) {
    g_folderSyncs.fetch_add(1, std::memory_order_relaxed);
    if (fsync(folderFd) == 0)
        return 0;
    const int err = errno;
    return err == EINVAL || err == ENOTSUP ? 0 : err;
}

std::string FolderOf(const std::string& fullName) {
    const std::size_t cut = fullName.rfind(kSeparator);
    if (cut == std::string::npos)
        return File::GetCurrentPath();
    return cut == 0 ? std::string(1, kSeparator) : fullName.substr(0, cut);
}

}  // namespace OS
