// The one interface through which the application drives a run: FileEncryptor builds a
// container from files and folders, FileDecryptor reads one back. The application feeds the
// parameters, calls Begin on its worker thread, and reads progress and outcome from the
// OperationStatus it owns. Begin never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/OperationStatus.h"
#include "format/CryptorCallback.h"
#include "format/DirFooter.h"
#include "format/KeyFooter.h"
#include "format/RecoverySource.h"
#include "os/Errors.h"

namespace FCryptEng {

class FileCryptorErr : public OS::Error {
  public:
    explicit FileCryptorErr(const std::string& text) : OS::Error(text) {}
};

class FileCryptor {
  public:
    // Callers own the driver; the status and the callback outlive it.
    static std::unique_ptr<FileCryptor> Create(bool decrypt, OperationStatus* status,
                                               CryptorCallback* callback);
    virtual ~FileCryptor();
    FileCryptor(const FileCryptor&) = delete;
    FileCryptor& operator=(const FileCryptor&) = delete;

    virtual void SetPlainFile(std::size_t index);
    virtual void SetPlainFile(const std::string& path);
    virtual void ClearPlainFiles();
    virtual std::size_t NumPlainFiles(bool selectedOnly) const;
    virtual UnlockResult Password(const char* text);
    virtual void AddRecovery(const RecoverySource& source);
    virtual void ClearPassword();
    // The container's file name, or nullopt.
    virtual std::optional<std::string> CipherFile() const;
    virtual void CipherFile(const std::optional<std::string>& path);
    // 0 encrypting, 1 decrypting.
    virtual int Mode() const = 0;
    virtual void SetHeader(const std::uint8_t* bytes, std::size_t length);
    virtual void Begin() = 0;
    virtual std::optional<std::string> GetDefaultDest(const std::string& folder);

    void InputDeletion(InputDeletionMode mode, bool confirm);
    InputDeletionMode DeletionMode() const { return m_deletionMode; }
    // Path modes: 0 common path, 1 base name only, 2 full path.
    void SetPathAndMode(PathMode mode, const std::optional<std::string>& path);
    // The entry's name as the directory records it; nullopt past the end.
    std::optional<std::string> PlainFile(std::size_t index, bool& isDir, bool selectedOnly) const;

    const DirFooter& Directory() const { return *m_dirFooter; }
    // The ways in as read (decrypting: from the container, once its name is set).
    KeyFooter& Keys() { return *m_keyFooter; }

  protected:
    FileCryptor(OperationStatus* status, CryptorCallback* callback);

    // The share of the overall progress that destroying the inputs takes, in percent.
    static std::uint32_t DestructionShare(InputDeletionMode mode);
    static OperationState DestructionState(InputDeletionMode mode);

    // Ends a run that threw: logs `exitLine`, and for an error (not a cancel) records why in the
    // status, naming the file of the step that failed.
    void EndFailed(const char* exitLine, const std::exception* error);
    // One line of what the user asked for that could not be done.
    void Warn(const std::string& line);

    OperationStatus* m_status;
    CryptorCallback* m_callback;
    std::unique_ptr<KeyFooter> m_keyFooter;
    std::unique_ptr<DirFooter> m_dirFooter;
    InputDeletionMode m_deletionMode = InputDeletionMode::Keep;
    bool m_confirmDeletion = false;
    // The path choice last given, applied again before a run so that every entry has its name.
    PathMode m_pathMode = PathMode::Common;
    std::optional<std::string> m_path;
    // The file the current step concerns; a failure names it.
    std::string m_where;
};

}  // namespace FCryptEng
