// The small dialogs of the administrators' page and of the key-file request, without a display:
// the new administrator, the organisation password and the administrator's key file. A front
// end renders their fields and buttons and forwards what the user types and presses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/prefs/PreferencesDialogs.h"

namespace App {

class NewAdminDlg {
  public:
    static constexpr const char* kTitle = Text(StringId::NewAdminDlgTitle);
    static constexpr std::size_t kMinPassword = 6;
    static constexpr std::size_t kMaxPassword = 256;
    static constexpr const char* kMismatchText = Text(StringId::PasswordsDiffer);

    explicit NewAdminDlg(MessageBoxes& boxes) : m_boxes(boxes) {}
    NewAdminDlg(const NewAdminDlg&) = delete;
    NewAdminDlg& operator=(const NewAdminDlg&) = delete;

    void SetName(std::string text) { name = std::move(text); }
    // Typing in the masked field shows the masked view; the unmasked field copies into it.
    void SetPassword(std::string_view text);
    void SetPlainPassword(std::string_view text);
    void SetConfirmation(std::string_view text);
    void GeneratePassword();
    void SetKeyFile(bool withKeyFile) { keyFile = withKeyFile; }

    const Secret& Password() const { return m_password; }
    const Secret& Confirmation() const { return m_confirmation; }
    bool PasswordEnabled() const { return !name.empty(); }
    bool ConfirmationEnabled() const { return m_password.size() >= kMinPassword; }
    bool OkEnabled() const;
    // False keeps the dialog open (the mismatch was shown, focus on the password).
    bool PressOk();
    PreferencesDialogs::NewAdministrator Result() const;

    std::vector<std::string> Texts() const;

    std::string name;
    bool keyFile = true;  // "Password and key file" is chosen at first
    bool plainView = false;
    bool focusPassword = false;

  private:
    MessageBoxes& m_boxes;
    Secret m_password{kMaxPassword}, m_confirmation{kMaxPassword};
};

// The password that unlocks the organisation's private key.
class OrgPasswordDlg {
  public:
    static constexpr std::size_t kMaxLength = 50;

    explicit OrgPasswordDlg(std::size_t minLength) : m_minLength(minLength) {}
    OrgPasswordDlg(const OrgPasswordDlg&) = delete;
    OrgPasswordDlg& operator=(const OrgPasswordDlg&) = delete;

    // The field holds at most kMaxLength characters.
    void SetPassword(std::string_view text) { m_password.Assign(text); }
    const Secret& Password() const { return m_password; }
    bool OkEnabled() const { return m_password.size() >= m_minLength; }
    std::vector<std::string> Texts() const;

  private:
    std::size_t m_minLength;
    Secret m_password{kMaxLength};
};

}  // namespace App
