#include "app/qt/QtDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>

#include "app/core/KeyFileDlg.h"
#include "app/core/Strings.h"
#include "app/prefs/AdminDialogs.h"
#include "app/prefs/PreferencesPages.h"
#include "app/qt/PageViews.h"

namespace Desk {

namespace {

using App::MessageBoxes;

// The field's text into a wiping buffer once; the field's own copies are overwritten and dropped.
App::Secret TakeSecret(QLineEdit& field) {
    QString text = field.text();
    QByteArray utf8 = text.toUtf8();
    App::Secret secret(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                       256);
    utf8.fill('\0');
    text.fill(QChar(u'\0'));
    field.setText(QString(field.text().size(), QChar(u' ')));
    field.clear();
    return secret;
}

QMessageBox::Icon ToQt(MessageBoxes::Icon icon) {
    switch (icon) {
        case MessageBoxes::Icon::Error:
            return QMessageBox::Critical;
        case MessageBoxes::Icon::Warning:
            return QMessageBox::Warning;
        case MessageBoxes::Icon::Information:
            return QMessageBox::Information;
        case MessageBoxes::Icon::Question:
            break;
    }
    return QMessageBox::Question;
}

QMessageBox::StandardButton ToQt(MessageBoxes::Answer answer) {
    switch (answer) {
        case MessageBoxes::Answer::Ok:
            return QMessageBox::Ok;
        case MessageBoxes::Answer::Cancel:
            return QMessageBox::Cancel;
        case MessageBoxes::Answer::Retry:
            return QMessageBox::Retry;
        case MessageBoxes::Answer::Yes:
            return QMessageBox::Yes;
        case MessageBoxes::Answer::No:
            break;
    }
    return QMessageBox::No;
}

QMessageBox::StandardButtons ToQt(MessageBoxes::Buttons buttons) {
    switch (buttons) {
        case MessageBoxes::Buttons::Ok:
            return QMessageBox::Ok;
        case MessageBoxes::Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageBoxes::Buttons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case MessageBoxes::Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageBoxes::Buttons::YesNoCancel:
            break;
    }
    return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
}

std::string Std(const QString& s) {
    return s.toStdString();
}

}  // namespace

QString QtFilter(const std::string& filter) {
    // Pairs of description and pattern, separated by '|', ended by "||".
    const QStringList parts = Q(filter).split(u'|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        const QString pattern = parts[i + 1].split(u';').join(u' ');
        filters << (parts[i].contains(u'(') ? parts[i] : parts[i] + " (" + pattern + ")");
    }
    return filters.join(";;");
}

MessageBoxes::Answer QtDialogs::Show(const std::string& text, const std::string& caption, Icon icon,
                                     Buttons buttons, Answer defaultButton) {
    QMessageBox box(ToQt(icon), Q(caption), Q(text), ToQt(buttons), m_parent);
    box.setDefaultButton(ToQt(defaultButton));
    switch (box.exec()) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Retry:
            return Answer::Retry;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return SafeAnswer(buttons);
    }
}

