// The terminal front end: renders the wizard's active page by meaning (title and instruction,
// current values, then its actions with mnemonic keys), reads the answers from a LineInput and
// runs the progress page with text bars. Start-up and the exit status are the session's.
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
#include "app/session/Session.h"
#include "app/text/TerminalDialogs.h"
#include "app/wizard/Wizard.h"

namespace Text {

// --help: the options and exit statuses from their tables.
std::string HelpText();
inline constexpr const char* kUnexpectedText = App::Text(App::StringId::Unexpected);
inline constexpr const char* kErrorCaption = App::Text(App::StringId::ErrorCaption);

class TerminalFrontEnd {
  public:
    // Failures, warnings and --verbose lines go to `err` (to `out` when none is given).
    TerminalFrontEnd(App::LineInput& input, std::ostream& out);
    TerminalFrontEnd(App::LineInput& input, std::ostream& out, std::ostream& err);

    // Output to a terminal is redrawn in place; anything else gets plain lines.
    void SetOutputTerminal(bool terminal) { m_outTerminal = terminal; }

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

    App::Session::Ending Loop(App::Session& session);
    void RenderHeader(const App::Page& page);
    std::vector<Action> PageActions(App::Wizard& wizard, App::Page& page);
    // The password page's fields, asked as soon as the page shows; false when no answer came.
    bool AskPasswords(App::Wizard& wizard, App::Page& page);
    // False when no answer can come.
    bool Act(App::Session& session, App::Page& page);
    void ProgressTurn(App::Wizard& wizard, App::ProgressPg& page, std::uint64_t nowMs);
    void DrawProgress(const App::ProgressPg& page);
    // Row numbers typed by the user ("1 3 4"), 0-based and in range.
    std::vector<std::size_t> AskRows(std::size_t count);
    void ListRows(const App::FileListCtrl& list, bool showSelection, bool stored);
    // A path typed at `prompt`, trimmed; nullopt at the end of the input.
    std::optional<std::string> AskPath(const std::string& prompt);

    App::LineInput& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    TerminalDialogs m_dialogs;
    bool m_outTerminal = false;
    int m_progressLines = 0;
    std::uint64_t m_lastPlainLine = 0;
    bool m_plainLineShown = false;
};

}  // namespace Text
