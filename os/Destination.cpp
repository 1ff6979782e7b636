#include "os/Destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "os/Durable.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"

namespace OS {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

[[noreturn]] void Raise(ErrorLayer layer, int err) {
    if (err == ENAMETOOLONG)
        throw File::NameTooLong();
    if (layer == ErrorLayer::File) {
        File::RaiseError(err);
        throw File::Error(ErrorCode::Failed);  // err was 0: a failure all the same
    }
    RaiseErrno<ErrorLayer::Directory>(err);
    throw PlatformError<ErrorLayer::Directory>(ErrorCode::Failed);
}

std::string ParentOf(const std::string& relative) {
    const std::size_t cut = relative.rfind(kSeparator);
    return cut == std::string::npos ? std::string() : relative.substr(0, cut);
}

std::string LastOf(const std::string& relative) {
    const std::size_t cut = relative.rfind(kSeparator);
    return cut == std::string::npos ? relative : relative.substr(cut + 1);
}

struct timespec Now() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

}  // namespace

Destination::Destination(std::string root) : m_root(std::move(root)), m_started(Now()) {
    if (m_root.empty() || m_root.back() != kSeparator)
        m_root += kSeparator;
}

void Destination::CheckFits(const std::string& relative) const {
    if (m_root.size() + relative.size() >= PATH_MAX)
        throw File::NameTooLong();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find(kSeparator, start);
        const std::size_t length = (end == std::string::npos ? relative.size() : end) - start;
        if (length > NAME_MAX)
            throw File::NameTooLong();
        // Stored names are checked when read; this only keeps the walk honest.
        const std::string part = relative.substr(start, length);
        if (part.empty() || part == "." || part == "..")
            throw File::Error(ErrorCode::Failed);
        if (end == std::string::npos)
            return;
        start = end + 1;
    }
}

int Destination::OpenRoot(bool create, ErrorLayer layer) {
    if (m_rootFd.Valid())
        return m_rootFd.Get();
    // Links are followed here: the user chose this folder by this name.
    m_rootFd.Reset(open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_rootFd.Valid() && errno == ENOENT) {
        if (!create)
            return -1;
        try {
            CreateFilePath(m_root);
        } catch (const File::NameTooLong&) {
            throw;
        } catch (const File::Error& e) {
            if (layer == ErrorLayer::File)
                throw;
            throw PlatformError<ErrorLayer::Directory>(e.code);
        }
        m_rootFd.Reset(open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!m_rootFd.Valid())
        Raise(layer, errno);
    return m_rootFd.Get();
}

Destination::Reach Destination::Walk(const std::string& folder, bool create, ErrorLayer layer,
                                     int& fd) {
    const int root = OpenRoot(create, layer);
    if (root < 0)
        return Reach::Missing;
    if (folder.empty()) {
        fd = root;
        return Reach::Ok;
    }
    if (m_lastFd.Valid() && folder == m_lastFolder) {
        fd = m_lastFd.Get();
        return Reach::Ok;
    }
    m_lastFd.Reset();
    Descriptor current;
    int at = root;
    std::string done;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folder.find(kSeparator, start);
        const std::string part = folder.substr(start, end == std::string::npos ? end : end - start);
        Descriptor next(openat(at, part.c_str(), kFolderFlags));
        int err = next.Valid() ? 0 : errno;
        if (err == ENOENT) {
            if (!create)
                return Reach::Missing;
            if (mkdirat(at, part.c_str(), 0777) == 0)
                m_changed.insert(done);
            else if (errno != EEXIST)
                Raise(layer, errno);
            next.Reset(openat(at, part.c_str(), kFolderFlags));
            err = next.Valid() ? 0 : errno;
        }
        if (err == ENOTDIR || err == ELOOP) {
            // Opening without following a link fails the same way for a link and a file.
            struct stat st {};
            if (fstatat(at, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                return Reach::Link;
            // Nothing can stand below a file; writing there fails, and says so, later.
            if (!create)
                return Reach::Missing;
        }
        if (err != 0)
            Raise(layer, err);
        current = std::move(next);
        at = current.Get();
        done += (done.empty() ? "" : std::string(1, kSeparator)) + part;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    m_lastFolder = folder;
    m_lastFd = std::move(current);
    fd = m_lastFd.Get();
    return Reach::Ok;
}

Destination::Reach Destination::OpenParent(const std::string& relative, bool create,
                                           int& folderFd) {
    Trace t("Destination::OpenParent()");
    CheckFits(relative);
    const Reach reach = Walk(ParentOf(relative), create, ErrorLayer::File, folderFd);
    if (reach == Reach::Ok && create) {
        struct stat st {};
        if (fstat(folderFd, &st) == 0 && m_swept.emplace(st.st_dev, st.st_ino).second)
            PendingOutput::SweepStale(folderFd, m_started);
    }
    return reach;
}

Destination::Reach Destination::MakeFolder(const std::string& relative) {
    Trace t("Destination::MakeFolder()");
    CheckFits(relative);
    int fd = -1;
    return Walk(relative, true, ErrorLayer::Directory, fd);
}

Destination::Reach Destination::Describe(const std::string& relative, File::Info& info) {
    Trace t("Destination::Describe()");
    CheckFits(relative);
    const std::string parent = ParentOf(relative);
    int fd = -1;
    const Reach reach = Walk(parent, false, ErrorLayer::File, fd);
    if (reach != Reach::Ok) {
        info = File::Info::Named(m_root + relative);
        return reach;
    }
    info = File::Info(fd, m_root + parent, LastOf(relative));
    return Reach::Ok;
}

void Destination::Changed(const std::string& relative) {
    m_changed.insert(ParentOf(relative));
}

void Destination::Sync() {
    Trace t("Destination::Sync()");
    for (const std::string& folder : m_changed) {
        int fd = -1;
        if (Walk(folder, false, ErrorLayer::File, fd) == Reach::Ok)
            File::RaiseError(TrySyncFolder(fd), IoOp::Write);
    }
}

}  // namespace OS
