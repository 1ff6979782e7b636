// The decryption path of the wizard without a display: the container and its deletion, the
// password (with further administrators' passwords), the stored files to decrypt and the
// destination folder. A front end renders each page's public fields and Texts(), writes what
// the user edits through the setters and forwards the button presses to the sheet.
#pragma once

#include <cryptopp/secblock.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/core/Secrets.h"
#include "app/core/Sheet.h"
#include "app/core/Strings.h"
#include "app/wizard/FileListCtrl.h"
#include "app/wizard/NextAfterWork.h"
#include "app/wizard/WizardContext.h"
#include "format/UnlockResult.h"

namespace App {

class DecSourcePg : public Page {
  public:
    // A whole path as this system takes it (the field would otherwise cut long paths short).
    static constexpr std::size_t kMaxName = 4095;
    static constexpr const char* kDeletionNames[5] = {
        Text(StringId::DeletionKeep), Text(StringId::DeletionRecycle),
        Text(StringId::DeletionDelete), Text(StringId::DeletionOverwrite),
        Text(StringId::DeletionEradicate)};
    static constexpr const char* kFilter = Text(StringId::DecSourcePgFilter);
    static constexpr const char* kBrowseTitle = Text(StringId::SelectFileToDecrypt);
    static constexpr const char* kNotFoundText = Text(StringId::DecSourcePgNotFound);
    static constexpr const char* kNotFoundCaption = Text(StringId::NotFoundCaption);

    explicit DecSourcePg(WizardContext& context);

    std::string name;
    int deletionIndex = 0;
    bool confirm = true;
    bool fromCommandLine = false;
    // The page wants the focus in the name field (after a failure); the front end clears it.
    bool focusName = false;

    void SetName(std::string text);
    void SetDeletionIndex(int index);
    // The confirmation box is usable only with a deletion mode other than Keep.
    bool ConfirmEnabled() const { return deletionIndex != 0; }
    void SetConfirm(bool on) {
        confirm = on;
        Changed();
    }
    void Browse();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;
    // Reading the container's footers goes on in the background.
    bool Busy() const override { return m_context.background.Busy(); }

  private:
    // What opening the chosen container found: why it could not be read, or is no container.
    struct Opening {
        std::string fileError;
        std::string corrupt;
        // The container's ways in, as DecPasswordPg shows them; empty when unreadable.
        std::string waysIn;
        std::size_t administratorsNeeded = 0;
    };

    void UpdateButtons();
    WizardContext& m_context;
    NextAfterWork<Opening> m_opening;
    bool m_commandLineTaken = false;
};

class DecFilesPg;

class DecPasswordPg : public Page {
  public:
    static constexpr std::size_t kMaxPassword = 256;
    // Any password opens: the minimum length is for new passwords, and a container written
    // elsewhere may carry a shorter one.
    static constexpr std::size_t kMinPassword = 1;
    static constexpr const char* kWrongText = Text(StringId::WrongPassword);
    static constexpr const char* kKeyErrorText = Text(StringId::AdministratorKeyError);
    static constexpr const char* kCorruptText = Text(StringId::CorruptInput);
    static constexpr const char* kCaption = Text(StringId::AppName);
    static constexpr const char* kErrorCaption = Text(StringId::ErrorCaption);

    explicit DecPasswordPg(WizardContext& context);

    bool fromCommandLine = false;
    // The engine has accepted the password now in the field.
    bool unlocked = false;
    bool focusPassword = false;
    // Which ways open the chosen container ("Opens with: a password; ..."), read without a
    // password when it was chosen; empty when its key footer could not be read.
    std::string waysIn;

    // The chosen container's ways in, and how many administrators its entry needs (0: none or
    // not known).
    void SetWaysIn(std::string line, std::size_t administratorsNeeded);

    // Typing: clears `unlocked`.
    void SetPassword(std::string_view text);
    const Secret& Password() const { return m_password; }
    std::size_t PasswordLength() const { return m_password.size(); }
    // Once the run has started the engine holds what it needs: nothing stays in the field.
    void WipeFields();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;
    // Unlocking goes on in the background.
    bool Busy() const override { return m_context.background.Busy(); }

  private:
    void Store(const char* text, std::size_t length);
    void UpdateButtons();
    // Tries one password; 0-5 as the runner maps them.
    FCryptEng::UnlockResult Try(const char* text);
    // The further administrators; true once unlocked.
    bool AskAdministrators();
    void Box(const char* text, const char* caption, MessageBoxes::Icon icon);

    WizardContext& m_context;
    std::size_t m_administratorsNeeded = 0;
    // Administrators accepted since the last ClearPassword: one per MoreAdmins answer.
    std::size_t m_administratorsAccepted = 0;
    NextAfterWork<FCryptEng::UnlockResult> m_unlocking;
    Secret m_password{kMaxPassword};
    bool m_commandLineTaken = false;
};

class DecFilesPg : public Page {
  public:
    explicit DecFilesPg(WizardContext& context);

    // Rows hold the stored file's index as item value; the front end sets `selected`.
    FileListCtrl list;
    // The list shows the current container.
    bool filled = false;
    // Select every row and go on, once ("-o").
    bool selectAll = false;

    // After the front end changed a row's `selected`.
    void SelectionChanged();
    // Turns each of these rows (0-based) from selected to not, or back.
    void ToggleRows(const std::vector<std::size_t>& rows);
    void SelectAll();
    // Exactly these rows selected, as a list view reports them.
    void SetSelection(const std::vector<std::size_t>& rows);

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

  private:
    void Fill();
    WizardContext& m_context;
    bool m_commandLineTaken = false;
};

// What both destination pages do with the folder field when Next is pressed: true to go on.
// Makes an empty field "." and appends the separator.
bool CheckDestinationFolder(std::string& folder, bool fromCommandLine, MessageBoxes& boxes);
// The folder that holds `path`, with its trailing separator.
std::string ContainerFolder(const std::string& path);

// What both destination pages share: the folder field, the command line's folder, and the
// container's folder proposed when the container changed.
class DestinationPage : public Page {
  public:
    std::string folder;
    bool fromCommandLine = false;
    bool focusFolder = false;

    void SetFolder(std::string text);

  protected:
    DestinationPage(int id, std::string subtitle, WizardContext& context);
    // The shared part of activation; presses Next when the folder came from the command line.
    void Activate();
    // The folder checks on Next; false (and the focus in the field) to stay.
    bool FolderAccepted();
    void UpdateButtons();

    WizardContext& m_context;
    std::string m_proposedFor;

  private:
    bool m_commandLineTaken = false;
};

class DecFilePg : public DestinationPage {
  public:
    static constexpr const char* kInstruction = Text(StringId::DecFilePgInstruction);
    static constexpr const char* kBrowseTitle = Text(StringId::DecFilePgBrowseTitle);

    explicit DecFilePg(WizardContext& context);

    // Set on activation: the instruction line with the stored file's name.
    std::string instruction;

    void Browse();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;

  private:
    std::string StoredName() const;
};

class DecDestPg : public DestinationPage {
  public:
    static constexpr const char* kBrowseTitle = Text(StringId::DecDestPgBrowseTitle);

    explicit DecDestPg(WizardContext& context);

    bool ignorePaths = false;
    void SetIgnorePaths(bool on) {
        ignorePaths = on;
        Changed();
    }

    void Browse();

    void OnSetActive() override;
    int OnWizardNext() override;
    int OnWizardBack() override;
    std::vector<std::string> Texts() const override;
};

}  // namespace App
