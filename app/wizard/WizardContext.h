// What every wizard page works with: the sheet it sits on, the runner that holds the engine,
// the user's configuration, the dialogs of the front end and the command-line values.
#pragma once

#include <cstdint>
#include <string>

#include "app/config/UserConfig.h"
#include "app/core/Background.h"
#include "app/core/OperationRunner.h"
#include "app/core/Sheet.h"
#include "app/wizard/CommandLine.h"
#include "app/wizard/WizardDialogs.h"
#include "os/Logger.h"

namespace App {

struct WizardContext {
    WizardContext(Sheet& sheet_, OperationRunner& runner_, UserConfig& config_,
                  WizardDialogs& dialogs_, PagesValues& commandLine_, Background& background_)
        : sheet(sheet_),
          runner(runner_),
          config(config_),
          dialogs(dialogs_),
          commandLine(commandLine_),
          background(background_) {}

    Sheet& sheet;
    OperationRunner& runner;
    UserConfig& config;
    WizardDialogs& dialogs;
    PagesValues& commandLine;
    // The pages' long work, one piece at a time.
    Background& background;
    // Why the active page refused in a way no answer on it can mend (a corrupt container, a
    // recovery entry that cannot be added): a run that cannot ask ends failed with it instead
    // of waiting for input. Pages set it when they refuse; the front end clears it whenever
    // another page comes up.
    std::string stopReason;
    // How long the end page stays up after a run that was to end by itself (-q): a window
    // keeps the summary up a moment; a terminal, where it stays on the screen, not at all.
    static constexpr std::uint32_t kDefaultQuitPauseMs = 2000;
    std::uint32_t quitPauseMs = kDefaultQuitPauseMs;

    // Sets the stop reason and keeps it in the log.
    void Refuse(std::string reason) {
        OS::Logger::Log(OS::LOG_ERROR, reason);
        stopReason = std::move(reason);
    }
};

}  // namespace App
