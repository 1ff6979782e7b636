// The terminal front end: renders the wizard's active page (header, texts, fields) and offers
// its actions and buttons as choices read from a LineInput, runs the progress page with text
// bars and ends with an exit status that tells scripts what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/config/Folders.h"
#include "app/core/Arguments.h"
#include "app/core/LineInput.h"
#include "app/text/TerminalDialogs.h"
#include "app/wizard/Wizard.h"

namespace Text {

// Fixed exit statuses, listed in --help and the README.
enum Exit : int {
    kExitSuccess = 0,     // the operation finished successfully
    kExitUsage = 1,       // invalid command line
    kExitFailed = 2,      // the operation failed
    kExitCancelled = 3,   // cancelled
    kExitStopped = 4,     // stopped on a page: input needed but none available
    kExitUnexpected = 5,  // unexpected error
    kExitWarnings = 6,    // finished, but something asked for could not be done
};

extern const char kHelpText[];
// String 115 and its caption.
extern const char kUnexpectedText[];
extern const char kErrorCaption[];

// The status of the runner's ended run; failures and warnings are also written to `err`.
int ExitStatus(const App::OperationRunner& runner, std::ostream* err = nullptr);

class TerminalFrontEnd {
  public:
    // Failures, warnings and --verbose lines go to `err` (to `out` when none is given).
    TerminalFrontEnd(App::LineInput& input, std::ostream& out);
    TerminalFrontEnd(App::LineInput& input, std::ostream& out, std::ostream& err);

    // `args` without the program's name: the front end's options, then the wizard's arguments.
    // Exceptions escape; the caller reports them.
    int Run(const App::Arguments& args, const App::Folders& folders);

    // Ctrl+C while a run goes: the sheet's Cancel at the next turn. Async-signal-safe.
    static void RequestCancel();

    TerminalDialogs& Dialogs() { return m_dialogs; }

  private:
    struct Action {
        std::string key;
        std::string label;
        std::function<void()> run;
    };

    int Loop(App::Wizard& wizard);
    // The ended run's outcome on the error stream; the exit status it makes.
    int Outcome(App::Wizard& wizard);
    void RenderHeader(const App::Page& page);
    void RenderTexts(const std::vector<std::string>& texts);
    std::vector<Action> PageActions(App::Wizard& wizard, App::Page& page);
    // False when no answer can come.
    bool Act(App::Wizard& wizard, App::Page& page);
    void ProgressTurn(App::Wizard& wizard, App::ProgressPg& page);
    void DrawProgress(const App::ProgressPg& page, bool redraw);
    // Row numbers typed by the user ("1 3 4"), 0-based and in range.
    std::vector<std::size_t> AskRows(std::size_t count);
    void ListRows(const App::FileListCtrl& list, bool showSelection);

    App::LineInput& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    TerminalDialogs m_dialogs;
    int m_progressLines = 0;
};

}  // namespace Text
