// Reads a container back: finds its footers from the end, unlocks the keys with a password,
// and recreates the chosen folders and files with their times and attributes, each file
// appearing under its name only after its MAC matched; then treats the container as the
// deletion mode says.
#pragma once

#include <cryptopp/cryptlib.h>
#include <cryptopp/secblock.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/FileCryptor.h"
#include "filters/PipelineWorker.h"
#include "format/KeySet.h"
#include "os/Destination.h"
#include "os/File.h"

namespace FCryptEng {

class DecryptAhead;

class FileDecryptor : public FileCryptor {
  public:
    FileDecryptor(OperationStatus* status, CryptorCallback* callback);
    ~FileDecryptor() override;

    void SetPlainFile(std::size_t index) override;
    using FileCryptor::SetPlainFile;
    void ClearPlainFiles() override;
    UnlockResult Password(const char* text) override;
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
    // Why the last Password() answered Failed (a damaged footer, for one); empty otherwise.
    const std::string& UnlockFailure() const { return m_unlockFailure; }

    // Reads the container at `path` back as decrypting it would, writing nothing: its footers,
    // the directory opened with the container key set and compared with `written` (the one it
    // was made from), every stored file's MAC and size. Progress goes to `status` (the overall
    // percent from where it stands up to overallEnd); `item` names the entry being read. Throws
    // the first fault.
    static void Verify(const std::string& path, const KeySet& containerKeys,
                       const DirFooter& written, OperationStatus& status, std::uint32_t overallEnd,
                       CryptorCallback* callback, std::string& item);

    // A stored file that did not pass its check, and why.
    struct Damage {
        std::size_t index;  // in the directory
        std::string name;   // as stored
        std::string reason;
    };
    // Checks every stored file of the unlocked container as decrypting would (its MAC, its
    // size, its inflation), writing nothing, and goes on past a damaged file to the next. The
    // damaged files, in directory order. Progress and state (Verifying, then Finished or
    // Failed) go to the status. A container that cannot be read on, and a cancel, throw.
    std::vector<Damage> Test();

  private:
    void ReadFooters();
    void SetTotalSizes();
    void DecryptFiles();
    // `ahead`, when given, may hold the file's plaintext already.
    void DecryptFile(std::size_t index, DirEntry& entry, std::uint32_t overallEnd,
                     DecryptAhead* ahead);
    // Posts the small files after `from` to `ahead` while it has room; `next` keeps its place.
    void FeedAhead(DecryptAhead& ahead, std::size_t from, std::size_t& next);
    // Decrypts, checks and inflates the entry's stored data into `sink`; raises on a MAC or size
    // mismatch.
    void PumpStored(const DirEntry& entry, std::uint32_t overallEnd,
                    std::unique_ptr<CryptoPP::BufferedTransformation> sink);
    // PumpStored into nothing, the entry shown in the status under `name` as item `index`.
    void CheckStored(const DirEntry& entry, const std::string& name, std::size_t index,
                     std::uint32_t overallEnd);
    // The overall percent from `start` to `end` once `done` of `total` bytes are through.
    static std::uint32_t Share(std::uint32_t start, std::uint32_t end, std::uint64_t done,
                               std::uint64_t total);
    bool OverwriteOK(const DirEntry& entry);
    bool CreateDirectory(const DirEntry& entry);
    OS::Destination& DestinationOf(const DirEntry& entry);
    // Nothing is written through a symbolic link below the destination: the entry is skipped
    // and the reason kept for the user.
    void SkipLinked(const DirEntry& entry, bool inItsPlace);
    void PostDecrypt();
    void DestroyInput(bool eradicate, const OS::FileIdentity& identity);
    void DestroyContainer(const std::optional<OS::FileIdentity>& readIdentity);

    std::unique_ptr<OS::ReadFile> m_container;
    std::string m_containerName;
    OS::FileIdentity m_openedIdentity;  // the container as it was when opened
    std::uint32_t m_footerLength = 0;
    std::uint64_t m_regionStart = 0;  // where the footer region begins
    std::unique_ptr<KeySet> m_unlocked;
    std::string m_unlockFailure;
    KeyFooter::AdminEntryReader m_adminReader;
    std::uint32_t m_dataShare = 100;
    std::uint32_t m_destructionShare = 0;
    OverwriteFlags m_overwriteFlags = OverwriteFlags::Start;
    bool m_skipped = false;
    // Where this run writes; every folder it changed is synced before the container may go.
    std::unique_ptr<OS::Destination> m_destination;
    // The second core's thread, started by the first large file and joined when a run ends.
    std::unique_ptr<CryptoP2::PipelineWorker> m_worker;
    // A file decrypted ahead, while it is written.
    CryptoPP::SecByteBlock m_plain;

    // Whether the run's outputs must reach the disk: only when the container goes after them.
    bool Durable() const { return m_deletionMode != InputDeletionMode::Keep; }
};

}  // namespace FCryptEng
