// "Select Administrator Key File" without a display: the key file an administrator reads or
// writes. Asked by a run that needs an administrator's key file, and by the preferences.
#pragma once

#include <string>
#include <vector>

#include "app/core/FileChoosers.h"
#include "app/core/MessageBoxes.h"
#include "app/core/Strings.h"

namespace App {

// "Select Administrator Key File": the key file to write (create) or to read.
class KeyFileDlg {
  public:
    static constexpr char kTitle[] = "Select Administrator Key File";
    static constexpr char kExtension[] = "CryvanKey";
    static constexpr char kFilter[] = "Cryvan administrator key files (*.CryvanKey)|*.CryvanKey||";
    static constexpr char kInstruction[] =
        "Please select the key file for the data recovery administrator '%s' by entering the "
        "filename below:";
    static constexpr char kOverwriteText[] =
        "The key file specified already exists.  Are you sure you want to overwrite the "
        "existing file?";
    static constexpr char kOverwriteCaption[] = "Confirm File Overwrite";
    static constexpr char kNotFoundText[] = "The key file specified could not be found.";
    static constexpr const char* kNotFoundCaption = Text(StringId::NotFoundCaption);

    // `folder` is where the proposed file name lives (the user's home folder).
    // `choosers` (none in the decrypt-only program) serves Browse.
    KeyFileDlg(MessageBoxes& boxes, FileChoosers* choosers, std::string administrator, bool create,
               const std::string& folder);

    void SetPath(std::string text) { path = std::move(text); }
    void Browse();
    // False keeps the dialog open.
    bool PressOk();
    std::vector<std::string> Texts() const;

    const std::string administrator;
    const bool create;
    std::string instruction;
    std::string path;

  private:
    MessageBoxes& m_boxes;
    FileChoosers* m_choosers;
};

// The folder a key file is proposed in: $HOME, else the current folder.
std::string KeyFileFolder();

}  // namespace App
