// The page that runs the operation and shows its progress, and the end page with the summary.
// Both are plain objects: a front end renders the public state, which each timer tick of the
// sheet brings up to date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/Progress.h"
#include "app/core/Sheet.h"
#include "app/core/Strings.h"
#include "app/wizard/WizardContext.h"

namespace App {

class ProgressPg : public Page {
  public:
    static constexpr int kTimer = 1;
    static constexpr std::uint32_t kPeriodMs = 200;
    static constexpr const char* kCurrentFileLabel = Text(StringId::ProgressPgCurrentFileLabel);
    static constexpr const char* kOverallLabel = Text(StringId::ProgressPgOverallLabel);

    // One instance per direction: encryption (151) or decryption (137).
    ProgressPg(WizardContext& context, bool encrypting);

    bool Encrypting() const { return m_encrypting; }

    // What the controls show; every tick that is not minimized refreshes it.
    ItemLayout layout;
    std::string itemLine;
    std::string overallText;
    std::string itemText;
    std::string timeText;
    std::uint32_t overallBar = 0;
    std::uint32_t itemBar = 0;
    bool background = false;
    // Set when "background" was turned off but the priority could not be raised again.
    std::string priorityNote;

    // The two labels as laid out: the item line takes the label's place it belongs to.
    std::string CurrentFileLabel() const;
    std::string OverallLabel() const;
    // "Run as background task" clicked.
    void SetBackground(bool on);

    void OnSetActive() override;
    bool OnQueryCancel() override;
    void OnCancel() override;
    void OnTimer(int timerId) override;
    std::vector<std::string> Texts() const override;
    // How often the page has been entered: a run that ends within one step of a front end's
    // loop passes the page unseen, and this tells the front end so.
    std::uint32_t Activations() const { return m_activations; }

  private:
    WizardContext& m_context;
    bool m_encrypting;
    std::uint32_t m_activations = 0;
    std::optional<ProgressDisplay> m_display;
};

class EndPg : public Page {
  public:
    static constexpr int kQuitTimer = 7657;
    static constexpr std::uint32_t kQuitDelayMs = WizardContext::kDefaultQuitPauseMs;
    static constexpr const char* kExitText = Text(StringId::EndPgExit);

    explicit EndPg(WizardContext& context);

    EndSummary summary;

    void OnSetActive() override;
    bool OnWizardFinish() override;
    void OnTimer(int timerId) override;
    std::vector<std::string> Texts() const override;

  private:
    WizardContext& m_context;
};

}  // namespace App
