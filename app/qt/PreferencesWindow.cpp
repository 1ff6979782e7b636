#include "app/qt/PreferencesWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/qt/PageViews.h"

namespace Desk {

struct PreferencesWindow::Controls {
    // Pop-up menu: three lists, each with its confirmation box.
    QComboBox* deletion[3] = {};
    QCheckBox* confirm[3] = {};
    QComboBox* platform = nullptr;
    // Emergency password.
    QWidget* emergencyPage = nullptr;
    QLabel* header = nullptr;
    QStackedWidget* fields = nullptr;
    QLineEdit *password = nullptr, *plain = nullptr, *confirmation = nullptr;
    QLabel* strength = nullptr;
    QPushButton* generate = nullptr;
    QCheckBox* byDefault = nullptr;
    QList<QWidget*> emergencyControls;
    // Administrators.
    QListWidget* admins = nullptr;
    QPushButton* remove = nullptr;
    QLabel *require = nullptr, *requireTail = nullptr;
    QSpinBox* k = nullptr;
    QCheckBox* permit = nullptr;
    bool refreshing = false;
};

namespace {

QString FromSecret(const App::Secret& secret) {
    const std::string_view view = secret.View();
    return QString::fromUtf8(view.data(), static_cast<int>(view.size()));
}

}  // namespace

PreferencesWindow::PreferencesWindow(App::CryvanPrefs& prefs, QWidget* parent)
    : QDialog(parent), m_prefs(prefs), m_controls(std::make_unique<Controls>()) {
    Controls& c = *m_controls;
    setWindowTitle(Q(App::kPrefsCaption));
    setWindowIcon(QIcon(":/cryvan/cryvan.svg"));
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs, 1);

