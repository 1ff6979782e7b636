// The wizard: the sheet with its twelve pages, the operation runner and the user's
// configuration, for its whole life. The command line fills the pages before the sheet shows;
// a front end then renders the active page and drives the sheet (presses, Pump, Tick).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/DecryptionPages.h"
#include "app/Dialogs.h"
#include "app/EncryptionPages.h"
#include "app/Folders.h"
#include "app/OperationRunner.h"
#include "app/OrganisationProfile.h"
#include "app/ProgressPages.h"
#include "app/Sheet.h"
#include "app/UserConfig.h"
#include "app/WizardContext.h"

namespace App {

class Wizard : public Sheet {
    // Declared first: the pages below are built on them.
    Dialogs& m_dialogs;
    OperationRunner m_runner;
    UserConfig m_config;
    PagesValues m_commandLine;
    WizardContext m_context;

  public:
    using ParseError = WizardParseError;
    static constexpr char kCaption[] = "Cryvan";

    // `dialogs` outlives the wizard.
    Wizard(Dialogs& dialogs, const Folders& folders);
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
