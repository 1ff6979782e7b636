// The engine's questions, put to the user through the front end's dialogs. Called on the
// worker thread during a run (and on the user-interface thread while a password is tried), so
// it holds nothing that changes besides the run's status record.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "app/core/Questions.h"
#include "app/core/Strings.h"
#include "engine/OperationStatus.h"
#include "format/CryptorCallback.h"

namespace App {

class WizardCallback : public FCryptEng::CryptorCallback {
  public:
    static constexpr const char* kCaption = Text(StringId::AppName);
    static constexpr const char* kOverwriteText = Text(StringId::OverwriteQuestion);
    static constexpr const char* kOverwriteReadOnlyText = Text(StringId::OverwriteReadOnly);
    static constexpr const char* kDeletionText = Text(StringId::DeletionQuestion);
    static constexpr const char* kNotEradicatedText = Text(StringId::WizardCallbackNotEradicated);
    static constexpr const char* kNotOverwrittenText = Text(StringId::WizardCallbackNotOverwritten);
    static constexpr const char* kInUseText = Text(StringId::WizardCallbackInUse);
    static constexpr const char* kFileWriteProtectedText =
        Text(StringId::WizardCallbackFileWriteProtected);
    static constexpr const char* kFolderWriteProtectedText =
        Text(StringId::WizardCallbackFolderWriteProtected);
    static constexpr const char* kFileOpenText = Text(StringId::WizardCallbackFileOpen);
    static constexpr const char* kFolderCreateText = Text(StringId::WizardCallbackFolderCreate);
    static constexpr const char* kDiskFullText = Text(StringId::WizardCallbackDiskFull);
    static constexpr const char* kWriteErrorText = Text(StringId::WizardCallbackWriteError);
    static constexpr const char* kRecycleFallbackText =
        Text(StringId::WizardCallbackRecycleFallback);

    // Both outlive this object.
    WizardCallback(RunQuestions& dialogs, FCryptEng::OperationStatus& status)
        : m_dialogs(dialogs), m_status(status) {}

    std::optional<std::string> AskText(const std::string& prompt, bool create) override;
    bool ConfirmOverwrite(const std::string& path, bool readOnly,
                          FCryptEng::OverwriteFlags& overwriteFlags) override;
    bool ConfirmInputDeletion(const std::string* path, FCryptEng::InputDeletionMode mode) override;
    void ReportDestroyFailed(bool eradicate) override;
    bool RetryOpen(bool encrypting, bool isFile, const std::string& path,
                   OS::ErrorCode errorCode) override;
    bool RetryWrite(OS::ErrorCode errorCode) override;
    bool ConfirmDeleteInsteadOfRecycle(std::size_t count) override;

    // The user answered No (or No to All) to replacing a file since the last reset: the run
    // then did not write every stored file.
    bool Declined() const { return m_declined.load(); }
    void ResetDeclined() { m_declined.store(false); }

  private:
    RunQuestions& m_dialogs;
    FCryptEng::OperationStatus& m_status;
    std::atomic<bool> m_declined{false};
};

}  // namespace App
