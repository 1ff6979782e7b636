#include "os/LogFile.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <streambuf>

#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "os/Descriptor.h"
#include "os/File.h"
#include "os/windows/Wide.h"

namespace OS::detail {
namespace {

// A log file that stays small: whole lines are written at each flush, and once the file holds
// `cap` bytes it becomes "<path>.1" (replacing an older one) and a new file is begun.
class CappedFileBuf : public std::streambuf {
  public:
    CappedFileBuf(std::string path, std::uint64_t cap) : m_path(std::move(path)), m_cap(cap) {}
    ~CappedFileBuf() override { sync(); }
    CappedFileBuf(const CappedFileBuf&) = delete;
    CappedFileBuf& operator=(const CappedFileBuf&) = delete;

    bool Open() {
        m_file.Reset();
        // Never through a link someone planted: a reparse point is opened as itself and refused.
        // The folder's inherited rights keep it the user's own.
        std::wstring name;
        try {
            name = SystemPath(m_path);
        } catch (const File::Error&) {
            return false;
        }
        m_file.Reset(CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!m_file.Valid())
            return false;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(m_file.Get(), &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            m_file.Reset();
            return false;
        }
        return true;
    }

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            m_pending.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        m_pending.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int sync() override {
        if (!m_file.Valid() || m_pending.empty()) {
            m_pending.clear();
            return 0;
        }
        LARGE_INTEGER size{};
        if (GetFileSizeEx(m_file.Get(), &size) && std::uint64_t(size.QuadPart) >= m_cap) {
            // Only our own file is moved; a failed move keeps writing where it was.
            try {
                const std::wstring from = SystemPath(m_path);
                const std::wstring to = SystemPath(m_path + ".1");
                m_file.Reset();
                MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
            } catch (const File::Error&) {
            }
            Open();
        }
        // The file outlives the run: each line says when, and which process, wrote it.
        char stamp[48] = "";
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        if (gmtime_s(&utc, &now) == 0)
            std::snprintf(stamp + std::strftime(stamp, 32, "%Y-%m-%dT%H:%M:%SZ", &utc), 16,
                          " [%lu] ", static_cast<unsigned long>(GetCurrentProcessId()));
        m_pending.insert(0, stamp);
        std::size_t done = 0;
        while (m_file.Valid() && done < m_pending.size()) {
            DWORD n = 0;
            if (!::WriteFile(m_file.Get(), m_pending.data() + done, DWORD(m_pending.size() - done),
                             &n, nullptr) ||
                n == 0)
                break;  // a full disk loses log lines, never the run
            done += n;
        }
        m_pending.clear();
        return 0;
    }

  private:
    std::string m_path;
    std::uint64_t m_cap;
    Descriptor m_file;
    std::string m_pending;
};

// Creates the missing folders of `path`; the profile's rights keep them the user's.
void MakeParents(const std::string& path) {
    for (std::size_t at = path.find_first_of("/\\", 3); at != std::string::npos;
         at = path.find_first_of("/\\", at + 1)) {
        try {
            CreateDirectoryW(SystemPath(path.substr(0, at)).c_str(), nullptr);
        } catch (const File::Error&) {
            return;
        }
    }
}

}  // namespace

std::unique_ptr<std::streambuf> OpenCappedLog(const std::string& path, std::uint64_t cap) {
    auto buf = std::make_unique<CappedFileBuf>(path, cap);
    MakeParents(path);
    if (!buf->Open())
        return nullptr;
    return buf;
}

}  // namespace OS::detail
