// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#ifdef _WIN32
#include <random>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace cryvan_test {

class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a random name, made only if it is new.
        std::random_device seed;
        for (int attempt = 0; m_path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                std::filesystem::temp_directory_path() / ("cryvan-test-" + std::to_string(seed()));
            if (std::filesystem::create_directory(candidate))
                m_path = candidate.generic_string();
            else if (attempt > 100)
                throw std::runtime_error("cannot make a temporary folder");
        }
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cryvan-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ec;
        // Read-only entries must become writable again before they can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
#ifdef _WIN32
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, ec);
#else
            chmod(it->path().c_str(), 0700);
#endif
        }
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder itself, or a name inside it; always with '/' separators.
    std::string Path() const {
        return m_path;
    }
    std::string operator/(const std::string& name) const {
        return m_path + "/" + name;
    }

  private:
    std::string m_path;
};

inline void WriteText(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of `text`, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace cryvan_test
