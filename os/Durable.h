// Making a finished file durable: syncing the folder that holds its new entry.
#pragma once

#include <string>

#include "os/Descriptor.h"

namespace OS {

// Writes the folder's entries to disk; file systems that cannot sync a folder are ignored.
void SyncFolder(const std::string& folder);
// The same without raising: 0, or the errno of the failure.
int TrySyncFolder(const std::string& folder);
int TrySyncFolder(NativeHandle folderFd);
// The folder part of a full name, without the final separator ("/" for the root).
std::string FolderOf(const std::string& fullName);

}  // namespace OS
