// One page of the wizard as a widget. The window shows the view of the sheet's active page and
// asks it to redraw whenever the sheet's revision moves; a view forwards what the user does to
// its page and then lets the window step the sheet.
#pragma once

#include <QWidget>
#include <functional>

namespace App {
class Wizard;
}

namespace Desk {

class PageView : public QWidget {
  public:
    // `step` runs the sheet's posted presses and redraws; call it after forwarding a press.
    PageView(App::Wizard& wizard, std::function<void()> step, QWidget* parent = nullptr)
        : QWidget(parent), m_wizard(wizard), m_step(std::move(step)) {}

    // The sheet changed while this page is shown: copy the page's state into the widgets.
    virtual void Refresh() {}
    // Another page is now shown: fields that held a password drop it.
    virtual void Leave() {}
    // The widget that takes the focus when the page is shown.
    virtual QWidget* FirstFocus() { return nullptr; }

  protected:
    App::Wizard& Wizard() const { return m_wizard; }
    void StepSheet() const { m_step(); }

  private:
    App::Wizard& m_wizard;
    std::function<void()> m_step;
};

}  // namespace Desk
