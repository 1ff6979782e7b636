#include "os/Destination.h"

#include <windows.h>

#include <cwchar>

#include "os/Durable.h"
#include "os/Logger.h"
#include "os/PendingOutput.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

// Longest path the wide API takes, and longest name of one level (in UTF-16 units).
constexpr std::size_t kMaxPath = 32767 - 8;
constexpr std::size_t kMaxName = 255;

// Enough to list and to walk through; neither sharing delete, so that a level being walked
// cannot be renamed or replaced by a junction while it is open.
constexpr DWORD kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

[[noreturn]] void Raise(ErrorLayer layer, DWORD err) {
    if (err == ERROR_FILENAME_EXCED_RANGE)
        throw File::NameTooLong();
    if (layer == ErrorLayer::File) {
        RaiseWindowsError<ErrorLayer::File>(err);
        throw File::Error(ErrorCode::Failed);  // err was 0: a failure all the same
    }
    RaiseWindowsError<ErrorLayer::Directory>(err);
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

// In the clock the stale temporaries' times are compared with: since 1970, UTC.
struct timespec Now() {
    FILETIME ft{};
    GetSystemTimeAsFileTime(&ft);
    const std::uint64_t ticks = (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const std::uint64_t since1970 = ticks - 116444736000000000ull;  // 100 ns units
    struct timespec now {};
    now.tv_sec = static_cast<time_t>(since1970 / 10000000);
    now.tv_nsec = static_cast<long>(since1970 % 10000000 * 100);
    return now;
}

// Names the system would take for something else: a device, another stream of a file, a
// separator of its own, or a name it trims.
bool IsReservedName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..")
        return true;
    for (wchar_t c : name) {
        if (c < 0x20 || std::wcschr(L"<>:\"\\|?*", c))
            return true;
    }
    if (name.back() == L'.' || name.back() == L' ')
        return true;
    // CON, PRN, AUX, NUL, COM1-9 and LPT1-9 are devices, whatever extension follows.
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (wchar_t& c : stem) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    return stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

HANDLE OpenFolder(const std::wstring& path, bool followLink) {
    return CreateFileW(path.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                       nullptr);
}

enum class Kind { Folder, Link, Other };

// Symbolic links and junctions lead elsewhere; other reparse points (placeholders of files kept
// in the cloud, deduplicated files) are what they seem.
Kind KindOf(HANDLE handle, DWORD& err) {
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
        err = GetLastError();
        return Kind::Other;
    }
    err = 0;
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (info.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
         info.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT))
        return Kind::Link;
    return (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::Other;
}

}  // namespace

Destination::Destination(std::string root) : m_root(std::move(root)), m_started(Now()) {
    if (m_root.empty() || (m_root.back() != kSeparator && m_root.back() != '\\'))
        m_root += kSeparator;
}

void Destination::CheckFits(const std::string& relative) const {
    if (m_root.size() + relative.size() >= kMaxPath)
        throw File::NameTooLong();
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find(kSeparator, start);
        const std::string part =
            relative.substr(start, (end == std::string::npos ? relative.size() : end) - start);
        const std::wstring wide = Wide(part);
        if (wide.size() > kMaxName)
            throw File::NameTooLong();
        // Stored names are checked when read; these are the ones only Windows refuses.
        if (IsReservedName(wide))
            throw File::Error(ErrorCode::Failed);
        if (end == std::string::npos)
            return;
        start = end + 1;
    }
}

NativeHandle Destination::OpenRoot(bool create, ErrorLayer layer) {
    if (m_rootFd.Valid())
        return m_rootFd.Get();
    // Links are followed here: the user chose this folder by this name.
    const std::wstring root = SystemPath(m_root);
    m_rootFd.Reset(OpenFolder(root, true));
    DWORD err = m_rootFd.Valid() ? 0 : GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
        if (!create)
            return kNoHandle;
        try {
            CreateFilePath(m_root);
        } catch (const File::NameTooLong&) {
            throw;
        } catch (const File::Error& e) {
            if (layer == ErrorLayer::File)
                throw;
            throw PlatformError<ErrorLayer::Directory>(e.code);
        }
        m_rootFd.Reset(OpenFolder(root, true));
        err = m_rootFd.Valid() ? 0 : GetLastError();
    }
    if (!m_rootFd.Valid())
        Raise(layer, err);
    DWORD kindErr = 0;
    if (KindOf(m_rootFd.Get(), kindErr) != Kind::Folder) {
        m_rootFd.Reset();
        Raise(layer, kindErr ? kindErr : ERROR_PATH_NOT_FOUND);
    }
    return m_rootFd.Get();
}

Destination::Reach Destination::Walk(const std::string& folder, bool create, ErrorLayer layer,
                                     NativeHandle& fd) {
    const NativeHandle root = OpenRoot(create, layer);
    if (root == kNoHandle)
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
    // Each level is opened while the one above it is held open, so none of them can be swapped
    // for a link between its check and the next step.
    Descriptor current;
    std::string done;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folder.find(kSeparator, start);
        const std::string part = folder.substr(start, end == std::string::npos ? end : end - start);
        const std::string next = done.empty() ? part : done + kSeparator + part;
        const std::wstring path = SystemPath(m_root + next);
        Descriptor level(OpenFolder(path, false));
        DWORD err = level.Valid() ? 0 : GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
            if (!create)
                return Reach::Missing;
            if (CreateDirectoryW(path.c_str(), nullptr))
                m_changed.insert(done);
            else if (GetLastError() != ERROR_ALREADY_EXISTS)
                Raise(layer, GetLastError());
            level.Reset(OpenFolder(path, false));
            err = level.Valid() ? 0 : GetLastError();
        }
        if (err != 0)
            Raise(layer, err);
        switch (KindOf(level.Get(), err)) {
            case Kind::Link:
                return Reach::Link;
            case Kind::Other:
                if (err != 0)
                    Raise(layer, err);
                // Nothing can stand below a file; writing there fails, and says so, later.
                if (!create)
                    return Reach::Missing;
                Raise(layer, ERROR_PATH_NOT_FOUND);
            case Kind::Folder:
                break;
        }
        current = std::move(level);
        done = next;
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
                                           NativeHandle& folderFd) {
    Trace t("Destination::OpenParent()");
    CheckFits(relative);
    const Reach reach = Walk(ParentOf(relative), create, ErrorLayer::File, folderFd);
    if (reach == Reach::Ok && create) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(folderFd, &info) &&
            m_swept
                .emplace(info.dwVolumeSerialNumber,
                         (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow)
                .second)
            PendingOutput::SweepStale(folderFd, m_started);
    }
    return reach;
}

Destination::Reach Destination::MakeFolder(const std::string& relative) {
    Trace t("Destination::MakeFolder()");
    CheckFits(relative);
    NativeHandle fd = kNoHandle;
    return Walk(relative, true, ErrorLayer::Directory, fd);
}

Destination::Reach Destination::Describe(const std::string& relative, File::Info& info) {
    Trace t("Destination::Describe()");
    CheckFits(relative);
    const std::string parent = ParentOf(relative);
    NativeHandle fd = kNoHandle;
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
        NativeHandle fd = kNoHandle;
        if (Walk(folder, false, ErrorLayer::File, fd) == Reach::Ok)
            RaiseWindowsError<ErrorLayer::File>(TrySyncFolder(fd), IoOp::Write);
    }
}

}  // namespace OS
