// What a run asks the user while it works: the message boxes, the five-button replace question,
// an administrator's key file and one more administrator's password. Every front end answers
// these, the decrypt-only program included; the wizard and the preferences add their own
// dialogs on top (app/wizard/WizardDialogs.h, app/prefs/PreferencesDialogs.h).
#pragma once

#include <optional>
#include <string>

#include "app/core/MessageBoxes.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"

namespace App {

class RunQuestions : public MessageBoxes {
  public:
    // The buttons of "Confirm File Replace", by the codes that end it; Escape answers Cancel.
    enum class Replace { Yes = 0, YesToAll = 1, No = 2, NoToAll = 3, Cancel = 4 };

    static constexpr const char* kReplaceCaption = Text(StringId::ReplaceCaption);
    // The additional-administrator password dialog: caption, two lines and the field's label;
    // OK needs kAdminPasswordMin characters.
    static constexpr const char* kAdminPasswordCaption = "Cryvan Message Recovery";
    static constexpr const char* kAdminPasswordTexts[] = {
        "Cryvan data recovery has been configured to require more than one administrator "
        "password.",
        "Please enter an additional administrator password below.", "Administrator password:"};
    static constexpr std::size_t kAdminPasswordMin = 6;
    // The dialog's line saying how many more passwords the container needs; empty for 0 (not
    // known).
    static std::string StillNeededText(std::size_t more) {
        if (more == 0)
            return {};
        if (more == 1)
            return "1 more administrator password is needed.";
        return std::to_string(more) + " more administrator passwords are needed.";
    }

    // `text` is the question, `path40` the file's path already shortened for display.
    virtual Replace ConfirmReplace(const std::string& text, const std::string& path40) = 0;
    // The key file of `administrator`, to read (or, with `create`, to write); nullopt when
    // cancelled.
    virtual std::optional<std::string> AskKeyFile(const std::string& administrator,
                                                  bool create) = 0;
    // The "Cryvan Message Recovery" dialog: one more administrator password; nullopt on Cancel.
    // `stillNeeded` (StillNeededText, possibly empty) is shown under the dialog's two lines.
    virtual std::optional<Secret> AskAdministratorPassword(const std::string& stillNeeded) = 0;
};

}  // namespace App
