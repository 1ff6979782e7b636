// Who runs the program: the account name, and whether the account may administer the machine.
#pragma once

#include <sys/types.h>

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
// The user's home folder in the same form: $HOME when absolute, else the account database.
bool HomeFolder(std::string& home);

// Administrators are root and members of the groups that may use sudo: "sudo", "wheel", "admin".
#ifndef _WIN32
bool IsAdministratorAccount(uid_t uid, const std::vector<std::string>& groupNames);
#endif
// The decision above for the effective user and all of its groups.
bool IsAdministrator();
// Run as root: gives the first of those groups that exists read access to a file only root
// could read (owner root, that group, mode 0640) and returns the group's name; otherwise
// changes nothing and returns "". Raises File::Error.
std::string ShareWithAdministrators(const std::string& path);

}  // namespace OS
