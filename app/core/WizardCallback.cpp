#include "app/core/WizardCallback.h"

#include "app/core/Texts.h"
#include "os/Logger.h"

namespace App {

std::optional<std::string> WizardCallback::AskText(const std::string& prompt, bool create) {
    OS::Trace t("WizardCallback::AskText()");
    return m_dialogs.AskKeyFile(prompt, create);
}

bool WizardCallback::ConfirmOverwrite(const std::string& path, bool readOnly,
                                      std::uint32_t& overwriteFlags) {
    OS::Trace t("WizardCallback::ConfirmOverwrite()");
    const std::uint32_t ask = readOnly ? 0x10 : 0x01;
    const std::uint32_t all = readOnly ? 0x20 : 0x02;
    const std::uint32_t none = readOnly ? 0x40 : 0x04;
    switch (m_dialogs.ConfirmReplace(readOnly ? kOverwriteReadOnlyText : kOverwriteText,
                                     CompactPath(path, 40))) {
        case RunQuestions::Replace::Yes:
            return true;
        case RunQuestions::Replace::YesToAll:
            overwriteFlags = (overwriteFlags & ~ask) | all;
            return true;
        case RunQuestions::Replace::No:
            m_declined.store(true);
            return false;
        case RunQuestions::Replace::NoToAll:
            overwriteFlags = (overwriteFlags & ~ask) | none;
            m_declined.store(true);
            return false;
        case RunQuestions::Replace::Cancel:
            break;
    }
    m_status.Cancel();
    return false;
}

bool WizardCallback::ConfirmInputDeletion(const std::string* path, int mode) {
    OS::Trace t("WizardCallback::ConfirmInputDeletion()");
    (void)path;  // the question names the inputs as a whole
    static const char* const kVerbs[] = {"recycle", "delete", "overwrite", "eradicate"};
    // An unknown mode destroys nothing.
    if (mode < 1 || mode > 4)
        return false;
    // No is the default: a stray Enter must not destroy the inputs.
    return m_dialogs.Show(Format(kDeletionText, kVerbs[mode - 1]), kCaption,
                          MessageBoxes::Icon::Question, MessageBoxes::Buttons::YesNo,
                          MessageBoxes::Answer::No) == MessageBoxes::Answer::Yes;
}

void WizardCallback::ReportDestroyFailed(bool eradicate) {
    OS::Trace t("WizardCallback::ReportDestroyFailed()");
    m_dialogs.Show(eradicate ? kNotEradicatedText : kNotOverwrittenText, kCaption,
                   MessageBoxes::Icon::Warning, MessageBoxes::Buttons::Ok,
                   MessageBoxes::Answer::Ok);
}

bool WizardCallback::RetryOpen(bool encrypting, bool isFile, const std::string& path,
                               int errorCode) {
    OS::Trace t("WizardCallback::RetryOpen()");
    (void)encrypting;  // the texts are the same both ways
    const char* text = nullptr;
    if (errorCode == 6)
        text = kInUseText;
    else if (errorCode == 7)
        text = isFile ? kFileWriteProtectedText : kFolderWriteProtectedText;
    else
        text = isFile ? kFileOpenText : kFolderCreateText;
    return m_dialogs.Show(Format(text, path.c_str()), kCaption, MessageBoxes::Icon::Warning,
                          MessageBoxes::Buttons::RetryCancel,
                          MessageBoxes::Answer::Retry) == MessageBoxes::Answer::Retry;
}

bool WizardCallback::RetryWrite(int errorCode) {
    OS::Trace t("WizardCallback::RetryWrite()");
    return m_dialogs.Show(errorCode == 9 ? kDiskFullText : kWriteErrorText, kCaption,
                          MessageBoxes::Icon::Warning, MessageBoxes::Buttons::RetryCancel,
                          MessageBoxes::Answer::Retry) == MessageBoxes::Answer::Retry;
}

bool WizardCallback::ConfirmDeleteInsteadOfRecycle(std::size_t count) {
    OS::Trace t("WizardCallback::ConfirmDeleteInsteadOfRecycle()");
    // No is the default: files that stay where they were can still be deleted by hand.
    return m_dialogs.Show(Format(kRecycleFallbackText, count), kCaption,
                          MessageBoxes::Icon::Question, MessageBoxes::Buttons::YesNo,
                          MessageBoxes::Answer::No) == MessageBoxes::Answer::Yes;
}

}  // namespace App
