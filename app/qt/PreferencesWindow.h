// The preferences sheet as a window: one tab per page the sheet offers, OK and Cancel.
#pragma once

#include <QDialog>

#include "app/session/Session.h"

class QTabWidget;

namespace Desk {

class PreferencesWindow : public QDialog {
    Q_OBJECT
  public:
    PreferencesWindow(App::CryvanPrefs& prefs, QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    // Copies every page's state into its controls.
    void Refresh();

  protected:
    void accept() override;
    void reject() override;

  private:
    void WipeFields();
    struct Controls;
    App::CryvanPrefs& m_prefs;
    QTabWidget* m_tabs;
    std::unique_ptr<Controls> m_controls;
};

// Shows the sheet modally; what the session hands to a front end.
App::PreferencesResult ShowPreferences(App::CryvanPrefs& prefs, QWidget* parent);

}  // namespace Desk
