#include "app/text/TerminalFrontEnd.h"
#include "app/core/PasswordStrength.h"

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
#include "app/text/CheckCommands.h"
#include "app/text/InfoCommand.h"
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
           "Each page lists its actions with a letter; Enter is Next. While a run goes:\n"
           "Ctrl+C cancels (after a question), 'g' and Enter toggles \"" +
           std::string(App::Text(App::StringId::RunInBackground)) +
           "\".\n"
           "\n"
           "Input that is not a terminal answers pages and questions alike, a line each; when\n"
           "it ends, questions take their safe answer and a page that needs input ends the\n"
           "program (status 4).\n"
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
    : m_in(input), m_out(out), m_err(err), m_dialogs(input, out, err) {}

void TerminalFrontEnd::RequestCancel() {
    g_cancelRequested.store(true);
}

ExitStatus TerminalFrontEnd::Run(const App::Arguments& args, const App::Folders& folders) {
    // --info, --list and --test only read a container: no wizard, no session.
    if (WantsInfo(args)) {
        // Only the user's configuration, to tell whose ways in these are.
        const App::UserConfig config(App::OrganisationProfile::Load(folders), folders, nullptr,
                                     m_dialogs);
        return RunInfo(args, config, m_out, m_err);
    }
    if (const auto checked =
            RunCheckCommand(args, CheckTerminal{m_in, m_dialogs, m_out, m_err, m_outTerminal}))
        return *checked;
    App::Session session(App::SessionParts{"cryvan", m_dialogs, m_dialogs,
                                           [this](App::CryvanPrefs& sheet) {
                                               switch (TerminalPreferences(m_dialogs).Run(sheet)) {
                                                   case TerminalPreferences::Result::Ok:
                                                       return App::PreferencesResult::Ok;
                                                   case TerminalPreferences::Result::Cancelled:
                                                       return App::PreferencesResult::Cancelled;
                                                   case TerminalPreferences::Result::NoInput:
                                                       break;
                                               }
                                               return App::PreferencesResult::NoInput;
                                           },
                                           HelpText, m_out, m_err},
                         folders);
    // "Preferences..." and -prefs open the session's sheet.
    m_dialogs.SetPreferences([&session] { return session.ShowPreferences(); });
    struct Unhook {
        TerminalDialogs& dialogs;
        ~Unhook() { dialogs.SetPreferences(nullptr); }
    } unhook{m_dialogs};
    if (const auto ended = session.Start(args))
        return *ended;
    // The summary stays on the screen: a run given -q ends the program as soon as it ends.
    session.TheWizard().SetQuitPause(0);
    const App::Session::Ending how = Loop(session);
    // A request that came after the run is not carried into the next one.
    g_cancelRequested.store(false);
    m_out << std::flush;
    return session.End(how);
}

