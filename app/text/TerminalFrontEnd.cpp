#include "app/text/TerminalFrontEnd.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

#include "app/console/ConsoleText.h"
#include "app/core/Options.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "app/text/TerminalPreferences.h"
#include "app/wizard/CommandLine.h"
#include "os/Logger.h"
#include "os/User.h"

namespace Text {

using App::Bar;
using App::ExitStatus;
using App::Lower;
using App::SigintScope;
using App::Trim;

namespace {

// "cryvan -e [-c [FILE]] ...": every word the mode accepts, for a partial line stops on the page
// that lacks something.
std::string ModeSynopsis(App::Option mode, App::OptionPlace place) {
    const std::string head =
        std::string("  cryvan ") + App::FindOption(mode, App::kFirstWord)->spelling;
    std::string out;
    std::string line = head;
    for (const App::OptionRow& row : App::kOptions) {
        if (!(row.accepts & place) || (row.accepts & App::kFirstWord))
            continue;
        const std::string group = " [" + App::OptionSynopsis(row) + "]";
        if (line.size() + group.size() > 80) {
            out += line + "\n";
            line.assign(head.size(), ' ');
        }
        line += group;
    }
    return out + line + "\n";
}

// The wizard's words accepted in exactly the places `only` of the two modes.
std::string ModeWords(unsigned only) {
    std::string out;
    for (const App::OptionRow& row : App::kOptions) {
        const unsigned modes = row.accepts & (App::kEncryption | App::kDecryption);
        if (modes == only && !(row.accepts & App::kFirstWord))
            out += App::HangingIndent("  " + App::OptionSynopsis(row), row.help, 24);
    }
    return out;
}

}  // namespace

std::string HelpText() {
    return "Usage: cryvan [OPTIONS] [ARGUMENTS]\n"
           "\n"
           "Encrypts files and folders into one container, or decrypts a container, through a\n"
           "wizard shown on the terminal. ARGUMENTS fill the wizard's pages; a complete command\n"
           "line runs without a question.\n"
           "\n" +
           ModeSynopsis(App::Option::Encrypt, App::kEncryption) +
           ModeSynopsis(App::Option::Decrypt, App::kDecryption) + "  cryvan -prefs\n" +
           "\n"
           "Options (before the arguments):\n" +
           App::OptionHelp(App::kFrontEnd) +
           "  --password-fd and --password-file replace -p; without any of the three the\n"
           "  password is asked for without echo.\n"
           "\n"
           "Arguments:\n" +
           App::OptionHelp(App::kFirstWord) + "After -e:\n" + ModeWords(App::kEncryption) +
           "After -d:\n" + ModeWords(App::kDecryption) + "After either:\n" +
           ModeWords(App::kEncryption | App::kDecryption) +
           "\n"
           "While a run goes: Ctrl+C cancels (after a question), 'b' and Enter toggles\n"
           "\"" +
           std::string(App::Text(App::StringId::RunInBackground)) +
           "\".\n"
           "\n" +
           App::ExitStatusHelp() +
           "  -prefs: 0 when the sheet closed with OK.\n"
           "\n"
           "Warnings and errors of every run are kept in $XDG_STATE_HOME/Tenvik-Labs/Cryvan/\n"
           "cryvan.log (by default under ~/.local/state); the setting \"LogFile\"=dword:00000000\n"
           "turns it off.\n";
}

namespace {

std::atomic<bool> g_cancelRequested{false};

using Clock = std::chrono::steady_clock;

std::uint64_t NowMs(Clock::time_point start) {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

TerminalFrontEnd::TerminalFrontEnd(App::LineInput& input, std::ostream& out)
    : TerminalFrontEnd(input, out, out) {}

TerminalFrontEnd::TerminalFrontEnd(App::LineInput& input, std::ostream& out, std::ostream& err)
    : m_in(input), m_out(out), m_err(err), m_dialogs(input, out) {}

void TerminalFrontEnd::RequestCancel() {
    g_cancelRequested.store(true);
}

ExitStatus TerminalFrontEnd::Run(const App::Arguments& args, const App::Folders& folders) {
    std::size_t i = 0;
    std::optional<App::Secret> password;
    bool passwordGiven = false;
    auto usage = [&](const std::string& why) {
        m_out << "cryvan: " << App::EscapeControls(why) << "\n\n" << HelpText();
        return ExitStatus::InvalidCommandLine;
    };
    // --verbose lasts for this run only.
    struct Verbose {
        std::ostream* stream = nullptr;
        ~Verbose() {
            if (stream)
                OS::Logger::Register(0, stream);
        }
    } verbose;
    for (; i < args.size(); ++i) {
        const std::string opt(args[i]);
        const App::OptionRow* row = App::FindOption(opt, App::kFrontEnd);
        if (!row && opt.compare(0, 2, "--") != 0)
            break;  // the wizard's words
        if (!row)
            return usage("unknown option " + opt);
        if (row->option == App::Option::Text)
            continue;
        if (row->option == App::Option::Verbose) {
            verbose.stream = &m_err;
            OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN | OS::LOG_INFO |
                                     OS::LOG_DEBUG | OS::LOG_TRACE,
                                 &m_err);
            continue;
        }
        if (row->option == App::Option::Help) {
            m_out << HelpText();
            return ExitStatus::Success;
        }
        if (row->option == App::Option::PasswordFd || row->option == App::Option::PasswordFile) {
            if (passwordGiven)
                return usage("give --password-fd or --password-file once");
            if (i + 1 >= args.size())
                return usage(opt + " needs a value");
            const std::string value(args[++i]);
            try {
                if (row->option == App::Option::PasswordFd) {
                    std::size_t used = 0;
                    const int fd = std::stoi(value, &used);
                    if (used != value.size() || fd < 0)
                        return usage("--password-fd needs a descriptor number");
                    password = App::ReadPasswordFd(fd);
                } else {
                    password = App::ReadPasswordFile(value);
                }
            } catch (const std::invalid_argument&) {
                return usage("--password-fd needs a descriptor number");
            } catch (const std::out_of_range&) {
                return usage("--password-fd needs a descriptor number");
            } catch (const std::runtime_error& e) {
                return usage(e.what());
            }
            passwordGiven = true;
            continue;
        }
    }

    App::Wizard wizard(m_dialogs, folders);
    // "Preferences..." and -prefs open the sheet on the wizard's configuration.
    TerminalPreferences::Result preferences = TerminalPreferences::Result::Cancelled;
    m_dialogs.SetPreferences([this, &wizard, &preferences] {
        App::CryvanPrefs sheet(wizard.Config(), m_dialogs, OS::IsAdministrator());
        preferences = TerminalPreferences(m_dialogs).Run(sheet);
        return preferences == TerminalPreferences::Result::Ok;
    });
    struct Unhook {
        TerminalDialogs& dialogs;
        ~Unhook() { dialogs.SetPreferences(nullptr); }
    } unhook{m_dialogs};
    // The wizard's arguments are the process's own bytes, so a -p value is hidden where the
    // process list reads it.
    char program[] = "cryvan";
    std::vector<char*> rest{program};
    for (std::size_t a = i; a < args.size(); ++a)
        rest.push_back(args.Pointer(a));
    const App::StartMode mode = wizard.ProcessCommandLine(App::Arguments(std::move(rest)));
    if (mode == App::StartMode::Invalid)
        return ExitStatus::InvalidCommandLine;
    if (mode == App::StartMode::Preferences) {
        switch (preferences) {
            case TerminalPreferences::Result::Ok:
                return ExitStatus::Success;
            case TerminalPreferences::Result::Cancelled:
                return ExitStatus::Cancelled;
            case TerminalPreferences::Result::NoInput:
                break;
        }
        return ExitStatus::NoInput;
    }
    if (password) {
        App::PagesValues& values = wizard.CommandLineValues();
        try {
            // Fills what -p fills; the setters refuse a second password (-p as well).
            if (values.operation == App::PagesValues::Operation::Encrypt)
                values.EncPassword(*password);
            else if (values.operation == App::PagesValues::Operation::Decrypt)
                values.DecPassword(*password);
            else
                throw App::WizardParseError();
        } catch (const App::WizardParseError&) {
            m_dialogs.Show(App::kUsageText, App::kUsageCaption, App::MessageBoxes::Icon::Error,
                           App::MessageBoxes::Buttons::Ok, App::MessageBoxes::Answer::Ok);
            m_out << "cryvan: --password-fd and --password-file need -e or -d and no -p\n";
            return ExitStatus::InvalidCommandLine;
        }
        password.reset();
    }
    if (wizard.Config().RecoveryConfigMissing())
        m_err << "cryvan: " << App::UserConfig::kRecoveryMissingText << "\n";
    // The summary stays on the screen: a run given -q ends the program as soon as it ends.
    wizard.SetQuitPause(0);
    // The run's questions come to this thread, which waits on the hand-over's descriptor.
    App::Handover& handover = wizard.Runner().Handover();
    handover.Attach();
    struct Detach {
        App::Handover& h;
        ~Detach() { h.Detach(); }
    } detach{handover};
    wizard.Start();
    const ExitStatus status = Loop(wizard);
    // A request that came after the run is not carried into the next one.
    g_cancelRequested.store(false);
    return status;
}

ExitStatus TerminalFrontEnd::Loop(App::Wizard& wizard) {
    const auto start = Clock::now();
    const App::Page* shown = nullptr;
    bool stopped = false;
    std::optional<SigintScope> sigint;
    App::Handover& handover = wizard.Runner().Handover();
    while (!wizard.Closed()) {
        handover.RunPending();
        wizard.Step(NowMs(start));
        while (wizard.Pump()) {
        }
        App::Page* page = wizard.ActivePage();
        if (!page)
            break;
        if (shown && shown != page) {
            // A refusal on one page says nothing about the next.
            wizard.Context().stopReason.clear();
            if (auto* left = dynamic_cast<const App::ProgressPg*>(shown)) {
                // The run's final state: drawn over the bars on a terminal, once in a transcript.
                DrawProgress(*left, m_in.Terminal());
                m_progressLines = 0;
            }
        }
        if (wizard.Closed()) {
            // A run that ends the program by itself still leaves its summary behind.
            if (page == &wizard.end && shown != page) {
                RenderHeader(*page);
                RenderTexts(wizard.end.Texts());
            }
            break;
        }
        if (page->Busy()) {
            // The page's long work ends by waking this thread; typed lines wait until then.
            pollfd wake{handover.WakeFd(), POLLIN, 0};
            poll(&wake, 1, static_cast<int>(App::ProgressPg::kPeriodMs));
            continue;
        }
        auto* progress = dynamic_cast<App::ProgressPg*>(page);
        // Ctrl+C is the sheet's Cancel only while a run goes; elsewhere it ends the program.
        if (!progress)
            sigint.reset();
        if (progress) {
            if (shown != page) {
                RenderHeader(*page);
                m_out << App::Text(App::StringId::RunInBackground) << ": "
                      << (progress->background ? "on" : "off") << "\n";
                if (m_in.Terminal())
                    m_out << "(Ctrl+C cancels; 'b' and Enter toggles \""
                          << App::Text(App::StringId::RunInBackground) << "\")\n";
                shown = page;
            }
            if (!sigint)
                sigint.emplace([](int) { TerminalFrontEnd::RequestCancel(); });
            ProgressTurn(wizard, *progress);
            continue;
        }
        if (page == &wizard.end && wizard.HasTimer(App::EndPg::kQuitTimer)) {
            if (shown != page) {
                RenderHeader(*page);
                RenderTexts(wizard.end.Texts());
                shown = page;
            }
            m_in.Poll(50, handover.WakeFd());
            continue;
        }
        shown = page;
        if (!Act(wizard, *page)) {
            // The end page has nothing left to ask: no more input finishes it.
            if (page == &wizard.end) {
                wizard.PressFinish();
                continue;
            }
            stopped = true;
            break;
        }
    }
    if (stopped) {
        const std::string& reason = wizard.Context().stopReason;
        if (!reason.empty()) {
            // Refused for a reason no answer would change: the operation failed.
            m_out << "\nStopped on the page \"" << wizard.ActivePage()->Title() << "\".\n";
            m_err << "cryvan: " << App::EscapeControls(reason) << "\n";
            return ExitStatus::Failed;
        }
        m_out << "\nStopped on the page \"" << wizard.ActivePage()->Title()
              << "\": input is needed but none is available.\n";
        return ExitStatus::NoInput;
    }
    if (!wizard.Finished())
        return ExitStatus::Cancelled;
    return Outcome(wizard);
}

ExitStatus TerminalFrontEnd::Outcome(App::Wizard& wizard) {
    return ReportRun(wizard.Runner(), &m_err);
}

ExitStatus ReportRun(const App::OperationRunner& runner, std::ostream* err) {
    std::ostringstream ignored;
    std::ostream& e = err ? *err : ignored;
    const ExitStatus status = App::StatusOfRun(runner);
    if (status == ExitStatus::Failed) {
        std::string failure = runner.Failure();
        if (failure.empty())
            failure = App::Text(runner.IsEncrypting() ? App::StringId::EncryptionFailed
                                                      : App::StringId::DecryptionFailed);
        e << "cryvan: " << App::EscapeControls(failure) << "\n";
    } else if (status == ExitStatus::Warnings) {
        for (const std::string& w : runner.Warnings())
            e << "cryvan: not done: " << App::EscapeControls(w) << "\n";
    }
    return status;
}

void TerminalFrontEnd::RenderHeader(const App::Page& page) {
    m_out << "\n";
    if (!page.HeaderHidden())
        m_out << "== " << page.Title() << " ==\n" << page.Subtitle() << "\n\n";
}

void TerminalFrontEnd::RenderTexts(const std::vector<std::string>& texts) {
    for (const auto& t : texts)
        if (!t.empty())
            m_out << App::EscapeText(t) << "\n";
}

void TerminalFrontEnd::ListRows(const App::FileListCtrl& list, bool showSelection) {
    const auto& rows = list.Rows();
    if (rows.empty())
        m_out << "  (no files)\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        m_out << "  " << (r + 1) << ". ";
        if (showSelection)
            m_out << (rows[r].selected ? "[x] " : "[ ] ");
        m_out << App::EscapeControls(rows[r].name) << (rows[r].isFolder ? " (folder)" : "");
        if (!rows[r].path.empty())
            m_out << "    " << App::EscapeControls(rows[r].path);
        m_out << "\n";
    }
}

std::vector<std::size_t> TerminalFrontEnd::AskRows(std::size_t count) {
    std::vector<std::size_t> rows;
    const auto line = m_in.Line("Row numbers (e.g. 1 3): ");
    if (!line)
        return rows;
    std::string text = *line;
    std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        try {
            const unsigned long n = std::stoul(word);
            if (n >= 1 && n <= count)
                rows.push_back(n - 1);
            else
                m_out << "No row " << word << "\n";
        } catch (const std::exception&) {
            m_out << "No row " << word << "\n";
        }
    }
    return rows;
}

