#include "app/session/Session.h"

#include <sstream>
#include <stdexcept>
#include <utility>

#include "app/core/Options.h"
#include "app/core/PasswordSource.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "app/session/MenuEntry.h"
#include "app/wizard/CommandLine.h"
#include "os/Logger.h"
#include "os/User.h"

namespace App {

ExitStatus ReportRun(const OperationRunner& runner, std::ostream* err, const std::string& program) {
    std::ostringstream ignored;
    std::ostream& e = err ? *err : ignored;
    const ExitStatus status = StatusOfRun(runner);
    if (status == ExitStatus::Failed) {
        std::string failure = runner.Failure();
        if (failure.empty())
            failure = Text(runner.IsEncrypting() ? StringId::EncryptionFailed
                                                 : StringId::DecryptionFailed);
        e << program << ": " << EscapeControls(failure) << "\n";
    } else if (status == ExitStatus::Warnings) {
        for (const std::string& w : runner.Warnings())
            e << program << ": not done: " << EscapeControls(w) << "\n";
    }
    return status;
}

Session::Session(SessionParts parts, const Folders& folders)
    : m_parts(std::move(parts)),
      m_wizard(std::make_unique<Wizard>(m_parts.wizardDialogs, folders)) {}

Session::~Session() {
    if (m_attached)
        m_wizard->Runner().Handover().Detach();
    // --verbose lasts for this session only.
    if (m_verbose)
        OS::Logger::Register(0, &m_parts.err);
}

ExitStatus Session::Usage(const std::string& why) {
    return ReportUsage(m_parts.err, m_parts.program, why);
}

std::optional<ExitStatus> Session::ReadPassword(Option option, const std::string& value) {
    try {
        m_password = ReadPasswordOption(option == Option::PasswordFd, value);
    } catch (const std::runtime_error& e) {
        return Usage(e.what());  // names the option, and the file or the value
    }
    return std::nullopt;
}

std::optional<ExitStatus> Session::Start(const Arguments& args) {
    std::size_t i = 0;
    bool passwordGiven = false;
    std::optional<MenuVerb> menu;
    std::vector<std::string> menuFiles;
    for (; i < args.size(); ++i) {
        const std::string opt(args[i]);
        const OptionRow* row = FindOption(opt, kFrontEnd);
        if (!row && opt.compare(0, 2, "--") != 0)
            break;  // the wizard's words
        if (!row)
            return Usage("unknown option '" + opt + "'");
        switch (row->option) {
            case Option::Help:
                m_parts.out << m_parts.help();
                return ExitStatus::Success;
            case Option::Verbose:
                if (!m_verbose)
                    OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN |
                                             OS::LOG_INFO | OS::LOG_DEBUG | OS::LOG_TRACE,
                                         &m_parts.err);
                m_verbose = true;
                break;
            case Option::Menu: {
                if (i + 1 >= args.size())
                    return Usage(opt + " needs one of " + kMenuVerbWords);
                const std::string word(args[++i]);
                menu = MenuVerbNamed(word);
                if (!menu)
                    return Usage("--menu takes one of " + std::string(kMenuVerbWords) + ", not '" +
                                 word + "'");
                for (++i; i < args.size(); ++i)
                    menuFiles.emplace_back(args[i]);
                break;
            }
            case Option::PasswordFd:
            case Option::PasswordFile:
                if (passwordGiven)
                    return Usage("give --password-fd or --password-file once");
                if (i + 1 >= args.size())
                    return Usage(opt + " needs a value");
                if (auto failed = ReadPassword(row->option, std::string(args[++i])))
                    return failed;
                passwordGiven = true;
                break;
            default:
                break;  // --text: the terminal is the only front end here
        }
    }

