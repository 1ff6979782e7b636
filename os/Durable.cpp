#include "os/Durable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "os/Descriptor.h"
#include "os/File.h"
#include "os/Logger.h"

namespace OS {

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
