// Destruction of inputs beside WriteFile::Overwrite and WriteFile::Eradicate: whether an
// overwrite can be trusted on a medium, the random names of eradication, and the silent removal
// of a list of names.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/File.h"

namespace OS {

// Whether overwriting a file in place on a file system of this statfs type reaches the blocks
// that held its old contents. A type not known here is not trusted.
bool IsSecureFileSystem(std::uint32_t fsType);

// False for compressed, sparse or encrypted files, otherwise by the file system holding the
// file. A place that cannot be reached raises File::Error 8.
bool IsSecureMedium(const File::Info& info);

// `name` with every character but '.' replaced by the rename alphabet's letter at next() % 64,
// so that its length and dots stay.
std::string ScrambleName(const std::string& name, const std::function<std::uint32_t()>& next);

// Moves every name to the desktop trash (recycle) or unlinks it, whatever its permission bits.
// Failures are logged as warnings, never reported.
void DeleteFileList(const std::vector<std::string>& names, bool recycle);

}  // namespace OS
