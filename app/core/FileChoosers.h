// The file and folder choosers, for the front ends that have them (the decrypt-only program
// does not). Each call blocks until the user chose or cancelled.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace App {

class FileChoosers {
  public:
    virtual ~FileChoosers() = default;

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
    // Whether ChooseSaveFile itself asks before an existing file is chosen, so that the caller
    // need not ask again.
    virtual bool SaveAsksBeforeReplacing() const { return false; }
    virtual std::optional<std::string> ChooseOpenFile(const std::string& title,
                                                      const std::string& initial,
                                                      const std::string& filter,
                                                      const std::string& defaultExtension) = 0;
};

}  // namespace App
