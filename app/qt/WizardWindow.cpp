#include "app/qt/WizardWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <string>

#include "app/core/Handover.h"
#include "app/qt/FileListModel.h"

namespace Desk {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Forwards what the field holds, then overwrites the transient copies.
template <class Set>
void Forward(const QString& text, Set set) {
    QByteArray utf8 = text.toUtf8();
    set(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    utf8.fill('\0');
}

QLineEdit* PasswordEdit(QWidget* parent, const QString& name) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName(name);
    return field;
}

}  // namespace

WizardWindow::WizardWindow(App::Wizard& wizard, QWidget* parent)
    : QDialog(parent), m_wizard(wizard) {
    setWindowTitle(Q(m_wizard.Caption()));
    auto* layout = new QVBoxLayout(this);
    m_title = new QLabel(this);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    m_subtitle = new QLabel(this);
    m_subtitle->setWordWrap(true);
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addWidget(m_stack, 1);
    App::Page* const pages[] = {&wizard.encOrDec,    &wizard.encSource,   &wizard.encDest,
                                &wizard.encPassword, &wizard.encProgress, &wizard.decSource,
                                &wizard.decPassword, &wizard.decFiles,    &wizard.decFile,
                                &wizard.decDest,     &wizard.decProgress, &wizard.end};
    for (App::Page* page : pages) {
        QWidget* widget = MakePage(*page);
        m_pages[page->Id()] = widget;
        m_stack->addWidget(widget);
    }
    auto* buttons = new QHBoxLayout;
    m_back = new QPushButton(this);
    m_next = new QPushButton(this);
    m_finish = new QPushButton(tr("Finish"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    buttons->addStretch(1);
    for (QPushButton* b : {m_back, m_next, m_finish, m_cancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
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

    m_wizard.SetObserver([this] { Redraw(); });
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, [this] { Step(); });
    m_timer.start(50);
    Redraw();
}

WizardWindow::~WizardWindow() {
    m_wizard.SetObserver(nullptr);
}

QWidget* WizardWindow::MakePage(App::Page& page) {
    auto* widget = new QWidget(this);
    auto* layout = new QVBoxLayout(widget);
    auto* texts = new QLabel(widget);
    texts->setWordWrap(true);
    texts->setTextFormat(Qt::PlainText);
    m_texts[page.Id()] = texts;
    layout->addWidget(texts);
    if (&page == &m_wizard.encOrDec) {
        auto* encrypt = new QPushButton(tr("&Encrypt files"), widget);
        auto* decrypt = new QPushButton(tr("&Decrypt a container"), widget);
        layout->addWidget(encrypt);
        layout->addWidget(decrypt);
        // The first page's two ways are the sheet's Next and Back.
        connect(encrypt, &QPushButton::clicked, this, [this] {
            m_wizard.PressNext();
            Step();
        });
        connect(decrypt, &QPushButton::clicked, this, [this] {
            m_wizard.PressBack();
            Step();
        });
        auto* preferences = new QPushButton(tr("&Preferences..."), widget);
        layout->addWidget(preferences);
        connect(preferences, &QPushButton::clicked, this,
                [this] { m_wizard.encOrDec.Preferences(); });
    } else if (&page == &m_wizard.encSource) {
        auto* files = new QPushButton(tr("Add &Files..."), widget);
        auto* folder = new QPushButton(tr("Add F&older..."), widget);
        m_files = new FileListModel(m_wizard.encSource.list, this);
        auto* view = new QTableView(widget);
        view->setModel(m_files);
        view->setAccessibleName(tr("Files to encrypt"));
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->horizontalHeader()->setStretchLastSection(true);
        layout->addWidget(view, 1);
        layout->addWidget(files);
        layout->addWidget(folder);
        setAcceptDrops(true);
        connect(files, &QPushButton::clicked, this, [this] { m_wizard.encSource.AddFiles(); });
        connect(folder, &QPushButton::clicked, this, [this] { m_wizard.encSource.AddFolder(); });
    } else if (&page == &m_wizard.encPassword) {
        m_password = PasswordEdit(widget, tr("Password"));
        m_confirmation = PasswordEdit(widget, tr("Confirm password"));
        layout->addWidget(m_password);
        layout->addWidget(m_confirmation);
        connect(m_password, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_wizard.encPassword.SetPassword(t); });
        });
        connect(m_confirmation, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_wizard.encPassword.SetConfirmation(t); });
        });
    } else if (&page == &m_wizard.decPassword) {
        m_decPassword = PasswordEdit(widget, tr("Password"));
        layout->addWidget(m_decPassword);
        connect(m_decPassword, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_wizard.decPassword.SetPassword(t); });
        });
    }
    layout->addStretch(1);
    return widget;
}

void WizardWindow::Redraw() {
    if (m_shown == m_wizard.Revision())
        return;
    m_shown = m_wizard.Revision();
    App::Page* page = m_wizard.ActivePage();
    if (!page)
        return;
    if (!m_wizard.Title().empty())
        setWindowTitle(Q(m_wizard.Title()));
    m_title->setText(Q(page->Title()));
    m_subtitle->setText(Q(page->Subtitle()));
    m_title->setVisible(!page->HeaderHidden());
    m_subtitle->setVisible(!page->HeaderHidden());
    const auto found = m_pages.find(page->Id());
    if (found != m_pages.end()) {
        // Leaving a password page: the fields drop what was typed.
        if (m_stack->currentWidget() != found->second)
            for (QLineEdit* field : {m_password, m_confirmation, m_decPassword})
                if (field && !found->second->isAncestorOf(field))
                    field->clear();
        m_stack->setCurrentWidget(found->second);
    }
    if (m_files && m_files->rowCount() != static_cast<int>(m_wizard.encSource.list.Count()))
        m_files->Refresh();
    QString text;
    for (const std::string& line : page->Texts())
        text += Q(line) + "\n";
    m_texts[page->Id()]->setText(text.trimmed());
    const unsigned bits = m_wizard.WizardButtons();
    const bool busy = page->Busy();
    m_back->setText(Q(m_wizard.BackText()));
    m_next->setText(Q(m_wizard.NextText()));
    m_back->setEnabled(!busy && (bits & App::kBack));
    m_next->setEnabled(!busy && (bits & App::kNext));
    m_finish->setVisible(bits & App::kFinish);
    m_finish->setEnabled(!busy && (bits & App::kFinish));
    m_cancel->setEnabled(m_wizard.CancelEnabled());
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

void WizardWindow::dragEnterEvent(QDragEnterEvent* event) {
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
