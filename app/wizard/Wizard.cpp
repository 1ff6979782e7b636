#include "app/wizard/Wizard.h"

#include "os/Logger.h"

namespace App {

Wizard::Wizard(WizardDialogs& dialogs, const Folders& folders)
    : Sheet(kCaption),
      m_dialogs(dialogs),
      m_runner(dialogs),
      m_config(OrganisationProfile::Load(folders), folders, &m_runner.Callback(), dialogs),
      m_background(m_runner.Handover()),
      m_context{*this, m_runner, m_config, dialogs, m_commandLine, m_background},
      encOrDec(m_context),
      encSource(m_context),
      encDest(m_context),
      encPassword(m_context),
      encProgress(m_context, true),
      decSource(m_context),
      decPassword(m_context),
      decFiles(m_context),
      decFile(m_context),
      decDest(m_context),
      decProgress(m_context, false),
      end(m_context) {
    OS::Trace t("Wizard::Wizard()");
    for (Page* page : std::initializer_list<Page*>{
             &encOrDec, &encSource, &encDest, &encPassword, &encProgress, &decSource, &decPassword,
             &decFiles, &decFile, &decDest, &decProgress, &end})
        AddPage(*page);
}

Wizard::~Wizard() {
    // Work still going must stop before the pages and the configuration go.
    m_background.Wait();
    m_runner.CancelAndWait();
}

StartMode Wizard::ProcessCommandLine(const Arguments& argv) {
    OS::Trace t("Wizard::ProcessCommandLine()");
    const StartMode mode = App::ProcessCommandLine(argv, m_commandLine, m_dialogs);
    if (mode == StartMode::Preferences)
        m_dialogs.ShowPreferences();
    return mode;
}

void Wizard::Start() {
    OS::Trace t("Wizard::Start()");
    // Shredding from the file manager: the runner is prepared and the user has agreed.
    if (m_commandLine.shredMode) {
        m_commandLine.shredMode.reset();
        SetActivePage(kEncProgressPg);
        return;
    }
    SetActivePage(kEncOrDecPg);
}

void Wizard::Step(std::uint64_t nowMs) {
    Pump();
    // The end of a run is shown at once, not at the display's next tick.
    if (m_runner.TakeEnded())
        if (auto* progress = dynamic_cast<ProgressPg*>(ActivePage()))
            progress->OnTimer(ProgressPg::kTimer);
    Tick(nowMs);
    Pump();
}

}  // namespace App
