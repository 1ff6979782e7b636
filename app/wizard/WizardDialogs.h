// The wizard's own dialogs, beside the questions of a run and the choosers: the source-file
// options and the preferences sheet it opens.
#pragma once

#include "app/core/FileChoosers.h"
#include "app/core/Questions.h"

namespace App {

class WizardDialogs : public virtual RunQuestions, public virtual FileChoosers {
  public:
    // The "Source File Options" dialog: path option 0-2, deletion index 0-4, confirmation.
    static constexpr const char* kSourceOptionsTitle = "Source File Options";
    // The dialog's texts in reading order: the path group, its three choices (in the engine's
    // order), then the deletion group ("Please" <list> " the input files when done.").
    static constexpr const char* kSourceOptionsTexts[] = {
        "Path Information",
        "Please select the source file path information to store.",
        "Choose path automatically",
        "Filenames only (no path)",
        "Full paths (excluding drive)",
        "File Deletion",
        "What do you want to do with the input files after encryption?",
        "Please",
        " the input files when done.",
        "Ask for confirmation first."};
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