App::Session::Ending TerminalFrontEnd::Loop(App::Session& session) {
    App::Wizard& wizard = session.TheWizard();
    const auto start = Clock::now();
    const App::Page* shown = nullptr;
    // Kept apart from `shown`: a reason a page gives as its work ends belongs to that page.
    const App::Page* busyShown = nullptr;
    std::optional<SigintScope> sigint;
    App::Handover& handover = wizard.Runner().Handover();
    App::ProgressPg* const progressPages[] = {&wizard.encProgress, &wizard.decProgress};
    std::uint32_t progressSeen[] = {progressPages[0]->Activations(),
                                    progressPages[1]->Activations()};
    m_progressLines = 0;
    m_plainLineShown = false;
    while (!wizard.Closed()) {
        handover.RunPending();
        wizard.Step(NowMs(start));
        while (wizard.Pump()) {
        }
        App::Page* page = wizard.ActivePage();
        // A run that ended within the step that started it still shows its final state, once.
        for (int i = 0; i < 2; ++i) {
            App::ProgressPg* passed = progressPages[i];
            if (passed->Activations() == progressSeen[i])
                continue;
            progressSeen[i] = passed->Activations();
            if (passed != page && passed != shown) {
                RenderHeader(*passed);
                DrawProgress(*passed);
                m_progressLines = 0;
            }
        }
        if (!page)
            break;
        if (shown && shown != page) {
            // A refusal on one page says nothing about the next.
            wizard.Context().stopReason.clear();
            if (auto* left = dynamic_cast<const App::ProgressPg*>(shown)) {
                // The run's final state: drawn over the bars on a terminal, once in a transcript.
                DrawProgress(*left);
                m_progressLines = 0;
            }
        }
        if (wizard.Closed()) {
            // A run that ends the program by itself still leaves its summary behind.
            if (page == &wizard.end && shown != page)
                RenderHeader(*page);
            break;
        }
        if (page->Busy()) {
            if (busyShown != page) {
                m_out << "Working...\n" << std::flush;
                busyShown = page;
            }
            // The page's long work ends by waking this thread; typed lines wait until then.
            pollfd wake{handover.WakeFd(), POLLIN, 0};
            poll(&wake, 1, static_cast<int>(App::ProgressPg::kPeriodMs));
            continue;
        }
        busyShown = nullptr;
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
                    m_out << "Ctrl+C cancels; 'g' and Enter toggles \""
                          << App::Text(App::StringId::RunInBackground) << "\".\n";
                shown = page;
            }
            if (!sigint)
                sigint.emplace([](int) { TerminalFrontEnd::RequestCancel(); });
            ProgressTurn(wizard, *progress, NowMs(start));
            continue;
        }
        if (page == &wizard.end && wizard.HasTimer(App::EndPg::kQuitTimer)) {
            if (shown != page) {
                RenderHeader(*page);
                shown = page;
            }
            m_in.Poll(50, handover.WakeFd());
            continue;
        }
        shown = page;
        // A password given on the command line was refused: without a person to type another,
        // the run has failed.
        if ((!m_in.Terminal() || m_in.Ended()) && session.PasswordRefused())
            return App::Session::Ending::Stopped;
        if (!Act(session, *page)) {
            // The end page has nothing left to ask: no more input finishes it.
            if (page == &wizard.end) {
                wizard.PressFinish();
                continue;
            }
            return App::Session::Ending::Stopped;
        }
    }
    return App::Session::Ending::Finished;
}

namespace {

// A button's caption without its arrows: "Next >" reads "Next".
std::string Label(std::string caption) {
    for (const char* arrow : {"< ", " >"})
        if (auto at = caption.find(arrow); at != std::string::npos)
            caption.erase(at, 2);
    return caption;
}

// What a window says that a terminal cannot: its click instruction.
bool WindowOnly(const std::string& text) {
    return text == App::EndPg::kExitText;
}

// A stored name with `/` between its folders, whatever separator the container used.
std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace

void TerminalFrontEnd::RenderHeader(const App::Page& page) {
    m_out << "\n== " << page.Title() << " ==\n" << page.Subtitle() << "\n";
    // Which ways open the chosen container, before a password is asked for.
    if (const auto* password = dynamic_cast<const App::DecPasswordPg*>(&page))
        if (!password->waysIn.empty())
            m_out << App::EscapeControls(password->waysIn) << "\n";
    if (const auto* end = dynamic_cast<const App::EndPg*>(&page)) {
        m_out << "\n";
        for (const auto& t : end->Texts())
            if (!t.empty() && !WindowOnly(t))
                m_out << App::EscapeText(t) << "\n";
    }
}

void TerminalFrontEnd::ListRows(const App::FileListCtrl& list, bool showSelection, bool stored) {
    const auto& rows = list.Rows();
    if (rows.empty())
        m_out << "  (none yet)\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        // As ls -F shows them: the path, a folder with its slash.
        std::string name = rows[r].path + rows[r].name;
        if (stored)
            name = Slashed(name);
        if (rows[r].isFolder && (name.empty() || name.back() != '/'))
            name += '/';
        m_out << "  " << (r + 1) << (showSelection ? (rows[r].selected ? " [x] " : " [ ] ") : " ")
              << App::EscapeControls(name) << "\n";
    }
}

