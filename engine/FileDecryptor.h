// Reads a container back: finds its footers from the end, unlocks the keys with a password,
// and recreates the chosen folders and files with their times and attributes, each file
// appearing under its name only after its MAC matched; then treats the container as the
// deletion mode says.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/FileCryptor.h"
#include "format/KeySet.h"
#include "os/Destination.h"
#include "os/File.h"

namespace FCryptEng {

class FileDecryptor : public FileCryptor {
  public:
    FileDecryptor(OperationStatus* status, CryptorCallback* callback);
    ~FileDecryptor() override;

    void SetPlainFile(std::size_t index) override;
    using FileCryptor::SetPlainFile;
    void ClearPlainFiles() override;
    int Password(const char* text) override;
    void ClearPassword() override;
    std::optional<std::string> CipherFile() const override;
    void CipherFile(const std::optional<std::string>& path) override;
    int Mode() const override { return 1; }
    void Begin() override;

    // Reads administrators' entries once the recovery code supplies a reader.
    void SetAdminEntryReader(KeyFooter::AdminEntryReader reader) {
        m_adminReader = std::move(reader);
    }
    bool Unlocked() const { return m_unlocked != nullptr; }

  private:
    void ReadFooters();
    void SetTotalSizes();
    void DecryptFiles();
    void DecryptFile(DirEntry& entry, std::uint32_t overallEnd);
    bool OverwriteOK(const DirEntry& entry);
    bool CreateDirectory(const DirEntry& entry);
    OS::Destination& DestinationOf(const DirEntry& entry);
    // Nothing is written through a symbolic link below the destination: the entry is skipped
    // and the reason kept for the user.
    void SkipLinked(const DirEntry& entry, bool inItsPlace);
    void PostDecrypt();
    void DestroyInput(bool eradicate);

    std::unique_ptr<OS::ReadFile> m_container;
    std::string m_containerName;
    std::uint32_t m_footerLength = 0;
    std::uint64_t m_regionStart = 0;  // where the footer region begins
    std::unique_ptr<KeySet> m_unlocked;
    KeyFooter::AdminEntryReader m_adminReader;
    std::uint32_t m_dataShare = 100;
    std::uint32_t m_destructionShare = 0;
    std::uint32_t m_overwriteFlags = 0x11;
    bool m_skipped = false;
    // Where this run writes; every folder it changed is synced before the container may go.
    std::unique_ptr<OS::Destination> m_destination;
};

}  // namespace FCryptEng