    // Pop-up menu.
    {
        App::PopUpPg& p = prefs.PopUp();
        const auto texts = p.Texts();
        auto* page = new QWidget(this);
        auto* box = new QGroupBox(Q(texts[0]), page);
        auto* column = new QVBoxLayout(box);
        column->addWidget(TextLabel(texts[1], box));
        for (int i = 0; i < 3; ++i) {
            column->addSpacing(8);
            auto* label = TextLabel(texts[2 + i], box);
            column->addWidget(label);
            auto* row = new QHBoxLayout;
            c.deletion[i] = new QComboBox(box);
            for (const std::string& item : i == 2 ? p.MenuItems() : p.DeletionItems())
                c.deletion[i]->addItem(Q(item));
            c.deletion[i]->setAccessibleName(Q(texts[2 + i]));
            label->setBuddy(c.deletion[i]);
            c.confirm[i] = new QCheckBox(Q(texts[5]), box);
            c.confirm[i]->setAccessibleName(Q(texts[2 + i] + " " + texts[5]));
            row->addWidget(c.deletion[i]);
            row->addWidget(c.confirm[i]);
            row->addStretch(1);
            column->addLayout(row);
            connect(c.deletion[i], QOverload<int>::of(&QComboBox::activated), this,
                    [this, i](int index) {
                        App::PopUpPg& pp = m_prefs.PopUp();
                        std::uint32_t* values[] = {&pp.encryptDeletion, &pp.decryptDeletion,
                                                   &pp.menuDeletion};
                        *values[i] = static_cast<std::uint32_t>(index);
                    });
            connect(c.confirm[i], &QCheckBox::clicked, this, [this, i](bool on) {
                App::PopUpPg& pp = m_prefs.PopUp();
                std::uint32_t* values[] = {&pp.confirmEncrypt, &pp.confirmDecrypt, &pp.confirmMenu};
                *values[i] = on ? 1 : 0;
            });
        }
        column->addSpacing(8);
        auto* platformLabel = TextLabel(texts[6], box);
        column->addWidget(platformLabel);
        c.platform = new QComboBox(box);
        for (const std::string& item : p.PlatformItems())
            c.platform->addItem(Q(item));
        c.platform->setAccessibleName(Q(texts[6]));
        platformLabel->setBuddy(c.platform);
        auto* platformRow = new QHBoxLayout;
        platformRow->addWidget(c.platform);
        platformRow->addStretch(1);
        column->addLayout(platformRow);
        connect(c.platform, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
            m_prefs.PopUp().standAlonePlatform = static_cast<std::uint32_t>(index);
        });
        column->addStretch(1);
        auto* outer = new QVBoxLayout(page);
        outer->addWidget(box);
        m_tabs->addTab(page, Q(p.Title()));
        page->setProperty("pageId", App::kPopUpPg);
    }

    // Emergency password.
    {
        App::EmergencyPasswordPg& p = prefs.Emergency();
        const auto texts = p.Texts();
        auto* page = new QWidget(this);
        c.emergencyPage = page;
        auto* box = new QGroupBox(Q(texts[0]), page);
        auto* column = new QVBoxLayout(box);
        c.header = TextLabel(texts[1], box);
        column->addWidget(c.header);
        auto* form = new QFormLayout;
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        c.fields = new QStackedWidget(box);
        c.password = PasswordEdit(box, Q(texts[2]));
        c.plain = new QLineEdit(box);
        c.plain->setAccessibleName(Q(texts[2]));
        c.fields->addWidget(c.password);
        c.fields->addWidget(c.plain);
        c.fields->setFixedHeight(c.password->sizeHint().height());
        c.confirmation = PasswordEdit(box, Q(texts[3]));
        auto* passwordLabel = new QLabel(Mnemonic(texts[2], 'E'), box);
        passwordLabel->setBuddy(c.password);
        auto* confirmLabel = new QLabel(Mnemonic(texts[3], 'C'), box);
        confirmLabel->setBuddy(c.confirmation);
        form->addRow(passwordLabel, c.fields);
        form->addRow(confirmLabel, c.confirmation);
        c.strength = new QLabel(box);
        c.strength->setWordWrap(true);
        c.strength->setAccessibleName(tr("Password strength"));
        form->addRow(QString(), c.strength);
        column->addLayout(form);
        auto* generateRow = new QHBoxLayout;
        auto* invitation = TextLabel(texts[4], box);
        generateRow->addWidget(invitation, 1);
        c.generate = new QPushButton(Mnemonic(texts[5], 'G'), box);
        c.generate->setAccessibleName(Q(texts[5]));
        c.generate->setAutoDefault(false);
        generateRow->addWidget(c.generate);
        column->addLayout(generateRow);
        column->addSpacing(8);
        auto* question = TextLabel(texts[6], box);
        column->addWidget(question);
        c.byDefault = new QCheckBox(Mnemonic(texts[7], 'b'), box);
        c.byDefault->setAccessibleName(Q(texts[7]));
        column->addWidget(c.byDefault);
        column->addStretch(1);
        c.emergencyControls = {passwordLabel, c.fields,   confirmLabel, c.confirmation,
                               invitation,    c.generate, question,     c.byDefault};
        auto* outer = new QVBoxLayout(page);
        outer->addWidget(box);
        m_tabs->addTab(page, Q(p.Title()));
        page->setProperty("pageId", App::kEmergencyPasswordPg);

        connect(c.password, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_prefs.Emergency().SetPassword(t); });
            // Typing over the placeholder leaves what the page kept: show exactly that.
            Controls& cc = *m_controls;
            const QString kept = FromSecret(m_prefs.Emergency().Password());
            if (kept != cc.password->text()) {
                cc.password->setText(kept);
                cc.password->setCursorPosition(static_cast<int>(m_prefs.Emergency().caret));
            }
            Refresh();
        });
        connect(c.plain, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_prefs.Emergency().SetPlainPassword(t); });
            m_controls->password->setText(text);
            Refresh();
        });
        connect(c.confirmation, &QLineEdit::textEdited, this, [this](const QString& text) {
            Forward(text, [this](std::string_view t) { m_prefs.Emergency().SetConfirmation(t); });
            Refresh();
        });
        connect(c.generate, &QPushButton::clicked, this, [this] {
            m_prefs.Emergency().GeneratePassword();
            Controls& cc = *m_controls;
            cc.plain->setText(FromSecret(m_prefs.Emergency().Password()));
            cc.password->setText(cc.plain->text());
            cc.confirmation->setText(FromSecret(m_prefs.Emergency().Confirmation()));
            Refresh();
        });
        connect(c.byDefault, &QCheckBox::clicked, this, [this](bool on) {
            m_prefs.Emergency().SetDefault(on);
            Refresh();
        });
    }

    // Administrators, where the sheet offers them.
    if (App::AdminPg* admin = prefs.Admin()) {
        const auto texts = admin->Texts();
        auto* page = new QWidget(this);
        auto* outer = new QVBoxLayout(page);
        auto* box = new QGroupBox(Q(texts[0]), page);
        auto* column = new QVBoxLayout(box);
        column->addWidget(TextLabel(texts[1], box));
        auto* listRow = new QHBoxLayout;
        c.admins = new QListWidget(box);
        c.admins->setSelectionMode(QAbstractItemView::ExtendedSelection);
        c.admins->setAccessibleName(Q(texts[2]));
        listRow->addWidget(c.admins, 1);
        auto* buttons = new QVBoxLayout;
        auto* add = new QPushButton(Mnemonic(texts[3], 'A'), box);
        add->setAccessibleName(Q(texts[3]));
        c.remove = new QPushButton(Mnemonic(texts[4], 'R'), box);
        c.remove->setAccessibleName(Q(texts[4]));
        for (QPushButton* b : {add, c.remove}) {
            b->setAutoDefault(false);
            buttons->addWidget(b);
        }
        buttons->addStretch(1);
        listRow->addLayout(buttons);
        column->addLayout(listRow);
        auto* kRow = new QHBoxLayout;
        c.require = new QLabel(Q(texts[5]), box);
        c.k = new QSpinBox(box);
        c.k->setAccessibleName(tr("Administrators required"));
        c.require->setBuddy(c.k);
        c.requireTail = new QLabel(Q(texts[6]), box);
        kRow->addWidget(c.require);
        kRow->addWidget(c.k);
        kRow->addWidget(c.requireTail);
        kRow->addStretch(1);
        column->addLayout(kRow);
        outer->addWidget(box);
        auto* permitBox = new QGroupBox(Q(texts[7]), page);
        auto* permitColumn = new QVBoxLayout(permitBox);
        c.permit = new QCheckBox(Q(texts[8]), permitBox);
        c.permit->setAccessibleName(Q(texts[8]));
        permitColumn->addWidget(c.permit);
        outer->addWidget(permitBox);
        m_tabs->addTab(page, Q(admin->Title()));
        page->setProperty("pageId", App::kAdminPg);

        connect(add, &QPushButton::clicked, this, [this] {
            m_prefs.Admin()->Add();
            Refresh();
        });
        connect(c.remove, &QPushButton::clicked, this, [this] {
            m_prefs.Admin()->Remove();
            Refresh();
        });
        connect(c.admins, &QListWidget::itemSelectionChanged, this, [this] {
            Controls& cc = *m_controls;
            if (cc.refreshing)
                return;
            for (int row = 0; row < cc.admins->count(); ++row)
                m_prefs.Admin()->Select(static_cast<std::size_t>(row),
                                        cc.admins->item(row)->isSelected());
            Refresh();
        });
        connect(c.k, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int value) {
            if (m_controls->refreshing)
                return;
            m_prefs.Admin()->SetK(value);
            Refresh();
        });
        connect(c.permit, &QCheckBox::clicked, this, [this](bool on) {
            m_prefs.Admin()->SetPermit(on);
            Refresh();
        });
    }

    // A tab shown is a page activated: it reads its values when first displayed.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_controls->refreshing)
            return;
        m_prefs.SetActivePage(m_tabs->widget(index)->property("pageId").toInt());
        Refresh();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesWindow::reject);
    layout->addWidget(buttons);
    const int em = fontMetrics().averageCharWidth();
    resize(em * 80, fontMetrics().height() * 30);
    Refresh();
}

