// The first page and the three encryption pages.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/qt/FileListModel.h"
#include "app/qt/PageViews.h"
#include "app/wizard/Wizard.h"

namespace Desk {

namespace {

// The first page has no header: it shows the welcome title and subtitle large itself.
class EncOrDecView : public PageView {
  public:
    EncOrDecView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        const auto texts = w.encOrDec.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(TitleRow(w.encOrDec.Title(), this));
        layout->addWidget(TextLabel(w.encOrDec.Subtitle(), this));
        layout->addSpacing(16);
        layout->addWidget(TextLabel(texts[0], this));
        m_status = BoldLabel("", this);
        layout->addWidget(m_status);
        layout->addStretch(1);
        auto* row = new QHBoxLayout;
        row->addWidget(TextLabel(texts[2], this), 1);
        m_preferences = new QPushButton(Mnemonic(texts[3], 'P'), this);
        m_preferences->setAccessibleName(Q(texts[3]));
        row->addWidget(m_preferences);
        layout->addLayout(row);
        connect(m_preferences, &QPushButton::clicked, this, [this] {
            Wizard().encOrDec.Preferences();
            StepSheet();
        });
    }

    void Refresh() override {
        const auto& p = Wizard().encOrDec;
        m_status->setText(Q(p.statusLine));
        m_status->setVisible(!p.statusLine.empty());
        m_preferences->setEnabled(p.preferencesEnabled);
    }

  private:
    QLabel* m_status;
    QPushButton* m_preferences;
};

class EncSourceView : public PageView {
  public:
    EncSourceView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        auto& p = w.encSource;
        const auto texts = p.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        m_list = new FileListView(p.list, this);
        m_list->setAccessibleName(tr("Files and folders to encrypt"));
        layout->addWidget(m_list, 1);
        auto* buttons = new QHBoxLayout;
        auto* files = new QPushButton(Mnemonic(texts[1], 'F'), this);
        auto* folder = new QPushButton(Mnemonic(texts[2], 'o'), this);
        auto* options = new QPushButton(Mnemonic(texts[3], 't'), this);
        for (QPushButton* b : {files, folder, options}) {
            b->setAutoDefault(false);
            buttons->addWidget(b);
        }
        files->setAccessibleName(Q(texts[1]));
        folder->setAccessibleName(Q(texts[2]));
        options->setAccessibleName(Q(texts[3]));
        buttons->addStretch(1);
        layout->addLayout(buttons);
        connect(files, &QPushButton::clicked, this, [this] {
            Wizard().encSource.AddFiles();
            StepSheet();
        });
        connect(folder, &QPushButton::clicked, this, [this] {
            Wizard().encSource.AddFolder();
            StepSheet();
        });
        connect(options, &QPushButton::clicked, this, [this] {
            Wizard().encSource.EditOptions();
            StepSheet();
        });
        m_list->onDelete = [this](std::vector<std::size_t> rows) {
            Wizard().encSource.RemoveRows(rows);
            StepSheet();
        };
    }

    void Refresh() override {
        m_list->Refresh();
        // Adding a folder runs in the background: the list waits, the window does not.
        setCursor(Wizard().encSource.Busy() ? Qt::BusyCursor : Qt::ArrowCursor);
    }
    QWidget* FirstFocus() override { return m_list; }

  private:
    FileListView* m_list;
};

