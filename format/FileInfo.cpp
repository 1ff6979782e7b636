#include "format/FileInfo.h"

#include "os/File.h"
#include "os/Logger.h"

namespace FCryptEng {

FileInfo::FileInfo(const std::string& fileName) : m_name(fileName) {
    OS::Trace t("FileInfo::FileInfo()");
    UpdateFromFile();
}

void FileInfo::UpdateFromFile() {
    OS::Trace t("FileInfo::UpdateFromFile()");
    const OS::File::Info info(m_name, false);
    m_diskSize = info.Size();
    m_originalSize = std::uint32_t(info.Size());
    m_create = info.CreateTime();
    m_modify = info.ModTime();
    m_access = info.AccessTime();
    m_attributes = info.Attributes();
}

bool FileInfo::IsDir() const {
    return (m_attributes & OS::ATTR_DIRECTORY) != 0;
}

void FileInfo::SetCompress(bool compress) {
    OS::Trace t("FileInfo::SetCompress()");
    if (compress)
        m_attributes |= kCompressedStorage;
    else
        m_attributes &= ~kCompressedStorage;
}

}  // namespace FCryptEng