PreferencesWindow::~PreferencesWindow() {
    WipeFields();
}

void PreferencesWindow::WipeFields() {
    Controls& c = *m_controls;
    for (QLineEdit* field : {c.password, c.plain, c.confirmation})
        Wipe(field);
}

void PreferencesWindow::Refresh() {
    Controls& c = *m_controls;
    c.refreshing = true;
    // The page in front: the one the sheet shows (a refusing page brings itself forward).
    for (int i = 0; i < m_tabs->count(); ++i)
        if (m_prefs.ActivePage() &&
            m_tabs->widget(i)->property("pageId").toInt() == m_prefs.ActivePage()->Id())
            m_tabs->setCurrentIndex(i);

    const App::PopUpPg& popUp = m_prefs.PopUp();
    const std::uint32_t deletion[] = {popUp.encryptDeletion, popUp.decryptDeletion,
                                      popUp.menuDeletion};
    const std::uint32_t confirm[] = {popUp.confirmEncrypt, popUp.confirmDecrypt, popUp.confirmMenu};
    for (int i = 0; i < 3; ++i) {
        c.deletion[i]->setCurrentIndex(static_cast<int>(deletion[i]));
        c.confirm[i]->setChecked(confirm[i] != 0);
    }
    c.platform->setCurrentIndex(static_cast<int>(popUp.standAlonePlatform));

    App::EmergencyPasswordPg& e = m_prefs.Emergency();
    if (e.Shown()) {
        c.header->setText(Q(e.header));
        for (QWidget* w : c.emergencyControls)
            w->setEnabled(e.enabled);
        if (e.placeholderShown) {
            const QString placeholder = QString::fromLatin1(App::EmergencyPasswordPg::kPlaceholder);
            if (c.password->text() != placeholder) {
                c.password->setText(placeholder);
                c.confirmation->setText(placeholder);
            }
        }
        c.fields->setCurrentWidget(e.plainView ? c.plain : c.password);
        if (!e.plainView)
            Wipe(c.plain);
        if (e.Password().View().empty() && !e.placeholderShown)
            Wipe(c.password);
        if (e.Confirmation().View().empty() && !e.placeholderShown)
            Wipe(c.confirmation);
        c.byDefault->setChecked(e.defaultTicked);
        if (e.placeholderShown)
            c.strength->hide();
        else
            ShowStrength(c.strength, e.Password());
        if (e.focusPassword) {
            e.focusPassword = false;
            c.fields->currentWidget()->setFocus();
        }
    }

    if (App::AdminPg* a = m_prefs.Admin(); a && a->Shown()) {
        if (c.admins->count() != static_cast<int>(a->names.size())) {
            c.admins->clear();
            for (const std::string& name : a->names)
                c.admins->addItem(Q(name));
        }
        for (int row = 0; row < c.admins->count(); ++row)
            c.admins->item(row)->setSelected(static_cast<std::size_t>(row) < a->selected.size() &&
                                             a->selected[static_cast<std::size_t>(row)]);
        c.remove->setEnabled(a->removeEnabled);
        c.require->setEnabled(a->requireEnabled);
        c.requireTail->setEnabled(a->requireEnabled);
        c.k->setRange(a->spinMin, a->spinMax);
        c.k->setValue(a->k);
        c.k->setEnabled(a->kEnabled);
        c.permit->setChecked(a->permit);
    }
    c.refreshing = false;
}

void PreferencesWindow::accept() {
    if (m_prefs.PressOk()) {
        WipeFields();
        QDialog::accept();
        return;
    }
    Refresh();
}

void PreferencesWindow::reject() {
    m_prefs.PressCancel();
    WipeFields();
    QDialog::reject();
}

App::PreferencesResult ShowPreferences(App::CryvanPrefs& prefs, QWidget* parent) {
    PreferencesWindow window(prefs, parent);
    return window.exec() == QDialog::Accepted ? App::PreferencesResult::Ok
                                              : App::PreferencesResult::Cancelled;
}

}  // namespace Desk
