// The wizard as a window: a dialog with a stacked widget of one view per page and the sheet's
// buttons. A plain dialog rather than a toolkit wizard: the sheet owns page order, vetoes and
// posted presses, and a toolkit wizard's own history and Back rule would fight it.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <map>

#include "app/wizard/Wizard.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace Desk {

class PageView;

class WizardWindow : public QDialog {
    Q_OBJECT
  public:
    explicit WizardWindow(App::Wizard& wizard, QWidget* parent = nullptr);
    ~WizardWindow() override;

    // The hand-over's waker: runs what the run handed over on this thread, then a step.
    void Wake();
    QPushButton* BackButton() const { return m_back; }
    QPushButton* NextButton() const { return m_next; }
    QPushButton* FinishButton() const { return m_finish; }
    QPushButton* CancelButton() const { return m_cancel; }
    // The view of a page (tests reach its controls by their accessible names).
    PageView* View(const App::Page& page) const;

  protected:
    void reject() override;
    void changeEvent(QEvent* event) override;
    // Files and folders dropped from a file manager go to the encryption source page.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void Redraw();
    void Step();
    PageView* MakeView(App::Page& page);

    App::Wizard& m_wizard;
    std::uint64_t m_shown = ~std::uint64_t{0};
    PageView* m_current = nullptr;
    QElapsedTimer m_clock;
    QTimer m_timer;
    QWidget* m_header = nullptr;
    QWidget* m_headerRule = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QStackedWidget* m_stack = nullptr;
    std::map<int, PageView*> m_views;
    QPushButton *m_back = nullptr, *m_next = nullptr, *m_finish = nullptr, *m_cancel = nullptr;
};

}  // namespace Desk
