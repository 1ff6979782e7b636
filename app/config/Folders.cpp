#include "app/config/Folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

#include "os/Logger.h"
#include "os/User.h"

namespace App {
namespace {

// user-dirs.dirs is a few lines; anything larger is not read.
constexpr std::streamsize kMaxUserDirsSize = 64 * 1024;

std::string WithoutTrailingSeparators(std::string folder) {
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string_view SkipBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return s;
}

// One line of user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/..." or XDG_DESKTOP_DIR="/...", with
// backslash escapes inside the quotes. Anything else is not a desktop line.
bool ParseDesktopLine(std::string_view line, const std::string& home, std::string& out) {
    constexpr std::string_view kName = "XDG_DESKTOP_DIR";
    line = SkipBlanks(line);
    if (line.substr(0, kName.size()) != kName)
        return false;
    line = SkipBlanks(line.substr(kName.size()));
    if (line.empty() || line.front() != '=')
        return false;
    line = SkipBlanks(line.substr(1));
    if (line.empty() || line.front() != '"')
        return false;
    line.remove_prefix(1);
    std::string path;
    constexpr std::string_view kHome = "$HOME";
    if (line.substr(0, kHome.size()) == kHome &&
        (line.size() == kHome.size() || line[kHome.size()] == '/' || line[kHome.size()] == '"')) {
        path = home;
        line.remove_prefix(kHome.size());
    } else if (line.empty() || line.front() != '/') {
        return false;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            out = path.empty() ? "/" : path;
            return true;
        }
        if (c == '\\' && i + 1 < line.size())
            c = line[++i];
        path.push_back(c);
    }
    return false;  // no closing quote
}

std::string DesktopFromUserDirs(const std::string& home) {
    std::string configHome;
    if (!OS::FolderFromEnvironment("XDG_CONFIG_HOME", configHome))
        configHome = home + "/.config";
    std::ifstream in(configHome + "/user-dirs.dirs", std::ios::binary);
    std::string found;
    std::string line;
    std::streamsize seen = 0;
    while (seen < kMaxUserDirsSize && std::getline(in, line)) {
        seen += static_cast<std::streamsize>(line.size()) + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string path;
        if (ParseDesktopLine(line, home, path))
            found = path;  // the last assignment wins, as in the shell
    }
    return found;
}

std::string AsFolder(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

// Our folder in the base folder the variable names, else in its default below the home folder;
// empty when neither is known.
std::string VendorFolderIn(const char* variable, const char* belowHome) {
    std::string base;
    if (!OS::FolderFromEnvironment(variable, base)) {
        if (!OS::HomeFolder(base))
            return std::string();
        base += belowHome;
    }
    return base + '/' + kVendorFolder;
}

}  // namespace

std::string PerUserFolder() {
    OS::Trace t("PerUserFolder()");
    return VendorFolderIn("XDG_DATA_HOME", "/.local/share");
}

std::string StateFolder() {
    OS::Trace t("StateFolder()");
    return VendorFolderIn("XDG_STATE_HOME", "/.local/state");
}

std::string AllUsersFolder() {
    OS::Trace t("AllUsersFolder()");
    // Only the first entry counts, as for the machine-wide settings file.
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string first = dirs ? std::string(dirs, std::strcspn(dirs, ":")) : std::string();
    if (first.empty() || first[0] != '/')
        first = "/etc/xdg";
    return WithoutTrailingSeparators(first) + '/' + kVendorFolder;
}

std::string ProgramFolder() {
    OS::Trace t("ProgramFolder()");
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (got < 0)
            return std::string();
        if (static_cast<std::size_t>(got) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(got));
            const std::size_t cut = path.rfind('/');
            if (path.empty() || path[0] != '/' || cut == std::string::npos)
                return std::string();
            return path.substr(0, cut + 1);
        }
        if (buffer.size() >= (1u << 16))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::string DesktopFolder() {
    OS::Trace t("DesktopFolder()");
    std::string home;
    if (!OS::HomeFolder(home))
        return std::string();
    const std::string configured = DesktopFromUserDirs(home);
    if (!configured.empty() && IsFolder(configured))
        return AsFolder(configured);
    if (IsFolder(home + "/Desktop"))
        return home + "/Desktop/";
    return AsFolder(home);
}

Folders Folders::FromEnvironment() {
    OS::Trace t("Folders::FromEnvironment()");
    return Folders{PerUserFolder(), AllUsersFolder(), ProgramFolder(), DesktopFolder()};
}

}  // namespace App
