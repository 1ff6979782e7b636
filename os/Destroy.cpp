#include "os/Destroy.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

// Refreshes `info` and tells whether it names a plain file that destruction may touch. Links,
// devices and pipes are left alone: writing through them would reach something else.
bool IsDestroyable(File::Info& info) {
    try {
        info.Update();
    } catch (const File::Error& e) {
        if (e.code == 1)
            return false;
        throw;
    }
    if (info.Attributes() & (ATTR_SYSTEM | ATTR_DIRECTORY))
        return false;
    struct stat st {};
    if (lstat(info.FullName().c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        File::RaiseLastError();
    }
    if (!S_ISREG(st.st_mode)) {
        Logger::Log(LOG_WARN, "Not a plain file, left in place: " + info.FullName());
        return false;
    }
    return true;
}

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
            throw File::Error(8);
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

void DeleteFileList(const std::vector<std::string>& names, bool recycle) {
    Trace trace("File::DeleteFileList()");
    for (const std::string& name : names) {
        struct stat st {};
        if (lstat(name.c_str(), &st) != 0) {
            Logger::Log(LOG_WARN,
                        "Could not remove " + name + ": " +
                            ErrorText(ErrorLayer::File, MapErrno(errno, ErrorLayer::File)));
            continue;
        }
        if (recycle) {
            try {
                // Never opened: mode 2 only lets the name be described whatever it is.
                WriteFile file(name, 2);
                file.Recycle();
            } catch (const std::exception& e) {
                Logger::Log(LOG_WARN, "Could not move to the trash: " + name + ": " + e.what());
            }
        } else if (unlink(name.c_str()) != 0) {
            Logger::Log(LOG_WARN,
                        "Could not delete " + name + ": " +
                            ErrorText(ErrorLayer::File, MapErrno(errno, ErrorLayer::File)));
        }
    }
}

// ---------------------------------------------------------------------------------------------

bool WriteFile::OpenToDestroy(int mode) {
    if (IsOpen())
        return true;
    const std::string full = m_info.FullName();
    // Read-only protects a file from being written, whoever asks: root is kept out too.
    if (m_info.Attributes() & ATTR_READONLY) {
        Logger::Log(LOG_WARN,
                    "Cannot open " + full + " to overwrite it: " + ErrorText(ErrorLayer::File, 3));
        return false;
    }
    struct stat before {};
    if (lstat(full.c_str(), &before) != 0 || !S_ISREG(before.st_mode))
        return false;
    m_state.mode = mode;
    try {
        Open();
    } catch (const Error& e) {
        try {
            CloseHandle();
        } catch (const Error&) {
        }
        switch (e.code) {
            case 1:
            case 3:
            case 5:
            case 6:
            case 7:
            case 8:
                Logger::Log(LOG_WARN, "Cannot open " + full + " to overwrite it: " + e.what());
                return false;
            default:
                throw;
        }
    }
    // The name may have been swapped for a link between the check and the open.
    struct stat after {};
    if (fstat(m_state.fd, &after) != 0 || after.st_dev != before.st_dev ||
        after.st_ino != before.st_ino) {
        CloseHandle();
        Logger::Log(LOG_WARN, "File changed while opening it to overwrite it: " + full);
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

bool WriteFile::Overwrite() {
    Trace trace("WriteFile::Overwrite()");
    if (!IsDestroyable(m_info))
        return false;
    const bool secure = IsSecureMedium(m_info);
    if (!OpenToDestroy(3))
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
    if (!IsDestroyable(m_info))
        return false;
    const bool secure = IsSecureMedium(m_info);
    std::mt19937 rng = FreshGenerator();

    if (m_info.Size() != 0) {
        if (!OpenToDestroy(9999))
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
