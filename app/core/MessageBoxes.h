// The one way the application shows a message box: a text, a caption, an icon, a set of
// buttons and the default one; the call blocks until the user answers. Implemented by each
// front end (app/text/, app/qt/) and, for tests, by a scripted answerer that records every box
// (tests/support/ScriptedMessageBoxes.h). Closing a box without a button answers Cancel, or
// No where there is no Cancel.
#pragma once

#include <string>

namespace App {

class MessageBoxes {
  public:
    enum class Icon { Error, Warning, Information, Question };
    enum class Buttons { Ok, OkCancel, RetryCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Retry, Yes, No };

    virtual ~MessageBoxes() = default;

    // Closing a box without a button: Cancel, or No where there is no Cancel, or OK.
    static Answer SafeAnswer(Buttons buttons) {
        return buttons == Buttons::Ok      ? Answer::Ok
               : buttons == Buttons::YesNo ? Answer::No
                                           : Answer::Cancel;
    }
    virtual Answer Show(const std::string& text, const std::string& caption, Icon icon,
                        Buttons buttons, Answer defaultButton) = 0;
};

}  // namespace App
