#include "app/sfx/SfxFrontEnd.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/console/ConsoleQuestions.h"
#include "app/console/ConsoleText.h"
#include "app/core/Progress.h"
#include "app/core/Secrets.h"
#include "app/core/Texts.h"
#include "app/sfx/DesktopFlow.h"
#include "app/sfx/SelfExtractor.h"
#include "os/Logger.h"

namespace Sfx {

using App::ExitStatus;

namespace {

std::atomic<bool> g_cancelRequested{false};

class Flow {
  public:
    Flow(const Options& options, const std::string& self, App::LineInput& in, std::ostream& out,
         std::ostream& err)
        : m_options(options),
          m_in(in),
          m_out(out),
          m_err(err),
          m_dialogs(in, out),
          m_x(m_dialogs, self) {}

    ExitStatus Run() {
        m_out << kIntro << "\n\n";
        if (!m_x.Open()) {
            m_err << "cryvan-sfx: " << App::EscapeControls(m_x.Reason()) << "\n";
            return ExitStatus::Failed;
        }
        if (const ExitStatus status = Unlock(); status != ExitStatus::Success)
            return status;
        std::string folder;
        if (const ExitStatus status = Destination(folder); status != ExitStatus::Success)
            return status;
        Progress(folder);
        const SelfExtractor::Outcome outcome = m_x.Result();
        m_dialogs.Show(SelfExtractor::OutcomeText(outcome), kCaption,
                       outcome == SelfExtractor::Outcome::Complete
                           ? App::MessageBoxes::Icon::Information
                           : App::MessageBoxes::Icon::Warning,
                       App::MessageBoxes::Buttons::Ok, App::MessageBoxes::Answer::Ok);
        m_x.Conclude(m_err, m_options.deleteSelf, m_options.force);
        if (!m_options.quiet && m_dialogs.Attended())
            m_in.Line("Press Enter to close. ");
        return App::StatusOfRun(m_x.Runner());
    }

  private:
    ExitStatus Unlock() {
        if (m_options.password) {
            const FCryptEng::UnlockResult result = m_x.TryPassword(*m_options.password);
            // A person at the terminal may still type the right one; unattended it failed.
            if (result != FCryptEng::UnlockResult::Wrong || !m_dialogs.Attended()) {
                if (result == FCryptEng::UnlockResult::Wrong)
                    m_err << "cryvan-sfx: " << kWrongText << "\n";
                return SelfExtractor::StatusOf(result);
            }
        }
        for (;;) {
            m_out << kPasswordText << "\n";
            std::optional<App::Secret> password = m_in.Secret("Password (empty line cancels): ");
            if (!password) {
                m_out << "No password was given.\n";
                return ExitStatus::NoInput;
            }
            if (password->empty())
                return ExitStatus::Cancelled;
            const FCryptEng::UnlockResult result = m_x.TryPassword(*password);
            password.reset();
            if (result != FCryptEng::UnlockResult::Wrong || !m_dialogs.CanAsk())
                return SelfExtractor::StatusOf(result);
        }
    }

    ExitStatus Destination(std::string& folder) {
        if (m_options.folder) {
            folder = *m_options.folder;
            // Named on the command line: made without a question, as the main program does.
            return m_x.AcceptFolder(folder, false) ? ExitStatus::Success : ExitStatus::Failed;
        }
        const std::string proposed = m_x.DefaultFolder();
        for (;;) {
            m_out << "\n" << kFolderText << "\n";
            std::optional<std::string> typed =
                m_in.Path("Destination folder [" + App::EscapeControls(proposed) + "]: ");
            if (!typed) {
                m_out << "No destination folder was given.\n";
                return ExitStatus::NoInput;
            }
            folder = App::Trim(*typed).empty() ? proposed : App::Trim(*typed);
            if (m_x.AcceptFolder(folder, true))
                return ExitStatus::Success;
            if (!m_dialogs.CanAsk())
                return ExitStatus::NoInput;
        }
    }

    void Progress(const std::string& folder) {
        App::SigintScope sigint([](int) { RequestCancel(); });
        g_cancelRequested.store(false);
        m_out << "\n" << kProgressTitle << "\n" << kProgressText << "\n";
        const bool draw = m_in.Terminal();
        if (draw)
            m_out << "Type 'b' and Enter for \"" << kBackgroundText
                  << "\", 'c' and Enter (or Ctrl+C) to cancel.\n";
        // The run's questions come to this thread, which its end wakes at once.
        App::Handover& handover = m_x.Runner().Handover();
        const App::AttachedHandover attached(handover);
        m_x.Start(folder);
        bool background = false;
        while (m_x.Runner().IsRunning()) {
            handover.RunPending();
            bool cancel = false;
            if (draw) {
                std::optional<std::string> line;
                if (!Turn(200, line))
                    continue;
                if (line) {
                    m_drawn = false;
                    const std::string key = App::Trim(*line);
                    if (key == "b" || key == "B") {
                        background = !background;
                        m_x.Runner().SetBackground(background);
                        m_out << kBackgroundText << ": " << (background ? "on" : "off") << "\n";
                    } else if (key == "c" || key == "C") {
                        cancel = true;
                    }
                }
            } else {
                m_in.Poll(200, handover.WakeFd());
            }
            cancel = g_cancelRequested.exchange(false) || cancel;
            if (cancel) {
                m_out << "\n";
                m_drawn = false;
                // Without a person to answer, Ctrl+C itself is the request to stop.
                if (!m_dialogs.CanAsk() || m_x.ConfirmStop())
                    m_x.Stop();
            }
        }
        m_x.Stop();
        if (draw) {
            // The final figures, below the last question if one came at the very end.
            std::optional<std::string> ignored;
            Turn(0, ignored);
        }
        m_out << "\n";
    }