App::RunQuestions::Replace QtDialogs::ConfirmReplace(const std::string& text,
                                                     const std::string& path40) {
    QMessageBox box(QMessageBox::Question, kReplaceCaption, Q(text), QMessageBox::NoButton,
                    m_parent);
    box.setInformativeText(Q(path40));
    QPushButton* yes = box.addButton(QObject::tr("&Yes"), QMessageBox::YesRole);
    QPushButton* yesAll = box.addButton(QObject::tr("Yes to &All"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QObject::tr("&No"), QMessageBox::NoRole);
    QPushButton* noAll = box.addButton(QObject::tr("N&o to All"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QObject::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    box.exec();
    const QAbstractButton* pressed = box.clickedButton();
    if (pressed == yes)
        return Replace::Yes;
    if (pressed == yesAll)
        return Replace::YesToAll;
    if (pressed == no)
        return Replace::No;
    if (pressed == noAll)
        return Replace::NoToAll;
    return Replace::Cancel;
}

std::optional<std::string> QtDialogs::AskKeyFile(const std::string& administrator, bool create) {
    App::KeyFileDlg dlg(*this, this, administrator, create, App::KeyFileFolder());
    QDialog dialog(m_parent);
    dialog.setWindowTitle(Q(App::KeyFileDlg::kTitle));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(TextLabel(dlg.instruction, &dialog));
    auto* row = new QHBoxLayout;
    const auto texts = dlg.Texts();
    auto* label = new QLabel(Mnemonic(texts[1], 'K'), &dialog);
    auto* path = new QLineEdit(Q(dlg.path), &dialog);
    path->setAccessibleName(Q(texts[1]));
    path->setMinimumWidth(path->fontMetrics().averageCharWidth() * 48);
    label->setBuddy(path);
    auto* browse = new QPushButton(Mnemonic(texts[3], 'B'), &dialog);
    browse->setAccessibleName(Q(texts[3]));
    browse->setAutoDefault(false);
    row->addWidget(label);
    row->addWidget(path, 1);
    row->addWidget(browse);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(path, &QLineEdit::textEdited, &dialog,
                     [&dlg](const QString& text) { dlg.SetPath(Std(text)); });
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&dlg, path] {
        dlg.Browse();
        path->setText(Q(dlg.path));
    });
    // OK asks about an existing file to write, or a missing file to read; a refusal stays.
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, &dlg] {
        if (dlg.PressOk())
            dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    path->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.path;
}

std::optional<App::Secret> QtDialogs::AskAdministratorPassword(const std::string& stillNeeded) {
    QDialog dialog(m_parent);
    dialog.setWindowTitle(Q(kAdminPasswordCaption));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(TextLabel(kAdminPasswordTexts[0], &dialog));
    layout->addWidget(TextLabel(kAdminPasswordTexts[1], &dialog));
    if (!stillNeeded.empty()) {
        QLabel* needed = TextLabel(stillNeeded, &dialog);
        needed->setObjectName("stillNeeded");
        layout->addWidget(needed);
    }
    auto* form = new QFormLayout;
    auto* field = PasswordEdit(&dialog, Q(kAdminPasswordTexts[2]));
    auto* label = new QLabel(Mnemonic(kAdminPasswordTexts[2], 'A'), &dialog);
    label->setBuddy(field);
    form->addRow(label, field);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    QObject::connect(field, &QLineEdit::textChanged, &dialog, [ok](const QString& text) {
        ok->setEnabled(static_cast<std::size_t>(text.toUtf8().size()) >= kAdminPasswordMin);
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    App::Secret secret = TakeSecret(*field);
    if (!accepted)
        return std::nullopt;
    return secret;
}

std::vector<std::string> QtDialogs::ChooseFiles(const std::string& title) {
    std::vector<std::string> chosen;
    for (const QString& file : QFileDialog::getOpenFileNames(m_parent, Q(title)))
        chosen.push_back(Std(file));
    return chosen;
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& title,
                                                   const std::string& start) {
    const QString folder = QFileDialog::getExistingDirectory(m_parent, Q(title), Q(start));
    if (folder.isEmpty())
        return std::nullopt;
    return Std(folder);
}

std::optional<std::string> QtDialogs::ChooseSaveFile(const std::string& title,
                                                     const std::string& initial,
                                                     const std::string& filter,
                                                     const std::string& defaultExtension) {
    QFileDialog dialog(m_parent, Q(title), QString(), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(Q(defaultExtension));
    dialog.selectFile(Q(initial));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return Std(dialog.selectedFiles().front());
}

std::optional<std::string> QtDialogs::ChooseOpenFile(const std::string& title,
                                                     const std::string& initial,
                                                     const std::string& filter,
                                                     const std::string& defaultExtension) {
    QFileDialog dialog(m_parent, Q(title), QString(), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(Q(defaultExtension));
    dialog.selectFile(Q(initial));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return Std(dialog.selectedFiles().front());
}

bool QtDialogs::EditSourceOptions(SourceOptions& options) {
    const char* const* t = kSourceOptionsTexts;
    QDialog dialog(m_parent);
    dialog.setWindowTitle(Q(kSourceOptionsTitle));
    auto* layout = new QVBoxLayout(&dialog);
    auto* pathBox = new QGroupBox(Q(t[0]), &dialog);
    auto* pathColumn = new QVBoxLayout(pathBox);
    pathColumn->addWidget(TextLabel(t[1], pathBox));
    auto* paths = new QButtonGroup(&dialog);
    const char keys[] = {'C', 'F', 'u'};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(Mnemonic(t[2 + i], keys[i]), pathBox);
        radio->setAccessibleName(Q(t[2 + i]));
        paths->addButton(radio, i);
        pathColumn->addWidget(radio);
    }
    paths->button(std::clamp(options.pathOption, 0, 2))->setChecked(true);
    layout->addWidget(pathBox);
    auto* deletionBox = new QGroupBox(Q(t[5]), &dialog);
    auto* deletionColumn = new QVBoxLayout(deletionBox);
    deletionColumn->addWidget(TextLabel(t[6], deletionBox));
    auto* row = new QHBoxLayout;
    auto* please = new QLabel(Mnemonic(t[7], 'P'), deletionBox);
    auto* deletion = new QComboBox(deletionBox);
    for (App::StringId id : {App::StringId::DeletionKeep, App::StringId::DeletionRecycle,
                             App::StringId::DeletionDelete, App::StringId::DeletionOverwrite,
                             App::StringId::DeletionEradicate})
        deletion->addItem(Q(App::Text(id)));
    deletion->setCurrentIndex(std::clamp(options.deletionIndex, 0, 4));
    deletion->setAccessibleName(QObject::tr("What to do with the input files"));
    please->setBuddy(deletion);
    row->addWidget(please);
    row->addWidget(deletion);
    row->addWidget(new QLabel(Q(t[8]), deletionBox));
    row->addStretch(1);
    deletionColumn->addLayout(row);
    auto* confirm = new QCheckBox(Mnemonic(t[9], 'A'), deletionBox);
    confirm->setAccessibleName(Q(t[9]));
    confirm->setChecked(options.confirm);
    // Only a deletion can be confirmed.
    const auto update = [deletion, confirm] { confirm->setEnabled(deletion->currentIndex() != 0); };
    update();
    QObject::connect(deletion, QOverload<int>::of(&QComboBox::currentIndexChanged), &dialog,
                     update);
    deletionColumn->addWidget(confirm);
    layout->addWidget(deletionBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.pathOption = paths->checkedId();
    options.deletionIndex = deletion->currentIndex();
    options.confirm = confirm->isChecked();
    return true;
}

bool QtDialogs::ShowPreferences() {
    return m_preferences && m_preferences();
}

std::optional<App::PreferencesDialogs::NewAdministrator> QtDialogs::AskNewAdministrator() {
    App::NewAdminDlg dlg(*this);
    const auto t = dlg.Texts();
    QDialog dialog(m_parent);
    dialog.setWindowTitle(Q(App::NewAdminDlg::kTitle));
    auto* layout = new QVBoxLayout(&dialog);

    auto* nameBox = new QGroupBox(Q(t[0]), &dialog);
    auto* nameColumn = new QVBoxLayout(nameBox);
    nameColumn->addWidget(TextLabel(t[1], nameBox));
    auto* nameForm = new QFormLayout;
    auto* name = new QLineEdit(nameBox);
    name->setAccessibleName(Q(t[2]));
    auto* nameLabel = new QLabel(Mnemonic(t[2], 'n'), nameBox);
    nameLabel->setBuddy(name);
    nameForm->addRow(nameLabel, name);
    nameColumn->addLayout(nameForm);
    layout->addWidget(nameBox);

    auto* passwordBox = new QGroupBox(Q(t[3]), &dialog);
    auto* passwordColumn = new QVBoxLayout(passwordBox);
    passwordColumn->addWidget(TextLabel(t[4], passwordBox));
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto* fields = new QStackedWidget(passwordBox);
    auto* password = PasswordEdit(passwordBox, Q(t[5]));
    auto* plain = new QLineEdit(passwordBox);
    plain->setAccessibleName(Q(t[5]));
    fields->addWidget(password);
    fields->addWidget(plain);
    fields->setFixedHeight(password->sizeHint().height());
    auto* confirmation = PasswordEdit(passwordBox, Q(t[6]));
    auto* passwordLabel = new QLabel(Mnemonic(t[5], 'p'), passwordBox);
    passwordLabel->setBuddy(password);
    auto* confirmLabel = new QLabel(Mnemonic(t[6], 'C'), passwordBox);
    confirmLabel->setBuddy(confirmation);
    form->addRow(passwordLabel, fields);
    form->addRow(confirmLabel, confirmation);
    auto* strength = new QLabel(passwordBox);
    strength->setWordWrap(true);
    strength->setAccessibleName(QObject::tr("Password strength"));
    form->addRow(QString(), strength);
    passwordColumn->addLayout(form);
    auto* generateRow = new QHBoxLayout;
    generateRow->addWidget(TextLabel(t[7], passwordBox), 1);
    auto* generate = new QPushButton(Mnemonic(t[8], 'G'), passwordBox);
    generate->setAccessibleName(Q(t[8]));
    generate->setAutoDefault(false);
    generateRow->addWidget(generate);
    passwordColumn->addLayout(generateRow);
    layout->addWidget(passwordBox);

    auto* keyBox = new QGroupBox(Q(t[9]), &dialog);
    auto* keyColumn = new QVBoxLayout(keyBox);
    keyColumn->addWidget(TextLabel(t[10], keyBox));
    auto* passwordOnly = new QRadioButton(Mnemonic(t[11], 'o'), keyBox);
    auto* withKeyFile = new QRadioButton(Mnemonic(t[12], 'k'), keyBox);
    passwordOnly->setAccessibleName(Q(t[11]));
    withKeyFile->setAccessibleName(Q(t[12]));
    (dlg.keyFile ? withKeyFile : passwordOnly)->setChecked(true);
    keyColumn->addWidget(passwordOnly);
    keyColumn->addWidget(withKeyFile);
    layout->addWidget(keyBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);

    const auto update = [&] {
        password->setEnabled(dlg.PasswordEnabled());
        plain->setEnabled(dlg.PasswordEnabled());
        generate->setEnabled(dlg.PasswordEnabled());
        confirmation->setEnabled(dlg.ConfirmationEnabled());
        ShowStrength(strength, dlg.Password());
        fields->setCurrentWidget(dlg.plainView ? plain : password);
        ok->setEnabled(dlg.OkEnabled());
    };
    QObject::connect(name, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
        dlg.SetName(Std(text));
        update();
    });
    QObject::connect(password, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
        Forward(text, [&](std::string_view v) { dlg.SetPassword(v); });
        Wipe(plain);
        update();
    });
    QObject::connect(plain, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
        Forward(text, [&](std::string_view v) { dlg.SetPlainPassword(v); });
        password->setText(text);
        update();
    });
    QObject::connect(confirmation, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
        Forward(text, [&](std::string_view v) { dlg.SetConfirmation(v); });
        update();
    });
    QObject::connect(generate, &QPushButton::clicked, &dialog, [&] {
        dlg.GeneratePassword();
        const std::string_view generated = dlg.Password().View();
        plain->setText(QString::fromUtf8(generated.data(), static_cast<int>(generated.size())));
        password->setText(plain->text());
        confirmation->setText(plain->text());
        update();
    });
    QObject::connect(passwordOnly, &QRadioButton::clicked, &dialog, [&] {
        dlg.SetKeyFile(false);
        update();
    });
    QObject::connect(withKeyFile, &QRadioButton::clicked, &dialog, [&] {
        dlg.SetKeyFile(true);
        update();
    });
    // A mismatch is shown by the dialog's logic and keeps it open.
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (dlg.PressOk()) {
            dialog.accept();
            return;
        }
        if (dlg.focusPassword) {
            dlg.focusPassword = false;
            fields->currentWidget()->setFocus();
        }
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    update();
    name->setFocus();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    for (QLineEdit* field : {password, plain, confirmation})
        Wipe(field);
    if (!accepted)
        return std::nullopt;
    return dlg.Result();
}

std::optional<App::Secret> QtDialogs::AskOrganisationPassword(std::size_t minLength) {
    App::OrgPasswordDlg dlg(minLength);
    const auto t = dlg.Texts();
    QDialog dialog(m_parent);
    dialog.setWindowTitle(Q(App::kPrefsMessageCaption));
    auto* layout = new QVBoxLayout(&dialog);
    for (const std::string& line : t)
        layout->addWidget(TextLabel(line, &dialog));
    auto* field = PasswordEdit(&dialog, QObject::tr("Organisation password"));
    field->setMaxLength(static_cast<int>(App::OrgPasswordDlg::kMaxLength));
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(dlg.OkEnabled());
    QObject::connect(field, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
        Forward(text, [&](std::string_view v) { dlg.SetPassword(v); });
        ok->setEnabled(dlg.OkEnabled());
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    Wipe(field);
    if (!accepted)
        return std::nullopt;
    return App::Secret(dlg.Password().View(), App::OrgPasswordDlg::kMaxLength);
}

}  // namespace Desk
