#include "app/qt/PageViews.h"

#include <QByteArray>

#include <QHBoxLayout>
#include <QtSvgWidgets/QSvgWidget>
#include "app/core/PasswordStrength.h"

namespace Desk {

QString Mnemonic(const std::string& text, char key) {
    QString out = Q(text);
    const int at = out.indexOf(QChar(key));
    if (at >= 0)
        out.insert(at, '&');
    return out;
}

QLayout* TitleRow(const std::string& text, QWidget* parent) {
    auto* title = new QLabel(Q(text), parent);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title->setFont(big);
    title->setWordWrap(true);
    auto* row = new QHBoxLayout;
    auto* picture = new QSvgWidget(":/cryvan/cryvan.svg", parent);
    const int side = title->fontMetrics().height() * 3;
    picture->setFixedSize(side, side);
    row->addWidget(picture);
    row->addSpacing(side / 4);
    row->addWidget(title, 1);
    return row;
}

QLabel* BoldLabel(const std::string& text, QWidget* parent) {
    QLabel* label = TextLabel(text, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QLineEdit* PathRow(QBoxLayout* layout, QWidget* parent, const std::string& browseText,
                   const QString& accessibleName, QPushButton*& browse) {
    auto* row = new QHBoxLayout;
    auto* field = new QLineEdit(parent);
    field->setAccessibleName(accessibleName);
    field->setMaxLength(256);
    browse = new QPushButton(Mnemonic(browseText, 'B'), parent);
    browse->setAccessibleName(Q(browseText));
    browse->setAutoDefault(false);
    row->addWidget(field, 1);
    row->addWidget(browse);
    layout->addLayout(row);
    return field;
}

void ShowText(QLineEdit* field, const std::string& text) {
    if (field->text().toStdString() != text)
        field->setText(Q(text));
}

void FocusIfAsked(bool& asked, QLineEdit* field) {
    if (!asked)
        return;
    asked = false;
    field->setFocus();
    field->selectAll();
}

QLabel* TextLabel(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(Q(text), parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}

QLineEdit* PasswordEdit(QWidget* parent, const QString& accessibleName) {
    auto* field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setAccessibleName(accessibleName);
    field->setDragEnabled(false);
    field->setContextMenuPolicy(Qt::NoContextMenu);
    field->setMaxLength(256);
    return field;
}

void Forward(const QString& text, const std::function<void(std::string_view)>& set) {
    QByteArray utf8 = text.toUtf8();
    set(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    utf8.fill('\0');
}

void ShowStrength(QLabel* label, const App::Secret& password) {
    const std::vector<std::string> lines = App::StrengthLines(password);
    QString text;
    for (const std::string& line : lines)
        text += (text.isEmpty() ? "" : "\n") + Q(line);
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

void Wipe(QLineEdit* field) {
    if (!field || field->text().isEmpty())
        return;
    // The field's own buffer is overwritten by a text of the same length before it is dropped.
    field->setText(QString(field->text().size(), QChar('\0')));
    field->clear();
}

}  // namespace Desk
