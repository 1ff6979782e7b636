#include "os/PendingOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os/Durable.h"
#include "os/Logger.h"

namespace OS {
namespace {

constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomChars = PendingOutput::kTemporaryNameSize - 8;
static_assert(sizeof PendingOutput::kTemporaryPrefix - 1 == 8, "prefix and name size disagree");

std::string TemporaryName() {
    unsigned char bytes[kRandomChars];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            File::RaiseLastError();
        got += std::size_t(n);
    }
    std::string name = PendingOutput::kTemporaryPrefix;
    for (unsigned char b : bytes)
        name += kNameChars[b % 36];
    return name;
}

bool Older(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The clock that file times are taken from, so that a file made after this moment never
// looks older than it.
struct timespec Now() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool NamedTemporariesForced() {
    return std::getenv(PendingOutput::kNamedTemporariesVariable) != nullptr;
}

// An anonymous file can only be given a name through its /proc entry: naming it from the
// descriptor alone needs a privilege users do not have.
std::string ProcName(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool CanNameAnonymousFiles() {
    // Asked once: a run of many files would ask again for every one.
    static const bool can = access("/proc/self/fd", X_OK) == 0;
    return can;
}

void CheckNameFits(const std::string& name) {
    if (name.empty())
        throw File::Error(ErrorCode::Failed);
    if (name.size() > NAME_MAX)
        throw File::NameTooLong();
}

int LockExclusive(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

}  // namespace

PendingOutput::PendingOutput(std::string finalName, std::uint32_t creationAttributes)
    : m_finalName(std::move(finalName)),
      m_creationAttributes(creationAttributes),
      m_started(Now()) {
    const std::size_t cut = m_finalName.rfind(kSeparator);
    m_name = cut == std::string::npos ? m_finalName : m_finalName.substr(cut + 1);
}

PendingOutput::~PendingOutput() {
    Discard();
}

bool PendingOutput::IsTemporaryName(const std::string& name) {
    const std::size_t prefix = sizeof kTemporaryPrefix - 1;
    if (name.size() != kTemporaryNameSize || name.compare(0, prefix, kTemporaryPrefix) != 0)
        return false;
    for (std::size_t i = prefix; i < name.size(); ++i)
        if (!std::strchr(kNameChars, name[i]) || name[i] == '\0')
            return false;
    return true;
}

void PendingOutput::Open() {
    Trace t("PendingOutput::Open()");
    CheckNameFits(m_name);
    const std::string folder = FolderOf(m_finalName);
    Descriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid() && errno == ENOENT) {
        CreateFilePath(folder + kSeparator);
        fd.Reset(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    if (!fd.Valid())
        File::RaiseLastError();
    SweepStale(fd.Get(), m_started);
    OpenIn(fd.Get());
}

void PendingOutput::OpenIn(int folderFd) {
    Trace t("PendingOutput::OpenIn()");
    Discard();
    m_committed = false;
    m_anonymous = false;
    CheckNameFits(m_name);
    m_folder.Reset(fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!m_folder.Valid())
        File::RaiseLastError();
    if (!OpenAnonymous())
        OpenNamed();
    try {
        m_file->ApplyCompression();
    } catch (...) {
        Discard();
        throw;
    }
}

bool PendingOutput::OpenAnonymous() {
    if (NamedTemporariesForced() || !CanNameAnonymousFiles())
        return false;
    Descriptor fd(openat(m_folder.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    // File systems without anonymous files answer in several ways (EOPNOTSUPP, EISDIR, ENOENT
    // among them); a real failure of the folder comes back from the named attempt.
    if (!fd.Valid())
        return false;
    Adopt(std::move(fd));
    m_anonymous = true;
    return true;
}

void PendingOutput::OpenNamed() {
    for (int attempt = 0;; ++attempt) {
        const std::string name = TemporaryName();
        Descriptor fd(openat(m_folder.Get(), name.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd.Valid()) {
            if (errno == EEXIST && attempt < 16)
                continue;
            File::RaiseLastError();
        }
        // Locked, a sweeper leaves it alone; one that got there first has unlinked the name,
        // which the check below sees.
        const int err = LockExclusive(fd.Get());
        struct stat mine {
        }, named{};
        if (err == 0 && fstat(fd.Get(), &mine) == 0 &&
            fstatat(m_folder.Get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            mine.st_ino == named.st_ino && mine.st_dev == named.st_dev) {
            m_temporary = name;
            m_file = std::make_unique<WriteFile>(std::move(fd), m_finalName);
            m_file->SetCreationAttributes(m_creationAttributes);
            return;
        }
        if (attempt >= 16)
            File::RaiseError(err != 0 ? err : EEXIST);
    }
}

void PendingOutput::Adopt(Descriptor fd) {
    // Nobody else can reach an anonymous file: Commit locks it before it has a temporary name.
    m_file = std::make_unique<WriteFile>(std::move(fd), m_finalName);
    m_file->SetCreationAttributes(m_creationAttributes);
}

void PendingOutput::Commit(bool syncFolder) {
    Trace t("PendingOutput::Commit()");
    if (!m_file || !m_file->IsOpen())
        throw File::Error(ErrorCode::Failed);
    const int fd = m_file->m_state.fd;
    if (m_durable)
        File::RaiseError(TrySyncData(fd), IoOp::Write);
    m_file->ApplyCreationAttributes();
    if (m_executable) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || fchmod(fd, (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2)))
            File::RaiseLastError();
    }
    if (m_anonymous) {
        // Where nothing has the name yet, linking gives it atomically, with no rename after.
        if (linkat(AT_FDCWD, ProcName(fd).c_str(), m_folder.Get(), m_name.c_str(),
                   AT_SYMLINK_FOLLOW) == 0) {
            m_committed = true;
            m_file->Close();
            m_file.reset();
            if (syncFolder && m_durable)
                File::RaiseError(TrySyncFolder(m_folder.Get()), IoOp::Write);
            return;
        }
        if (errno != EEXIST)
            File::RaiseLastError();
        // A name first: rename is the only call that replaces an existing file atomically.
        LockExclusive(fd);
        for (int attempt = 0; m_temporary.empty(); ++attempt) {
            const std::string name = TemporaryName();
            if (linkat(AT_FDCWD, ProcName(fd).c_str(), m_folder.Get(), name.c_str(),
                       AT_SYMLINK_FOLLOW) == 0)
                m_temporary = name;
            else if (errno != EEXIST || attempt >= 16)
                File::RaiseLastError();
        }
    }
    if (renameat(m_folder.Get(), m_temporary.c_str(), m_folder.Get(), m_name.c_str()) != 0)
        File::RaiseLastError();
    m_committed = true;
    m_temporary.clear();
    m_file->Close();
    m_file.reset();
    if (syncFolder && m_durable)
        File::RaiseError(TrySyncFolder(m_folder.Get()), IoOp::Write);
}

void PendingOutput::Discard() noexcept {
    if (m_file) {
        // A discarded output keeps no attributes: read-only would only get in the way.
        try {
            m_file->CloseHandle();
        } catch (...) {
        }
        m_file.reset();
    }
    if (!m_committed && !m_temporary.empty() && m_folder.Valid())
        unlinkat(m_folder.Get(), m_temporary.c_str(), 0);
    m_temporary.clear();
}

void PendingOutput::SweepStale(int folderFd, const struct timespec& before) {
    Trace t("PendingOutput::SweepStale()");
    Descriptor listing(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.Valid())
        return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(listing.Get()), closedir);
    if (!dir)
        return;
    listing.Release();
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name))
            continue;
        struct stat named {};
        if (fstatat(folderFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(named.st_mode) || !Older(named.st_mtim, before))
            continue;
        // A writer holds its temporary locked for as long as it lives.
        const Descriptor fd(openat(folderFd, name.c_str(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {};
        if (!fd.Valid() || fstat(fd.Get(), &opened) != 0 || opened.st_ino != named.st_ino ||
            opened.st_dev != named.st_dev || LockExclusive(fd.Get()) != 0)
            continue;
        if (unlinkat(folderFd, name.c_str(), 0) == 0)
            Logger::Log(LOG_INFO, "Removed a temporary file left by an interrupted run: " + name);
    }
}

}  // namespace OS
