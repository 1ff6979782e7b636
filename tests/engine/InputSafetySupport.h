// What the input-safety tests do to files between a run's start and its end: change an input,
// refuse its removal, keep it on a file system without a trash.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Folders.h"
#include "support/TempDir.h"

namespace cryvan_test {

#ifdef _WIN32
// Makes the removal of a file refused (or, with `folder`, of every entry of that folder) by
// holding it open without sharing its deletion. Undone on destruction.
class RemovalRefused {
  public:
    explicit RemovalRefused(const std::string& file, bool folder = false) {
        std::vector<std::filesystem::path> names;
        if (folder) {
            for (const auto& e : std::filesystem::directory_iterator(std::filesystem::u8path(file)))
                names.push_back(e.path());
        } else {
            names.push_back(std::filesystem::u8path(file));
        }
        m_effective = !names.empty();
        for (const auto& name : names) {
            const HANDLE handle =
                CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (handle == INVALID_HANDLE_VALUE)
                m_effective = false;
            else
                m_held.emplace_back(handle);
        }
    }
    RemovalRefused(const RemovalRefused&) = delete;
    RemovalRefused& operator=(const RemovalRefused&) = delete;

    bool Effective() const { return m_effective; }

  private:
    struct Close {
        void operator()(void* handle) const { CloseHandle(handle); }
    };
    std::vector<std::unique_ptr<void, Close>> m_held;
    bool m_effective = false;
};

// Windows does not tell which pages of a file are cached.
inline std::optional<bool> AnyPageCached(const std::string&) {
    return std::nullopt;
}

// Flips one byte of a file in place.
inline void FlipByte(const std::string& path, std::uint64_t at) {
    std::fstream file(std::filesystem::u8path(path),
                      std::ios::in | std::ios::out | std::ios::binary);
    char b = 0;
    if (!file.seekg(std::streamoff(at)) || !file.get(b))
        return;
    file.seekp(std::streamoff(at));
    file.put(char(b ^ 0x01));
}
#else
// Makes the removal of a file refused (or, with `folder`, of every entry of that folder): for
// root, which a read-only folder does not stop, by the immutable flag; for others by a read-only
// folder. Undone on destruction.
class RemovalRefused {
  public:
    explicit RemovalRefused(const std::string& file, bool folder = false) : m_file(file) {
        if (geteuid() == 0) {
            const int fd = open(file.c_str(), O_RDONLY);
            int flags = 0;
            m_immutable = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                          (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
            if (fd >= 0)
                close(fd);
            m_effective = m_immutable;
        } else {
            m_folder = folder ? file : std::filesystem::path(file).parent_path().string();
            m_effective = chmod(m_folder.c_str(), 0555) == 0;
        }
    }
    ~RemovalRefused() {
        if (m_immutable) {
            const int fd = open(m_file.c_str(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                close(fd);
        } else if (!m_folder.empty()) {
            chmod(m_folder.c_str(), 0755);
        }
    }
    RemovalRefused(const RemovalRefused&) = delete;
    RemovalRefused& operator=(const RemovalRefused&) = delete;

    // False where this system lets the file go anyway: the test has nothing to show there.
    bool Effective() const { return m_effective; }

  private:
    std::string m_file;
    std::string m_folder;
    bool m_immutable = false;
    bool m_effective = false;
};

// Whether any page of the file is in the page cache; nullopt where that cannot be told (a RAM
// file system holds everything in pages).
inline std::optional<bool> AnyPageCached(const std::string& path) {
    struct statfs fs {};
    if (statfs(path.c_str(), &fs) != 0 || fs.f_type == 0x01021994)
        return std::nullopt;
    const int fd = open(path.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0) {
        if (fd >= 0)
            close(fd);
        return std::nullopt;
    }
    void* map = mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED)
        return std::nullopt;
    const long page = sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident((std::size_t(st.st_size) + page - 1) / page);
    const bool ok = mincore(map, std::size_t(st.st_size), resident.data()) == 0;
    munmap(map, std::size_t(st.st_size));
    if (!ok)
        return std::nullopt;
    for (unsigned char r : resident)
        if (r & 1)
            return true;
    return false;
}

// Flips one byte of a file in place.
inline void FlipByte(const std::string& path, std::uint64_t at) {
    const int fd = open(path.c_str(), O_RDWR);
    unsigned char b = 0;
    if (fd < 0)
        return;
    if (pread(fd, &b, 1, off_t(at)) == 1) {
        b ^= 0x01;
        (void)!pwrite(fd, &b, 1, off_t(at));
    }
    close(fd);
}
#endif

}  // namespace cryvan_test
