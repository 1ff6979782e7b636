#include "os/User.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os/File.h"
#include "os/Logger.h"

namespace OS {
namespace {

constexpr std::size_t kMaxRecordBuffer = 1u << 20;

std::vector<char> RecordBuffer(int hintName) {
    const long hint = sysconf(hintName);
    return std::vector<char>(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
}

// The account record of the effective user; false when the database has none.
bool OwnAccount(passwd& entry, std::vector<char>& buffer) {
    buffer = RecordBuffer(_SC_GETPW_R_SIZE_MAX);
    passwd* found = nullptr;
    int rc;
    while ((rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < kMaxRecordBuffer) {
        buffer.resize(buffer.size() * 2);
    }
    return rc == 0 && found && found->pw_name && found->pw_name[0] != '\0';
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer = RecordBuffer(_SC_GETGR_R_SIZE_MAX);
    group entry;
    group* found = nullptr;
    int rc;
    while ((rc = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < kMaxRecordBuffer) {
        buffer.resize(buffer.size() * 2);
    }
    return rc == 0 && found && found->gr_name ? std::string(found->gr_name) : std::string();
}

// The process's own groups, plus those the database lists for the account: a membership
// granted since this session began counts as well.
std::vector<gid_t> OwnGroups() {
    std::vector<gid_t> gids{getegid(), getgid()};
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> process(static_cast<std::size_t>(count));
        const int got = getgroups(count, process.data());
        if (got > 0)
            gids.insert(gids.end(), process.begin(), process.begin() + got);
    }
    passwd entry;
    std::vector<char> buffer;
    if (OwnAccount(entry, buffer)) {
        int listed = 32;
        std::vector<gid_t> database;
        for (int attempt = 0; attempt < 8; ++attempt) {
            database.resize(static_cast<std::size_t>(listed));
            int room = listed;
            if (getgrouplist(entry.pw_name, entry.pw_gid, database.data(), &room) >= 0) {
                gids.insert(gids.end(), database.begin(), database.begin() + room);
                break;
            }
            // Too small: room now holds the count needed.
            listed = std::max(room, listed * 2);
        }
    }
    std::sort(gids.begin(), gids.end());
    gids.erase(std::unique(gids.begin(), gids.end()), gids.end());
    return gids;
}

}  // namespace

std::string UserName() {
    Trace t("UserName()");
    passwd entry;
    std::vector<char> buffer;
    if (OwnAccount(entry, buffer))
        return entry.pw_name;
    const char* fromEnvironment = std::getenv("USER");
    return fromEnvironment ? std::string(fromEnvironment) : std::string();
}

bool UserName(char* buffer, std::size_t& size) {
    Trace t("UserName(buffer)");
    const std::string name = UserName();
    if (name.empty()) {
        size = 0;
        return false;
    }
    const std::size_t needed = name.size() + 1;
    if (!buffer || size < needed) {
        size = needed;
        return false;
    }
    std::memcpy(buffer, name.c_str(), needed);
    size = needed;
    return true;
}

namespace {
const char* const kAdministratorGroups[] = {"sudo", "wheel", "admin"};
}

bool IsAdministratorAccount(uid_t uid, const std::vector<std::string>& groupNames) {
    if (uid == 0)
        return true;
    for (const std::string& name : groupNames) {
        for (const char* group : kAdministratorGroups)
            if (name == group)
                return true;
    }
    return false;
}

std::string ShareWithAdministrators(const std::string& path) {
    Trace t("ShareWithAdministrators()");
    if (geteuid() != 0)
        return std::string();
    for (const char* name : kAdministratorGroups) {
        std::vector<char> buffer(16384);
        group entry{};
        group* found = nullptr;
        if (getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
            continue;
        // Never through a link: the file was just written by root in root's folder.
        if (fchownat(AT_FDCWD, path.c_str(), 0, found->gr_gid, AT_SYMLINK_NOFOLLOW) != 0 ||
            fchmodat(AT_FDCWD, path.c_str(), 0640, 0) != 0)
            File::RaiseLastError();
        return name;
    }
    return std::string();
}

bool IsAdministrator() {
    Trace t("IsAdministrator()");
    try {
        const uid_t uid = geteuid();
        if (uid == 0)
            return true;
        std::vector<std::string> names;
        for (gid_t gid : OwnGroups())
            names.push_back(GroupName(gid));
        return IsAdministratorAccount(uid, names);
    } catch (...) {
        return false;  // like the access check: any failing step answers no
    }
}

bool FolderFromEnvironment(const char* variable, std::string& folder) {
    const char* value = std::getenv(variable);
    if (!value || value[0] != '/')
        return false;
    folder = value;
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return true;
}

bool HomeFolder(std::string& home) {
    if (FolderFromEnvironment("HOME", home))
        return true;
    const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
    passwd entry;
    passwd* found = nullptr;
    int rc;
    while ((rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || !found || !found->pw_dir || found->pw_dir[0] != '/')
        return false;
    home = found->pw_dir;
    while (!home.empty() && home.back() == '/')
        home.pop_back();
    return true;
}

}  // namespace OS
