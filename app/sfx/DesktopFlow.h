// The stand-alone program started from a file manager: no terminal, but a desktop. It asks
// through the desktop's dialog program, or opens itself in a terminal emulator, or, with
// neither, says why in the log and ends with status 4.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/core/ExitStatus.h"
#include "app/core/Questions.h"
#include "app/sfx/DialogProgram.h"
#include "app/sfx/SelfExtractor.h"

namespace Sfx {

enum class Way { Terminal, Zenity, Kdialog, TerminalEmulator, Nothing };

struct WayFacts {
    bool terminal = false;        // standard input is a terminal
    bool inEmulator = false;      // started by ourselves in a terminal emulator
    bool display = false;         // DISPLAY or WAYLAND_DISPLAY names one
    bool needsQuestions = false;  // no password or no folder on the command line
    bool zenity = false, kdialog = false, emulator = false;
};

// Zenity before kdialog, either before a terminal emulator. A terminal, a run that needs to ask
// nothing, or no display at all keeps the terminal flow (which ends with status 4 when it must
// ask and cannot).
Way ChooseWay(const WayFacts& facts);

// The terminal emulator that can run us, with the words it takes before the program and its
// arguments: $TERMINAL, x-terminal-emulator, then the common ones in order. Empty when none.
std::vector<std::string> EmulatorCommand(
    const char* terminalVariable, const std::function<std::string(const std::string&)>& find);

// The environment variable that marks a run inside the terminal emulator we opened.
inline constexpr const char* kInEmulatorVariable = "CRYVAN_SFX_IN_TERMINAL";

// A run's questions in the dialog program's windows.
class DesktopQuestions : public App::RunQuestions {
  public:
    explicit DesktopQuestions(DialogProgram program) : m_program(std::move(program)) {}

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override;
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override;
    std::optional<App::Secret> AskAdministratorPassword(const std::string& stillNeeded) override;

    // False on Cancel.
    bool AskPassword(const std::string& caption, const std::string& text, App::Secret& password);
    std::optional<std::string> AskFolder(const std::string& title, const std::string& start);
    const DialogProgram& Program() const { return m_program; }

  private:
    DialogProgram m_program;
};

// The whole decryption through the dialog program's windows.
App::ExitStatus RunWithDialogs(const Options& options, const std::string& self,
                               DialogProgram program);

}  // namespace Sfx
