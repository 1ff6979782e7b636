// The views of the wizard's pages, one factory per group; the window asks each in turn.
#pragma once

#include <QBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "app/qt/PageView.h"

namespace App {
class Page;
class Secret;
}  // namespace App

namespace Desk {

using StepFn = std::function<void()>;

// Null when the page is not one of the group's.
PageView* MakeEncryptionView(App::Wizard& wizard, App::Page& page, StepFn step, QWidget* parent);
PageView* MakeDecryptionView(App::Wizard& wizard, App::Page& page, StepFn step, QWidget* parent);
PageView* MakeProgressView(App::Wizard& wizard, App::Page& page, StepFn step, QWidget* parent);

// What the views share.
// The pages without a header (welcome, end): our picture beside their large title.
QLayout* TitleRow(const std::string& title, QWidget* parent);
// A word-wrapped label in bold.
QLabel* BoldLabel(const std::string& text, QWidget* parent);
// A path field with "Browse..." beside it, added to `layout`.
QLineEdit* PathRow(QBoxLayout* layout, QWidget* parent, const std::string& browseText,
                   const QString& accessibleName, QPushButton*& browse);
// Shows `text` unless the field already holds it (a redraw must not move the caret).
void ShowText(QLineEdit* field, const std::string& text);
// A field the page asked to focus gets the focus with its text selected; the request is used up.
void FocusIfAsked(bool& asked, QLineEdit* field);
inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
// "Add Files..." with an Alt key: '&' before the first `key` in the text.
QString Mnemonic(const std::string& text, char key);
// A word-wrapped plain-text label that grows with the window rather than clipping.
QLabel* TextLabel(const std::string& text, QWidget* parent);
// A masked field with no undo history or drag-out, so its text has as few copies as possible.
QLineEdit* PasswordEdit(QWidget* parent, const QString& accessibleName);
// Hands what a field holds to the page, then overwrites the transient UTF-8 copy.
void Forward(const QString& text, const std::function<void(std::string_view)>& set);
// The strength estimate of a new password under its field; empty for no password.
void ShowStrength(QLabel* label, const App::Secret& password);
// Overwrites a field's text before clearing it.
void Wipe(QLineEdit* field);

}  // namespace Desk
