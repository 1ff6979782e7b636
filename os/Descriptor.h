// Owns one open file descriptor (a handle on Windows) and closes it on every path out.
#pragma once

#ifndef _WIN32
#include <unistd.h>
#endif

#include <utility>

namespace OS {

#ifdef _WIN32
// A HANDLE, without bringing <windows.h> into every file.
using NativeHandle = void*;
inline NativeHandle const kNoHandle = reinterpret_cast<void*>(-1);  // INVALID_HANDLE_VALUE
void CloseNativeHandle(NativeHandle handle);                        // os/windows/Descriptor.cpp
#else
using NativeHandle = int;
inline constexpr NativeHandle kNoHandle = -1;
#endif

class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(NativeHandle fd) : m_fd(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, kNoHandle)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.m_fd, kNoHandle));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    NativeHandle Get() const { return m_fd; }
#ifdef _WIN32
    bool Valid() const {
        return m_fd != kNoHandle && m_fd != nullptr;
    }
    NativeHandle Release() {
        return std::exchange(m_fd, kNoHandle);
    }
    void Reset(NativeHandle fd = kNoHandle) {
        if (Valid())
            CloseNativeHandle(m_fd);
        m_fd = fd;
    }
#else
    bool Valid() const {
        return m_fd >= 0;
    }
    int Release() {
        return std::exchange(m_fd, -1);
    }
    // close() may not be retried on Linux, even after EINTR.
    void Reset(int fd = -1) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }
#endif

  private:
    NativeHandle m_fd = kNoHandle;
};

}  // namespace OS
