// Where recycled files go. The desktop programs install the freedesktop trash (os/trash/) at
// start; a program without one (the decrypt-only program) keeps what it was asked to recycle,
// and says so. On Windows the Recycle Bin is installed from the start: the shell is always there.
#pragma once

#include <memory>
#include <string>

namespace OS {

class Trash {
  public:
    virtual ~Trash() = default;
    // Moves `path` to the trash; false, with the reason in `why`, when it stayed.
    virtual bool Move(const std::string& path, std::string& why) = 0;
};

// Process-wide; install before the first run starts.
void InstallTrash(std::unique_ptr<Trash> trash);
Trash* InstalledTrash();

#ifdef _WIN32
// The Recycle Bin of the drive holding each file, through the shell.
std::unique_ptr<Trash> MakeRecycleBin();
#endif

}  // namespace OS
