// The first page and the encryption path of the wizard without a display: encrypt or decrypt,
// the files to encrypt, the container's name and kind, the password. A front end renders each
// page's public fields and Texts(), writes what the user edits through the setters and
// forwards the button presses to the sheet.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/Secrets.h"
#include "app/core/Sheet.h"
#include "app/core/Strings.h"
#include "app/wizard/FileListCtrl.h"
#include "app/wizard/WizardContext.h"
#include "app/wizard/WizardDialogs.h"

namespace App {

inline constexpr const char* kPagesCaption = Text(StringId::AppName);

class EncOrDecPg : public Page {
  public:
    explicit EncOrDecPg(WizardContext& context);

    bool encryptionAvailable = true;
    bool decryptionAvailable = true;
    bool preferencesEnabled = true;
    // Empty while organisation data recovery does not apply.
    std::string statusLine;

    void Preferences();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

  private:
    bool RecoveryApplies() const;
    WizardContext& m_context;
};

class EncSourcePg : public Page {
  public:
    static constexpr const char* kRejectedText = Text(StringId::EncSourcePgRejected);
    static constexpr const char* kFilesTitle = Text(StringId::SelectFilesToEncrypt);
    static constexpr const char* kFolderTitle = Text(StringId::EncSourcePgFolderTitle);

    explicit EncSourcePg(WizardContext& context);

    FileListCtrl list;
    WizardDialogs::SourceOptions options;

    void AddFiles();
    void AddFolder();
    void EditOptions();
    // Delete or Backspace in the list.
    void RemoveSelected();
    // Removes exactly these rows (0-based), whatever was selected before.
    void RemoveRows(const std::vector<std::size_t>& rows);
    // Dropped paths.
    void Drop(const std::vector<std::string>& paths);
    // After any change of the list's rows.
    void UpdateButtons();
    // Folders are gone through in the background: a large tree takes a while.
    bool Busy() const override;

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

  private:
    // Adds the paths (in the background), then runs `then` with the rows in place.
    void AddPaths(const std::vector<std::string>& paths, std::function<void()> then = nullptr);

    WizardContext& m_context;
};

class EncDestPg : public Page {
  public:
    // A whole path as this system takes it (the field would otherwise cut long paths short).
    static constexpr std::size_t kMaxName = 4095;
    static constexpr const char* kFilter = Text(StringId::EncDestPgFilter);
    static constexpr const char* kBrowseTitle = Text(StringId::SelectOutputFile);
    static constexpr const char* kReadOnlyText = Text(StringId::EncDestPgReadOnly);
    static constexpr const char* kFolderText = Text(StringId::EncDestPgFolder);
    static constexpr const char* kInUseText = Text(StringId::EncDestPgInUse);
    static constexpr const char* kCannotOpenText = Text(StringId::EncDestPgCannotOpen);
    static constexpr const char* kSourceText = Text(StringId::EncDestPgSource);
    static constexpr const char* kReplaceText = Text(StringId::EncDestPgReplace);
    static constexpr const char* kFileErrorText = Text(StringId::FileAccessFailed);
    static constexpr const char* kFileErrorCaption = Text(StringId::FileErrorCaption);
    // The longest file name a file system takes, in bytes.
    static constexpr std::size_t kMaxFileName = 255;
    static constexpr const char* kTooLongReason = Text(StringId::EncDestPgTooLongReason);
    static constexpr const char* kTooLongText = Text(StringId::EncDestPgTooLong);

    explicit EncDestPg(WizardContext& context);

    std::string name;
    int kind = 0;  // 0 ".aes", 1 stand-alone ".aes.exe"
    // The system a stand-alone container runs on: the preference, or --sfx-platform.
    OperationRunner::Platform platform = OperationRunner::Platform::Windows;
    // The platform choice applies (is shown and enabled) only to the stand-alone kind.
    bool PlatformApplies() const { return kind == 1; }
    bool fromCommandLine = false;
    bool defaultWanted = true;
    bool confirmed = false;
    bool collisionChecked = false;
    // The page wants the focus in the name field (after a failure); the front end clears it.
    bool focusName = false;

    // Every change of the field's text, the program's own included.
    void SetName(std::string text);
    // The radio buttons.
    void SetKind(int newKind);
    // The platform's radio buttons.
    void SetPlatform(OperationRunner::Platform newPlatform);
    void Browse();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

    // `stem` + `extension`, or with " (2)", " (3)"... before the extension while that is taken.
    static std::string NameNotTaken(const std::string& stem, const std::string& extension);
    // The name as Next stores it: a full path with the extension of the kind.
    static std::string Normalised(const std::string& name, int kind);
    // The path with its file name cut to 255 bytes (keeping the extension, on a character
    // boundary); nullopt when the name fits.
    static std::optional<std::string> ShortenedName(const std::string& path);

  private:
    void UpdateButtons();
    // Shows the failure and keeps the page (kVeto).
    int Fail(const std::string& text, const char* caption = kPagesCaption);
    WizardContext& m_context;
    bool m_commandLineTaken = false;
    // The name in the field is the program's own proposal, not one the user gave.
    bool m_nameIsDefault = false;
};

class EncPasswordPg : public Page {
  public:
    static constexpr std::size_t kMaxPassword = 256;
    static constexpr std::size_t kMinPassword = 6;
    static constexpr const char* kMismatchText = Text(StringId::PasswordsDiffer);

    explicit EncPasswordPg(WizardContext& context);
    ~EncPasswordPg() override;

    const Secret& Password() const { return m_password; }
    const Secret& Confirmation() const { return m_confirmation; }
    // Typing in the masked field, in the confirmation, in the unmasked field.
    void SetPassword(std::string_view text);
    void SetConfirmation(std::string_view text);
    void SetPlainPassword(std::string_view text);
    // Once the run has started the engine holds what it needs: nothing stays in the fields.
    void WipeFields();
    void GeneratePassword();
    // A click on "Enable my emergency password".
    void SetEmergency(bool ticked);

    bool plainView = false;
    bool defaultUntouched = true;
    bool fromCommandLine = false;
    bool emergencyTicked = false;
    bool emergencyEnabled = false;
    std::string emergencyStatus;
    // The page wants the focus in the password field (after a mismatch).
    bool focusPassword = false;
    bool ConfirmationEnabled() const { return m_password.size() >= kMinPassword; }

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

  private:
    void UpdateButtons();
    WizardContext& m_context;
    Secret m_password{kMaxPassword}, m_confirmation{kMaxPassword};
    bool m_commandLineTaken = false;
    // The user agreed to encrypt without the emergency entry they have on by default.
    bool m_emergencyLeftOutAccepted = false;
};

}  // namespace App
