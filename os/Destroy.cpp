#include "os/Destroy.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <tuple>
#include <utility>

#include "os/DestroyParts.h"
#include "os/Logger.h"

namespace OS {
namespace {

struct FileSystemType {
    std::uint32_t magic;
    const char* name;
    bool secure;
};

constexpr FileSystemType kFileSystems[] = {
    // Local file systems that rewrite a file's blocks in place.
    {EXT4_SUPER_MAGIC, "ext2/3/4", true},
    {XFS_SUPER_MAGIC, "xfs", true},
    {MSDOS_SUPER_MAGIC, "fat", true},
    {EXFAT_SUPER_MAGIC, "exfat", true},
    {0x5346544e, "ntfs", true},
    {0x7366746e, "ntfs3", true},
    {0x3153464a, "jfs", true},
    {REISERFS_SUPER_MAGIC, "reiserfs", true},
    {0x4244, "hfs", true},
    {0x482b, "hfsplus", true},
    {HPFS_SUPER_MAGIC, "hpfs", true},
    {0x00011954, "ufs", true},
    {MINIX_SUPER_MAGIC, "minix", true},
    {MINIX_SUPER_MAGIC2, "minix", true},
    {MINIX2_SUPER_MAGIC, "minix2", true},
    {MINIX2_SUPER_MAGIC2, "minix2", true},
    {MINIX3_SUPER_MAGIC, "minix3", true},
    // Remote: where the blocks end up is the server's business. FUSE may be anything.
    {NFS_SUPER_MAGIC, "nfs", false},
    {SMB_SUPER_MAGIC, "smb", false},
    {CIFS_SUPER_MAGIC, "cifs", false},
    {SMB2_SUPER_MAGIC, "smb2", false},
    {AFS_SUPER_MAGIC, "afs", false},
    {AFS_FS_MAGIC, "kafs", false},
    {CODA_SUPER_MAGIC, "coda", false},
    {V9FS_MAGIC, "9p", false},
    {CEPH_SUPER_MAGIC, "ceph", false},
    {FUSE_SUPER_MAGIC, "fuse", false},
    // Optical media.
    {ISOFS_SUPER_MAGIC, "iso9660", false},
    {UDF_SUPER_MAGIC, "udf", false},
    // Memory: nothing to overwrite on a disk, and pages may have been swapped out elsewhere.
    {TMPFS_MAGIC, "tmpfs", false},
    {RAMFS_MAGIC, "ramfs", false},
    // Copy-on-write or log-structured: an overwrite goes to new blocks, the old ones stay.
    {BTRFS_SUPER_MAGIC, "btrfs", false},
    {0x2fc12fc1, "zfs", false},
    {0xca451a4e, "bcachefs", false},
    {F2FS_SUPER_MAGIC, "f2fs", false},
    {NILFS_SUPER_MAGIC, "nilfs", false},
    {JFFS2_SUPER_MAGIC, "jffs2", false},
    {0x24051905, "ubifs", false},
    // Its upper layer may be any of the above.
    {OVERLAYFS_SUPER_MAGIC, "overlayfs", false},
};

const FileSystemType* FindFileSystem(std::uint32_t magic) {
    for (const FileSystemType& fs : kFileSystems) {
        if (fs.magic == magic)
            return &fs;
    }
    return nullptr;
}

}  // namespace

bool IsSecureFileSystem(std::uint32_t fsType) {
    const FileSystemType* fs = FindFileSystem(fsType);
    return fs && fs->secure;
}

bool IsSecureMedium(const File::Info& info) {
    Trace trace("File::IsSecureMedium()");
    if (info.Attributes() & (ATTR_COMPRESSED | ATTR_SPARSE | ATTR_ENCRYPTED))
        return false;
    struct statfs fs {};
    int rc = statfs(info.FullName().c_str(), &fs);
    if (rc != 0 && errno == ENOENT)
        rc = statfs(info.Path().c_str(), &fs);
    if (rc != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw File::Error(ErrorCode::InvalidDrive);
        File::RaiseLastError();
    }
    // f_type is a signed word on some targets: the magic numbers are its low 32 bits.
    const auto type = std::uint32_t(fs.f_type);
    if (IsSecureFileSystem(type))
        return true;
    const FileSystemType* known = FindFileSystem(type);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", unsigned(type));
    Logger::Log(LOG_DEBUG, std::string("Overwrite cannot be trusted on file system ") +
                               (known ? known->name : hex) + ": " + info.FullName());
    return false;
}

FileIdentity IdentityOfStat(const struct stat& st) {
    FileIdentity id;
    id.device = std::uint64_t(st.st_dev);
    id.inode = std::uint64_t(st.st_ino);
    id.size = std::uint64_t(st.st_size);
    id.modSeconds = st.st_mtim.tv_sec;
    id.modNanoseconds = st.st_mtim.tv_nsec;
    id.changeSeconds = st.st_ctim.tv_sec;
    id.changeNanoseconds = st.st_ctim.tv_nsec;
    return id;
}

FileIdentity File::Identity() const {
    struct stat st {};
    if (m_state.fd < 0)
        throw Error(ErrorCode::Failed);
    if (fstat(m_state.fd, &st) != 0)
        RaiseLastError();
    return IdentityOfStat(st);
}

void DropCachedPages(const std::string& fullName) {
    const int fd = open(fullName.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        File::RaiseLastError();
    // Advice only: a file system that keeps no separate cache (a RAM disk) ignores it.
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

namespace DestroyParts {
namespace {

std::pair<std::string, std::string> Split(const std::string& fullName) {
    const std::size_t cut = fullName.rfind(kSeparator);
    if (cut == std::string::npos)
        return {".", fullName};
    return {fullName.substr(0, cut + 1), fullName.substr(cut + 1)};
}

NameFacts FactsOfStat(const struct stat& st) {
    NameFacts facts;
    facts.identity = IdentityOfStat(st);
    facts.plainFile = S_ISREG(st.st_mode);
    facts.link = S_ISLNK(st.st_mode);
    facts.links = std::uint64_t(st.st_nlink);
    return facts;
}

}  // namespace

NameInFolder::NameInFolder(const std::string& fullName) {
    std::tie(m_folder, m_name) = Split(fullName);
    m_handle.Reset(open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    m_openError = m_handle.Valid() ? 0 : errno;
}

std::optional<NameFacts> NameInFolder::Look(int& err) const {
    if (!m_handle.Valid()) {
        err = m_openError;
        return std::nullopt;
    }
    struct stat st {};
    if (fstatat(m_handle.Get(), m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        err = errno;
        return std::nullopt;
    }
    return FactsOfStat(st);
}

int NameInFolder::Remove() const {
    if (!m_handle.Valid())
        return m_openError;
    return unlinkat(m_handle.Get(), m_name.c_str(), 0) == 0 ? 0 : errno;
}

bool IsMissing(int err) {
    return err == ENOENT || err == ENOTDIR;
}

std::string TextOf(int err) {
    return ErrorText(ErrorLayer::File, MapErrno(err, ErrorLayer::File).value_or(ErrorCode::Failed));
}

Moved MoveNoReplace(const std::string& from, const std::string& to, int& err) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return Moved::Done;
    err = errno;
    if (err == EEXIST)
        return Moved::NameTaken;
    if (err != EINVAL && err != ENOSYS)
        return Moved::Failed;
    // A file system without the flag: check first, then move.
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) {
        err = EEXIST;
        return Moved::NameTaken;
    }
    if (rename(from.c_str(), to.c_str()) == 0)
        return Moved::Done;
    err = errno;
    return Moved::Failed;
}

std::optional<ErrorCode> RemovalRefused(const std::string& fullName) {
    // Removing a name needs the folder's write and search permission.
    if (access(Split(fullName).first.c_str(), W_OK | X_OK) == 0)
        return std::nullopt;
    return MapErrno(errno, ErrorLayer::File).value_or(ErrorCode::Failed);
}

void AllowRemoval(const std::string& fullName) {
    struct stat st {};
    if (lstat(fullName.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        chmod(fullName.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

}  // namespace DestroyParts

}  // namespace OS
