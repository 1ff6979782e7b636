// What destruction asks of the system, one body per platform (Destroy.cpp, windows/Destroy.cpp);
// the steps built on it are shared (Destruction.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "os/Descriptor.h"
#include "os/Errors.h"
#include "os/File.h"

namespace OS {
namespace DestroyParts {

// What a name holds, looked at without following a link at it.
struct NameFacts {
    FileIdentity identity;
    bool plainFile = false;  // not a folder, link, device or pipe
    bool link = false;
    std::uint64_t links = 1;  // names of the same file (hard links)
};

// A name looked at and removed through its open folder, so that a folder swapped on the way
// redirects neither.
class NameInFolder {
  public:
    explicit NameInFolder(const std::string& fullName);

    // Nullopt with the system's error in `err` when the name cannot be looked at.
    std::optional<NameFacts> Look(int& err) const;
    // Removes the name itself, never what a link there points to: 0 or the system's error.
    int Remove() const;

  private:
    std::string m_folder;
    std::string m_name;
    Descriptor m_handle;
    int m_openError = 0;
};

// The facts of `fullName`; nullopt when nothing has that name. Other failures raise.
std::optional<NameFacts> LookAt(const std::string& fullName);

bool IsMissing(int err);
// The layer's text for a system error.
std::string TextOf(int err);

enum class Moved { Done, NameTaken, Failed };
// Renames `from` to `to` unless `to` exists; the system's error in `err` when Failed.
Moved MoveNoReplace(const std::string& from, const std::string& to, int& err);

// Why the system would refuse to remove `fullName` (the file stays named), or nullopt.
std::optional<ErrorCode> RemovalRefused(const std::string& fullName);

// Makes a file about to be removed removable whatever its permission or read-only flag.
void AllowRemoval(const std::string& fullName);

}  // namespace DestroyParts
}  // namespace OS
