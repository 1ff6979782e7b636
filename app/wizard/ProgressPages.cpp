#include "app/wizard/ProgressPages.h"

#include "app/wizard/DecryptionPages.h"
#include "app/wizard/EncryptionPages.h"
#include "os/Logger.h"

#include "app/core/Strings.h"

namespace App {

ProgressPg::ProgressPg(WizardContext& context, bool encrypting)
    : Page(encrypting ? kEncProgressPg : kDecProgressPg,
           encrypting ? "Encryption in Progress" : Text(StringId::DecryptionInProgress),
           encrypting ? "Your files are being encrypted." : "Your files are being decrypted."),
      m_context(context),
      m_encrypting(encrypting) {}

std::string ProgressPg::CurrentFileLabel() const {
    if (layout.hideItem)
        return std::string();
    return layout.lineInOverallLabel ? kCurrentFileLabel : itemLine;
}

std::string ProgressPg::OverallLabel() const {
    return layout.lineInOverallLabel ? itemLine : kOverallLabel;
}

void ProgressPg::SetBackground(bool on) {
    background = on;
    const bool applied = m_context.runner.SetBackground(on);
    // Said rather than pretended: the box shows off, the run still goes at the lower priority.
    priorityNote = !on && !applied ? Text(StringId::BackgroundStays) : "";
    Changed();
}

void ProgressPg::OnSetActive() {
    OS::Trace t("ProgressPg::OnSetActive()");
    ++m_activations;
    Sheet& sheet = TheSheet();
    // A program that shreds never encrypts: the header stays the shredding one.
    if (m_encrypting && m_context.runner.IsShredding()) {
        const bool eradicating =
            m_context.runner.Cryptor().DeletionMode() == FCryptEng::InputDeletionMode::Eradicate;
        SetHeader("Shredding in Progress", eradicating ? "Your files are being eradicated."
                                                       : "Your files are being overwritten.");
    }
    m_context.runner.Start();
    // The engine has the keys it needs now: no password stays in a page's field.
    if (auto* enc = dynamic_cast<EncPasswordPg*>(sheet.PageById(kEncPasswordPg)))
        enc->WipeFields();
    if (auto* dec = dynamic_cast<DecPasswordPg*>(sheet.PageById(kDecPasswordPg)))
        dec->WipeFields();
    m_context.commandLine.WipePasswords();
    m_display.emplace(sheet.Minimized());
    layout =
        LayoutFor(m_context.runner.PlainFileCount(true), m_context.runner.PlainFileCount(false));
    itemLine.clear();
    overallText.clear();
    itemText.clear();
    timeText.clear();
    priorityNote.clear();
    overallBar = itemBar = 0;
    sheet.SetNextText(Text(StringId::NextButton));
    sheet.SetWizardButtons(0);
    sheet.SetTimer(kTimer, kPeriodMs);
}

void ProgressPg::OnTimer(int timerId) {
    if (timerId != kTimer || !m_display)
        return;
    Sheet& sheet = TheSheet();
    // Asked before the snapshot: once the worker has ended, its final snapshot is the one read.
    const bool running = m_context.runner.IsRunning();
    const Snapshot s = m_context.runner.Snapshot();
    const ProgressDisplay::Update u = m_display->Tick(s, m_encrypting, sheet.Minimized(), running);
    if (u.title)
        sheet.SetTitle(*u.title);
    if (u.controls) {
        itemLine = u.itemLine;
        overallText = u.overallText;
        itemText = u.itemText;
        overallBar = u.overallBar;
        itemBar = u.itemBar;
        timeText = TimesText(s, running);
        Changed();
    }
    if (u.toEndPage) {
        sheet.KillTimer(kTimer);
        sheet.SetActivePage(kEndPg);
    }
}

bool ProgressPg::OnQueryCancel() {
    OS::Trace t("ProgressPg::OnQueryCancel()");
    return AllowCancel(m_context.runner, m_context.dialogs);
}

void ProgressPg::OnCancel() {
    OS::Trace t("ProgressPg::OnCancel()");
    TheSheet().KillTimer(kTimer);
    m_context.runner.CancelAndWait();
}

std::vector<std::string> ProgressPg::Texts() const {
    std::vector<std::string> out;
    if (!layout.hideItem) {
        out.push_back(CurrentFileLabel());
        out.push_back(itemText);
    }
    out.push_back(OverallLabel());
    out.push_back(overallText);
    out.push_back(Text(StringId::RunInBackground));
    return out;
}

EndPg::EndPg(WizardContext& context)
    : Page(kEndPg, Text(StringId::WelcomeTitle), Text(StringId::WelcomeSubtitle), true),
      m_context(context) {}

void EndPg::OnSetActive() {
    OS::Trace t("EndPg::OnSetActive()");
    Sheet& sheet = TheSheet();
    sheet.SetWizardButtons(kFinish);
    sheet.SetCancelEnabled(false);
    summary = Summarize(FactsOf(m_context.runner));
    if (m_context.commandLine.quit) {
        // A window stays up a moment for the summary to be read; a terminal keeps it anyway.
        if (m_context.quitPauseMs)
            sheet.SetTimer(kQuitTimer, m_context.quitPauseMs);
        else
            sheet.PostPress(kFinish);
    }
}

bool EndPg::OnWizardFinish() {
    TheSheet().KillTimer(kQuitTimer);
    return true;
}

void EndPg::OnTimer(int timerId) {
    if (timerId != kQuitTimer)
        return;
    TheSheet().KillTimer(kQuitTimer);
    TheSheet().PressFinish();
}

std::vector<std::string> EndPg::Texts() const {
    std::vector<std::string> out{summary.message};
    if (!summary.reason.empty())
        out.push_back(summary.reason);
    if (summary.showDetails)
        out.insert(out.end(),
                   {"Input:", summary.input, "Output:", summary.output, "Time:", summary.time});
    if (!summary.warnings.empty()) {
        out.push_back(kWarningsHeading);
        for (const std::string& w : summary.warnings)
            out.push_back("  " + w);
    }
    out.push_back(kExitText);
    return out;
}

}  // namespace App