std::optional<std::string> TerminalFrontEnd::AskPath(const std::string& prompt) {
    auto line = m_in.Path(prompt);
    if (!line)
        return std::nullopt;
    return Trim(*line);
}

std::vector<std::size_t> TerminalFrontEnd::AskRows(std::size_t count) {
    std::vector<std::size_t> rows;
    const auto line = m_in.Line("Numbers (e.g. 1 3): ");
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
                m_out << "No entry " << word << "\n";
        } catch (const std::exception&) {
            m_out << "No entry " << word << "\n";
        }
    }
    return rows;
}

std::vector<TerminalFrontEnd::Action> TerminalFrontEnd::PageActions(App::Wizard& w,
                                                                    App::Page& page) {
    std::vector<Action> a;
    const unsigned bits = w.WizardButtons();
    if (&page == &w.encOrDec) {
        auto& p = w.encOrDec;
        if (!p.statusLine.empty())
            m_out << App::EscapeText(p.statusLine) << "\n";
        a.push_back({"e", "Encrypt files and folders", [&w] { w.PressNext(); }});
        a.push_back({"d", "Decrypt an encrypted file", [&w] { w.PressBack(); }});
        if (p.preferencesEnabled)
            a.push_back({"p", "Preferences", [&p] { p.Preferences(); }});
    } else if (&page == &w.encSource) {
        auto& p = w.encSource;
        ListRows(p.list, false, false);
        a.push_back({"a", "Add files", [&p] { p.AddFiles(); }});
        a.push_back({"f", "Add a folder", [&p] { p.AddFolder(); }});
        if (p.list.Count() != 0)
            a.push_back(
                {"r", "Remove entries", [this, &p] { p.RemoveRows(AskRows(p.list.Count())); }});
        a.push_back(
            {"o", "Options (stored paths, what to do with the inputs)", [&p] { p.EditOptions(); }});
    } else if (&page == &w.encDest) {
        auto& p = w.encDest;
        m_out << "  Output file: " << App::EscapeControls(p.name) << "\n  Kind: "
              << (p.kind == 0 ? "encrypted file (.aes)" : "self-decrypting executable (.aes.exe)")
              << "\n";
        const bool windows = p.platform == App::OperationRunner::Platform::Windows;
        if (p.PlatformApplies())
            m_out << "  Runs on: " << (windows ? "Windows" : "Linux") << "\n";
        a.push_back({"c", "Change the output file", [this, &p] {
                         if (auto name = AskPath("Output file: "))
                             p.SetName(*name);
                     }});
        a.push_back({"x",
                     p.kind == 0 ? "Make a self-decrypting executable instead"
                                 : "Make an encrypted file (.aes) instead",
                     [&p] { p.SetKind(p.kind == 0 ? 1 : 0); }});
        if (p.PlatformApplies())
            a.push_back(
                {"w", windows ? "Make it run on Linux instead" : "Make it run on Windows instead",
                 [&p, windows] {
                     p.SetPlatform(windows ? App::OperationRunner::Platform::Linux
                                           : App::OperationRunner::Platform::Windows);
                 }});
    } else if (&page == &w.encPassword) {
        auto& p = w.encPassword;
        m_out << "  Password: " << (p.Password().empty() ? "(none)" : "(entered)") << "\n";
        if (p.emergencyEnabled || !p.emergencyStatus.empty())
            m_out << "  Emergency password also opens it: " << (p.emergencyTicked ? "yes" : "no")
                  << "\n";
        if (!p.emergencyStatus.empty())
            m_out << "  " << App::EscapeText(p.emergencyStatus) << "\n";
        a.push_back({"c", "Change the password", [&p] {
                         // Empty fields are asked for again at once.
                         p.SetPassword("");
                         p.SetConfirmation("");
                     }});
        a.push_back({"g", App::Text(App::StringId::GeneratePasswordButton), [this, &p] {
                         p.GeneratePassword();
                         m_out << "Generated password (shown once, write it down): "
                               << p.Password().View() << "\n";
                     }});
        if (p.emergencyEnabled)
            a.push_back({"m", "Toggle the emergency password",
                         [&p] { p.SetEmergency(!p.emergencyTicked); }});
    } else if (&page == &w.decSource) {
        auto& p = w.decSource;
        m_out << "  Encrypted file: " << App::EscapeControls(p.name) << "\n  After decryption: "
              << App::DecSourcePg::kDeletionNames[std::clamp(p.deletionIndex, 0, 4)] << " it\n";
        if (p.ConfirmEnabled())
            m_out << "  Ask before removing it: " << (p.confirm ? "yes" : "no") << "\n";
        a.push_back({"c", "Change the encrypted file", [this, &p] {
                         if (auto name = AskPath("Encrypted file: "))
                             p.SetName(*name);
                     }});
        a.push_back({"r", "What to do with it afterwards", [this, &p] {
                         static const char* const kKeys[] = {"k", "r", "d", "o", "e"};
                         for (int d = 0; d < 5; ++d)
                             m_out << "  [" << kKeys[d] << "] "
                                   << App::DecSourcePg::kDeletionNames[d] << "\n";
                         if (auto v = m_dialogs.Choose("> ", {"k", "r", "d", "o", "e"}))
                             for (int d = 0; d < 5; ++d)
                                 if (*v == kKeys[d])
                                     p.SetDeletionIndex(d);
                     }});
        if (p.ConfirmEnabled())
            a.push_back(
                {"a", "Toggle asking before removing it", [&p] { p.SetConfirm(!p.confirm); }});
    } else if (&page == &w.decPassword) {
        auto& p = w.decPassword;
        a.push_back({"c", "Change the password", [&p] { p.SetPassword(""); }});
    } else if (&page == &w.decFiles) {
        auto& p = w.decFiles;
        ListRows(p.list, true, true);
        a.push_back({"s", "Select or unselect entries",
                     [this, &p] { p.ToggleRows(AskRows(p.list.Count())); }});
        a.push_back({"a", "Select all", [&p] { p.SelectAll(); }});
    } else if (&page == &w.decFile || &page == &w.decDest) {
        auto& p = &page == &w.decFile ? static_cast<App::DestinationPage&>(w.decFile)
                                      : static_cast<App::DestinationPage&>(w.decDest);
        m_out << "  Folder: " << App::EscapeControls(p.folder) << "\n";
        if (&page == &w.decDest)
            m_out << "  Ignore stored paths: " << (w.decDest.ignorePaths ? "yes" : "no") << "\n";
        a.push_back({"c", "Change the folder", [this, &p] {
                         if (auto f = AskPath("Folder: "))
                             p.SetFolder(*f);
                     }});
        if (&page == &w.decDest)
            a.push_back({"i", "Toggle ignoring stored paths",
                         [&w] { w.decDest.SetIgnorePaths(!w.decDest.ignorePaths); }});
    }
    if (&page != &w.encOrDec) {
        if (bits & App::kNext)
            a.push_back({"n", Label(w.NextText()) + " (or Enter)", [&w] { w.PressNext(); }});
        if (bits & App::kBack)
            a.push_back({"b", Label(w.BackText()), [&w] { w.PressBack(); }});
        if (bits & App::kFinish)
            a.push_back({"f", "Finish (or Enter)", [&w] { w.PressFinish(); }});
    }
    if (w.CancelEnabled())
        a.push_back({"q", "Cancel", [&w] { w.PressCancel(); }});
    return a;
}

