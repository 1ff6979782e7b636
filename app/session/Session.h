// One application session, the same for every front end: the front end's options (password
// sources, --verbose, --help), the wizard filled from the command line, the preferences sheet
// with the administrator check, and the exit status of how the front end's loop ended. A front
// end gives it its dialogs and a way to render the preferences sheet, then renders the wizard
// and forwards input.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/config/Folders.h"
#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"
#include "app/core/Secrets.h"
#include "app/prefs/PreferencesDialogs.h"
#include "app/prefs/PreferencesPages.h"
#include "app/wizard/Wizard.h"
#include "app/wizard/WizardDialogs.h"

namespace App {

// How a front end's rendering of the preferences sheet ended.
enum class PreferencesResult { Ok, Cancelled, NoInput };

struct SessionParts {
    std::string program;  // "cryvan": the prefix of every message
    WizardDialogs& wizardDialogs;
    PreferencesDialogs& preferencesDialogs;
    // Renders the sheet until OK or Cancel closes it.
    std::function<PreferencesResult(CryvanPrefs&)> renderPreferences;
    // The whole --help text.
    std::function<std::string()> help;
    std::ostream& out;  // --help
    std::ostream& err;  // usage errors, failures, notices, --verbose
    // Besides the hand-over's descriptor, how a question or the end of a run wakes the
    // user-interface thread: a toolkit queues a call to Handover::RunPending with it.
    std::function<void()> wake = nullptr;
};

// The status of the runner's ended run; failures and warnings are also written to `err`, each
// line after `program` and a colon.
ExitStatus ReportRun(const OperationRunner& runner, std::ostream* err = nullptr,
                     const std::string& program = "cryvan");

class Session {
  public:
    // How the front end's loop ended.
    enum class Ending {
        Finished,  // the sheet closed (Finish, Cancel or a run given -q)
        Stopped,   // a page waits for input that cannot come
    };

    Session(SessionParts parts, const Folders& folders);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // `args` without the program's name: the front end's options, then the wizard's words.
    // A status when the program ends here (help, usage, the preferences sheet); nullopt when
    // the wizard is ready to render: the hand-over is attached and the first page shown.
    std::optional<ExitStatus> Start(const Arguments& args);

    Wizard& TheWizard() { return *m_wizard; }

    // "Preferences..." on the first page: the sheet on the wizard's configuration.
    bool ShowPreferences();

    // The password page refused a password given by -p, --password-file or --password-fd, and
    // waits for another: only a person can give one.
    bool PasswordRefused() const;

    // The exit status for how the loop ended; the failure, if any, goes to the error stream.
    ExitStatus End(Ending how);

  private:
    ExitStatus Usage(const std::string& why);
    // Told on the error stream and in a message box: the program ends with a failure.
    ExitStatus Refuse(const std::string& why, MessageBoxes::Icon icon);
    // The file manager's shred entry: the runner prepared and the user's agreement; a status
    // when the program ends here.
    std::optional<ExitStatus> PrepareShred();
    // The value of --password-fd or --password-file; nullopt (usage written) when unusable.
    std::optional<ExitStatus> ReadPassword(Option option, const std::string& value);

    SessionParts m_parts;
    std::unique_ptr<Wizard> m_wizard;
    std::optional<Secret> m_password;
    PreferencesResult m_preferences = PreferencesResult::Cancelled;
    bool m_verbose = false;
    bool m_attached = false;
};

}  // namespace App
