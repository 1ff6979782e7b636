// The wizard's own dialogs, beside the questions of a run and the choosers: the source-file
// options and the preferences sheet it opens.
#pragma once

#include "app/core/FileChoosers.h"
#include "app/core/Questions.h"

namespace App {

class WizardDialogs : public virtual RunQuestions, public virtual FileChoosers {
  public:
    // The "Source File Options" dialog: path option 0-2, deletion index 0-4, confirmation.
    struct SourceOptions {
        int pathOption = 0;
        int deletionIndex = 0;
        bool confirm = true;
    };
    // True (and the values changed) on OK; Cancel keeps them.
    virtual bool EditSourceOptions(SourceOptions& options) = 0;
    // The preferences sheet; true when it was closed with OK.
    virtual bool ShowPreferences() = 0;
};

}  // namespace App
