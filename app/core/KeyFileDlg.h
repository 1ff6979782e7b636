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
    static constexpr const char* kTitle = Text(StringId::KeyFileDlgTitle);
    static constexpr char kExtension[] = "CryvanKey";
    static constexpr const char* kFilter = Text(StringId::KeyFileDlgFilter);
    static constexpr const char* kInstruction = Text(StringId::KeyFileDlgInstruction);
    static constexpr const char* kOverwriteText = Text(StringId::KeyFileDlgOverwrite);
    static constexpr const char* kOverwriteCaption = Text(StringId::KeyFileDlgOverwriteCaption);
    static constexpr const char* kNotFoundText = Text(StringId::KeyFileDlgNotFound);
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
