// The run's questions, the choosers and the wizard's and the preferences' own dialogs as
// windows. Each call blocks in a modal dialog on the window's thread.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/prefs/PreferencesDialogs.h"
#include "app/wizard/WizardDialogs.h"

namespace Desk {

class QtDialogs : public App::WizardDialogs, public App::PreferencesDialogs {
  public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    // What "Preferences..." opens; unset, the sheet cannot be shown.
    void SetPreferences(std::function<bool()> show) { m_preferences = std::move(show); }

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override;
    Replace ConfirmReplace(const std::string& text, const std::string& path40) override;
    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override;
    std::optional<App::Secret> AskAdministratorPassword(const std::string& stillNeeded) override;

    std::vector<std::string> ChooseFiles(const std::string& title) override;
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& start) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;
    // The save dialog asks its own question before an existing file is chosen.
    bool SaveAsksBeforeReplacing() const override { return true; }
    std::optional<std::string> ChooseOpenFile(const std::string& title, const std::string& initial,
                                              const std::string& filter,
                                              const std::string& defaultExtension) override;

    bool EditSourceOptions(SourceOptions& options) override;
    bool ShowPreferences() override;

    std::optional<NewAdministrator> AskNewAdministrator() override;
    std::optional<App::Secret> AskOrganisationPassword(std::size_t minLength) override;

  private:
    QWidget* m_parent;
    std::function<bool()> m_preferences;
};

// "Description (*.ext)|*.ext||" as Qt's "Description (*.ext)" filter list.
QString QtFilter(const std::string& filter);

}  // namespace Desk
