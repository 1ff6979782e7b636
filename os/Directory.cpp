#include "os/Directory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "os/Durable.h"
#include "os/File.h"
#include "os/Logger.h"

namespace OS {
namespace {

// A name with a NUL inside would reach the system cut short, naming some other folder.
const char* SystemName(const std::string& path) {
    if (path.find('\0') != std::string::npos)
        throw Directory::Error(ErrorCode::Failed);
    return path.c_str();
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// "a/b/" and "a/b" name the same folder; mkdir of the first fails once the second exists.
std::size_t WithoutTrailingSeparators(const std::string& path, std::size_t length) {
    while (length > 1 && path[length - 1] == kSeparator)
        --length;
    return length;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(SystemName(path), &st) == 0 && S_ISDIR(st.st_mode);
}

constexpr int kAlreadyThere = -1;

// 0 when made (and durable), kAlreadyThere when a folder of that name already stands there (another
// writer may have been first), otherwise the errno of the failure, EEXIST for a file in the way.
int MakeOne(const std::string& path) {
    if (mkdir(SystemName(path), 0777) == 0) {
        // A new folder is only there after a crash once its parent's entries reached the disk.
        return TrySyncFolder(FolderOf(path));
    }
    const int err = errno;
    return err == EEXIST && IsFolder(path) ? kAlreadyThere : err;
}

}  // namespace

void Directory::RaiseLastError(IoOp op) {
    RaiseErrno<ErrorLayer::Directory>(errno, op);
}

bool Directory::Exists(const std::string& path) {
    Trace t("Directory::Exists()");
    struct stat st;
    if (stat(SystemName(path), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (errno == ENOENT || errno == ENOTDIR)
        return false;
    RaiseLastError();
    return false;
}

bool Directory::IsEmpty(const std::string& path) {
    Trace t("Directory::IsEmpty()");
    std::unique_ptr<DIR, DirCloser> dir(opendir(SystemName(path)));
    if (!dir) {
        RaiseLastError();
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry)
            break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            return false;
    }
    RaiseLastError(IoOp::Read);
    return true;
}

bool Directory::Remove(const std::string& path) {
    Trace t("Directory::Remove()");
    if (rmdir(SystemName(path)) != 0) {
        // POSIX lets rmdir report a non-empty folder as EEXIST; it is not "already exists".
        if (errno == EEXIST)
            errno = ENOTEMPTY;
        RaiseLastError();
    }
    return true;
}

bool Directory::Create(const std::string& path) {
    Trace t("Directory::Create()");
    if (Exists(path))
        return false;
    std::size_t length = WithoutTrailingSeparators(path, path.size());
    if (length == 0)
        return false;

    // Walk up while the parent is missing, remembering the levels still to make.
    std::vector<std::size_t> pending;
    for (;;) {
        const int err = MakeOne(path.substr(0, length));
        if (err == 0)
            break;
        if (err == kAlreadyThere) {
            // Made by someone else meanwhile: carry on below it.
            if (!pending.empty())
                break;
            return false;
        }
        if (err != ENOENT)
            RaiseErrno<ErrorLayer::Directory>(err);
        const std::size_t cut = path.rfind(kSeparator, length - 1);
        // No parent left, or the parent would be the root itself: nothing to reach.
        if (cut == std::string::npos || cut == 0)
            return false;
        pending.push_back(length);
        length = WithoutTrailingSeparators(path, cut);
        if (length == 1 && path[0] == kSeparator)
            return false;
        if (Exists(path.substr(0, length)))
            return false;
    }
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        const int err = MakeOne(path.substr(0, *it));
        if (err != 0 && err != kAlreadyThere)
            RaiseErrno<ErrorLayer::Directory>(err);
    }
    return true;
}

}  // namespace OS
