// What every wizard page works with: the sheet it sits on, the runner that holds the engine,
// the user's configuration, the dialogs of the front end and the command-line values.
#pragma once

#include "app/CommandLine.h"
#include "app/Dialogs.h"
#include "app/OperationRunner.h"
#include "app/Sheet.h"
#include "app/UserConfig.h"

namespace App {

struct WizardContext {
    Sheet& sheet;
    OperationRunner& runner;
    UserConfig& config;
    Dialogs& dialogs;
    PagesValues& commandLine;
};

}  // namespace App
