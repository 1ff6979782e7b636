#include "app/sfx/DesktopFlow.h"

#include <chrono>
#include <thread>

#include "app/core/Handover.h"
#include "app/core/KeyFileDlg.h"
#include "app/core/Progress.h"
#include "app/core/Texts.h"
#include "os/Logger.h"

namespace Sfx {

namespace {

using Kind = DialogProgram::Kind;
using App::MessageBoxes;

// Zenity reads its --text as markup.
std::string Markup(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

const char* ButtonLabel(MessageBoxes::Answer answer) {
    switch (answer) {
        case MessageBoxes::Answer::Ok:
            return "OK";
        case MessageBoxes::Answer::Cancel:
            return "Cancel";
        case MessageBoxes::Answer::Retry:
            return "Retry";
        case MessageBoxes::Answer::Yes:
            return "Yes";
        case MessageBoxes::Answer::No:
            break;
    }
    return "No";
}

// The two buttons of a two-button question: the first, and the one that also answers Escape.
std::pair<MessageBoxes::Answer, MessageBoxes::Answer> Pair(MessageBoxes::Buttons buttons) {
    switch (buttons) {
        case MessageBoxes::Buttons::OkCancel:
            return {MessageBoxes::Answer::Ok, MessageBoxes::Answer::Cancel};
        case MessageBoxes::Buttons::RetryCancel:
            return {MessageBoxes::Answer::Retry, MessageBoxes::Answer::Cancel};
        default:
            return {MessageBoxes::Answer::Yes, MessageBoxes::Answer::No};
    }
}

}  // namespace

Way ChooseWay(const WayFacts& f) {
    if (f.terminal || f.inEmulator || !f.display || !f.needsQuestions)
        return Way::Terminal;
    if (f.zenity)
        return Way::Zenity;
    if (f.kdialog)
        return Way::Kdialog;
    if (f.emulator)
        return Way::TerminalEmulator;
    return Way::Nothing;
}

std::vector<std::string> EmulatorCommand(
    const char* terminalVariable, const std::function<std::string(const std::string&)>& find) {
    struct Known {
        const char* name;
        const char* before;  // the word before the program, or "" for none
    };
    // How each one is told to run a program with its arguments.
    static const Known known[] = {
        {"x-terminal-emulator", "-e"},
        {"gnome-terminal", "--"},
        {"konsole", "-e"},
        {"xfce4-terminal", "-x"},
        {"mate-terminal", "-x"},
        {"lxterminal", "-e"},
        {"kitty", ""},
        {"alacritty", "-e"},
        {"foot", ""},
        {"xterm", "-e"},
    };
    const auto command = [](const std::string& path, const char* before) {
        std::vector<std::string> out{path};
        if (*before)
            out.push_back(before);
        return out;
    };
    if (terminalVariable && *terminalVariable) {
        const std::string path = find(terminalVariable);
        if (!path.empty()) {
            for (const Known& k : known)
                if (path.size() >= std::char_traits<char>::length(k.name) &&
                    path.compare(path.size() - std::char_traits<char>::length(k.name),
                                 std::string::npos, k.name) == 0)
                    return command(path, k.before);
            return command(path, "-e");
        }
    }
    for (const Known& k : known) {
        const std::string path = find(k.name);
        if (!path.empty())
            return command(path, k.before);
    }
    return {};
}

MessageBoxes::Answer DesktopQuestions::Show(const std::string& text, const std::string& caption,
                                            Icon icon, Buttons buttons, Answer defaultButton) {
    if (m_program.WhichKind() == Kind::Kdialog) {
        std::vector<std::string> args;
        if (buttons == Buttons::Ok) {
            args = {icon == Icon::Error     ? "--error"
                    : icon == Icon::Warning ? "--sorry"
                                            : "--msgbox",
                    text, "--title", caption};
            m_program.Run(args);
            return Answer::Ok;
        }
        if (buttons == Buttons::YesNoCancel) {
            const int status = m_program.Run({"--yesnocancel", text, "--title", caption}).status;
            return status == 0 ? Answer::Yes : status == 1 ? Answer::No : Answer::Cancel;
        }
        const auto [first, second] = Pair(buttons);
        const int status = m_program
                               .Run({"--yesno", text, "--title", caption, "--yes-label",
                                     ButtonLabel(first), "--no-label", ButtonLabel(second)})
                               .status;
        return status == 0 ? first : second;
    }
    const std::string title = "--title=" + caption;
    const std::string body = "--text=" + Markup(text);
    if (buttons == Buttons::Ok) {
        const char* kind = icon == Icon::Error     ? "--error"
                           : icon == Icon::Warning ? "--warning"
                                                   : "--info";
        m_program.Run({kind, title, body});
        return Answer::Ok;
    }
    if (buttons == Buttons::YesNoCancel) {
        // Escape and the close box end with status 1 and no label: Cancel, the safe answer.
        const DialogProgram::Answer a =
            m_program.Run({"--question", title, body, "--ok-label=Yes", "--cancel-label=Cancel",
                           "--extra-button=No"});
        if (a.status == 0)
            return Answer::Yes;
        return a.output == "No" ? Answer::No : Answer::Cancel;
    }
    const auto [first, second] = Pair(buttons);
    std::vector<std::string> args{"--question", title, body,
                                  std::string("--ok-label=") + ButtonLabel(first),
                                  std::string("--cancel-label=") + ButtonLabel(second)};
    if (defaultButton == second)
        args.push_back("--default-cancel");
    return m_program.Run(args).status == 0 ? first : second;
}

App::RunQuestions::Replace DesktopQuestions::ConfirmReplace(const std::string& text,
                                                            const std::string& path40) {
    if (m_program.WhichKind() == Kind::Kdialog) {
        // Without D-Bus kdialog has no five-button box: a menu of the five answers.
        const DialogProgram::Answer a =
            m_program.Run({"--menu", text + "\n\n" + path40, "y", "Yes", "a", "Yes to All", "n",
                           "No", "o", "No to All", "c", "Cancel", "--title", kReplaceCaption});
        if (a.status != 0)
            return Replace::Cancel;
        const std::pair<const char*, Replace> tags[] = {{"y", Replace::Yes},
                                                        {"a", Replace::YesToAll},
                                                        {"n", Replace::No},
                                                        {"o", Replace::NoToAll}};
        for (const auto& [tag, answer] : tags)
            if (a.output == tag)
                return answer;
        return Replace::Cancel;
    }
    // Cancel is the window's own cancel button, so that Escape and the close box mean Cancel.
    const DialogProgram::Answer a = m_program.Run(
        {"--question", std::string("--title=") + kReplaceCaption,
         "--text=" + Markup(text + "\n\n" + path40), "--ok-label=Yes", "--cancel-label=Cancel",
         "--extra-button=Yes to All", "--extra-button=No", "--extra-button=No to All"});
    if (a.status == 0)
        return Replace::Yes;
    if (a.output == "Yes to All")
        return Replace::YesToAll;
    if (a.output == "No")
        return Replace::No;
    if (a.output == "No to All")
        return Replace::NoToAll;
    return Replace::Cancel;
}

std::optional<std::string> DesktopQuestions::AskKeyFile(const std::string& administrator,
                                                        bool create) {
    App::KeyFileDlg dlg(*this, nullptr, administrator, create, App::KeyFileFolder());
    for (;;) {
        DialogProgram::Answer a;
        if (m_program.WhichKind() == Kind::Kdialog)
            a = m_program.Run({create ? "--getsavefilename" : "--getopenfilename", dlg.path,
                               "--title", dlg.instruction});
        else {
            std::vector<std::string> args{"--file-selection", "--title=" + dlg.instruction,
                                          "--filename=" + dlg.path};
            if (create)
                args.push_back("--save");
            a = m_program.Run(args);
        }
        if (a.status != 0 || a.output.empty())
            return std::nullopt;
        dlg.SetPath(a.output);
        // The same checks as the window's OK: a file to write that exists, one to read that
        // does not.
        if (dlg.PressOk())
            return dlg.path;
    }
}

std::optional<App::Secret> DesktopQuestions::AskAdministratorPassword(
    const std::string& stillNeeded) {
    std::string text = std::string(kAdminPasswordTexts[0]) + "\n" + kAdminPasswordTexts[1];
    if (!stillNeeded.empty())
        text += "\n" + stillNeeded;
    App::Secret password;
    for (;;) {
        if (!AskPassword(kAdminPasswordCaption, text, password))
            return std::nullopt;
        if (password.size() >= kAdminPasswordMin)
            return password;
    }
}

bool DesktopQuestions::AskPassword(const std::string& caption, const std::string& text,
                                   App::Secret& password) {
    // The password comes back on the program's output, never on a command line.
    if (m_program.WhichKind() == Kind::Kdialog)
        return m_program.RunSecret({"--password", text, "--title", caption}, password);
    return m_program.RunSecret(
        {"--entry", "--hide-text", "--title=" + caption, "--text=" + Markup(text)}, password);
}

std::optional<std::string> DesktopQuestions::AskFolder(const std::string& title,
                                                       const std::string& start) {
    const DialogProgram::Answer a =
        m_program.WhichKind() == Kind::Kdialog
            ? m_program.Run({"--getexistingdirectory", start, "--title", title})
            : m_program.Run({"--file-selection", "--directory", "--title=" + title,
                             "--filename=" + start + "/"});
    if (a.status != 0 || a.output.empty())
        return std::nullopt;
    return a.output;
}

namespace {

class DialogFlow {
  public:
    DialogFlow(const Options& options, const std::string& self, DialogProgram program)
        : m_options(options), m_dialogs(std::move(program)), m_x(m_dialogs, self) {}