std::vector<TerminalFrontEnd::Action> TerminalFrontEnd::PageActions(App::Wizard& w,
                                                                    App::Page& page) {
    std::vector<Action> a;
    if (&page == &w.encOrDec) {
        auto& p = w.encOrDec;
        if (!p.statusLine.empty())
            m_out << App::EscapeText(p.statusLine) << "\n";
        if (p.preferencesEnabled)
            a.push_back({"1", "Preferences", [&p] { p.Preferences(); }});
    } else if (&page == &w.encSource) {
        auto& p = w.encSource;
        ListRows(p.list, false);
        a.push_back({"1", "Add files", [&p] { p.AddFiles(); }});
        a.push_back({"2", "Add folder", [&p] { p.AddFolder(); }});
        a.push_back({"3", "Options", [&p] { p.EditOptions(); }});
        if (p.list.Count() != 0)
            a.push_back(
                {"4", "Remove rows", [this, &p] { p.RemoveRows(AskRows(p.list.Count())); }});
    } else if (&page == &w.encDest) {
        auto& p = w.encDest;
        m_out << "  Output file: " << App::EscapeControls(p.name) << "\n  Kind: "
              << (p.kind == 0 ? "encrypted file (.aes)" : "self-decrypting executable (.aes.exe)")
              << "\n";
        a.push_back({"1", "Type the output file's name", [this, &p] {
                         if (auto name = m_in.Path("Output file: "))
                             p.SetName(Trim(*name));
                     }});
        a.push_back({"2", "Browse", [&p] { p.Browse(); }});
        a.push_back({"3",
                     p.kind == 0 ? "Make a self-decrypting executable instead"
                                 : "Make an encrypted file (.aes) instead",
                     [&p] { p.SetKind(p.kind == 0 ? 1 : 0); }});
    } else if (&page == &w.encPassword) {
        auto& p = w.encPassword;
        m_out << "  Password: " << (p.Password().empty() ? "(none)" : "(entered)") << "\n";
        if (p.emergencyEnabled || !p.emergencyStatus.empty())
            m_out << "  Enable my emergency password: " << (p.emergencyTicked ? "yes" : "no")
                  << "\n";
        if (!p.emergencyStatus.empty())
            m_out << "  " << App::EscapeText(p.emergencyStatus) << "\n";
        a.push_back({"1", "Enter the password", [this, &p] {
                         auto pw = m_in.Secret("Password: ");
                         if (!pw)
                             return;
                         p.SetPassword(pw->View());
                         pw->Clear();
                         if (!p.ConfirmationEnabled()) {
                             m_out << "The password needs at least "
                                   << App::EncPasswordPg::kMinPassword << " characters.\n";
                             return;
                         }
                         auto again = m_in.Secret("Confirm the password: ");
                         if (!again)
                             return;
                         p.SetConfirmation(again->View());
                     }});
        a.push_back({"2", App::Text(App::StringId::GeneratePasswordButton), [this, &p] {
                         p.GeneratePassword();
                         m_out << "Generated password (shown once, write it down): "
                               << p.Password().View() << "\n";
                     }});
        if (p.emergencyEnabled)
            a.push_back({"3", "Toggle \"Enable my emergency password\"",
                         [&p] { p.SetEmergency(!p.emergencyTicked); }});
    } else if (&page == &w.decSource) {
        auto& p = w.decSource;
        m_out << "  Encrypted file: " << App::EscapeControls(p.name) << "\n  After decryption: "
              << App::DecSourcePg::kDeletionNames[std::clamp(p.deletionIndex, 0, 4)] << "\n";
        if (p.ConfirmEnabled())
            m_out << "  Confirm before removing it: " << (p.confirm ? "yes" : "no") << "\n";
        a.push_back({"1", "Type the encrypted file's name", [this, &p] {
                         if (auto name = m_in.Path("Encrypted file: "))
                             p.SetName(Trim(*name));
                     }});
        a.push_back({"2", "Browse", [&p] { p.Browse(); }});
        a.push_back(
            {"3", "After decryption (keep, recycle, delete, overwrite, eradicate)", [this, &p] {
                 for (int d = 0; d < 5; ++d)
                     m_out << "  " << d << " " << App::DecSourcePg::kDeletionNames[d] << "\n";
                 if (auto v = m_dialogs.Choose("Deletion > ", {"0", "1", "2", "3", "4"}))
                     p.SetDeletionIndex(std::stoi(*v));
             }});
        if (p.ConfirmEnabled())
            a.push_back({"4", "Toggle the confirmation", [&p] { p.SetConfirm(!p.confirm); }});
    } else if (&page == &w.decPassword) {
        auto& p = w.decPassword;
        a.push_back({"1", "Enter the password", [this, &p] {
                         auto pw = m_in.Secret("Password: ");
                         if (!pw)
                             return;
                         p.SetPassword(pw->View());
                     }});
    } else if (&page == &w.decFiles) {
        auto& p = w.decFiles;
        ListRows(p.list, true);
        a.push_back({"1", "Select or unselect rows",
                     [this, &p] { p.ToggleRows(AskRows(p.list.Count())); }});
        a.push_back({"2", "Select all", [&p] { p.SelectAll(); }});
    } else if (&page == &w.decFile) {
        auto& p = w.decFile;
        m_out << "  Folder: " << App::EscapeControls(p.folder) << "\n";
        a.push_back({"1", "Type the folder", [this, &p] {
                         if (auto f = m_in.Path("Folder: "))
                             p.SetFolder(Trim(*f));
                     }});
        a.push_back({"2", "Browse", [&p] { p.Browse(); }});
    } else if (&page == &w.decDest) {
        auto& p = w.decDest;
        m_out << "  Folder: " << App::EscapeControls(p.folder)
              << "\n  Ignore stored paths: " << (p.ignorePaths ? "yes" : "no") << "\n";
        a.push_back({"1", "Type the folder", [this, &p] {
                         if (auto f = m_in.Path("Folder: "))
                             p.SetFolder(Trim(*f));
                     }});
        a.push_back({"2", "Browse", [&p] { p.Browse(); }});
        a.push_back(
            {"3", "Toggle \"ignore stored paths\"", [&p] { p.SetIgnorePaths(!p.ignorePaths); }});
    }
    const unsigned bits = w.WizardButtons();
    if (bits & App::kBack)
        a.push_back({"b", w.BackText(), [&w] { w.PressBack(); }});
    if (bits & App::kNext)
        a.push_back({"n", w.NextText(), [&w] { w.PressNext(); }});
    if (bits & App::kFinish)
        a.push_back({"f", "Finish", [&w] { w.PressFinish(); }});
    if (w.CancelEnabled())
        a.push_back({"c", "Cancel", [&w] { w.PressCancel(); }});
    return a;
}

