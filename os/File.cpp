#include "os/File.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "os/Destroy.h"
#include "os/Durable.h"
#include "os/Logger.h"
#include "os/Trash.h"

namespace OS {
namespace {

// close() may not be retried on Linux, even after EINTR.
int CloseFd(int fd) {
    return close(fd) == 0 ? 0 : (errno == EINTR ? 0 : errno);
}

bool IsNotSupported(int err) {
    return err == ENOTTY || err == EOPNOTSUPP || err == ENOTSUP || err == EINVAL;
}

// 0, or the errno of a refusal other than "this file system does not compress".
int AskToCompress(int fd) {
    int attr = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &attr) != 0)
        return IsNotSupported(errno) ? 0 : errno;
    attr |= FS_COMPR_FL;
    if (ioctl(fd, FS_IOC_SETFLAGS, &attr) != 0 && !IsNotSupported(errno))
        return errno;
    return 0;
}

DateTime FromStatx(const struct statx_timestamp& t) {
    std::timespec ts{};
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return DateTime::FromTimespec(ts);
}

std::timespec ToTimespecOrRaise(const DateTime& d) {
    std::timespec ts{};
    if (!d.ToTimespec(ts))
        throw File::Error(ErrorCode::Failed);
    return ts;
}

// Modes that may create the file.
bool Creates(WriteMode mode) {
    return mode == WriteMode::CreateNew || mode == WriteMode::Replace;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void File::RaiseLastError(IoOp op) {
    RaiseError(errno, op);
}

void File::RaiseError(int err, IoOp op) {
    if (err == ENAMETOOLONG)
        throw NameTooLong();
    RaiseErrno<ErrorLayer::File>(err, op);
}

std::string File::GetCurrentPath() {
    Trace trace("File::GetCurrentPath()");
    std::vector<char> buffer(512);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (1u << 20))
            RaiseLastError();
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

void File::CloseHandle() {
    if (m_state.fd < 0)
        return;
    const int fd = m_state.fd;
    m_state.fd = -1;
    RaiseError(CloseFd(fd), IoOp::Write);
}

void File::Info::SplitName(const std::string& fullName) {
    const std::size_t cut = fullName.rfind(kSeparator);
    if (cut == std::string::npos) {
        m_path = GetCurrentPath();
        if (m_path.empty() || m_path.back() != kSeparator)
            m_path += kSeparator;
        m_name = fullName;
    } else {
        m_path = fullName.substr(0, cut + 1);
        m_name = fullName.substr(cut + 1);
    }
}

File::Info::Info(int folderFd, const std::string& folderPath, const std::string& name)
    : m_name(name), m_path(folderPath) {
    Trace trace("File::Info::Info()");
    if (m_path.empty() || m_path.back() != kSeparator)
        m_path += kSeparator;
    struct statx st {};
    if (statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) !=
        0) {
        if (errno == ENOENT)
            return;
        RaiseLastError();
    }
    Fill(st);
}

