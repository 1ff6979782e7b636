// The wizard as a window: a dialog with a stacked widget of one widget per page and the
// sheet's buttons. A plain dialog rather than a toolkit wizard: the sheet owns page order,
// vetoes and posted presses, and a toolkit wizard's own history and Back rule would fight it.
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

class FileListModel;

class WizardWindow : public QDialog {
    Q_OBJECT
  public:
    explicit WizardWindow(App::Wizard& wizard, QWidget* parent = nullptr);
    ~WizardWindow() override;

    // The hand-over's waker: runs what the run handed over on this thread, then a step.
    void Wake();
    // For tests and accessibility: the page's widget and the buttons.
    QPushButton* BackButton() const { return m_back; }
    QPushButton* NextButton() const { return m_next; }
    QPushButton* FinishButton() const { return m_finish; }
    QPushButton* CancelButton() const { return m_cancel; }
    QLineEdit* PasswordField() const { return m_password; }
    QLineEdit* ConfirmationField() const { return m_confirmation; }
    QLineEdit* DecryptionPasswordField() const { return m_decPassword; }

  protected:
    void reject() override;
    // Files and folders dropped from a file manager go to the encryption source page.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void Redraw();
    void Step();
    QWidget* MakePage(App::Page& page);

    App::Wizard& m_wizard;
    std::uint64_t m_shown = ~std::uint64_t{0};
    QElapsedTimer m_clock;
    QTimer m_timer;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    QStackedWidget* m_stack = nullptr;
    std::map<int, QWidget*> m_pages;
    std::map<int, QLabel*> m_texts;
    FileListModel* m_files = nullptr;
    QPushButton *m_back = nullptr, *m_next = nullptr, *m_finish = nullptr, *m_cancel = nullptr;
    QLineEdit *m_password = nullptr, *m_confirmation = nullptr, *m_decPassword = nullptr;
};

}  // namespace Desk