bool TerminalFrontEnd::Act(App::Wizard& wizard, App::Page& page) {
    RenderHeader(page);
    RenderTexts(page.Texts());
    const auto actions = PageActions(wizard, page);
    std::vector<std::string> keys;
    for (const auto& action : actions) {
        m_out << "  [" << action.key << "] " << action.label << "\n";
        keys.push_back(action.key);
    }
    if (m_in.Ended())
        return false;
    const auto key = m_dialogs.Choose("> ", keys);
    if (!key)
        return false;
    for (const auto& action : actions)
        if (Lower(action.key) == *key) {
            action.run();
            break;
        }
    return true;
}

void TerminalFrontEnd::ProgressTurn(App::Wizard& wizard, App::ProgressPg& page) {
    if (g_cancelRequested.exchange(false)) {
        m_out << "\n";
        m_progressLines = 0;
        if (!m_dialogs.CanAsk())
            m_dialogs.PresetYesNo(App::MessageBoxes::Answer::Yes);
        wizard.PressCancel();
        m_dialogs.PresetYesNo(std::nullopt);
        return;
    }
    if (m_in.Terminal()) {
        std::optional<std::string> line;
        const bool drawn = m_dialogs.DisplayTurn(
            [&](bool scrolled) {
                if (scrolled)
                    m_progressLines = 0;  // draw the block afresh below the question
                DrawProgress(page, true);
            },
            static_cast<int>(App::ProgressPg::kPeriodMs), line,
            wizard.Runner().Handover().WakeFd());
        if (!drawn)
            return;
        if (line) {
            const std::string key = Lower(Trim(*line));
            // The typed line moved the cursor: draw the block afresh below it.
            m_progressLines = 0;
            if (key == "b") {
                page.SetBackground(!page.background);
                m_out << App::Text(App::StringId::RunInBackground) << ": "
                      << (page.background ? "on" : "off") << "\n";
            }
        }
    } else {
        m_in.Poll(static_cast<int>(App::ProgressPg::kPeriodMs),
                  wizard.Runner().Handover().WakeFd());
    }
}

void TerminalFrontEnd::DrawProgress(const App::ProgressPg& page, bool redraw) {
    std::vector<std::string> lines;
    if (!page.layout.hideItem) {
        lines.push_back(page.CurrentFileLabel());
        lines.push_back("  " + Bar(page.itemBar) + " " + page.itemText);
    }
    lines.push_back(page.OverallLabel());
    lines.push_back("  " + Bar(page.overallBar) + " " + page.overallText);
    if (redraw && m_progressLines > 0)
        m_out << "\033[" << m_progressLines << "F";
    for (const auto& l : lines)
        m_out << (redraw ? "\033[2K" : "") << App::EscapeControls(l) << "\n";
    m_out << std::flush;
    m_progressLines = static_cast<int>(lines.size());
}

}  // namespace Text
