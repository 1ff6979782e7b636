// The desktop window driven offscreen as a user would: files in, a password typed, Next pressed
// until the end page. The page logic itself is tested in the core.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/AppTestSupport.h"
#include "app/qt/QtDialogs.h"
#include "app/qt/WizardWindow.h"
#include "app/wizard/Wizard.h"
#include "support/TempDir.h"

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "test_qt";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    return application;
}

// Turns the window's loop until `done` holds or about ten seconds pass.
template <class Done>
bool WaitFor(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

TEST(WizardWindow, EncryptsAFileThroughTheWindow) {
    Application();
    cryvan_test::TempDir dir;
    cryvan_test::WriteText(dir / "letter.txt", "a letter worth keeping\n");

    Desk::QtDialogs dialogs;
    App::Wizard wizard(dialogs, cryvan_test::MakeFolders(dir));
    Desk::WizardWindow window(wizard);
    dialogs.SetParent(&window);
    wizard.Runner().Handover().Attach([&window] { window.Wake(); });
    wizard.Start();
    window.show();

    // The first page: encrypt.
    ASSERT_EQ(wizard.ActivePage(), &wizard.encOrDec);
    QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return wizard.ActivePage() == &wizard.encSource; }));
    // What a drop on the list hands the page.
    wizard.encSource.Drop({dir / "letter.txt"});
    ASSERT_TRUE(WaitFor([&] { return window.NextButton()->isEnabled(); }));
    QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return wizard.ActivePage() == &wizard.encDest; }));
    QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return wizard.ActivePage() == &wizard.encPassword; }));

    QTest::keyClicks(window.PasswordField(), "correct horse");
    QTest::keyClicks(window.ConfirmationField(), "correct horse");
    ASSERT_TRUE(WaitFor([&] { return window.NextButton()->isEnabled(); }));
    QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return wizard.ActivePage() == &wizard.end; }))
        << "stuck on page " << wizard.ActivePage()->Id();
    // Leaving the page dropped what was typed.
    EXPECT_TRUE(window.PasswordField()->text().isEmpty());

    bool container = false;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        container = container || entry.path().extension() == ".aes";
    EXPECT_TRUE(container);
    wizard.Runner().Handover().Detach();
}

}  // namespace
