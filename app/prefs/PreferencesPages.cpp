#include "app/prefs/PreferencesPages.h"

#include <cryptopp/misc.h>

#include "app/config/Settings.h"
#include "app/core/GeneratePassword.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "os/File.h"
#include "os/Logger.h"
#include "recovery/Organisation.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

}  // namespace

// ---- PrefsPage

void PrefsPage::OnSetActive() {
    if (m_shown)
        return;
    m_shown = true;
    OnFirstDisplay();
}

void PrefsPage::BringToFront() {
    TheSheet().SetActivePage(Id());
}

// ---- PopUpPg

PopUpPg::PopUpPg()
    : PrefsPage(kPopUpPg, "Pop-Up Menu", ""),
      encryptDeletion(Settings::Get(Settings::kEncryptDeletionOption)),
      confirmEncrypt(Settings::Get(Settings::kConfirmEncryptDeletion)),
      decryptDeletion(Settings::Get(Settings::kDecryptDeletionOption)),
      confirmDecrypt(Settings::Get(Settings::kConfirmDecryptDeletion)),
      menuDeletion(Settings::Get(Settings::kMenuDeletionOption)),
      confirmMenu(Settings::Get(Settings::kConfirmMenuDeletion)),
      standAlonePlatform(Settings::Get(Settings::kStandAlonePlatform)) {}

const std::vector<std::string>& PopUpPg::DeletionItems() {
    static const std::vector<std::string> items{
        "<None>", Text(StringId::DeletionRecycle), Text(StringId::DeletionDelete),
        Text(StringId::DeletionOverwrite), Text(StringId::DeletionEradicate)};
    return items;
}

const std::vector<std::string>& PopUpPg::MenuItems() {
    static const std::vector<std::string> items{"<None>", Text(StringId::DeletionOverwrite),
                                                Text(StringId::DeletionEradicate)};
    return items;
}

const std::vector<std::string>& PopUpPg::PlatformItems() {
    static const std::vector<std::string> items{"Windows", "Linux"};
    return items;
}

bool PopUpPg::OnApply() {
    OS::Trace t("PopUpPg::OnApply()");
    Settings::Set(Settings::kEncryptDeletionOption, encryptDeletion);
    Settings::Set(Settings::kConfirmEncryptDeletion, confirmEncrypt ? 1 : 0);
    Settings::Set(Settings::kDecryptDeletionOption, decryptDeletion);
    Settings::Set(Settings::kConfirmDecryptDeletion, confirmDecrypt ? 1 : 0);
    Settings::Set(Settings::kMenuDeletionOption, menuDeletion);
    Settings::Set(Settings::kConfirmMenuDeletion, confirmMenu ? 1 : 0);
    Settings::Set(Settings::kStandAlonePlatform, standAlonePlatform ? 1 : 0);
    return true;
}

std::vector<std::string> PopUpPg::Texts() const {
    return {"Configure Pop-Up Menu",
            "Use these settings to configure the options available from the Cryvan right-click "
            "'pop-up menu' in your file manager.",
            "Preferred deletion option when encrypting files:",
            "Preferred deletion option when decrypting files:",
            "Preferred deletion option on Pop-Up Menu:",
            "Prompt for confirmation first",
            "Self-decrypting executables (.aes.exe) run on:"};
}

// ---- EmergencyPasswordPg

EmergencyPasswordPg::EmergencyPasswordPg(UserConfig& config, PreferencesDialogs& dialogs)
    : PrefsPage(kEmergencyPasswordPg, "Emergency Password", ""),
      m_config(config),
      m_dialogs(dialogs) {}

EmergencyPasswordPg::~EmergencyPasswordPg() = default;

bool EmergencyPasswordPg::Exists() const {
    return (m_config.Flags() & UserConfig::NoEmergencyPassword) == 0;
}

void EmergencyPasswordPg::ShowPlaceholder() {
    m_password.Assign(kPlaceholder);
    m_confirmation.Assign(kPlaceholder);
    placeholderShown = true;
    plainView = false;
}

void EmergencyPasswordPg::OnFirstDisplay() {
    OS::Trace t("EmergencyPasswordPg::OnFirstDisplay()");
    if (Exists())
        ShowPlaceholder();
    enabled = m_setByAdmin ? *m_setByAdmin : m_config.EmergencyPermitted();
    header = enabled ? kEnabledHeader : UserConfig::kEmergencyDisabledText;
    defaultTicked = Settings::Get(Settings::kDefaultEmergencyPassword) != 0 &&
                    m_config.EmergencyValid() && enabled;
    focusPassword = true;
}

void EmergencyPasswordPg::SetEnabled(bool permitted) {
    m_setByAdmin = permitted;
    if (!Shown())
        return;
    enabled = permitted;
    header = enabled ? kEnabledHeader : UserConfig::kEmergencyDisabledText;
}

