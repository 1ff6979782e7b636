// Builds a container from files and folders: the header, every file's data (compressed where
// a sample shows it pays, MAC'd, encrypted under its own keys), the key footer, the directory
// footer and the footer length; then treats the inputs as the deletion mode says.
#pragma once

#include <cryptopp/filters.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/FileCryptor.h"
#include "format/KeySet.h"
#include "os/File.h"
#include "os/PendingOutput.h"

namespace CryptoP2 {
class PipelineWorker;
class WriteBehindFilter;
}  // namespace CryptoP2

namespace FCryptEng {

class FileEncryptor : public FileCryptor {
  public:
    static constexpr const char kHeaderText[] = "Cryvan encrypted file - do not edit";
    static constexpr std::size_t kSampleSize = 1024;
    static constexpr std::uint32_t kSampleLimit = 922;  // compress when the sample gets this small

    FileEncryptor(OperationStatus* status, CryptorCallback* callback);
    ~FileEncryptor() override;

    void SetPlainFile(const std::string& path) override;
    using FileCryptor::SetPlainFile;
    void ClearPlainFiles() override;
    UnlockResult Password(const char* text) override;
    void AddRecovery(const RecoverySource& source) override;
    void ClearPassword() override;
    std::optional<std::string> CipherFile() const override;
    void CipherFile(const std::optional<std::string>& path) override;
    int Mode() const override { return 0; }
    void SetHeader(const std::uint8_t* bytes, std::size_t length) override;
    void Begin() override;
    std::optional<std::string> GetDefaultDest(const std::string& folder) override;

    // Shredding without a container: `paths` replace the inputs (any size: nothing is stored),
    // and the next Begin destroys them as the deletion mode says (Overwrite or Eradicate),
    // writing nothing. Notes what each is now, so that a file that changes or is replaced
    // before Begin is kept; the number of files to destroy. std::logic_error for another mode or
    // without paths; a path that cannot be examined raises.
    std::size_t PrepareShred(const std::vector<std::string>& paths);
    bool Shredding() const { return m_shredding; }

    // For tests: called with the container's name once it is committed and its cached pages
    // are dropped, just before it is read back.
    void SetReadBackHook(std::function<void(const std::string&)> hook) {
        m_readBackHook = std::move(hook);
    }
    // For tests: called with the directory once every file is written, before the footers are.
    void SetFooterHook(std::function<void(DirFooter&)> hook) { m_footerHook = std::move(hook); }

  private:
    // What is known of an input as it was read for encryption.
    enum class InputState { NotRead, Read, Link, ChangedWhileRead };
    struct InputRecord {
        InputState state = InputState::NotRead;
        OS::FileIdentity identity;
    };

    void CheckNotStarted() const;
    void ReadyToStart();
    void SetTotalSize();
    void OpenOutputFile();
    void EncryptFiles(CryptoPP::MeterFilter& out);
    bool TestCompression(OS::ReadFile& file, std::uint64_t size);
    void WriteFooter(CryptoPP::MeterFilter& out);
    void PostEncrypt();
    void Shred();
    void VerifyContainer();
    // The input's identity when it is still the file that was read; otherwise a warning says
    // why it is kept, and nullopt.
    std::optional<OS::FileIdentity> StillAsRead(std::size_t index, const DirEntry& entry);
    void RemoveInputs(bool recycle);
    void DestroyFiles(bool eradicate);
    void RemoveEmptyDirEntries();

    bool m_started = false;
    bool m_shredding = false;
    KeySet m_containerKeys;
    std::optional<std::string> m_outputName;
    std::unique_ptr<OS::PendingOutput> m_output;
    // The container's writer thread, started by the first file of many blocks, joined when the
    // run ends; the stage of the chain that hands it blocks.
    std::unique_ptr<CryptoP2::PipelineWorker> m_writer;
    CryptoP2::WriteBehindFilter* m_writeBehind = nullptr;
    std::vector<std::uint8_t> m_header;
    std::uint32_t m_dataShare = 100;
    std::uint32_t m_verifyShare = 0;
    std::uint32_t m_destructionShare = 0;
    std::vector<InputRecord> m_read;  // by directory index
    bool m_outputFailed = false;      // the last error came from writing the container
    std::function<void(const std::string&)> m_readBackHook;
    std::function<void(DirFooter&)> m_footerHook;
};

}  // namespace FCryptEng
