#include "os/Destroy.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "os/Logger.h"

namespace OS {
namespace {

constexpr std::size_t kBlockSize = 16384;
constexpr unsigned char kFirstPattern = 0x39;
constexpr unsigned char kSecondPattern = 0xC6;
constexpr char kRenameAlphabet[] =
    "abcdefghijkLmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-+";
static_assert(sizeof kRenameAlphabet == 65, "the rename alphabet has 64 letters");
constexpr int kRenames = 4;
// A drawn name that is taken is drawn again rather than put in the other file's place.
constexpr int kNameDraws = 16;

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

std::uint32_t Load(const ProgressWord* word) {
    return word ? word->load(std::memory_order_relaxed) : 0;
}

void Store(ProgressWord* word, std::uint32_t value) {
    if (word)
        word->store(value, std::memory_order_relaxed);
}

void Advance(ProgressWord* word, std::uint32_t start, std::uint32_t target, std::uint64_t done,
             std::uint64_t total) {
    if (!word)
        return;
    const double value =
        double(start) + (double(target) - double(start)) * double(done) / double(total);
    word->store(std::uint32_t(std::int64_t(value)), std::memory_order_relaxed);
}

// Refreshes `info` and tells whether it names a plain file that destruction may touch, with
// its lstat in `st`; otherwise `note` says why not. Links, devices and pipes are left alone:
// writing through them would reach something else.
bool IsDestroyable(File::Info& info, struct stat& st, std::string& note) {
    try {
        info.Update();
    } catch (const File::Error& e) {
        if (e.code == ErrorCode::NotFound) {
            note = "not found";
            return false;
        }
        throw;
    }
    if (lstat(info.FullName().c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            note = "not found";
            return false;
        }
        File::RaiseLastError();
    }
    if (!S_ISREG(st.st_mode) || (info.Attributes() & (ATTR_SYSTEM | ATTR_DIRECTORY))) {
        note = S_ISLNK(st.st_mode) ? "kept, it is a link" : "kept, it is not a plain file";
        Logger::Log(LOG_WARN, "Not a plain file, left in place: " + info.FullName());
        return false;
    }
    return true;
}

constexpr const char kChanged[] = "kept, it changed after it was read";
constexpr const char kHardLinked[] =
    "only unlinked, not overwritten: it has other names (hard links) that keep its content";

// 0 or the errno of the failure. Never replaces an existing name.
int MoveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS)
        return err;
    // A file system without the flag: check first, then move.
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Renames the file `original` in `path` kRenames times and returns its last name. A failed
// move puts the file back under `original` and raises.
std::string RenameAway(const std::string& path, const std::string& original, std::mt19937& rng) {
    // Only dots: there is nothing a rename could change.
    if (original.find_first_not_of('.') == std::string::npos)
        return original;
    const auto next = [&rng] { return std::uint32_t(rng()); };
    std::string current = original;
    for (int i = 0; i < kRenames; ++i) {
        std::string drawn;
        int err = EEXIST;
        for (int draw = 0; draw < kNameDraws && err == EEXIST; ++draw) {
            drawn = ScrambleName(current, next);
            err = drawn == current ? EEXIST : MoveNoReplace(path + current, path + drawn);
        }
        if (err != 0) {
            if (current != original)
                MoveNoReplace(path + current, path + original);
            File::RaiseError(err);
        }
        current = drawn;
    }
    return current;
}

std::mt19937 FreshGenerator() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937(seed);
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

std::string ScrambleName(const std::string& name, const std::function<std::uint32_t()>& next) {
    std::string scrambled = name;
    for (char& c : scrambled) {
        if (c != '.')
            c = kRenameAlphabet[next() % 64];
    }
    return scrambled;
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

namespace {

// The folder of `fullName`, open, and the name inside it: what is looked at or removed there
// is the entry of that folder, never what a link at the name points to.
class FolderHandle {
  public:
    explicit FolderHandle(const std::string& fullName) {
        const std::size_t cut = fullName.rfind(kSeparator);
        const std::string folder = cut == std::string::npos ? "." : fullName.substr(0, cut + 1);
        m_name = cut == std::string::npos ? fullName : fullName.substr(cut + 1);
        m_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        m_err = m_fd < 0 ? errno : 0;
    }
    ~FolderHandle() {
        if (m_fd >= 0)
            close(m_fd);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    int Fd() const { return m_fd; }
    int OpenError() const { return m_err; }
    const std::string& Name() const { return m_name; }

  private:
    int m_fd = -1;
    int m_err = 0;
    std::string m_name;
};

std::string ErrnoText(int err) {
    return ErrorText(ErrorLayer::File, MapErrno(err, ErrorLayer::File).value_or(ErrorCode::Failed));
}

}  // namespace

std::optional<FileIdentity> IdentityAt(const std::string& fullName) {
    FolderHandle folder(fullName);
    if (folder.Fd() < 0) {
        if (folder.OpenError() == ENOENT || folder.OpenError() == ENOTDIR)
            return std::nullopt;
        File::RaiseError(folder.OpenError());
    }
    struct stat st {};
    if (fstatat(folder.Fd(), folder.Name().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        File::RaiseLastError();
    }
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

std::vector<RemovalOutcome> DeleteFileList(const std::vector<std::string>& names, bool recycle,
                                           const std::vector<FileIdentity>& expected) {
    Trace trace("File::DeleteFileList()");
    std::vector<RemovalOutcome> outcomes(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        RemovalOutcome& outcome = outcomes[i];
        FolderHandle folder(name);
        struct stat st {};
        if (folder.Fd() < 0 ||
            fstatat(folder.Fd(), folder.Name().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            const int err = folder.Fd() < 0 ? folder.OpenError() : errno;
            outcome.result = err == ENOENT || err == ENOTDIR ? Removal::Missing : Removal::Failed;
            outcome.reason = ErrnoText(err);
        } else if (i < expected.size() && IdentityOfStat(st) != expected[i]) {
            outcome.result = Removal::Changed;
            outcome.reason = kChanged;
        } else if (recycle) {
            try {
                // Never opened: Replace only lets the name be described whatever it is.
                WriteFile file(name, WriteMode::Replace);
                if (i < expected.size())
                    file.ExpectIdentity(expected[i]);
                if (!file.Recycle()) {
                    outcome.result = Removal::NotTrashed;
                    outcome.reason = file.DestroyNote();
                }
            } catch (const std::exception& e) {
                outcome.result = Removal::NotTrashed;
                outcome.reason = e.what();
            }
        } else if (unlinkat(folder.Fd(), folder.Name().c_str(), 0) != 0) {
            outcome.result = Removal::Failed;
            outcome.reason = ErrnoText(errno);
        }
        if (outcome.result != Removal::Removed)
            Logger::Log(LOG_WARN, "Not removed: " + name + ": " + outcome.reason);
    }
    return outcomes;
}

// ---------------------------------------------------------------------------------------------

bool WriteFile::OpenToDestroy(WriteMode mode) {
    if (IsOpen())
        return true;
    const std::string full = m_info.FullName();
    // Read-only protects a file from being written, whoever asks: root is kept out too.
    if (m_info.Attributes() & ATTR_READONLY) {
        m_destroyNote = std::string("kept, it could not be opened for writing: ") +
                        ErrorText(ErrorLayer::File, ErrorCode::Denied);
        Logger::Log(LOG_WARN, full + ": " + m_destroyNote);
        return false;
    }
    struct stat before {};
    if (lstat(full.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) {
        m_destroyNote = kChanged;
        return false;
    }
    m_state.mode = mode;
    try {
        Open();
    } catch (const Error& e) {
        try {
            CloseHandle();
        } catch (const Error&) {
        }
        switch (e.code) {
            case ErrorCode::NotFound:
            case ErrorCode::Denied:
            case ErrorCode::WriteFault:
            case ErrorCode::InUse:
            case ErrorCode::WriteProtected:
            case ErrorCode::InvalidDrive:
                m_destroyNote =
                    std::string("kept, it could not be opened for writing: ") + e.what();
                Logger::Log(LOG_WARN, full + ": " + m_destroyNote);
                return false;
            default:
                throw;
        }
    }
    // The name may have been swapped for a link between the check and the open.
    struct stat after {};
    if (fstat(m_state.fd, &after) != 0 || after.st_dev != before.st_dev ||
        after.st_ino != before.st_ino || (m_expected && IdentityOfStat(after) != *m_expected)) {
        CloseHandle();
        Logger::Log(LOG_WARN, "File changed while opening it to overwrite it: " + full);
        m_destroyNote = kChanged;
        return false;
    }
    return true;
}

void WriteFile::OverwritePass(const unsigned char* buffer, std::size_t block,
                              std::uint32_t percentTarget, std::uint32_t counterTarget) {
    Move(0, false);
    const std::uint64_t size = m_info.Size();
    const std::uint64_t blocks = block ? size / block : 0;
    const std::uint32_t percentStart = Load(m_state.percent);
    const std::uint32_t counterStart = Load(m_state.counter);
    for (std::uint64_t i = 0; i < blocks; ++i) {
        Write(buffer, block);
        Advance(m_state.percent, percentStart, percentTarget, i, blocks);
        Advance(m_state.counter, counterStart, counterTarget, i, blocks);
    }
    if (block)
        Write(buffer, std::size_t(size % block));
    Store(m_state.percent, percentTarget);
    Store(m_state.counter, counterTarget);
}

void WriteFile::EndProgress() {
    Store(m_state.percent, 100);
    Store(m_state.counter, m_state.counterEnd);
}

// Checks that destruction may go ahead; a file with other names is unlinked here, its
// content left to them. False when the caller has nothing more to do.
bool WriteFile::PrepareToDestroy() {
    m_destroyNote.clear();
    struct stat st {};
    // Whatever the name holds now, it is not what was read.
    if (m_expected && lstat(m_info.FullName().c_str(), &st) == 0 &&
        IdentityOfStat(st) != *m_expected) {
        m_destroyNote = kChanged;
        return false;
    }
    if (!IsDestroyable(m_info, st, m_destroyNote))
        return false;
    // Content destroyed under a name that stays would be the worst of both.
    if (access(m_info.Path().c_str(), W_OK | X_OK) != 0) {
        m_destroyNote = std::string("kept, its folder does not let it be removed: ") +
                        ErrorText(ErrorLayer::File,
                                  MapErrno(errno, ErrorLayer::File).value_or(ErrorCode::Failed));
        return false;
    }
    if (st.st_nlink > 1) {
        Delete(false);
        m_destroyNote = kHardLinked;
        EndProgress();
        return false;
    }
    return true;
}

bool WriteFile::Overwrite() {
    Trace trace("WriteFile::Overwrite()");
    if (!PrepareToDestroy())
        return false;
    const bool secure = IsSecureMedium(m_info);
    if (!OpenToDestroy(WriteMode::OpenExisting))
        return false;
    const std::vector<unsigned char> zeros(kBlockSize, 0);
    OverwritePass(zeros.data(), zeros.size(), 100, m_state.counterEnd);
    // The dirty pages of an unlinked file are dropped unwritten: the zeros must reach the disk
    // before the name goes.
    Flush();
    Delete(false);
    EndProgress();
    return secure;
}

bool WriteFile::Eradicate() {
    Trace trace("WriteFile::Eradicate()");
    if (!PrepareToDestroy())
        return false;
    const bool secure = IsSecureMedium(m_info);
    std::mt19937 rng = FreshGenerator();

    if (m_info.Size() != 0) {
        if (!OpenToDestroy(WriteMode::WriteThrough))
            return false;
        const std::size_t block = std::size_t(std::min<std::uint64_t>(m_info.Size(), kBlockSize));
        std::vector<unsigned char> buffer(block);
        const std::int64_t start = m_state.counterStart;
        const std::int64_t span = std::int64_t(m_state.counterEnd) - start;
        const auto counterAt = [&](int quarter) {
            return std::uint32_t(start + span * quarter / 4);
        };

        std::fill(buffer.begin(), buffer.end(), kFirstPattern);
        OverwritePass(buffer.data(), block, 25, counterAt(1));
        Flush();
        std::fill(buffer.begin(), buffer.end(), kSecondPattern);
        OverwritePass(buffer.data(), block, 50, counterAt(2));
        Flush();
        for (int pass = 3; pass <= 4; ++pass) {
            for (unsigned char& b : buffer)
                b = static_cast<unsigned char>(rng() & 0xFF);
            OverwritePass(buffer.data(), block, std::uint32_t(pass * 25), counterAt(pass));
            Flush();
        }
        Close();
    }

    const std::string path = m_info.Path();
    const std::string original = m_info.Name();
    const std::string last = RenameAway(path, original, rng);
    m_info = Info(path + last, true);
    struct stat st {};
    if (lstat((path + last).c_str(), &st) == 0)
        chmod((path + last).c_str(), (st.st_mode & 07777) | S_IWUSR);
    Delete(false);
    // The object keeps naming the file its caller gave it.
    m_info = Info(path + original, true);
    EndProgress();
    return secure;
}

}  // namespace OS
