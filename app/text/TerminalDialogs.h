// The wizard's and the preferences' dialogs on a terminal, beside a run's questions: the
// choosers, the source-file options, a new administrator and the organisation password.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/console/ConsoleQuestions.h"
#include "app/prefs/PreferencesDialogs.h"
#include "app/wizard/WizardDialogs.h"

namespace Text {

class TerminalDialogs : public App::ConsoleQuestions,
                        public App::WizardDialogs,
                        public App::PreferencesDialogs {
  public:
    // Failures (error boxes with only OK) go to `err`.
    TerminalDialogs(App::LineInput& input, std::ostream& out) : TerminalDialogs(input, out, out) {}
    TerminalDialogs(App::LineInput& input, std::ostream& out, std::ostream& err)
        : ConsoleQuestions(input, out), m_err(err) {}

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;

    std::vector<std::string> ChooseFiles(const std::string& title) override;
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;
    bool EditSourceOptions(SourceOptions& options) override;
    bool ShowPreferences() override;
    std::optional<NewAdministrator> AskNewAdministrator() override;
    std::optional<App::Secret> AskOrganisationPassword(std::size_t minLength) override;

    // What "Preferences..." and -prefs open; without one the preferences are unavailable.
    void SetPreferences(std::function<bool()> show) { m_preferences = std::move(show); }

  protected:
    App::FileChoosers* Choosers() override { return this; }

  private:
    std::optional<std::string> AskPath(const std::string& title, const std::string& initial,
                                       const std::string& defaultExtension);

    std::function<bool()> m_preferences;
    std::ostream& m_err;
};

}  // namespace Text
