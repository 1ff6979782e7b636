// Everything the application asks the user, in one interface a front end implements: the
// message boxes, the five-button replace question and the administrator key-file request.
#pragma once

#include <optional>
#include <string>

#include "app/MessageBoxes.h"

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
};

}  // namespace App