    // One turn of the bar on a terminal that the run's questions share.
    bool Turn(int pollMs, std::optional<std::string>& line) {
        return m_dialogs.DisplayTurn(
            [this](bool scrolled) {
                if (scrolled)
                    m_drawn = false;
                Draw();
            },
            pollMs, line, m_x.Runner().Handover().WakeFd());
    }

    void Draw() {
        const App::Snapshot s = m_x.Runner().Snapshot();
        const std::string line =
            "  " + App::Bar(s.overallPercent, 30, '.') + " " + App::OverallText(s, false);
        if (m_drawn)
            m_out << "\033[1F\033[2K";
        m_out << line << "\n" << std::flush;
        m_drawn = true;
    }

    const Options& m_options;
    App::LineInput& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    App::ConsoleQuestions m_dialogs;
    SelfExtractor m_x;
    bool m_drawn = false;
};

// Opens this program again in a terminal emulator, marked so that it stays there; the window
// keeps its own exit status, so this one says only whether it opened.
ExitStatus RunInEmulator(const std::vector<std::string>& emulator, const std::string& self,
                         const App::Arguments& args, std::ostream& err) {
    std::vector<std::string> words = emulator;
    words.push_back(self);
    for (std::size_t i = 0; i < args.size(); ++i)
        words.emplace_back(args[i]);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    setenv(kInEmulatorVariable, "1", 1);
    execv(argv[0], argv.data());
    const std::string why =
        "Cannot open the terminal emulator " + emulator[0] + ": " + std::strerror(errno);
    OS::Logger::Log(OS::LOG_ERROR, why);
    err << "cryvan-sfx: " << why << "\n";
    return ExitStatus::NoInput;
}

}  // namespace

void RequestCancel() {
    g_cancelRequested.store(true);
}

ExitStatus RunFrontEnd(const App::Arguments& args, const std::string& self, App::LineInput& input,
                       std::ostream& out) {
    return RunFrontEnd(args, self, input, out, out);
}

ExitStatus RunFrontEnd(const App::Arguments& args, const std::string& self, App::LineInput& input,
                       std::ostream& out, std::ostream& err) {
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& e) {
        out << "cryvan-sfx: " << e.what() << "\n\n" << HelpText();
        return ExitStatus::InvalidCommandLine;
    }
    if (options.help) {
        out << HelpText();
        return ExitStatus::Success;
    }
    if (options.verbose)
        OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN | OS::LOG_INFO |
                                 OS::LOG_DEBUG | OS::LOG_TRACE,
                             &err);
    // Started from a file manager: no terminal, but maybe a desktop to ask on.
    WayFacts facts;
    facts.terminal = input.Terminal();
    facts.inEmulator = std::getenv(kInEmulatorVariable) != nullptr;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    facts.display = (wayland && *wayland) || (display && *display);
    facts.needsQuestions = !options.password || !options.folder;
    const std::string zenity = FindOnPath("zenity");
    const std::string kdialog = zenity.empty() ? FindOnPath("kdialog") : std::string();
    const std::vector<std::string> emulator = EmulatorCommand(std::getenv("TERMINAL"), FindOnPath);
    facts.zenity = !zenity.empty();
    facts.kdialog = !kdialog.empty();
    facts.emulator = !emulator.empty();
    ExitStatus status = ExitStatus::NoInput;
    switch (ChooseWay(facts)) {
        case Way::Zenity:
            status =
                RunWithDialogs(options, self, DialogProgram(DialogProgram::Kind::Zenity, zenity));
            break;
        case Way::Kdialog:
            status =
                RunWithDialogs(options, self, DialogProgram(DialogProgram::Kind::Kdialog, kdialog));
            break;
        case Way::TerminalEmulator:
            status = RunInEmulator(emulator, self, args, err);
            break;
        case Way::Nothing: {
            const char* why =
                "No terminal to ask on, and neither a dialog program (zenity or kdialog) nor a "
                "terminal emulator was found.";
            OS::Logger::Log(OS::LOG_ERROR, why);
            err << "cryvan-sfx: " << why << "\n";
            break;
        }
        case Way::Terminal: {
            Flow flow(options, self, input, out, err);
            status = flow.Run();
            break;
        }
    }
    if (options.verbose)
        OS::Logger::Register(0, &err);
    return status;
}

}  // namespace Sfx
