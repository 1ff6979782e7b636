#include "os/File.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "os/Destroy.h"
#include "os/Logger.h"
#include "os/Trash.h"
#include "os/windows/FileTimes.h"
#include "os/windows/Wide.h"

namespace OS {
namespace {

// One call moves at most this much: the system's counts are 32 bits.
constexpr std::size_t kMaxChunk = 1u << 30;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::wstring SystemName(const File::Info& info) {
    return SystemPath(info.FullName());
}

// 0, or the error of a refusal other than "this file system does not compress".
DWORD AskToCompress(HANDLE handle) {
    USHORT format = COMPRESSION_FORMAT_DEFAULT;
    DWORD returned = 0;
    if (DeviceIoControl(handle, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0,
                        &returned, nullptr))
        return 0;
    const DWORD err = GetLastError();
    return err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED ? 0 : err;
}

// The system attributes for the layer's flags: only the low eight bits take part.
DWORD SystemAttributes(std::uint32_t attributes) {
    DWORD out = FILE_ATTRIBUTE_NORMAL;
    if (attributes & ATTR_ARCHIVE)
        out |= FILE_ATTRIBUTE_ARCHIVE;
    if (attributes & ATTR_HIDDEN)
        out |= FILE_ATTRIBUTE_HIDDEN;
    if (attributes & ATTR_READONLY)
        out |= FILE_ATTRIBUTE_READONLY;
    if (attributes & ATTR_SYSTEM)
        out |= FILE_ATTRIBUTE_SYSTEM;
    if (attributes & ATTR_TEMPORARY)
        out |= FILE_ATTRIBUTE_TEMPORARY;
    // NORMAL is valid only alone.
    return out == FILE_ATTRIBUTE_NORMAL ? out : out & ~DWORD(FILE_ATTRIBUTE_NORMAL);
}

// Sets the attributes through the open handle, so that no other file of that name changes.
DWORD SetAttributesOf(HANDLE handle, DWORD attributes) {
    FILE_BASIC_INFO basic{};  // zero times stay as they are
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) ? 0
                                                                                   : GetLastError();
}

DWORD AttributesOf(HANDLE handle) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return INVALID_FILE_ATTRIBUTES;
    return basic.FileAttributes;
}

bool Creates(WriteMode mode) {
    return mode == WriteMode::CreateNew || mode == WriteMode::Replace;
}

std::uint64_t Seek(HANDLE handle, std::int64_t offset, bool fromCurrent) {
    if (handle == kNoHandle)
        throw File::Error(ErrorCode::Failed);
    const DWORD method = fromCurrent ? FILE_CURRENT : (offset < 0 ? FILE_END : FILE_BEGIN);
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER pos{};
    if (!SetFilePointerEx(handle, distance, &pos, method))
        File::RaiseLastError();
    return std::uint64_t(pos.QuadPart);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void File::RaiseLastError(IoOp op) {
    RaiseError(int(GetLastError()), op);
}

void File::RaiseError(int err, IoOp op) {
    if (DWORD(err) == ERROR_FILENAME_EXCED_RANGE)
        throw NameTooLong();
    RaiseWindowsError<ErrorLayer::File>(DWORD(err), op);
}

std::string File::GetCurrentPath() {
    Trace trace("File::GetCurrentPath()");
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
        if (n == 0)
            RaiseLastError();
        if (n < buffer.size()) {
            std::string path = Utf8(buffer.data(), n);
            std::replace(path.begin(), path.end(), '\\', kSeparator);
            return path;
        }
        buffer.resize(n + 1);
    }
}

void File::CloseHandle() {
    if (m_state.fd == kNoHandle)
        return;
    HANDLE handle = m_state.fd;
    m_state.fd = kNoHandle;
    if (!::CloseHandle(handle))
        RaiseLastError(IoOp::Write);
}

void File::Info::SplitName(const std::string& fullName) {
    std::size_t cut = std::string::npos;
    for (std::size_t i = fullName.size(); i-- > 0;) {
        if (IsSeparator(fullName[i])) {
            cut = i;
            break;
        }
    }
    if (cut == std::string::npos) {
        m_path = GetCurrentPath();
        if (m_path.empty() || !IsSeparator(m_path.back()))
            m_path += kSeparator;
        m_name = fullName;
    } else {
        m_path = fullName.substr(0, cut + 1);
        m_name = fullName.substr(cut + 1);
    }
}

