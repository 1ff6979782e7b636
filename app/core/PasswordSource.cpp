#include "app/core/PasswordSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace App {

bool ReadSecretLine(int fd, Secret& text) {
    text.Clear();
    char c = 0;
    bool any = false;
    for (;;) {
        const ssize_t n = read(fd, &c, 1);
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
    if (fcntl(fd, F_GETFD) < 0)
        throw std::runtime_error("--password-fd: descriptor " + std::to_string(fd) +
                                 " is not open");
    Secret text(kMaxLine);
    ReadSecretLine(fd, text);
    return text;
}

Secret ReadPasswordFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("--password-file: cannot open " + path);
    // Closed on every path: a failed read must not leak the descriptor.
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    Secret text(kMaxLine);
    ReadSecretLine(fd, text);
    return text;
}

}  // namespace App
