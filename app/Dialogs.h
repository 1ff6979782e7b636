// Everything the application asks the user, in one interface a front end implements: the
// message boxes, the five-button replace question, the administrator key-file request, the
// file and folder choosers and the small dialogs of the wizard pages.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/MessageBoxes.h"
#include "app/Secrets.h"

namespace App {

class Dialogs : public MessageBoxes {
  public:
    // The buttons of "Confirm File Replace", by the codes that end it; Escape answers Cancel.
    enum class Replace { Yes = 0, YesToAll = 1, No = 2, NoToAll = 3, Cancel = 4 };

    static constexpr char kReplaceCaption[] = "Confirm File Replace";

    // `text` is the question, `path40` the file's path already shortened for display.
    virtual Replace ConfirmReplace(const std::string& text, const std::string& path40) = 0;
    // The key file of `administrator`, to read (or, with `create`, to write); nullopt when
    // cancelled.
    virtual std::optional<std::string> AskKeyFile(const std::string& administrator,
                                                  bool create) = 0;

    // Existing files to add (several may be chosen); empty when cancelled.
    virtual std::vector<std::string> ChooseFiles(const std::string& title) = 0;
    // A folder, starting at `start`; nullopt when cancelled.
    virtual std::optional<std::string> ChooseFolder(const std::string& title,
                                                    const std::string& start) = 0;
    // A file to write (save) or an existing one to read (open). `filter` is the dialog's
    // "Description (*.ext)|*.ext||" text, `defaultExtension` the extension added to a bare name.
    virtual std::optional<std::string> ChooseSaveFile(const std::string& title,
                                                      const std::string& initial,
                                                      const std::string& filter,
                                                      const std::string& defaultExtension) = 0;
    virtual std::optional<std::string> ChooseOpenFile(const std::string& title,
                                                      const std::string& initial,
                                                      const std::string& filter,
                                                      const std::string& defaultExtension) = 0;

    // The "Source File Options" dialog: path option 0-2, deletion index 0-4, confirmation.
    struct SourceOptions {
        int pathOption = 0;
        int deletionIndex = 0;
        bool confirm = true;
    };
    // True (and the values changed) on OK; Cancel keeps them.
    virtual bool EditSourceOptions(SourceOptions& options) = 0;
    // The "Cryvan Message Recovery" dialog: one more administrator password; nullopt on Cancel.
    virtual std::optional<Secret> AskAdministratorPassword() = 0;
    // The preferences sheet; true when it was closed with OK.
    virtual bool ShowPreferences() = 0;

    // "New Cryvan Administrator": the name, the password (confirmed) and the key-file choice.
    struct NewAdministrator {
        std::string name;
        Secret password;
        bool keyFile = true;
    };
    // nullopt on Cancel.
    virtual std::optional<NewAdministrator> AskNewAdministrator() = 0;
    // The organisation password that unlocks the organisation's private key; OK needs at least
    // `minLength` characters. nullopt on Cancel.
    virtual std::optional<Secret> AskOrganisationPassword(std::size_t minLength) = 0;
};

}  // namespace App