class EncDestView : public PageView {
  public:
    EncDestView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        auto& p = w.encDest;
        const auto texts = p.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        QPushButton* browse = nullptr;
        m_name = PathRow(layout, this, texts[1], tr("Encrypted file name"), browse);
        layout->addSpacing(12);
        layout->addWidget(TextLabel(texts[2], this));
        m_normal = new QRadioButton(Mnemonic(texts[3], 'n'), this);
        m_standAlone = new QRadioButton(Mnemonic(texts[4], 's'), this);
        m_normal->setAccessibleName(Q(texts[3]));
        m_standAlone->setAccessibleName(Q(texts[4]));
        auto* kinds = new QButtonGroup(this);
        kinds->addButton(m_normal, 0);
        kinds->addButton(m_standAlone, 1);
        layout->addWidget(m_normal);
        layout->addWidget(m_standAlone);
        // Where the executable runs: only for the stand-alone kind.
        m_platformLabel = new QLabel(Q(texts[5]), this);
        m_windows = new QRadioButton(Mnemonic(texts[6], 'w'), this);
        m_linux = new QRadioButton(Mnemonic(texts[7], 'l'), this);
        m_windows->setAccessibleName(Q(texts[6]));
        m_linux->setAccessibleName(Q(texts[7]));
        auto* platforms = new QButtonGroup(this);
        platforms->addButton(m_windows, static_cast<int>(App::OperationRunner::Platform::Windows));
        platforms->addButton(m_linux, static_cast<int>(App::OperationRunner::Platform::Linux));
        auto* platformRow = new QHBoxLayout;
        platformRow->setContentsMargins(24, 0, 0, 0);
        platformRow->addWidget(m_platformLabel);
        platformRow->addWidget(m_windows);
        platformRow->addWidget(m_linux);
        platformRow->addStretch(1);
        layout->addLayout(platformRow);
        layout->addStretch(1);
        connect(platforms, &QButtonGroup::idClicked, this, [this](int platform) {
            Wizard().encDest.SetPlatform(static_cast<App::OperationRunner::Platform>(platform));
            StepSheet();
        });
        connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
            Wizard().encDest.SetName(text.toStdString());
            StepSheet();
        });
        connect(browse, &QPushButton::clicked, this, [this] {
            Wizard().encDest.Browse();
            StepSheet();
        });
        connect(kinds, &QButtonGroup::idClicked, this, [this](int kind) {
            Wizard().encDest.SetKind(kind);
            StepSheet();
        });
    }

    void Refresh() override {
        auto& p = Wizard().encDest;
        ShowText(m_name, p.name);
        (p.kind == 1 ? m_standAlone : m_normal)->setChecked(true);
        (p.platform == App::OperationRunner::Platform::Linux ? m_linux : m_windows)
            ->setChecked(true);
        for (QWidget* w : {static_cast<QWidget*>(m_platformLabel), static_cast<QWidget*>(m_windows),
                           static_cast<QWidget*>(m_linux)})
            w->setEnabled(p.PlatformApplies());
        FocusIfAsked(p.focusName, m_name);
    }
    QWidget* FirstFocus() override { return m_name; }

  private:
    QLineEdit* m_name;
    QRadioButton *m_normal, *m_standAlone;
    QLabel* m_platformLabel;
    QRadioButton *m_windows, *m_linux;
};

