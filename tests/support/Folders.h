// Test folders beyond TempDir: one on the RAM file system, and a tree described as a map.
#pragma once

#include <sys/vfs.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "support/TempDir.h"

namespace cryvan_test {

// A folder on the RAM file system (where there is no trash), or an empty path where there is
// none to use.
class ShmDir {
  public:
    ShmDir() {
        struct statfs st {};
        std::string pattern = "/dev/shm/cryvan-test-XXXXXX";
        if (statfs("/dev/shm", &st) == 0 && st.f_type == 0x01021994 && mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ShmDir() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    ShmDir(const ShmDir&) = delete;
    ShmDir& operator=(const ShmDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Every entry below `root` and what it is: a file's content, "<dir>", or "-> target" for a
// link, which is described rather than followed.
inline std::map<std::string, std::string> Listing(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = e.path().lexically_relative(root).string();
        if (e.is_symlink())
            out[rel] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            out[rel] = "<dir>";
        else
            out[rel] = ReadText(e.path().string());
    }
    return out;
}

}  // namespace cryvan_test