File::Info::Info(NativeHandle, const std::string& folderPath, const std::string& name)
    : m_name(name), m_path(folderPath) {
    Trace trace("File::Info::Info()");
    if (m_path.empty() || !IsSeparator(m_path.back()))
        m_path += kSeparator;
    // The attributes of a link are its own: nothing is followed.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemPath(FullName()).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return;
        RaiseError(int(err));
    }
    Fill(data.dwFileAttributes, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
         TicksOf(data.ftCreationTime), TicksOf(data.ftLastWriteTime),
         TicksOf(data.ftLastAccessTime));
}

void File::Info::Update() {
    Trace trace("File::Info::Update()");
    m_size = 0;
    m_create = m_modify = m_access = DateTime{};
    m_attributes = 0;
    m_exists = false;
    m_link = false;

    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemPath(FullName()).c_str(), GetFileExInfoStandard, &data))
        RaiseLastError();
    Fill(data.dwFileAttributes, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
         TicksOf(data.ftCreationTime), TicksOf(data.ftLastWriteTime),
         TicksOf(data.ftLastAccessTime));
}

void File::Info::Fill(std::uint32_t win, std::uint64_t size, std::uint64_t create,
                      std::uint64_t modify, std::uint64_t access) {
    m_exists = true;
    m_link = (win & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    constexpr std::pair<DWORD, std::uint32_t> kFlags[] = {
        {FILE_ATTRIBUTE_ARCHIVE, ATTR_ARCHIVE},       {FILE_ATTRIBUTE_HIDDEN, ATTR_HIDDEN},
        {FILE_ATTRIBUTE_READONLY, ATTR_READONLY},     {FILE_ATTRIBUTE_SYSTEM, ATTR_SYSTEM},
        {FILE_ATTRIBUTE_TEMPORARY, ATTR_TEMPORARY},   {FILE_ATTRIBUTE_DIRECTORY, ATTR_DIRECTORY},
        {FILE_ATTRIBUTE_COMPRESSED, ATTR_COMPRESSED}, {FILE_ATTRIBUTE_SPARSE_FILE, ATTR_SPARSE},
        {FILE_ATTRIBUTE_ENCRYPTED, ATTR_ENCRYPTED},
    };
    for (const auto& [system, ours] : kFlags) {
        if (win & system)
            m_attributes |= ours;
    }
    m_size = (win & FILE_ATTRIBUTE_DIRECTORY) ? 0 : size;
    if (!DateTimeOfTicks(create, m_create) || !DateTimeOfTicks(modify, m_modify) ||
        !DateTimeOfTicks(access, m_access))
        throw Error(ErrorCode::Failed);
}

// ---------------------------------------------------------------------------------------------

void ReadFile::Open() {
    Trace trace("ReadFile::Open()");
    if (IsOpen())
        return;
    // Readers may share, writers are kept out.
    HANDLE handle = CreateFileW(SystemName(m_info).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        RaiseLastError();
    m_state.fd = handle;
}

std::size_t ReadFile::Read(void* buffer, std::size_t count) {
    Trace trace("ReadFile::Read()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD n = 0;
        if (!::ReadFile(m_state.fd, out + done, DWORD(std::min(count - done, kMaxChunk)), &n,
                        nullptr))
            RaiseLastError(IoOp::Read);
        if (n == 0)
            break;
        done += n;
    }
    return done;
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
    DWORD disposition = OPEN_EXISTING;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    switch (m_state.mode) {
        case WriteMode::CreateNew:
            disposition = CREATE_NEW;
            break;
        case WriteMode::Truncate:
            disposition = TRUNCATE_EXISTING;
            break;
        case WriteMode::Replace:
            disposition = CREATE_ALWAYS;
            break;
        case WriteMode::OpenExisting:
            break;
        case WriteMode::WriteThrough:
            flags |= FILE_FLAG_WRITE_THROUGH;
            break;
        default:
            throw Error(ErrorCode::Failed);
    }
    const std::wstring name = SystemName(m_info);
    if (Creates(m_state.mode) && GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateFilePath(m_info.Path());

    // No sharing: nobody else reads or writes the file while it is written.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                                flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        RaiseLastError();
    if (m_creationAttributes & ATTR_COMPRESSED) {
        if (const DWORD err = AskToCompress(handle)) {
            ::CloseHandle(handle);
            RaiseError(int(err));
        }
    }
    m_state.fd = handle;
    m_info.Update();
}

void WriteFile::Close() {
    Trace trace("WriteFile::Close()");
    if (!IsOpen())
        return;
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
        RaiseError(int(AskToCompress(m_state.fd)));
}

void WriteFile::ApplyCreationAttributes() {
    // A file opened without creation attributes keeps its own (a file being overwritten, say).
    if (!(m_creationAttributes & 0xff))
        return;
    RaiseError(int(SetAttributesOf(m_state.fd, SystemAttributes(m_creationAttributes))));
}

void WriteFile::SetPermissions(mode_t mode) {
    Trace trace("WriteFile::SetPermissions()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    const DWORD now = AttributesOf(m_state.fd);
    if (now == INVALID_FILE_ATTRIBUTES)
        RaiseLastError();
    DWORD wanted =
        (mode & 0200) ? now & ~DWORD(FILE_ATTRIBUTE_READONLY) : now | FILE_ATTRIBUTE_READONLY;
    if (wanted == now)
        return;
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    RaiseError(int(SetAttributesOf(m_state.fd, wanted)));
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
        DWORD n = 0;
        if (!::WriteFile(m_state.fd, in + done, DWORD(std::min(count - done, kMaxChunk)), &n,
                         nullptr) ||
            n == 0) {
            const DWORD err = n == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError();
            if (written)
                *written = done;
            RaiseError(int(err), IoOp::Write);
        }
        done += n;
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
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    FILETIME c{}, m{}, a{};
    if (!FileTimeOf(create, c) || !FileTimeOf(modify, m) || !FileTimeOf(access, a))
        throw Error(ErrorCode::Failed);
    if (!SetFileTime(m_state.fd, &c, &a, &m))
        RaiseLastError();
}

void WriteFile::Delete(bool clearReadOnly) {
    Trace trace("WriteFile::Delete()");
    if (m_adopted)
        throw Error(ErrorCode::Failed);
    Close();
    const std::wstring name = SystemName(m_info);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return;
        RaiseError(int(err));
    }
    // A read-only file is protected from deletion unless the caller clears the flag.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        if (!clearReadOnly)
            throw Error(ErrorCode::Denied);
        if (!SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL))
            RaiseLastError();
    }
    if (!DeleteFileW(name.c_str()))
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
    std::optional<FileIdentity> now;
    try {
        now = IdentityAt(full);
    } catch (const Error& e) {
        m_destroyNote = std::string("not moved to the trash: ") + e.what();
        return false;
    }
    if (!now) {
        m_destroyNote = std::string("not moved to the trash: ") +
                        ErrorText(ErrorLayer::File, ErrorCode::NotFound);
        return false;
    }
    if (m_expected && *now != *m_expected) {
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
    while (dir.size() > 1 && IsSeparator(dir.back()))
        dir.pop_back();
    // Nothing to make at a drive's root ("C:") or a share's.
    if (dir.empty() || (dir.size() == 2 && dir[1] == ':'))
        return;
    if (CreateDirectoryW(SystemPath(dir).c_str(), nullptr))
        return;
    DWORD err = GetLastError();
    if (err == ERROR_PATH_NOT_FOUND) {
        std::size_t cut = dir.find_last_of("/\\");
        if (cut == std::string::npos || cut == 0)
            File::RaiseError(int(err));
        CreateFilePath(dir.substr(0, cut + 1));
        if (CreateDirectoryW(SystemPath(dir).c_str(), nullptr))
            return;
        err = GetLastError();
    }
    if (err != ERROR_ALREADY_EXISTS)
        File::RaiseError(int(err));
}

}  // namespace OS