void File::Info::Update() {
    Trace trace("File::Info::Update()");
    m_size = 0;
    m_create = m_modify = m_access = DateTime{};
    m_attributes = 0;
    m_exists = false;
    m_link = false;

    struct statx st {};
    const std::string full = FullName();
    if (statx(AT_FDCWD, full.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        RaiseLastError();
    Fill(st);
}

void File::Info::Fill(const struct ::statx& st) {
    m_exists = true;
    m_link = S_ISLNK(st.stx_mode);

    const bool isDir = S_ISDIR(st.stx_mode);
    if (isDir)
        m_attributes |= ATTR_DIRECTORY;
    if (!(st.stx_mode & S_IWUSR))
        m_attributes |= ATTR_READONLY;
    if (!m_name.empty() && m_name[0] == '.')
        m_attributes |= ATTR_HIDDEN;
    if (!isDir && st.stx_blocks * 512 < st.stx_size)
        m_attributes |= ATTR_SPARSE;
    if (st.stx_attributes_mask & st.stx_attributes & STATX_ATTR_COMPRESSED)
        m_attributes |= ATTR_COMPRESSED;
    if (st.stx_attributes_mask & st.stx_attributes & STATX_ATTR_ENCRYPTED)
        m_attributes |= ATTR_ENCRYPTED;

    m_size = isDir ? 0 : st.stx_size;
    m_modify = FromStatx(st.stx_mtime);
    m_access = FromStatx(st.stx_atime);
    m_create = (st.stx_mask & STATX_BTIME) ? FromStatx(st.stx_btime) : m_modify;
}

// ---------------------------------------------------------------------------------------------

void ReadFile::Open() {
    Trace trace("ReadFile::Open()");
    if (IsOpen())
        return;
    const std::string full = m_info.FullName();
    int fd;
    do {
        fd = open(full.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseLastError();
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int err = errno;
        CloseFd(fd);
        RaiseError(err);
    }
    m_state.fd = fd;
}

std::size_t ReadFile::Read(void* buffer, std::size_t count) {
    Trace trace("ReadFile::Read()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = read(m_state.fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastError(IoOp::Read);
        }
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return done;
}

static std::uint64_t Seek(int fd, std::int64_t offset, bool fromCurrent) {
    if (fd < 0)
        throw File::Error(ErrorCode::Failed);
    const int whence = fromCurrent ? SEEK_CUR : (offset < 0 ? SEEK_END : SEEK_SET);
    const off_t pos = lseek(fd, offset, whence);
    if (pos < 0)
        File::RaiseLastError();
    return std::uint64_t(pos);
}

std::uint64_t ReadFile::Move(std::int64_t offset, bool fromCurrent) {
    Trace trace("ReadFile::Move()");
    return Seek(m_state.fd, offset, fromCurrent);
}

// ---------------------------------------------------------------------------------------------

WriteFile::WriteFile(const std::string& fullName, WriteMode mode, bool deleteIfLeftOpen) {
    Trace trace("WriteFile::WriteFile()");
    m_info = Info(fullName, Creates(mode));
    m_state.mode = mode;
    m_state.deleteIfLeftOpen = deleteIfLeftOpen;
}

void WriteFile::Open() {
    Trace trace("WriteFile::Open()");
    if (IsOpen())
        return;
    // Its name may belong to another file by now.
    if (m_adopted)
        throw Error(ErrorCode::Failed);
    int flags = O_RDWR | O_CLOEXEC;
    switch (m_state.mode) {
        case WriteMode::CreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
        case WriteMode::Truncate:
            break;
        case WriteMode::Replace:
            flags |= O_CREAT;
            break;
        case WriteMode::OpenExisting:
            break;
        case WriteMode::WriteThrough:
            flags |= O_DSYNC;
            break;
        default:
            throw Error(ErrorCode::Failed);
    }
    const std::string full = m_info.FullName();
    if (Creates(m_state.mode) && access(full.c_str(), F_OK) != 0)
        CreateFilePath(m_info.Path());

    int fd;
    do {
        fd = open(full.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseLastError();

    // Lock before truncating, so that a file another process holds is never emptied.
    int err = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        err = errno;
    if (!err && (m_state.mode == WriteMode::Truncate || m_state.mode == WriteMode::Replace) &&
        ftruncate(fd, 0) != 0)
        err = errno;
    if (!err && (m_creationAttributes & ATTR_COMPRESSED))
        err = AskToCompress(fd);
    if (err) {
        CloseFd(fd);
        RaiseError(err);
    }
    m_state.fd = fd;
    m_info.Update();
}

void WriteFile::Close() {
    Trace trace("WriteFile::Close()");
    if (!IsOpen())
        return;
    // On the descriptor, so that no other file of that name is changed.
    try {
        ApplyCreationAttributes();
    } catch (...) {
        CloseHandle();
        throw;
    }
    CloseHandle();
}

void WriteFile::ApplyCompression() {
    if (m_creationAttributes & ATTR_COMPRESSED)
        RaiseError(AskToCompress(m_state.fd));
}

void WriteFile::ApplyCreationAttributes() {
    if (!(m_creationAttributes & ATTR_READONLY))
        return;
    struct stat st {};
    if (fstat(m_state.fd, &st) != 0 || fchmod(m_state.fd, st.st_mode & 07555) != 0)
        RaiseLastError();
}

void WriteFile::SetPermissions(mode_t mode) {
    Trace trace("WriteFile::SetPermissions()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    if (fchmod(m_state.fd, mode) != 0)
        RaiseLastError();
}

void WriteFile::SetOwner(uid_t owner, gid_t group) {
    Trace trace("WriteFile::SetOwner()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    if (fchown(m_state.fd, owner, group) != 0)
        RaiseLastError();
}

std::size_t WriteFile::Write(const void* buffer, std::size_t count, std::size_t* written) {
    Trace trace("WriteFile::Write()");
    if (written)
        *written = 0;
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = write(m_state.fd, in + done, count - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            const int err = n == 0 ? ENOSPC : errno;
            if (written)
                *written = done;
            RaiseError(err, IoOp::Write);
        }
        done += std::size_t(n);
    }
    if (written)
        *written = done;
    return done;
}

std::uint64_t WriteFile::Move(std::int64_t offset, bool fromCurrent) {
    Trace trace("WriteFile::Move()");
    return Seek(m_state.fd, offset, fromCurrent);
}

void WriteFile::SetProgress(int startPercent, ProgressWord* percent, ProgressWord* counter,
                            std::uint32_t counterEnd) {
    Trace trace("WriteFile::SetProgress()");
    m_state.startPercent = startPercent;
    m_state.percent = percent;
    m_state.counter = counter;
    m_state.counterEnd = counterEnd;
    if (counter)
        m_state.counterStart = counter->load(std::memory_order_relaxed);
}

void WriteFile::SetFileTimes(const DateTime& create, const DateTime& modify,
                             const DateTime& access) {
    Trace trace("WriteFile::SetFileTimes()");
    (void)create;
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    const std::timespec times[2] = {ToTimespecOrRaise(access), ToTimespecOrRaise(modify)};
    if (futimens(m_state.fd, times) != 0)
        RaiseLastError();
}

void WriteFile::Delete(bool clearReadOnly) {
    Trace trace("WriteFile::Delete()");
    if (m_adopted)
        throw Error(ErrorCode::Failed);
    Close();
    const std::string full = m_info.FullName();
    struct stat st {};
    if (lstat(full.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return;
        RaiseLastError();
    }
    // A read-only file is protected from deletion unless the caller clears the flag.
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) {
        if (!clearReadOnly)
            throw Error(ErrorCode::Denied);
        if (chmod(full.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
            RaiseLastError();
    }
    if (unlink(full.c_str()) != 0)
        RaiseLastError();
    try {
        m_info.Update();
    } catch (const Error& e) {
        if (e.code != ErrorCode::NotFound)
            throw;
    }
}

bool WriteFile::Recycle() {
    Trace trace("WriteFile::Recycle()");
    if (m_adopted)
        throw Error(ErrorCode::Failed);
    Close();
    m_destroyNote.clear();
    const std::string full = m_info.FullName();
    struct stat st {};
    if (lstat(full.c_str(), &st) != 0) {
        m_destroyNote = std::string("not moved to the trash: ") +
                        ErrorText(ErrorLayer::File,
                                  MapErrno(errno, ErrorLayer::File).value_or(ErrorCode::Failed));
        return false;
    }
    if (m_expected && IdentityOfStat(st) != *m_expected) {
        m_destroyNote = "kept, it changed after it was read";
        return false;
    }
    bool moved = false;
    if (Trash* trash = InstalledTrash()) {
        std::string why;
        moved = trash->Move(full, why);
        if (!moved)
            m_destroyNote = "kept, it could not be moved to the trash: " + why;
    } else {
        m_destroyNote = "kept, it could not be moved to the trash: no trash in this program";
    }
    if (!moved)
        Logger::Log(LOG_WARN, full + ": " + m_destroyNote);
    try {
        m_info.Update();
    } catch (const Error&) {
    }
    return moved;
}

// ---------------------------------------------------------------------------------------------

void CreateFilePath(const std::string& path) {
    Trace trace("File::CreateFilePath()");
    std::string dir = path;
    while (dir.size() > 1 && dir.back() == kSeparator)
        dir.pop_back();
    if (dir.empty() || dir == "/")
        return;
    // A new folder is only there after a crash once its parent's entries reached the disk.
    auto made = [&dir] { File::RaiseError(TrySyncFolder(FolderOf(dir)), IoOp::Write); };
    if (mkdir(dir.c_str(), 0777) == 0)
        return made();
    int err = errno;
    if (err == ENOENT) {
        const std::size_t cut = dir.rfind(kSeparator);
        if (cut == std::string::npos)
            File::RaiseError(err);
        CreateFilePath(dir.substr(0, cut + 1));
        if (mkdir(dir.c_str(), 0777) == 0)
            return made();
        err = errno;
    }
    if (err != EEXIST)
        File::RaiseError(err);
}

}  // namespace OS
