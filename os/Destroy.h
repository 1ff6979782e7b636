// Destruction of inputs beside WriteFile::Overwrite and WriteFile::Eradicate: whether an
// overwrite can be trusted on a medium, the random names of eradication, and the silent removal
// of a list of names.
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "os/File.h"

namespace OS {

#ifdef _WIN32
// Whether overwriting a file in place on a drive of this GetDriveTypeW type can be trusted:
// removable and fixed drives yes; remote, optical and RAM drives no. A type that tells nothing
// of the drive raises File::Error 8, a type not known here File::Error 0.
bool IsSecureDriveType(unsigned driveType);
// The GetDriveTypeW type of the drive holding `path`, asked of its volume's root.
unsigned DriveTypeOf(const std::string& path);
#else
// Whether overwriting a file in place on a file system of this statfs type reaches the blocks
// that held its old contents. A type not known here is not trusted.
bool IsSecureFileSystem(std::uint32_t fsType);
#endif

// False for compressed, sparse or encrypted files, otherwise by the file system (on Windows the
// drive) holding the file. A place that cannot be reached raises File::Error 8.
bool IsSecureMedium(const File::Info& info);

// `name` with every character but '.' replaced by the rename alphabet's letter at next() % 64,
// so that its length and dots stay.
std::string ScrambleName(const std::string& name, const std::function<std::uint32_t()>& next);

#ifndef _WIN32
FileIdentity IdentityOfStat(const struct stat& st);
#endif

// The identity of what `fullName` names now, without following a link in its last component,
// looked up relative to its folder; nullopt when nothing has that name. Other failures raise.
std::optional<FileIdentity> IdentityAt(const std::string& fullName);

// Drops the file's cached pages, so that the next read comes from the disk. Only clean pages go:
// the file must have been synced.
void DropCachedPages(const std::string& fullName);

// What became of one name of a list.
enum class Removal {
    Removed,
    Missing,     // nothing of that name was there
    Changed,     // not the file described: kept
    NotTrashed,  // the trash refused it: kept
    Failed,      // the system refused: kept; the reason says why
};
struct RemovalOutcome {
    Removal result = Removal::Removed;
    std::string reason;  // the system's own text, or the trash's
};

// Moves every name to the desktop trash (recycle) or unlinks it, whatever its permission bits.
// With `expected` (one identity per name), a name that no longer holds the file described is
// left alone. One outcome per name, in order.
std::vector<RemovalOutcome> DeleteFileList(const std::vector<std::string>& names, bool recycle,
                                           const std::vector<FileIdentity>& expected = {});

}  // namespace OS
