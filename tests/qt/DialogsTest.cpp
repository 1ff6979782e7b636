// Each window dialog's main rule, driven through its widgets as a user would. What the dialogs
// decide is the core's and tested there; these check that the windows hand it on.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "app/AppTestSupport.h"
#include "app/config/UserConfig.h"
#include "app/prefs/PreferencesPages.h"
#include "app/qt/PreferencesWindow.h"
#include "app/qt/QtDialogs.h"
#include "app/wizard/Wizard.h"
#include "qt/QtTestSupport.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Control;
using cryvan_test::OffscreenApplication;

// Runs `act` on each modal dialog as it opens, in turn, while the test blocks in `exec`.
class Script {
  public:
    explicit Script(std::vector<std::function<void(QWidget*)>> steps) : m_steps(std::move(steps)) {
        Poll();
    }
    bool Done() const { return m_next == m_steps.size(); }

  private:
    void Poll() {
        QTimer::singleShot(20, &m_context, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != m_last && m_next < m_steps.size()) {
                m_last = modal;
                const std::size_t step = m_next++;
                // Polled on before the step: a step may open the next dialog and block in it.
                if (m_next < m_steps.size())
                    Poll();
                m_steps[step](modal);
                return;
            }
            if (!modal)
                m_last = nullptr;
            if (m_next < m_steps.size())
                Poll();
        });
    }
    // Timers die with the script.
    QObject m_context;
    std::vector<std::function<void(QWidget*)>> m_steps;
    std::size_t m_next = 0;
    QWidget* m_last = nullptr;
};

QAbstractButton* ButtonTexted(QWidget* root, const QString& text) {
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (b->text().remove('&') == text)
            return b;
    return nullptr;
}

void Click(QWidget* root, const QString& text) {
    QAbstractButton* b = ButtonTexted(root, text);
    ASSERT_NE(b, nullptr) << text.toStdString();
    QTest::mouseClick(b, Qt::LeftButton);
}

TEST(Dialogs, ConfirmReplaceReturnsTheButtonPressed) {
    OffscreenApplication app;
    Desk::QtDialogs dialogs;
    using R = App::RunQuestions::Replace;
    const std::pair<const char*, R> cases[] = {{"Yes", R::Yes},
                                               {"Yes to All", R::YesToAll},
                                               {"No", R::No},
                                               {"No to All", R::NoToAll},
                                               {"Cancel", R::Cancel}};
    for (const auto& [button, answer] : cases) {
        Script script({[button = button](QWidget* box) { Click(box, button); }});
        EXPECT_EQ(dialogs.ConfirmReplace("This file already exists.", "/tmp/x"), answer) << button;
    }
    // Escape is Cancel.
    Script escape({[](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); }});
    EXPECT_EQ(dialogs.ConfirmReplace("This file already exists.", "/tmp/x"), R::Cancel);
}

TEST(Dialogs, SourceOptionsKeepWhatOkTakesAndCancelDrops) {
    OffscreenApplication app;
    Desk::QtDialogs dialogs;
    App::WizardDialogs::SourceOptions options;
    const auto choose = [](QWidget* dialog) {
        QTest::mouseClick(Control<QRadioButton>(dialog, "Full paths (excluding drive)"),
                          Qt::LeftButton);
        auto* confirm = Control<QCheckBox>(dialog, "Ask for confirmation first.");
        auto* deletion = dialog->findChild<QComboBox*>();
        // Confirmation only means something with a deletion chosen.
        deletion->setCurrentIndex(0);
        EXPECT_FALSE(confirm->isEnabled());
        deletion->setCurrentIndex(3);
        EXPECT_TRUE(confirm->isEnabled());
        QTest::mouseClick(confirm, Qt::LeftButton);
    };
    {
        Script script({[&](QWidget* d) {
            choose(d);
            Click(d, "Cancel");
        }});
        EXPECT_FALSE(dialogs.EditSourceOptions(options));
    }
    EXPECT_EQ(options.pathOption, 0);
    EXPECT_EQ(options.deletionIndex, 0);
    {
        Script script({[&](QWidget* d) {
            choose(d);
            Click(d, "OK");
        }});
        EXPECT_TRUE(dialogs.EditSourceOptions(options));
    }
    EXPECT_EQ(options.pathOption, 2);
    EXPECT_EQ(options.deletionIndex, 3);
    EXPECT_FALSE(options.confirm);
}

TEST(Dialogs, AdministratorPasswordSaysHowManyMoreAreNeeded) {
    OffscreenApplication app;
    Desk::QtDialogs dialogs;
    for (const std::string& needed :
         {std::string("2 more administrator passwords are needed."), std::string()}) {
        Script script({[&](QWidget* d) {
            auto* line = d->findChild<QLabel*>("stillNeeded");
            if (needed.empty()) {
                EXPECT_EQ(line, nullptr);
            } else {
                ASSERT_NE(line, nullptr);
                EXPECT_EQ(line->text().toStdString(), needed);
            }
            QTest::keyClicks(Control<QLineEdit>(d, "Administrator password:"), "ann's password");
            Click(d, "OK");
        }});
        const std::optional<App::Secret> entered = dialogs.AskAdministratorPassword(needed);
        ASSERT_TRUE(entered);
        EXPECT_EQ(entered->View(), "ann's password");
    }
}

