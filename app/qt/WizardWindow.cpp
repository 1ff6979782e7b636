#include "app/qt/WizardWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <QtSvgWidgets/QSvgWidget>
#include <string>

#include "app/core/Handover.h"
#include "app/qt/PageViews.h"

// The pictures are compiled into this static library: registered before the first window.
static void InitResources() {
    Q_INIT_RESOURCE(cryvan);
}

namespace Desk {

namespace {

// "Next >" as "&Next >", "< Back" as "< &Back": the first letter is the Alt key.
QString ButtonText(const std::string& text) {
    QString out = Q(text);
    for (int i = 0; i < out.size(); ++i)
        if (out[i].isLetter()) {
            out.insert(i, '&');
            break;
        }
    return out;
}

}  // namespace

WizardWindow::WizardWindow(App::Wizard& wizard, QWidget* parent)
    : QDialog(parent), m_wizard(wizard) {
    InitResources();
    setWindowTitle(Q(m_wizard.Caption()));
    setWindowIcon(QIcon(":/cryvan/cryvan.svg"));
    // A minimise box, as the program's main window has; no help button.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The header: the page's title and subtitle beside our picture, on the base colour of the
    // palette so a dark theme stays dark.
    m_header = new QWidget(this);
    m_header->setAutoFillBackground(true);
    m_header->setBackgroundRole(QPalette::Base);
    auto* header = new QHBoxLayout(m_header);
    auto* words = new QVBoxLayout;
    m_title = new QLabel(m_header);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_subtitle = new QLabel(m_header);
    m_subtitle->setWordWrap(true);
    m_subtitle->setIndent(12);
    words->addWidget(m_title);
    words->addWidget(m_subtitle);
    header->addLayout(words, 1);
    auto* picture = new QSvgWidget(":/cryvan/cryvan.svg", m_header);
    const int side = fontMetrics().height() * 3;
    picture->setFixedSize(side, side);
    header->addWidget(picture);
    layout->addWidget(m_header);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    m_headerRule = rule;
    layout->addWidget(rule);

    m_stack = new QStackedWidget(this);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(18, 12, 18, 12);
    body->addWidget(m_stack, 1);
    layout->addLayout(body, 1);
    App::Page* const pages[] = {&wizard.encOrDec,    &wizard.encSource,   &wizard.encDest,
                                &wizard.encPassword, &wizard.encProgress, &wizard.decSource,
                                &wizard.decPassword, &wizard.decFiles,    &wizard.decFile,
                                &wizard.decDest,     &wizard.decProgress, &wizard.end};
    for (App::Page* page : pages) {
        PageView* view = MakeView(*page);
        m_views[page->Id()] = view;
        m_stack->addWidget(view);
    }

    auto* rule2 = new QFrame(this);
    rule2->setFrameShape(QFrame::HLine);
    rule2->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule2);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(12, 8, 12, 10);
    m_back = new QPushButton(this);
    m_next = new QPushButton(this);
    m_finish = new QPushButton(tr("&Finish"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    buttons->addStretch(1);
    for (QPushButton* b : {m_back, m_next, m_finish, m_cancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    m_finish->setAccessibleName(tr("Finish"));
    m_cancel->setAccessibleName(tr("Cancel"));
    layout->addLayout(buttons);
    connect(m_back, &QPushButton::clicked, this, [this] {
        m_wizard.PressBack();
        Step();
    });
    connect(m_next, &QPushButton::clicked, this, [this] {
        m_wizard.PressNext();
        Step();
    });
    connect(m_finish, &QPushButton::clicked, this, [this] {
        m_wizard.PressFinish();
        Step();
    });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });

    const int em = fontMetrics().averageCharWidth();
    setMinimumSize(em * 80, fontMetrics().height() * 28);
    resize(em * 112, fontMetrics().height() * 34);
    m_wizard.SetObserver([this] { Redraw(); });
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, [this] { Step(); });
    m_timer.start(50);
    Redraw();
}

WizardWindow::~WizardWindow() {
    m_wizard.SetObserver(nullptr);
}

PageView* WizardWindow::MakeView(App::Page& page) {
    const StepFn step = [this] { Step(); };
    if (PageView* view = MakeEncryptionView(m_wizard, page, step, this))
        return view;
    if (PageView* view = MakeDecryptionView(m_wizard, page, step, this))
        return view;
    if (PageView* view = MakeProgressView(m_wizard, page, step, this))
        return view;
    return new PageView(m_wizard, step, this);
}

PageView* WizardWindow::View(const App::Page& page) const {
    const auto found = m_views.find(page.Id());
    return found == m_views.end() ? nullptr : found->second;
}

void WizardWindow::Redraw() {
    if (m_shown == m_wizard.Revision())
        return;
    m_shown = m_wizard.Revision();
    App::Page* page = m_wizard.ActivePage();
    if (!page)
        return;
    setWindowTitle(Q(m_wizard.Title().empty() ? m_wizard.Caption() : m_wizard.Title()));
    m_title->setText(Q(page->Title()));
    m_subtitle->setText(Q(page->Subtitle()));
    m_header->setVisible(!page->HeaderHidden());
    m_headerRule->setVisible(!page->HeaderHidden());
    PageView* view = View(*page);
    const bool arrived = view && view != m_current;
    if (arrived) {
        // Leaving a page: its fields drop what was typed.
        if (m_current)
            m_current->Leave();
        m_current = view;
        m_stack->setCurrentWidget(view);
    }
    if (view)
        view->Refresh();
    const unsigned bits = m_wizard.WizardButtons();
    const bool busy = page->Busy();
    m_back->setText(ButtonText(m_wizard.BackText()));
    m_next->setText(ButtonText(m_wizard.NextText()));
    m_back->setAccessibleName(Q(m_wizard.BackText()));
    m_next->setAccessibleName(Q(m_wizard.NextText()));
    m_back->setEnabled(!busy && (bits & App::kBack));
    m_next->setEnabled(!busy && (bits & App::kNext));
    m_finish->setVisible(bits & App::kFinish);
    m_finish->setEnabled(!busy && (bits & App::kFinish));
    m_cancel->setEnabled(m_wizard.CancelEnabled());
    // Enter presses Finish where it shows, else Next.
    m_finish->setDefault(bits & App::kFinish);
    m_next->setDefault(!(bits & App::kFinish));
    m_back->setVisible(!(bits & App::kFinish) || page != &m_wizard.end);
    m_next->setVisible(!(bits & App::kFinish) || page != &m_wizard.end);
    if (arrived && view->FirstFocus())
        view->FirstFocus()->setFocus();
    else if (arrived)
        (m_next->isEnabled() ? m_next : m_cancel)->setFocus();
    if (m_wizard.Closed())
        done(m_wizard.Finished() ? Accepted : Rejected);
}

void WizardWindow::Step() {
    m_wizard.Step(static_cast<std::uint64_t>(m_clock.elapsed()));
    Redraw();
    if (m_wizard.Closed())
        done(m_wizard.Finished() ? Accepted : Rejected);
}

void WizardWindow::Wake() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_wizard.Runner().Handover().RunPending();
            Step();
        },
        Qt::QueuedConnection);
}

void WizardWindow::changeEvent(QEvent* event) {
    // The minimised window's title carries the run's progress. A Wayland compositor never tells
    // a program that it was minimised, so there the title keeps the caption.
    if (event->type() == QEvent::WindowStateChange) {
        m_wizard.SetMinimized(isMinimized());
        Step();
    }
    QDialog::changeEvent(event);
}

void WizardWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (m_wizard.ActivePage() == &m_wizard.encSource && !m_wizard.encSource.Busy() &&
        event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void WizardWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (m_wizard.ActivePage() == &m_wizard.encSource && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void WizardWindow::dropEvent(QDropEvent* event) {
    if (m_wizard.ActivePage() != &m_wizard.encSource)
        return;
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty())
        return;
    event->acceptProposedAction();
    m_wizard.encSource.Drop(paths);
    Step();
}

void WizardWindow::reject() {
    // Escape and the window's close button are the sheet's Cancel: the page may refuse.
    if (m_wizard.PressCancel())
        QDialog::reject();
    Redraw();
}

}  // namespace Desk
