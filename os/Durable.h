// Making a finished file durable: syncing its data, then the folder that holds its new entry.
#pragma once

#include <cstdint>
#include <string>

#include "os/Descriptor.h"

namespace OS {

// Writes the folder's entries to disk; file systems that cannot sync a folder are ignored.
void SyncFolder(const std::string& folder);
// The same without raising: 0, or the errno of the failure.
int TrySyncFolder(const std::string& folder);
int TrySyncFolder(NativeHandle folderFd);
// Writes an open file's data to disk: 0, or the error number of the failure.
int TrySyncData(NativeHandle fd);
// The syncs of file data and of folders this process has asked for so far: what a run pays
// for durability, and what tests check it pays only where it must.
std::uint64_t DataSyncs();
std::uint64_t FolderSyncs();
// The folder part of a full name, without the final separator ("/" for the root).
std::string FolderOf(const std::string& fullName);

}  // namespace OS