    StartMode mode = StartMode::Wizard;
    if (menu) {
        const std::string refused =
            ApplyMenuRequest(*menu, menuFiles, MenuSettings::Read(), m_wizard->CommandLineValues());
        if (!refused.empty())
            return Refuse(refused, MessageBoxes::Icon::Information);
    } else {
        // The wizard's words are the process's own bytes, so a -p value is hidden where the
        // process list reads it.
        char program[] = "cryvan";
        std::vector<char*> rest{program};
        for (std::size_t a = i; a < args.size(); ++a)
            rest.push_back(args.Pointer(a));
        mode = m_wizard->ProcessCommandLine(Arguments(std::move(rest)));
    }
    if (mode == StartMode::Invalid) {
        const std::string& fault = m_wizard->CommandLineValues().invalid;
        return Usage("invalid command line" + (fault.empty() ? std::string() : ": " + fault));
    }
    if (mode == StartMode::Preferences) {
        switch (m_preferences) {
            case PreferencesResult::Ok:
                return ExitStatus::Success;
            case PreferencesResult::Cancelled:
                return ExitStatus::Cancelled;
            case PreferencesResult::NoInput:
                break;
        }
        return ExitStatus::NoInput;
    }
    if (m_password) {
        PagesValues& values = m_wizard->CommandLineValues();
        try {
            // Fills what -p fills; the setters refuse a second password (-p as well).
            if (values.operation == PagesValues::Operation::Encrypt)
                values.EncPassword(*m_password);
            else if (values.operation == PagesValues::Operation::Decrypt)
                values.DecPassword(*m_password);
            else
                throw WizardParseError();
        } catch (const WizardParseError&) {
            m_password.reset();
            return Usage("--password-fd and --password-file need -e or -d and no -p");
        }
        m_password.reset();
    }
    if (m_wizard->CommandLineValues().shredMode)
        if (auto ended = PrepareShred())
            return ended;
    if (m_wizard->Config().RecoveryConfigMissing())
        m_parts.err << m_parts.program << ": " << UserConfig::kRecoveryMissingText << "\n";
    // The run's questions come to the front end's thread, which waits on the hand-over.
    m_wizard->Runner().Handover().Attach(m_parts.wake);
    m_attached = true;
    m_wizard->Start();
    return std::nullopt;
}

ExitStatus Session::Refuse(const std::string& why, MessageBoxes::Icon icon) {
    m_parts.err << m_parts.program << ": " << EscapeControls(why) << "\n";
    // Started from a file manager, nobody reads the error stream.
    m_parts.wizardDialogs.Show(why, Text(StringId::AppName), icon, MessageBoxes::Buttons::Ok,
                               MessageBoxes::Answer::Ok);
    return ExitStatus::Failed;
}

std::optional<ExitStatus> Session::PrepareShred() {
    PagesValues& values = m_wizard->CommandLineValues();
    OperationRunner& runner = m_wizard->Runner();
    const FCryptEng::InputDeletionMode mode = *values.shredMode;
    std::size_t files = 0;
    try {
        runner.SetMode(true);
        runner.SetDeletion(mode, false);
        files = runner.PrepareShred(ShredList(values.pendingInputs));
        values.pendingInputs.clear();
    } catch (const std::exception& e) {
        return Refuse(e.what(), MessageBoxes::Icon::Error);
    }
    if (files == 0)
        return Refuse("There is nothing to shred: the folders chosen hold no file.",
                      MessageBoxes::Icon::Information);
    if (values.shredConfirm) {
        // The confirmation first, then a question that says how much goes; No is the default
        // of both.
        for (const std::string& question : {ShredQuestion(mode), ShredCountQuestion(mode, files)}) {
            if (m_parts.wizardDialogs.Show(question, Text(StringId::AppName),
                                           MessageBoxes::Icon::Warning,
                                           MessageBoxes::Buttons::YesNo,
                                           MessageBoxes::Answer::No) != MessageBoxes::Answer::Yes)
                return ExitStatus::Cancelled;
        }
    }
    return std::nullopt;
}

bool Session::ShowPreferences() {
    CryvanPrefs sheet(m_wizard->Config(), m_parts.preferencesDialogs, OS::IsAdministrator());
    m_preferences = m_parts.renderPreferences(sheet);
    return m_preferences == PreferencesResult::Ok;
}

bool Session::PasswordRefused() const {
    const DecPasswordPg& page = m_wizard->decPassword;
    return m_wizard->ActivePage() == &page && page.fromCommandLine && page.focusPassword &&
           !page.unlocked;
}

ExitStatus Session::End(Ending how) {
    Wizard& w = *m_wizard;
    if (how == Ending::Stopped) {
        const Page* page = w.ActivePage();
        const std::string title = page ? page->Title() : std::string();
        const std::string& reason = w.Context().stopReason;
        // Refused for a reason no answer would change: the operation failed.
        if (!reason.empty()) {
            m_parts.err << m_parts.program << ": " << EscapeControls(reason) << "\n";
            return ExitStatus::Failed;
        }
        if (PasswordRefused()) {
            m_parts.err << m_parts.program << ": " << DecPasswordPg::kWrongText << "\n";
            return ExitStatus::Failed;
        }
        m_parts.err << m_parts.program << ": stopped on the page \"" << title
                    << "\": input is needed but none is available\n";
        return ExitStatus::NoInput;
    }
    if (!w.Finished())
        return ExitStatus::Cancelled;
    return ReportRun(w.Runner(), &m_parts.err, m_parts.program);
}

}  // namespace App
