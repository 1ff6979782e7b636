// Who runs the program: the account name, and whether the account may administer the machine.
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <cstddef>
#include <string>
#include <vector>

namespace OS {

// Copies the name with its terminator when `size` (terminator included) is enough and stores
// the count copied; otherwise returns false and stores the size needed (0 when there is no name).
bool UserName(char* buffer, std::size_t& size);
// The name from the account database, or $USER when the database has none; empty if neither.
std::string UserName();

// An absolute folder named by an environment variable, without trailing separators ("" for the
// root); false when the variable is unset, empty or relative, as the XDG base-directory rules say.
bool FolderFromEnvironment(const char* variable, std::string& folder);
// The user's home folder in the same form: $HOME when absolute, else the account database; on
// Windows the profile folder the shell knows, else %USERPROFILE%.
bool HomeFolder(std::string& home);

#ifdef _WIN32
enum class KnownFolder {
    Profile,
    Documents,
    Desktop,
    RoamingAppData,  // the per-user application data that follows the user
    LocalAppData,
    ProgramData,  // the application data of all users
};
// Where the shell keeps the folder for the current user, without trailing separators; empty when
// it has none.
std::string KnownFolderPath(KnownFolder folder);
// Membership of the Administrators group by the process's token (or the thread's, when it
// impersonates). A group present only to deny access, as in a token without elevation, does not
// count.
bool IsAdministrator();
#else

// Administrators are root and members of the groups that may use sudo: "sudo", "wheel", "admin".
bool IsAdministratorAccount(uid_t uid, const std::vector<std::string>& groupNames);
// The decision above for the effective user and all of its groups.
bool IsAdministrator();
// Run as root: gives the first of those groups that exists read access to a file only root
// could read (owner root, that group, mode 0640) and returns the group's name; otherwise
// changes nothing and returns "". Raises File::Error.
std::string ShareWithAdministrators(const std::string& path);
#endif

}  // namespace OS