TEST(Dialogs, NewAdministratorRefusesDifferentPasswordsAndTakesMatchingOnes) {
    OffscreenApplication app;
    Desk::QtDialogs dialogs;
    bool mismatchShown = false;
    Script script({
        [](QWidget* d) {
            QTest::keyClicks(Control<QLineEdit>(d, "Administrator name:"), "Alice");
            auto* ok = qobject_cast<QDialogButtonBox*>(d->findChild<QDialogButtonBox*>())
                           ->button(QDialogButtonBox::Ok);
            EXPECT_FALSE(ok->isEnabled());
            QTest::keyClicks(Control<QLineEdit>(d, "Enter password:"), "harbour lights");
            QTest::keyClicks(Control<QLineEdit>(d, "Confirm password:"), "harbour light5");
            auto* only = Control<QRadioButton>(d, "Password only");
            QTest::mouseClick(only, Qt::LeftButton, {}, QPoint(6, only->height() / 2));
            EXPECT_TRUE(only->isChecked());
            EXPECT_TRUE(ok->isEnabled());
            QTest::mouseClick(ok, Qt::LeftButton);
        },
        [&](QWidget* box) {
            mismatchShown =
                qobject_cast<QMessageBox*>(box) &&
                qobject_cast<QMessageBox*>(box)->text() == "The passwords entered do not match.";
            QTest::keyClick(box, Qt::Key_Return);
            // Back in the still open dialog: the confirmation typed again.
            QTimer::singleShot(50, [] {
                QWidget* d = QApplication::activeModalWidget();
                auto* again = Control<QLineEdit>(d, "Confirm password:");
                again->selectAll();
                QTest::keyClicks(again, "harbour lights");
                Click(d, "OK");
            });
        },
    });
    const auto result = dialogs.AskNewAdministrator();
    EXPECT_TRUE(mismatchShown);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->name, "Alice");
    EXPECT_EQ(result->password.View(), "harbour lights");
    EXPECT_FALSE(result->keyFile);
}

TEST(Dialogs, KeyFileToWriteAsksBeforeReplacingAnExistingFile) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    const std::string existing = dir / "alice.CryvanKey";
    cryvan_test::WriteText(existing, "old key");
    Desk::QtDialogs dialogs;
    bool asked = false;
    Script script({
        [&](QWidget* d) {
            auto* path = Control<QLineEdit>(d, "Key file:");
            path->selectAll();
            QTest::keyClicks(path, QString::fromStdString(existing));
            Click(d, "OK");
        },
        [&](QWidget* box) {
            asked = true;
            Click(box, "No");  // the dialog stays open
            QTimer::singleShot(50, [] { Click(QApplication::activeModalWidget(), "Cancel"); });
        },
    });
    EXPECT_FALSE(dialogs.AskKeyFile("Alice", true).has_value());
    EXPECT_TRUE(asked);
    EXPECT_EQ(cryvan_test::ReadText(existing), "old key");
}

TEST(Dialogs, PreferencesWindowCreatesTheEmergencyPassword) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    const App::Folders folders = cryvan_test::MakeFolders(dir);
    Desk::QtDialogs dialogs;
    App::Wizard wizard(dialogs, folders);
    App::UserConfig& config = wizard.Config();
    App::CryvanPrefs prefs(config, dialogs, false);
    Desk::PreferencesWindow window(prefs);
    window.show();
    const std::string file = config.EmergencyPath();
    ASSERT_FALSE(file.empty());
    ASSERT_FALSE(std::filesystem::exists(file));
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    tabs->setCurrentIndex(1);
    QTest::keyClicks(Control<QLineEdit>(&window, "Emergency password:"), "emergency exit 7");
    QTest::keyClicks(Control<QLineEdit>(&window, "Confirm password:"), "emergency exit 7");
    EXPECT_EQ(prefs.Emergency().Password().View(), "emergency exit 7");
    EXPECT_EQ(prefs.Emergency().Confirmation().View(), "emergency exit 7");
    auto* strength = Control<QLabel>(&window, "Password strength");
    ASSERT_NE(strength, nullptr);
    EXPECT_TRUE(strength->text().startsWith("Strength: ")) << strength->text().toStdString();
    const auto unexpected = [](QWidget* box) {
        auto* mb = qobject_cast<QMessageBox*>(box);
        ADD_FAILURE() << "unexpected question: " << (mb ? mb->text().toStdString() : "?");
        QTest::keyClick(box, Qt::Key_Escape);
    };
    Script report({unexpected, unexpected});
    Click(&window, "OK");
    EXPECT_TRUE(prefs.Accepted());
    EXPECT_TRUE(std::filesystem::exists(file));
    // Closed, the window keeps no password in its fields.
    EXPECT_FALSE(window.isVisible());
    for (QLineEdit* field : window.findChildren<QLineEdit*>())
        EXPECT_TRUE(field->text().isEmpty()) << field->accessibleName().toStdString();
}

}  // namespace
