// Owns one open file descriptor and closes it on every path out.
#pragma once

#include <unistd.h>

#include <utility>

namespace OS {

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() { return std::exchange(m_fd, -1); }
    // close() may not be retried on Linux, even after EINTR.
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

  private:
    int m_fd = -1;
};

}  // namespace OS
