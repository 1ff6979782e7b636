#include "os/Logger.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <streambuf>

#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "os/Descriptor.h"
#include "os/File.h"
#include "os/windows/Wide.h"

namespace OS {
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

struct Sinks {
    std::mutex mutex;
    std::vector<std::pair<unsigned, std::ostream*>> list;
    std::unique_ptr<std::ofstream> logFile;
    std::unique_ptr<std::ofstream> traceFile;
    std::unique_ptr<CappedFileBuf> cappedBuf;
    std::unique_ptr<std::ostream> capped;
    int state = 0;
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

// Never destroyed: lines may still be logged by static objects during exit.
Sinks& TheSinks() {
    static Sinks* sinks = new Sinks;
    return *sinks;
}

const char* const kPrefixes[] = {":FATAL", ":ERROR", ":WARN", ":INFO", ":DEBUG", ":TRACE"};

}  // namespace

std::atomic<unsigned> Logger::s_levels{0};

void Logger::Setup(bool console, bool logFile, bool traceFile) {
    Sinks& s = TheSinks();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.list.clear();
        s.logFile.reset();
        s.traceFile.reset();
        s.state = 1;
        s_levels.store(0, std::memory_order_relaxed);
        if (logFile)
            s.logFile = std::make_unique<std::ofstream>("log_release.txt", std::ios::trunc);
        if (traceFile)
            s.traceFile = std::make_unique<std::ofstream>("trace_release.txt", std::ios::trunc);
    }
    if (console) {
        Register(LOG_FATAL | LOG_ERROR, &std::cerr);
        Register(LOG_WARN | LOG_INFO | LOG_DEBUG, &std::cout);
    }
    if (logFile)
        Register(LOG_FATAL | LOG_ERROR | LOG_WARN | LOG_INFO, s.logFile.get());
    if (traceFile)
        Register(LOG_TRACE, s.traceFile.get());
}

void Logger::Register(unsigned mask, std::ostream* stream) {
    if (!stream)
        return;
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.list.begin();
    while (it != s.list.end() && it->second != stream)
        ++it;
    if (it != s.list.end()) {
        if (mask == 0)
            s.list.erase(it);
        else
            it->first = mask;
    } else if (mask != 0) {
        s.list.emplace_back(mask, stream);
    }
    unsigned levels = 0;
    for (const auto& sink : s.list)
        levels |= sink.first;
    s_levels.store(levels, std::memory_order_relaxed);
}

void Logger::Log(unsigned level, std::string_view text) {
    if (!Wants(level))
        return;
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [mask, stream] : s.list) {
        const unsigned shared = mask & level;
        if (!shared)
            continue;
        for (unsigned bit = 0; bit < 6; ++bit) {
            if (shared & (1u << bit))
                *stream << kPrefixes[bit];
        }
        *stream << ": " << text << '\n';
        stream->flush();
    }
}

void Logger::Teardown() {
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.list.clear();
    s_levels.store(0, std::memory_order_relaxed);
    s.state = 2;
    s.traceFile.reset();
    s.logFile.reset();
    s.capped.reset();
    s.cappedBuf.reset();
}

bool Logger::OpenLogFile(const std::string& path, std::uint64_t cap) {
    Sinks& s = TheSinks();
    std::ostream* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        old = s.capped.get();
    }
    if (old)
        Register(0, old);
    auto buf = std::make_unique<CappedFileBuf>(path, cap);
    MakeParents(path);
    if (!buf->Open())
        return false;
    auto stream = std::make_unique<std::ostream>(buf.get());
    std::ostream* raw = stream.get();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.capped = std::move(stream);
        s.cappedBuf = std::move(buf);
    }
    Register(LOG_FATAL | LOG_ERROR | LOG_WARN, raw);
    return true;
}

int Logger::State() {
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.state;
}

void Trace::Emit(const char* what) const noexcept {
    try {
        Logger::Log(LOG_TRACE, std::string(what) + m_name);
    } catch (...) {
        // Tracing must never change the outcome of the operation it traces.
    }
}

}  // namespace OS
