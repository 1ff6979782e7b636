#include "app/prefs/AdminDialogs.h"

#include <cryptopp/misc.h>

#include "app/core/GeneratePassword.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

}  // namespace

// ---- NewAdminDlg

void NewAdminDlg::SetPassword(std::string_view text) {
    SetPlainPassword(text);
    plainView = false;
}

void NewAdminDlg::SetPlainPassword(std::string_view text) {
    m_password.Assign(text);
}

void NewAdminDlg::SetConfirmation(std::string_view text) {
    m_confirmation.Assign(text);
}

void NewAdminDlg::GeneratePassword() {
    if (!PasswordEnabled())
        return;
    const Secret generated = App::GeneratePassword();
    m_password.Assign(generated.View());
    m_confirmation.Assign(generated.View());
    plainView = true;
}

bool NewAdminDlg::OkEnabled() const {
    return !name.empty() && m_password.size() >= kMinPassword &&
           m_confirmation.size() >= kMinPassword;
}

bool NewAdminDlg::PressOk() {
    if (!OkEnabled())
        return false;
    if (m_password != m_confirmation) {
        focusPassword = true;
        m_boxes.Show(kMismatchText, Text(StringId::AppName), Icon::Warning, Buttons::Ok,
                     Answer::Ok);
        return false;
    }
    return true;
}

PreferencesDialogs::NewAdministrator NewAdminDlg::Result() const {
    return PreferencesDialogs::NewAdministrator{name, m_password, keyFile};
}

std::vector<std::string> NewAdminDlg::Texts() const {
    return {"Administrator Name",
            "Please enter the name of the new data recovery administrator:",
            "Administrator name:",
            "Administrator Password",
            "Enter the data recovery password to be used by this administrator.",
            Text(StringId::PasswordLabel),
            Text(StringId::ConfirmLabel),
            Text(StringId::GenerateInvitation),
            Text(StringId::GeneratePasswordButton),
            "Key File",
            "Please select whether this administrator uses a key file as well as a password:",
            "Password only",
            "Password and key file"};
}

// ---- OrgPasswordDlg

std::vector<std::string> OrgPasswordDlg::Texts() const {
    return {"You have made changes to one or more administrator settings.",
            "Please enter the organisation password to sign the new configuration."};
}

}  // namespace App