class EncPasswordView : public PageView {
  public:
    EncPasswordView(App::Wizard& w, StepFn step, QWidget* parent)
        : PageView(w, std::move(step), parent) {
        auto& p = w.encPassword;
        const auto texts = p.Texts();
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(TextLabel(texts[0], this));
        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        // The masked field and the plain one share a place; one shows at a time.
        m_fields = new QStackedWidget(this);
        m_password = PasswordEdit(this, Q(texts[1]));
        m_plain = new QLineEdit(this);
        m_plain->setAccessibleName(Q(texts[1]));
        m_plain->setMaxLength(256);
        m_fields->addWidget(m_password);
        m_fields->addWidget(m_plain);
        m_fields->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_fields->setFixedHeight(m_password->sizeHint().height());
        m_confirmation = PasswordEdit(this, Q(texts[2]));
        auto* passwordLabel = new QLabel(Mnemonic(texts[1], 'p'), this);
        passwordLabel->setBuddy(m_password);
        auto* confirmLabel = new QLabel(Mnemonic(texts[2], 'C'), this);
        confirmLabel->setBuddy(m_confirmation);
        form->addRow(passwordLabel, m_fields);
        form->addRow(confirmLabel, m_confirmation);
        m_strength = new QLabel(this);
        m_strength->setWordWrap(true);
        m_strength->setAccessibleName(tr("Password strength"));
        form->addRow(QString(), m_strength);
        layout->addLayout(form);
        auto* generateRow = new QHBoxLayout;
        generateRow->addWidget(TextLabel(texts[3], this), 1);
        auto* generate = new QPushButton(Mnemonic(texts[4], 'G'), this);
        generate->setAccessibleName(Q(texts[4]));
        generate->setAutoDefault(false);
        generateRow->addWidget(generate);
        layout->addLayout(generateRow);
        layout->addSpacing(8);
        m_question = TextLabel(
            "Would you also like to be able to use your emergency password to access this file?",
            this);
        layout->addWidget(m_question);
        m_emergency = new QCheckBox(Mnemonic("Enable my emergency password", 'm'), this);
        m_emergency->setAccessibleName(tr("Enable my emergency password"));
        layout->addWidget(m_emergency);
        m_status = TextLabel("", this);
        layout->addWidget(m_status);
        layout->addStretch(1);
        layout->addWidget(TextLabel(texts.back(), this));

        connect(m_password, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { Wizard().encPassword.SetPassword(t); });
            StepSheet();
        });
        connect(m_plain, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { Wizard().encPassword.SetPlainPassword(t); });
            StepSheet();
        });
        connect(m_confirmation, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { Wizard().encPassword.SetConfirmation(t); });
            StepSheet();
        });
        connect(generate, &QPushButton::clicked, this, [this] {
            Wizard().encPassword.GeneratePassword();
            StepSheet();
        });
        connect(m_emergency, &QCheckBox::clicked, this, [this](bool on) {
            Wizard().encPassword.SetEmergency(on);
            StepSheet();
        });
    }

    void Refresh() override {
        auto& p = Wizard().encPassword;
        const bool plain = p.plainView;
        if (plain && m_fields->currentWidget() != m_plain) {
            // A generated password is shown once, in the open; the confirmation holds it too.
            m_plain->setText(QString::fromUtf8(p.Password().View().data(),
                                               static_cast<int>(p.Password().View().size())));
            m_confirmation->setText(QString::fromUtf8(
                p.Confirmation().View().data(), static_cast<int>(p.Confirmation().View().size())));
            m_password->setText(m_plain->text());
            m_fields->setCurrentWidget(m_plain);
            m_plain->setFocus();
            m_plain->selectAll();
        } else if (!plain && m_fields->currentWidget() != m_password) {
            // Typing in the open field goes on in the masked one, with what was typed.
            m_password->setText(m_plain->text());
            Wipe(m_plain);
            m_fields->setCurrentWidget(m_password);
            m_password->setFocus();
        }
        // The page dropped what it held (a mismatch, or the run took it): so do the fields.
        if (p.Password().View().empty()) {
            Wipe(m_password);
            Wipe(m_plain);
        }
        if (p.Confirmation().View().empty())
            Wipe(m_confirmation);
        m_confirmation->setEnabled(p.ConfirmationEnabled());
        ShowStrength(m_strength, p.Password());
        m_question->setVisible(p.emergencyEnabled);
        m_emergency->setEnabled(p.emergencyEnabled);
        m_emergency->setChecked(p.emergencyTicked);
        m_status->setText(Q(p.emergencyStatus));
        m_status->setVisible(!p.emergencyStatus.empty());
        if (p.focusPassword) {
            p.focusPassword = false;
            m_fields->currentWidget()->setFocus();
        }
    }

    void Leave() override {
        for (QLineEdit* field : {m_password, m_plain, m_confirmation})
            Wipe(field);
    }
    QWidget* FirstFocus() override { return m_fields->currentWidget(); }

  private:
    QStackedWidget* m_fields;
    QLineEdit *m_password, *m_plain, *m_confirmation;
    QLabel *m_strength, *m_question, *m_status;
    QCheckBox* m_emergency;
};

}  // namespace

PageView* MakeEncryptionView(App::Wizard& w, App::Page& page, StepFn step, QWidget* parent) {
    if (&page == &w.encOrDec)
        return new EncOrDecView(w, std::move(step), parent);
    if (&page == &w.encSource)
        return new EncSourceView(w, std::move(step), parent);
    if (&page == &w.encDest)
        return new EncDestView(w, std::move(step), parent);
    if (&page == &w.encPassword)
        return new EncPasswordView(w, std::move(step), parent);
    return nullptr;
}

}  // namespace Desk
