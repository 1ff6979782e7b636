// The wizard: the sheet with its twelve pages, the operation runner and the user's
// configuration, for its whole life. The command line fills the pages before the sheet shows;
// a front end then renders the active page and drives the sheet (presses, Pump, Tick).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/config/Folders.h"
#include "app/config/OrganisationProfile.h"
#include "app/config/UserConfig.h"
#include "app/core/OperationRunner.h"
#include "app/core/Sheet.h"
#include "app/core/Strings.h"
#include "app/wizard/CommandLine.h"
#include "app/wizard/DecryptionPages.h"
#include "app/wizard/EncryptionPages.h"
#include "app/wizard/ProgressPages.h"
#include "app/wizard/WizardContext.h"
#include "app/wizard/WizardDialogs.h"

namespace App {

class Wizard : public Sheet {
    // Declared first: the pages below are built on them.
    WizardDialogs& m_dialogs;
    OperationRunner m_runner;
    UserConfig m_config;
    PagesValues m_commandLine;
    Background m_background;
    WizardContext m_context;

  public:
    using ParseError = WizardParseError;
    static constexpr const char* kCaption = Text(StringId::AppName);

    // `dialogs` outlives the wizard.
    Wizard(WizardDialogs& dialogs, const Folders& folders);
    ~Wizard() override;

    // Fills the pages from the arguments (argv[0] is the program). Preferences: the preferences
    // sheet has been shown and the program is to end; Invalid: the usage message was shown.
    StartMode ProcessCommandLine(const Arguments& argv);
    // Shows the first page; pages given values by the command line then press Next by themselves
    // as the front end pumps the sheet.
    void Start();
    // One turn of the front end's loop: posted presses, then timers due at `nowMs`.
    void Step(std::uint64_t nowMs);

    OperationRunner& Runner() { return m_runner; }
    UserConfig& Config() { return m_config; }
    PagesValues& CommandLineValues() { return m_commandLine; }
    WizardContext& Context() { return m_context; }
    // The end page's pause before a run given -q ends the program (0: none).
    void SetQuitPause(std::uint32_t ms) { m_context.quitPauseMs = ms; }

    EncOrDecPg encOrDec;
    EncSourcePg encSource;
    EncDestPg encDest;
    EncPasswordPg encPassword;
    ProgressPg encProgress;
    DecSourcePg decSource;
    DecPasswordPg decPassword;
    DecFilesPg decFiles;
    DecFilePg decFile;
    DecDestPg decDest;
    ProgressPg decProgress;
    EndPg end;
};

}  // namespace App
