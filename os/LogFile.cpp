#include "os/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <streambuf>

#include <ctime>
#include <memory>
#include <string>
#include <utility>

namespace OS::detail {
namespace {

// A log file that stays small: whole lines are written at each flush, and once the file holds
// `cap` bytes it becomes "<path>.1" (replacing an older one) and a new file is begun.
class CappedFileBuf : public std::streambuf {
  public:
    CappedFileBuf(std::string path, std::uint64_t cap) : m_path(std::move(path)), m_cap(cap) {}
    ~CappedFileBuf() override {
        sync();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CappedFileBuf(const CappedFileBuf&) = delete;
    CappedFileBuf& operator=(const CappedFileBuf&) = delete;

    bool Open() {
        if (m_fd >= 0)
            ::close(m_fd);
        // Never through a link someone planted, and never readable by others.
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return false;
        struct stat st {};
        if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        if ((st.st_mode & 0777) != 0600)
            (void)::fchmod(m_fd, 0600);
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
        if (m_fd < 0 || m_pending.empty()) {
            m_pending.clear();
            return 0;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) == 0 && std::uint64_t(st.st_size) >= m_cap) {
            // Only our own file is moved; a failed move keeps writing where it was.
            if (::rename(m_path.c_str(), (m_path + ".1").c_str()) == 0)
                Open();
        }
        // The file outlives the run: each line says when, and which process, wrote it.
        char stamp[48] = "";
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        if (gmtime_r(&now, &utc))
            std::snprintf(stamp + std::strftime(stamp, 32, "%Y-%m-%dT%H:%M:%SZ", &utc), 16,
                          " [%ld] ", long(getpid()));
        m_pending.insert(0, stamp);
        std::size_t done = 0;
        while (m_fd >= 0 && done < m_pending.size()) {
            const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;  // a full disk loses log lines, never the run
            done += std::size_t(n);
        }
        m_pending.clear();
        return 0;
    }

  private:
    std::string m_path;
    std::uint64_t m_cap;
    int m_fd = -1;
    std::string m_pending;
};

// Creates the missing folders of `path`, private to the user as the state folder should be.
void MakeParents(const std::string& path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        (void)::mkdir(path.substr(0, at).c_str(), 0700);
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
