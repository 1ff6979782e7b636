#include "os/PendingOutput.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "os/Durable.h"
#include "os/Logger.h"
#include "os/windows/FileTimes.h"
#include "os/windows/Wide.h"

// Windows has no anonymous files: every output is written under a short temporary name beside
// the final one, flushed, and moved over the final name in one step.
namespace OS {
namespace {

constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomChars = PendingOutput::kTemporaryNameSize - 8;
static_assert(sizeof PendingOutput::kTemporaryPrefix - 1 == 8, "prefix and name size disagree");
// A name the system takes, in UTF-16 units.
constexpr std::size_t kMaxNameUnits = 255;

std::string TemporaryName() {
    std::random_device random;  // the system's random source
    std::string name = PendingOutput::kTemporaryPrefix;
    for (std::size_t i = 0; i < kRandomChars; ++i)
        name += kNameChars[random() % 36];
    return name;
}

void CheckNameFits(const std::string& name) {
    if (Wide(name).size() > kMaxNameUnits)
        throw File::NameTooLong();
}

HANDLE OpenFolder(const std::string& folder) {
    return CreateFileW(SystemPath(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The folder an open handle stands for, with '/' separators.
std::string PathOf(HANDLE folder) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(folder, buffer.data(), DWORD(buffer.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            File::RaiseLastError();
        if (n < buffer.size()) {
            std::string path = Utf8(buffer.data(), n);
            for (char& c : path) {
                if (c == '\\')
                    c = kSeparator;
            }
            return path;
        }
        buffer.resize(n + 1);
    }
}

timespec Now() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    const std::uint64_t unixTicks = TicksOf(ft) - 116444736000000000ull;
    timespec now{};
    now.tv_sec = time_t(unixTicks / 10000000u);
    now.tv_nsec = long(unixTicks % 10000000u) * 100;
    return now;
}

bool Older(std::uint64_t ticks, const timespec& before) {
    const std::uint64_t limit = std::uint64_t(before.tv_sec) * 10000000u +
                                std::uint64_t(before.tv_nsec) / 100 + 116444736000000000ull;
    return ticks < limit;
}

}  // namespace

PendingOutput::PendingOutput(std::string finalName, std::uint32_t creationAttributes)
    : m_finalName(std::move(finalName)),
      m_creationAttributes(creationAttributes),
      m_started(Now()) {
    const std::size_t cut = m_finalName.find_last_of("/\\");
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
    Descriptor handle(OpenFolder(folder));
    if (!handle.Valid() &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
        CreateFilePath(folder + kSeparator);
        handle.Reset(OpenFolder(folder));
    }
    if (!handle.Valid())
        File::RaiseLastError();
    SweepStale(handle.Get(), m_started);
    OpenIn(handle.Get());
}

void PendingOutput::OpenIn(NativeHandle folderFd) {
    Trace t("PendingOutput::OpenIn()");
    Discard();
    m_committed = false;
    m_anonymous = false;
    CheckNameFits(m_name);
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), folderFd, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        File::RaiseLastError();
    m_folder.Reset(copy);
    OpenNamed();
    try {
        m_file->ApplyCompression();
    } catch (...) {
        Discard();
        throw;
    }
}

bool PendingOutput::OpenAnonymous() {
    return false;
}

void PendingOutput::OpenNamed() {
    const std::string folder = PathOf(m_folder.Get());
    for (int attempt = 0;; ++attempt) {
        const std::string name = TemporaryName();
        // Unshared while it is written: a sweeper cannot remove it, nobody reads it half made.
        Descriptor handle(CreateFileW(SystemPath(folder + kSeparator + name).c_str(),
                                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.Valid()) {
            if (GetLastError() == ERROR_FILE_EXISTS && attempt < 16)
                continue;
            File::RaiseLastError();
        }
        m_temporary = name;
        m_file = std::make_unique<WriteFile>(std::move(handle), m_finalName);
        m_file->SetCreationAttributes(m_creationAttributes);
        return;
    }
}

void PendingOutput::Adopt(Descriptor fd) {
    m_file = std::make_unique<WriteFile>(std::move(fd), m_finalName);
    m_file->SetCreationAttributes(m_creationAttributes);
}

void PendingOutput::Commit(bool syncFolder) {
    Trace t("PendingOutput::Commit()");
    if (!m_file || !m_file->IsOpen())
        throw File::Error(ErrorCode::Failed);
    if (m_durable)
        File::RaiseError(TrySyncData(m_file->m_state.fd), IoOp::Write);
    m_file->ApplyCreationAttributes();
    // Windows has no execute permission: SetExecutable changes nothing here.
    m_file->CloseHandle();
    const std::string folder = PathOf(m_folder.Get()) + kSeparator;
    if (!MoveFileExW(SystemPath(folder + m_temporary).c_str(), SystemPath(folder + m_name).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        File::RaiseLastError();
    m_committed = true;
    m_temporary.clear();
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
    if (!m_committed && !m_temporary.empty() && m_folder.Valid()) {
        try {
            const std::wstring name = SystemPath(PathOf(m_folder.Get()) + kSeparator + m_temporary);
            SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(name.c_str());
        } catch (...) {
        }
    }
    m_temporary.clear();
}

void PendingOutput::SweepStale(NativeHandle folderFd, const struct timespec& before) {
    Trace t("PendingOutput::SweepStale()");
    std::string folder;
    try {
        folder = PathOf(folderFd) + kSeparator;
    } catch (const File::Error&) {
        return;
    }
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(SystemPath(folder + kTemporaryPrefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = Utf8(found.cFileName);
        if (!IsTemporaryName(name) ||
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            !Older(TicksOf(found.ftLastWriteTime), before))
            continue;
        // A writer holds its temporary open unshared for as long as it lives: deleting it fails.
        // (An attribute change would get through that: a read-only one stays.)
        if (DeleteFileW(SystemPath(folder + name).c_str()))
            Logger::Log(LOG_INFO, "Removed a temporary file left by an interrupted run: " + name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace OS