    App::ExitStatus Run() {
        if (!m_x.Open()) {
            OS::Logger::Log(OS::LOG_ERROR, m_x.Reason());
            return App::ExitStatus::Failed;
        }
        if (const App::ExitStatus s = Unlock(); s != App::ExitStatus::Success)
            return s;
        std::string folder;
        if (const App::ExitStatus s = Destination(folder); s != App::ExitStatus::Success)
            return s;
        Progress(folder);
        const SelfExtractor::Outcome outcome = m_x.Result();
        std::string text = SelfExtractor::OutcomeText(outcome);
        if (outcome == SelfExtractor::Outcome::Failed && !m_x.Runner().Failure().empty())
            text += "\n\n" + m_x.Runner().Failure();
        if (outcome == SelfExtractor::Outcome::Warned)
            for (const std::string& w : m_x.Runner().Warnings())
                text += "\n" + w;
        m_dialogs.Show(text, kCaption,
                       outcome == SelfExtractor::Outcome::Complete ? MessageBoxes::Icon::Information
                                                                   : MessageBoxes::Icon::Warning,
                       MessageBoxes::Buttons::Ok, MessageBoxes::Answer::Ok);
        if (outcome == SelfExtractor::Outcome::Complete && m_options.deleteSelf)
            m_x.DeleteSelf(m_options.force);
        return App::StatusOfRun(m_x.Runner());
    }

