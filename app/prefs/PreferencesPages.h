// The preferences sheet without a display: the pop-up menu's deletion settings, the user's
// emergency password and, for an administrator of an organisation with data recovery, the
// data-recovery administrators. Nothing is written until OK, which applies every page that was
// shown, in page order; a page that refuses keeps the sheet open with that page in front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/config/UserConfig.h"
#include "app/core/Secrets.h"
#include "app/core/Sheet.h"
#include "app/core/Strings.h"
#include "app/prefs/PreferencesDialogs.h"
#include "format/CryptorCallback.h"
#include "recovery/AdminRecovery.h"

namespace App {

enum PrefsPageId : int { kPopUpPg = 169, kEmergencyPasswordPg = 130, kAdminPg = 168 };

inline constexpr const char* kPrefsCaption = Text(StringId::PreferencesCaption);
inline constexpr const char* kPrefsMessageCaption = Text(StringId::AppName);

class PrefsPage : public Page {
  public:
    using Page::Page;
    bool Shown() const { return m_shown; }
    // OK: false refuses and keeps the sheet open.
    virtual bool OnApply() = 0;
    void OnSetActive() override;

  protected:
    virtual void OnFirstDisplay() {}
    // A refusing page shows itself before it asks or complains.
    void BringToFront();

  private:
    bool m_shown = false;
};

class PopUpPg : public PrefsPage {
  public:
    PopUpPg();

    std::uint32_t encryptDeletion, confirmEncrypt;
    std::uint32_t decryptDeletion, confirmDecrypt;
    std::uint32_t menuDeletion, confirmMenu;
    // What new self-decrypting containers run on, by PlatformItems' index (0 Windows, 1 Linux).
    std::uint32_t standAlonePlatform;

    static const std::vector<std::string>& DeletionItems();
    static const std::vector<std::string>& MenuItems();
    static const std::vector<std::string>& PlatformItems();

    bool OnApply() override;
    std::vector<std::string> Texts() const override;
};

class EmergencyPasswordPg : public PrefsPage {
  public:
    static constexpr std::size_t kMinPassword = 6;
    static constexpr std::size_t kMaxPassword = 256;
    static constexpr char kPlaceholder[] = "PLACEHOLDER";
    static constexpr const char* kEnabledHeader = Text(StringId::EmergencyPasswordPgEnabledHeader);
    static constexpr const char* kDeleteText = Text(StringId::EmergencyPasswordPgDelete);
    static constexpr const char* kTooShortText = Text(StringId::EmergencyPasswordPgTooShort);
    static constexpr const char* kMismatchText = Text(StringId::PasswordsDiffer);
    static constexpr const char* kReplaceText = Text(StringId::EmergencyPasswordPgReplace);
    static constexpr const char* kNoDefaultText = Text(StringId::EmergencyPasswordPgNoDefault);

    EmergencyPasswordPg(UserConfig& config, PreferencesDialogs& dialogs);
    ~EmergencyPasswordPg() override;

    const Secret& Password() const { return m_password; }
    const Secret& Confirmation() const { return m_confirmation; }
    // Typing in the masked field, the unmasked field and the confirmation.
    void SetPassword(std::string_view text);
    void SetPlainPassword(std::string_view text);
    void SetConfirmation(std::string_view text);
    void GeneratePassword();
    void SetDefault(bool ticked);
    // Emergency passwords permitted, as the administrators' page decides before OK.
    void SetEnabled(bool permitted);

    bool placeholderShown = false;
    bool plainView = false;
    bool enabled = true;
    bool defaultTicked = false;
    std::string header;
    bool focusPassword = false;
    std::size_t caret = 0;

    bool OnApply() override;
    std::vector<std::string> Texts() const override;

  protected:
    void OnFirstDisplay() override;

  private:
    bool Exists() const;
    void ShowPlaceholder();
    void Warn(const std::string& text);
    UserConfig& m_config;
    PreferencesDialogs& m_dialogs;
    Secret m_password{kMaxPassword}, m_confirmation{kMaxPassword};
    std::optional<bool> m_setByAdmin;
};

// Asks the front end for an administrator's key file.
class KeyFileCallback : public FCryptEng::SilentCallback {
  public:
    explicit KeyFileCallback(PreferencesDialogs& dialogs) : m_dialogs(dialogs) {}
    std::optional<std::string> AskText(const std::string& prompt, bool create) override;

  private:
    PreferencesDialogs& m_dialogs;
};

class AdminPg : public PrefsPage {
  public:
    static constexpr const char* kExistsText = Text(StringId::AdminPgExists);
    static constexpr const char* kIncorrectText = Text(StringId::IncorrectOrganisationPassword);
    static constexpr const char* kIncorrectCaption = Text(StringId::IncorrectPasswordCaption);
    static constexpr const char* kKeyUnreadableText = Text(StringId::AdminPgKeyUnreadable);
    static constexpr const char* kUpdatedText = Text(StringId::RecoveryUpdated);

    AdminPg(UserConfig& config, PreferencesDialogs& dialogs, EmergencyPasswordPg& emergency);

    // The list rows and their selection.
    std::vector<std::string> names;
    std::vector<bool> selected;
    int k = 1;
    int spinMin = 0, spinMax = 0;
    bool requireEnabled = false, kEnabled = false, removeEnabled = false;
    bool permit = true;
    bool changed = false;

    const FCryptEng::AdminRecovery* Working() const { return m_working.get(); }
    void Select(std::size_t row, bool on);
    void SetK(int value);
    void Add();
    void Remove();
    void SetPermit(bool on);
    void UpdateControls();

    bool OnApply() override;
    std::vector<std::string> Texts() const override;

  protected:
    void OnFirstDisplay() override;

  private:
    UserConfig& m_config;
    PreferencesDialogs& m_dialogs;
    EmergencyPasswordPg& m_emergency;
    KeyFileCallback m_keyFiles;
    std::unique_ptr<FCryptEng::AdminRecovery> m_working;
};

class CryvanPrefs : public Sheet {
  public:
    // `administrator`: the user passed the administrator check.
    CryvanPrefs(UserConfig& config, PreferencesDialogs& dialogs, bool administrator);

    PopUpPg& PopUp() { return m_popUp; }
    EmergencyPasswordPg& Emergency() { return m_emergency; }
    // Null when the page is not offered.
    AdminPg* Admin() { return m_admin.get(); }

    // Applies the shown pages in order; true when the sheet closed.
    bool PressOk();
    bool Accepted() const { return m_accepted; }

  private:
    PopUpPg m_popUp;
    EmergencyPasswordPg m_emergency;
    std::unique_ptr<AdminPg> m_admin;
    bool m_accepted = false;
};

}  // namespace App
