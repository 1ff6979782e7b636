#include "app/core/PasswordSource.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <stdexcept>

namespace App {

bool ReadSecretLine(int fd, Secret& text) {
    text.Clear();
    char c = 0;
    bool any = false;
    for (;;) {
#ifdef _WIN32
        const int n = _read(fd, &c, 1);
#else
        const ssize_t n = read(fd, &c, 1);
#endif
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n') {
            any = any || n > 0;
            break;
        }
        any = true;
        text.push_back(c);
    }
    c = 0;
    while (!text.empty() && text.View().back() == '\r')
        text.pop_back();
    return any;
}

Secret ReadPasswordFd(int fd) {
#ifdef _WIN32
    if (_get_osfhandle(fd) == -1)
#else
    if (fcntl(fd, F_GETFD) < 0)
#endif
        throw std::runtime_error("--password-fd: descriptor " + std::to_string(fd) +
                                 " is not open");
    Secret text(kMaxLine);
    ReadSecretLine(fd, text);
    return text;
}

Secret ReadPasswordFile(const std::string& path) {
#ifdef _WIN32
    // The name is UTF-8; Windows opens it by its UTF-16 form.
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0), L'\0');
    if (wide.empty() ||
        !MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), int(wide.size())))
        throw std::runtime_error("--password-file: cannot open " + path);
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
    if (fd < 0)
        throw std::runtime_error("--password-file: cannot open " + path);
    // Closed on every path: a failed read must not leak the descriptor.
    struct Closer {
        int fd;
#ifdef _WIN32
        ~Closer() {
            _close(fd);
        }
#else
        ~Closer() {
            close(fd);
        }
#endif
    } closer{fd};
    Secret text(kMaxLine);
    ReadSecretLine(fd, text);
    return text;
}

Secret ReadPasswordOption(bool fromDescriptor, const std::string& value) {
    if (!fromDescriptor)
        return ReadPasswordFile(value);
    const std::string notANumber = "--password-fd needs a descriptor number, not '" + value + "'";
    std::size_t used = 0;
    int fd = -1;
    try {
        fd = std::stoi(value, &used);
    } catch (const std::logic_error&) {  // invalid_argument, out_of_range
        throw std::runtime_error(notANumber);
    }
    if (used != value.size() || fd < 0)
        throw std::runtime_error(notANumber);
    return ReadPasswordFd(fd);
}

}  // namespace App