  private:
    App::ExitStatus Unlock() {
        if (m_options.password) {
            const FCryptEng::UnlockResult r = m_x.TryPassword(*m_options.password);
            if (r != FCryptEng::UnlockResult::Wrong)
                return SelfExtractor::StatusOf(r);
        }
        App::Secret password;
        for (;;) {
            if (!m_dialogs.AskPassword(kCaption, kPasswordText, password))
                return App::ExitStatus::Cancelled;
            if (password.empty())
                continue;
            const FCryptEng::UnlockResult r = m_x.TryPassword(password);
            password.Clear();
            if (r != FCryptEng::UnlockResult::Wrong)
                return SelfExtractor::StatusOf(r);
        }
    }

    App::ExitStatus Destination(std::string& folder) {
        if (m_options.folder) {
            folder = *m_options.folder;
            return m_x.AcceptFolder(folder, false) ? App::ExitStatus::Success
                                                   : App::ExitStatus::Failed;
        }
        for (;;) {
            const std::optional<std::string> chosen =
                m_dialogs.AskFolder(kBrowseTitle, m_x.DefaultFolder());
            if (!chosen)
                return App::ExitStatus::Cancelled;
            folder = *chosen;
            if (m_x.AcceptFolder(folder, true))
                return App::ExitStatus::Success;
        }
    }

    // A progress window fed the overall figures; its Cancel asks before the run stops.
    void Progress(const std::string& folder) {
        App::Handover& handover = m_x.Runner().Handover();
        const App::AttachedHandover attached(handover);
        m_x.Start(folder);
        std::optional<DialogProgram::Fed> window;
        const auto open = [&] {
            // kdialog's progress bar needs D-Bus: it shows only the outcome.
            if (m_dialogs.Program().WhichKind() == Kind::Zenity)
                window.emplace(
                    m_dialogs.Program(),
                    std::vector<std::string>{"--progress", std::string("--title=") + kProgressTitle,
                                             std::string("--text=") + kProgressText, "--auto-close",
                                             "--percentage=0"});
        };
        open();
        // The window's Cancel is noticed at once; the figures are fed five times a second.
        auto fed = std::chrono::steady_clock::now() - std::chrono::seconds(1);
        while (m_x.Runner().IsRunning()) {
            handover.RunPending();
            if (window &&
                std::chrono::steady_clock::now() - fed >= std::chrono::milliseconds(200)) {
                fed = std::chrono::steady_clock::now();
                const App::Snapshot s = m_x.Runner().Snapshot();
                window->Feed(std::to_string(std::min<std::uint32_t>(s.overallPercent, 99)));
                window->Feed("# " + App::OverallText(s, false));
            }
            if (window && window->Gone() && m_x.Runner().IsRunning()) {
                window.reset();
                if (m_x.ConfirmStop()) {
                    m_x.Stop();
                    break;
                }
                open();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_x.Stop();
        // The final figures, however short the run was.
        if (window) {
            window->Feed("# " + App::OverallText(m_x.Runner().Snapshot(), false));
            window->Feed("100");
        }
    }

    const Options& m_options;
    DesktopQuestions m_dialogs;
    SelfExtractor m_x;
};

}  // namespace

App::ExitStatus RunWithDialogs(const Options& options, const std::string& self,
                               DialogProgram program) {
    DialogFlow flow(options, self, std::move(program));
    return flow.Run();
}

}  // namespace Sfx