bool TerminalFrontEnd::AskPasswords(App::Wizard& w, App::Page& page) {
    if (&page == &w.encPassword) {
        auto& p = w.encPassword;
        if (p.ConfirmationEnabled() && !p.Confirmation().empty())
            return true;
        auto pw = m_in.Secret("Password: ");
        if (!pw)
            return false;
        p.SetPassword(pw->View());
        pw->Clear();
        if (!p.ConfirmationEnabled()) {
            m_out << "The password needs at least " << App::EncPasswordPg::kMinPassword
                  << " characters.\n";
            p.SetPassword("");
            return true;
        }
        for (const std::string& line : App::StrengthLines(p.Password()))
            m_out << App::HangingIndent("  ", line, 2);
        auto again = m_in.Secret("Confirm password: ");
        if (!again)
            return false;
        p.SetConfirmation(again->View());
        return true;
    }
    if (&page == &w.decPassword && w.decPassword.Password().empty()) {
        auto pw = m_in.Secret("Password: ");
        if (!pw)
            return false;
        w.decPassword.SetPassword(pw->View());
    }
    return true;
}

bool TerminalFrontEnd::Act(App::Session& session, App::Page& page) {
    App::Wizard& wizard = session.TheWizard();
    RenderHeader(page);
    if (!AskPasswords(wizard, page))
        return false;
    // Asked again at once: the page itself shows nothing else until a password is there.
    if (&page == &wizard.encPassword && !wizard.encPassword.ConfirmationEnabled())
        return true;
    const auto actions = PageActions(wizard, page);
    std::vector<std::string> keys;
    const Action* enter = nullptr;
    for (const auto& action : actions) {
        m_out << "  [" << action.key << "] " << action.label << "\n";
        keys.push_back(action.key);
        if (action.key == "n" || action.key == "f")
            enter = &action;
    }
    if (enter)
        keys.push_back("");
    if (m_in.Ended())
        return false;
    const auto key = m_dialogs.Choose("> ", keys);
    if (!key)
        return false;
    if (key->empty()) {
        enter->run();
        return true;
    }
    for (const auto& action : actions)
        if (Lower(action.key) == *key) {
            action.run();
            break;
        }
    return true;
}

