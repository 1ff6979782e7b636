// Folder questions and commands for the engine: exists, empty, create with parents, remove.
// Every failure that is not an answer raises Directory::Error with the mapped code.
#pragma once

#include <string>

#include "os/Errors.h"

namespace OS {

class Directory {
  public:
    using Error = PlatformError<ErrorLayer::Directory>;

    // Throws the error for errno; returns quietly when it is 0.
    static void RaiseLastError(IoOp op = IoOp::Other);

    // False for a missing path and for anything that is not a folder.
    static bool Exists(const std::string& path);
    // A missing folder raises code 1.
    static bool IsEmpty(const std::string& path);
    // Removes an empty folder; one that still holds entries raises code 9.
    static bool Remove(const std::string& path);
    // Creates the folder and its missing parents. False when it already existed or when no
    // existing ancestor below the root could be reached.
    static bool Create(const std::string& path);
};

}  // namespace OS
