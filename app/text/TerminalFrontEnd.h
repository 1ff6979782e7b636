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
#include "app/console/LineInput.h"
#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"
#include "app/core/Strings.h"
#include "app/text/TerminalDialogs.h"
#include "app/wizard/Wizard.h"

namespace Text {

// --help: the options and exit statuses from their tables.
std::string HelpText();
inline constexpr const char* kUnexpectedText = App::Text(App::StringId::Unexpected);
inline constexpr const char* kErrorCaption = App::Text(App::StringId::ErrorCaption);

// The status of the runner's ended run; failures and warnings are also written to `err`.
App::ExitStatus ReportRun(const App::OperationRunner& runner, std::ostream* err = nullptr);

class TerminalFrontEnd {
  public:
    // Failures, warnings and --verbose lines go to `err` (to `out` when none is given).
    TerminalFrontEnd(App::LineInput& input, std::ostream& out);
    TerminalFrontEnd(App::LineInput& input, std::ostream& out, std::ostream& err);

    // `args` without the program's name: the front end's options, then the wizard's arguments.
    // Exceptions escape; the caller reports them.
    App::ExitStatus Run(const App::Arguments& args, const App::Folders& folders);

    // Ctrl+C while a run goes: the sheet's Cancel at the next turn. Async-signal-safe.
    static void RequestCancel();

    TerminalDialogs& Dialogs() { return m_dialogs; }

  private:
    struct Action {
        std::string key;
        std::string label;
        std::function<void()> run;
    };

    App::ExitStatus Loop(App::Wizard& wizard);
    // The ended run's outcome on the error stream; the exit status it makes.
    App::ExitStatus Outcome(App::Wizard& wizard);
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