void EmergencyPasswordPg::SetPassword(std::string_view text) {
    if (placeholderShown) {
        // Typing over the placeholder keeps only what the user typed: the first character that
        // differs from the placeholder at its position.
        const std::string_view placeholder = kPlaceholder;
        m_password.Clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i >= placeholder.size() || text[i] != placeholder[i]) {
                m_password.push_back(text[i]);
                break;
            }
        }
        placeholderShown = false;
        m_confirmation.Clear();
    } else {
        m_password.Assign(text);
    }
    caret = m_password.size();
    plainView = false;
}

void EmergencyPasswordPg::SetPlainPassword(std::string_view text) {
    m_password.Assign(text);
}

void EmergencyPasswordPg::SetConfirmation(std::string_view text) {
    m_confirmation.Assign(text);
}

void EmergencyPasswordPg::GeneratePassword() {
    OS::Trace t("EmergencyPasswordPg::GeneratePassword()");
    if (!enabled)
        return;
    placeholderShown = false;
    const Secret generated = App::GeneratePassword();
    m_password.Assign(generated.View());
    m_confirmation.Assign(generated.View());
    plainView = true;
}

void EmergencyPasswordPg::SetDefault(bool ticked) {
    if (enabled)
        defaultTicked = ticked;
}

void EmergencyPasswordPg::Warn(const std::string& text) {
    m_dialogs.Show(text, kPrefsMessageCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
}

bool EmergencyPasswordPg::OnApply() {
    OS::Trace t("EmergencyPasswordPg::OnApply()");
    const bool existedBefore = Exists();
    if (placeholderShown) {
        // Nothing to change.
    } else if (m_password.empty() && m_confirmation.empty()) {
        if (existedBefore) {
            BringToFront();
            if (m_dialogs.Show(kDeleteText, kPrefsMessageCaption, Icon::Question, Buttons::YesNo,
                               Answer::No) != Answer::Yes) {
                ShowPlaceholder();
                return false;
            }
            // A file that could not be deleted is still in force: keep the sheet open.
            if (!m_config.DeleteEmergency())
                return false;
            defaultTicked = false;
        }
    } else if (m_password.size() < kMinPassword) {
        BringToFront();
        Warn(Format(kTooShortText, int(kMinPassword)));
        focusPassword = true;
        return false;
    } else if (m_password != m_confirmation) {
        BringToFront();
        Warn(kMismatchText);
        return false;
    } else {
        if (existedBefore) {
            BringToFront();
            if (m_dialogs.Show(kReplaceText, kPrefsMessageCaption, Icon::Question, Buttons::YesNo,
                               Answer::No) != Answer::Yes) {
                ShowPlaceholder();
                return false;
            }
        }
        // An unsaved password would be lost with the sheet: keep it for another try.
        if (!m_config.CreateEmergency(m_password.c_str()))
            return false;
        ShowPlaceholder();
    }
    if (defaultTicked && !Exists() && !existedBefore) {
        BringToFront();
        Warn(kNoDefaultText);
        defaultTicked = false;
        return false;
    }
    Settings::Set(Settings::kDefaultEmergencyPassword, defaultTicked ? 1 : 0);
    return true;
}

std::vector<std::string> EmergencyPasswordPg::Texts() const {
    return {"Configure Emergency Password",
            header,
            "Emergency password:",
            Text(StringId::ConfirmLabel),
            Text(StringId::GenerateInvitation),
            Text(StringId::GeneratePasswordButton),
            "Would you like your emergency password to be enabled automatically on every "
            "encrypted file you create?  (You'll still have the option to turn it off.)",
            "Enable my emergency password by default."};
}

// ---- KeyFileCallback

std::optional<std::string> KeyFileCallback::AskText(const std::string& prompt, bool create) {
    return m_dialogs.AskKeyFile(prompt, create);
}

// ---- AdminPg

AdminPg::AdminPg(UserConfig& config, PreferencesDialogs& dialogs, EmergencyPasswordPg& emergency)
    : PrefsPage(kAdminPg, "Administrators", ""),
      m_config(config),
      m_dialogs(dialogs),
      m_emergency(emergency),
      m_keyFiles(dialogs) {}

void AdminPg::OnFirstDisplay() {
    OS::Trace t("AdminPg::OnFirstDisplay()");
    if (const FCryptEng::AdminRecovery* loaded = m_config.RecoveryConfig())
        m_working = std::make_unique<FCryptEng::AdminRecovery>(*loaded);
    else
        m_working = std::make_unique<FCryptEng::AdminRecovery>(&m_keyFiles);
    names.clear();
    for (std::uint16_t i = 0;; ++i) {
        const auto name = m_working->GetName(i);
        if (!name)
            break;
        names.push_back(*name);
    }
    selected.assign(names.size(), false);
    k = m_working->GetK() >= 2 ? m_working->GetK() : 1;
    permit = m_config.EmergencyPermitted();
    UpdateControls();
}

void AdminPg::UpdateControls() {
    const int n = int(names.size());
    spinMin = n > 0 ? 1 : 0;
    spinMax = n;
    requireEnabled = n > 0;
    kEnabled = n > 1;
    if (k > n)
        k = n;
    if (n > 0 && k < 1)
        k = 1;
    removeEnabled = false;
    for (bool s : selected)
        removeEnabled = removeEnabled || s;
}

void AdminPg::Select(std::size_t row, bool on) {
    if (row < selected.size())
        selected[row] = on;
    UpdateControls();
}

void AdminPg::SetK(int value) {
    if (kEnabled)
        k = value;
    UpdateControls();
}

void AdminPg::Add() {
    OS::Trace t("AdminPg::Add()");
    auto answer = m_dialogs.AskNewAdministrator();
    if (!answer)
        return;
    if (m_working->Exists(answer->name)) {
        m_dialogs.Show(kExistsText, kPrefsMessageCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
    } else if (m_working->Add(answer->name.c_str(), answer->password.c_str(), answer->keyFile)) {
        names.push_back(answer->name);
        selected.push_back(false);
        changed = true;
        UpdateControls();
    }
}

void AdminPg::Remove() {
    OS::Trace t("AdminPg::Remove()");
    for (std::size_t row = names.size(); row-- > 0;) {
        if (!selected[row] || !m_working->Remove(names[row]))
            continue;
        names.erase(names.begin() + long(row));
        selected.erase(selected.begin() + long(row));
        changed = true;
    }
    UpdateControls();
}

void AdminPg::SetPermit(bool on) {
    permit = on;
    m_emergency.SetEnabled(on);
}

bool AdminPg::OnApply() {
    OS::Trace t("AdminPg::OnApply()");
    UpdateControls();
    if (!changed && permit == m_working->GetPermitEP() && k == int(m_working->GetK()))
        return true;
    BringToFront();
    const FCryptEng::Organisation* organisation = m_config.Profile().Record();
    if (!organisation)
        return false;
    auto password = m_dialogs.AskOrganisationPassword(FCryptEng::Organisation::kMinPasswordLength);
    if (!password)
        return false;
    std::optional<FCryptEng::KeyPair> keys;
    try {
        keys = organisation->OpenKey(password->c_str());
    } catch (const OS::File::Error& e) {
        // The key is kept where only administrators may read it, apart from the record.
        password->Clear();
        const std::string keyFile =
            FCryptEng::Organisation::KeyFileFor(m_config.Profile().RecordPath());
        m_dialogs.Show(Format(kKeyUnreadableText, keyFile.c_str(), e.what()), kPrefsMessageCaption,
                       Icon::Error, Buttons::Ok, Answer::Ok);
        return false;
    }
    password->Clear();
    if (!keys) {
        m_dialogs.Show(kIncorrectText, kIncorrectCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
        return false;
    }
    m_working->SetK(std::uint16_t(k));
    m_working->SetPermitEP(permit);
    m_working->Sign(*keys);
    if (!m_config.ReplaceRecovery(*m_working))
        return false;
    changed = false;
    m_dialogs.Show(kUpdatedText, kPrefsMessageCaption, Icon::Information, Buttons::Ok, Answer::Ok);
    return true;
}

std::vector<std::string> AdminPg::Texts() const {
    return {"Configure Administrators",
            "Cryvan data recovery administrators can decrypt files created by any user.",
            "Admin",
            "Add...",
            "Remove...",
            "Require",
            "administrators to decrypt an encrypted file.",
            "Emergency Passwords",
            "Allow users to create and use personal emergency passwords."};
}

// ---- CryvanPrefs

CryvanPrefs::CryvanPrefs(UserConfig& config, PreferencesDialogs& dialogs, bool administrator)
    : Sheet(kPrefsCaption), m_emergency(config, dialogs) {
    AddPage(m_popUp);
    AddPage(m_emergency);
    if (config.Profile().Applies() && administrator) {
        m_admin = std::make_unique<AdminPg>(config, dialogs, m_emergency);
        AddPage(*m_admin);
    }
    SetActivePage(kPopUpPg);
}

bool CryvanPrefs::PressOk() {
    OS::Trace t("CryvanPrefs::PressOk()");
    if (Closed() || m_accepted)
        return true;
    for (PrefsPage* page : std::vector<PrefsPage*>{&m_popUp, &m_emergency, m_admin.get()}) {
        if (!page || !page->Shown())
            continue;
        if (!page->OnApply()) {
            SetActivePage(page->Id());
            return false;
        }
    }
    m_accepted = true;
    return true;
}

}  // namespace App
