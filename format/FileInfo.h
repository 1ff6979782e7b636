// The description of one file or folder: name, sizes, times and attributes. On the encrypting
// side the name is the native full name read from disk; on the decrypting side the stored name.
#pragma once

#include <cstdint>
#include <string>

#include "os/DateTime.h"

namespace FCryptEng {

class FileInfo {
  public:
    // Not a file-system flag: marks data stored as a zlib stream.
    static constexpr std::uint32_t kCompressedStorage = 0x01000000;

    FileInfo() = default;
    // Reads the file's details at once; a missing file raises OS::File::Error.
    explicit FileInfo(const std::string& fileName);

    // Re-reads size, times and attributes (the stored-compressed bit included) from disk.
    void UpdateFromFile();

    const std::string& Name() const { return m_name; }
    // The low 32 bits of the size, as the container keeps it.
    std::uint32_t OriginalSize() const { return m_originalSize; }
    void SetOriginalSize(std::uint32_t size) { m_originalSize = size; }
    // The full size found on disk; the container cannot describe 4 GiB or more.
    std::uint64_t DiskSize() const { return m_diskSize; }
    std::uint32_t ArchiveSize() const { return m_archiveSize; }
    void SetArchiveSize(std::uint32_t size) { m_archiveSize = size; }
    const OS::DateTime& CreateTime() const { return m_create; }
    const OS::DateTime& ModTime() const { return m_modify; }
    const OS::DateTime& AccessTime() const { return m_access; }
    void SetCreateTime(const OS::DateTime& time) { m_create = time; }
    void SetModTime(const OS::DateTime& time) { m_modify = time; }
    void SetAccessTime(const OS::DateTime& time) { m_access = time; }
    std::uint32_t Attributes() const { return m_attributes; }
    void SetAttributes(std::uint32_t attributes) { m_attributes = attributes; }

    bool IsDir() const;
    bool Compress() const { return (m_attributes & kCompressedStorage) != 0; }
    void SetCompress(bool compress);

  protected:
    std::string m_name;
    std::uint32_t m_originalSize = 0;
    std::uint64_t m_diskSize = 0;
    std::uint32_t m_archiveSize = 0;
    OS::DateTime m_create, m_modify, m_access;
    std::uint32_t m_attributes = 0;
};

}  // namespace FCryptEng
