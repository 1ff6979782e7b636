// Test folders and files beyond TempDir: a folder on the RAM file system, a tree described as a
// map, and the ways a file can stop being the one that was read.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "support/TempDir.h"

namespace cryvan_test {

// A folder on the RAM file system (where there is no trash), or an empty path where there is
// none to use.
class ShmDir {
  public:
    ShmDir() {
#ifndef _WIN32
        struct statfs st {};
        std::string pattern = "/dev/shm/cryvan-test-XXXXXX";
        if (statfs("/dev/shm", &st) == 0 && st.f_type == 0x01021994 && mkdtemp(pattern.data()))
            m_path = pattern;
#endif
    }
    ~ShmDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ShmDir(const ShmDir&) = delete;
    ShmDir& operator=(const ShmDir&) = delete;
    const std::string& Path() const {
        return m_path;
    }
    std::string operator/(const std::string& name) const {
        return m_path + "/" + name;
    }

  private:
    std::string m_path;
};

// Whether this process can make symbolic links (Windows grants it to some users only).
inline bool LinksWork() {
    static const bool work = [] {
        TempDir dir;
        std::error_code ec;
        std::filesystem::create_symlink(dir / "target", dir / "link", ec);
        return !ec;
    }();
    return work;
}

// Every entry below `root` and what it is: a file's content, "<dir>", or "-> target" for a
// link, which is described rather than followed.
inline std::map<std::string, std::string> Listing(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = e.path().lexically_relative(root).generic_string();
        if (e.is_symlink())
            out[rel] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            out[rel] = "<dir>";
        else
            out[rel] = ReadText(e.path().string());
    }
    return out;
}

// Each way a name can stop holding the file that was read.
enum class Change { None, Grown, Touched, Replaced, Symlink };

inline const char* ChangeName(Change change) {
    switch (change) {
        case Change::None:
            return "unchanged";
        case Change::Grown:
            return "grown";
        case Change::Touched:
            return "touched";
        case Change::Replaced:
            return "replaced";
        case Change::Symlink:
            return "symlink";
    }
    return "";
}

// The changes this system can make.
inline std::vector<Change> ChangesHere() {
    std::vector<Change> changes = {Change::Grown, Change::Touched, Change::Replaced};
    if (LinksWork())
        changes.push_back(Change::Symlink);
    return changes;
}

// The file keeps its first bytes (or, for a link, what it points to does).
inline void MakeChange(const std::string& name, Change change) {
    switch (change) {
        case Change::None:
            break;
        case Change::Grown:
            std::ofstream(name, std::ios::app) << "more";
            break;
        case Change::Touched: {
#ifdef _WIN32
            std::filesystem::last_write_time(
                name, std::filesystem::last_write_time(name) - std::chrono::hours(24 * 365 * 20));
#else
            const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
            utimensat(AT_FDCWD, name.c_str(), times, 0);
#endif
            break;
        }
        case Change::Replaced: {
            const std::string content = ReadText(name);
            WriteText(name + ".new", content);
            std::filesystem::rename(name + ".new", name);
            break;
        }
        case Change::Symlink: {
            const std::string content = ReadText(name);
            WriteText(name + ".target", content);
            std::filesystem::remove(name);
            std::filesystem::create_symlink(name + ".target", name);
            break;
        }
    }
}

}  // namespace cryvan_test
