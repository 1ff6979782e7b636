// The folder a decryption writes into, opened once. The folder itself may be reached through
// symbolic links (the user chose it); below it every level is opened relative to its parent
// and never through a symbolic link, so that nothing stored in a container can be written
// anywhere else. Names are relative, with native separators.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "os/Descriptor.h"
#include "os/Errors.h"
#include "os/File.h"

namespace OS {

class Destination {
  public:
    // Nothing is opened or made until something is written.
    explicit Destination(std::string root);
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // Ends in a separator.
    const std::string& Root() const { return m_root; }

    enum class Reach {
        Ok,
        Missing,  // a level does not exist or is no folder (only when nothing is made)
        Link,     // a level, or the name itself, is a symbolic link
    };

    // Opens the folder that holds `relative`, making the missing levels (the destination
    // included) when `create`. With Ok, `folderFd` stays valid until the next call; a folder
    // written into for the first time has our stale temporaries removed. Raises File::Error;
    // a name too long for the file system raises File::NameTooLong before anything is made.
    Reach OpenParent(const std::string& relative, bool create, NativeHandle& folderFd);
    // Makes the folder `relative` and its missing levels. Raises Directory::Error, or
    // File::NameTooLong.
    Reach MakeFolder(const std::string& relative);
    // What stands at `relative`, described without following a link there (a link there is
    // Ok, with info.IsLink()); Missing or Link for the levels above it. Raises File::Error.
    Reach Describe(const std::string& relative, File::Info& info);

    // The folder holding `relative` has a new entry: Sync will make it durable.
    void Changed(const std::string& relative);
    // Writes the entries of every folder changed so far to the disk. Raises File::Error.
    void Sync();

  private:
    // The open folder `folder` (relative, "" for the destination itself).
    Reach Walk(const std::string& folder, bool create, ErrorLayer layer, NativeHandle& fd);
    NativeHandle OpenRoot(bool create, ErrorLayer layer);
    void CheckFits(const std::string& relative) const;

    std::string m_root;
    struct timespec m_started {};
    Descriptor m_rootFd;
    // The folder opened last: files of one folder usually come one after another.
    std::string m_lastFolder;
    Descriptor m_lastFd;
    std::set<std::string> m_changed;
#ifdef _WIN32
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_swept;  // volume serial, file index
#else
    std::set<std::pair<dev_t, ino_t>> m_swept;
#endif
};

}  // namespace OS
