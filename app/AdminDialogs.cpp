#include "app/AdminDialogs.h"

#include <sys/stat.h>

#include <cstdlib>

#include <cryptopp/misc.h>

#include "app/GeneratePassword.h"
#include "app/Secrets.h"
#include "app/Texts.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

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
        m_boxes.Show(kMismatchText, "Cryvan", Icon::Warning, Buttons::Ok, Answer::Ok);
        return false;
    }
    return true;
}

Dialogs::NewAdministrator NewAdminDlg::Result() const {
    return Dialogs::NewAdministrator{name, m_password, keyFile};
}

std::vector<std::string> NewAdminDlg::Texts() const {
    return {"Administrator Name",
            "Please enter the name of the new data recovery administrator:",
            "Administrator name:",
            "Administrator Password",
            "Enter the data recovery password to be used by this administrator.",
            "Enter password:",
            "Confirm password:",
            "Or, click here to generate a secure, random password :",
            "Generate Password",
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

// ---- KeyFileDlg

KeyFileDlg::KeyFileDlg(Dialogs& dialogs, std::string administratorName, bool createFile,
                       const std::string& folder)
    : administrator(std::move(administratorName)),
      create(createFile),
      instruction(Format(kInstruction, administrator.c_str())),
      m_dialogs(dialogs) {
    path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += administrator + "." + kExtension;
}

void KeyFileDlg::Browse() {
    const auto chosen = create ? m_dialogs.ChooseSaveFile(kTitle, path, kFilter, kExtension)
                               : m_dialogs.ChooseOpenFile(kTitle, path, kFilter, kExtension);
    if (chosen)
        path = *chosen;
}

bool KeyFileDlg::PressOk() {
    if (path.empty())
        return false;
    const bool exists = Exists(path);
    if (exists && create)
        return m_dialogs.Show(kOverwriteText, kOverwriteCaption, Icon::Warning, Buttons::YesNo,
                              Answer::No) == Answer::Yes;
    if (!exists && !create) {
        m_dialogs.Show(kNotFoundText, kNotFoundCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
        return false;
    }
    return true;
}

std::vector<std::string> KeyFileDlg::Texts() const {
    return {instruction, "Key file:", path, "Browse..."};
}

std::string KeyFileFolder() {
    // The environment only: the decrypt-only program has no account database to ask.
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    return ".";
}

}  // namespace App