void TerminalFrontEnd::ProgressTurn(App::Wizard& wizard, App::ProgressPg& page,
                                    std::uint64_t nowMs) {
    if (g_cancelRequested.exchange(false)) {
        m_out << "\n";
        m_progressLines = 0;
        if (!m_dialogs.Attended())
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
                if (m_outTerminal)
                    DrawProgress(page);
            },
            static_cast<int>(App::ProgressPg::kPeriodMs), line,
            wizard.Runner().Handover().WakeFd());
        if (!drawn)
            return;
        if (line) {
            const std::string key = Lower(Trim(*line));
            // The typed line moved the cursor: draw the block afresh below it.
            m_progressLines = 0;
            if (key == "g") {
                page.SetBackground(!page.background);
                m_out << App::Text(App::StringId::RunInBackground) << ": "
                      << (page.background ? "on" : "off") << "\n";
                if (!page.priorityNote.empty())
                    m_out << page.priorityNote << "\n";
            }
        }
    } else {
        m_in.Poll(static_cast<int>(App::ProgressPg::kPeriodMs),
                  wizard.Runner().Handover().WakeFd());
    }
    // A transcript gets one plain line a second at most, never a redraw.
    if (!m_outTerminal && !page.overallText.empty() &&
        (!m_plainLineShown || nowMs - m_lastPlainLine >= 1000)) {
        m_out << App::EscapeControls(page.OverallLabel()) << " " << Bar(page.overallBar) << " "
              << App::EscapeControls(page.overallText) << "\n";
        m_lastPlainLine = nowMs;
        m_plainLineShown = true;
    }
}

void TerminalFrontEnd::DrawProgress(const App::ProgressPg& page) {
    std::vector<std::string> lines;
    if (!page.layout.hideItem) {
        lines.push_back(page.CurrentFileLabel());
        lines.push_back("  " + Bar(page.itemBar) + " " + page.itemText);
    }
    lines.push_back(page.OverallLabel());
    lines.push_back("  " + Bar(page.overallBar) + " " + page.overallText);
    if (m_outTerminal && m_progressLines > 0)
        m_out << "\033[" << m_progressLines << "F";
    for (const auto& l : lines)
        m_out << (m_outTerminal ? "\033[2K" : "") << App::EscapeControls(l) << "\n";
    m_out << std::flush;
    m_progressLines = static_cast<int>(lines.size());
}

}  // namespace Text
