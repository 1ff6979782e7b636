#include "app/qt/QtDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "app/core/Strings.h"

namespace Desk {

namespace {

using App::MessageBoxes;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

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

// A password dialog: one field without echo, OK enabled once it holds `minLength` characters.
std::optional<App::Secret> AskPassword(QWidget* parent, const QString& caption,
                                       const QString& prompt, std::size_t minLength) {
    QDialog dialog(parent);
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* field = new QLineEdit(&dialog);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName(prompt);
    label->setBuddy(field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(minLength == 0);
    QObject::connect(field, &QLineEdit::textChanged, &dialog, [=](const QString& text) {
        ok->setEnabled(static_cast<std::size_t>(text.size()) >= minLength);
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(field);
    layout->addWidget(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    App::Secret secret = TakeSecret(*field);
    if (!accepted)
        return std::nullopt;
    return secret;
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
    const std::string title = "Key file of " + administrator;
    const std::string filter = "Key files (*.key)|*.key|All files (*)|*||";
    return create ? ChooseSaveFile(title, administrator + ".key", filter, "key")
                  : ChooseOpenFile(title, administrator + ".key", filter, "key");
}

std::optional<App::Secret> QtDialogs::AskAdministratorPassword() {
    return AskPassword(m_parent, QStringLiteral("Cryvan Message Recovery"),
                       QObject::tr("Administrator &password:"), 0);
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
    QDialog dialog(m_parent);
    dialog.setWindowTitle(QObject::tr("Source File Options"));
    auto* form = new QFormLayout(&dialog);
    auto* paths = new QComboBox(&dialog);
    paths->addItems({QObject::tr("Store relative paths"), QObject::tr("Store full paths"),
                     QObject::tr("Do not store paths")});
    paths->setCurrentIndex(options.pathOption);
    auto* deletion = new QComboBox(&dialog);
    deletion->addItems({QObject::tr("Do not delete"), QObject::tr("Move to the trash"),
                        QObject::tr("Delete"), QObject::tr("Wipe once"),
                        QObject::tr("Wipe several times")});
    deletion->setCurrentIndex(options.deletionIndex);
    auto* confirm = new QCheckBox(QObject::tr("&Confirm before deleting"), &dialog);
    confirm->setChecked(options.confirm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(QObject::tr("&Paths:"), paths);
    form->addRow(QObject::tr("&Source files:"), deletion);
    form->addRow(confirm);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options.pathOption = paths->currentIndex();
    options.deletionIndex = deletion->currentIndex();
    options.confirm = confirm->isChecked();
    return true;
}

bool QtDialogs::ShowPreferences() {
    return m_preferences && m_preferences();
}

std::optional<App::PreferencesDialogs::NewAdministrator> QtDialogs::AskNewAdministrator() {
    QDialog dialog(m_parent);
    dialog.setWindowTitle(QObject::tr("New Cryvan Administrator"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(&dialog);
    auto* password = new QLineEdit(&dialog);
    auto* again = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    again->setEchoMode(QLineEdit::Password);
    auto* keyFile = new QCheckBox(QObject::tr("Write a &key file"), &dialog);
    keyFile->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto update = [=] {
        ok->setEnabled(!name->text().trimmed().isEmpty() && !password->text().isEmpty() &&
                       password->text() == again->text());
    };
    update();
    QObject::connect(name, &QLineEdit::textChanged, &dialog, update);
    QObject::connect(password, &QLineEdit::textChanged, &dialog, update);
    QObject::connect(again, &QLineEdit::textChanged, &dialog, update);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(QObject::tr("&Name:"), name);
    form->addRow(QObject::tr("&Password:"), password);
    form->addRow(QObject::tr("&Confirm:"), again);
    form->addRow(keyFile);
    form->addRow(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    App::Secret secret = TakeSecret(*password);
    App::Secret confirmation = TakeSecret(*again);
    if (!accepted)
        return std::nullopt;
    NewAdministrator result{Std(name->text().trimmed()), std::move(secret), keyFile->isChecked()};
    return result;
}

std::optional<App::Secret> QtDialogs::AskOrganisationPassword(std::size_t minLength) {
    return AskPassword(m_parent, QObject::tr("Organisation Password"),
                       QObject::tr("Organisation &password:"), minLength);
}

}  // namespace Desk
