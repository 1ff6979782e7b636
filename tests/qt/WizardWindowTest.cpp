// The desktop window driven offscreen as a user would: files in, a password typed, Next pressed
// until the end page. The page logic itself is tested in the core.
#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/AppTestSupport.h"
#include "app/core/Handover.h"
#include "app/qt/QtDialogs.h"
#include "app/qt/WizardWindow.h"
#include "app/wizard/Wizard.h"
#include "support/TempDir.h"

namespace {

// One application per test: a static one would outlive what Qt tears down at exit.
struct OffscreenApplication {
    int argc = 1;
    char name[8] = "test_qt";
    char* argv[2] = {name, nullptr};
    bool platform = qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application{argc, argv};
};

// Turns the window's loop until `done` holds or about ten seconds pass.
template <class Done>
bool WaitFor(Done done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

TEST(WizardWindow, EncryptsAFileThroughTheWindow) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    cryvan_test::WriteText(dir / "letter.txt", "a letter worth keeping\n");

    Desk::QtDialogs dialogs;
    App::Wizard wizard(dialogs, cryvan_test::MakeFolders(dir));
    Desk::WizardWindow window(wizard);
    dialogs.SetParent(&window);
    wizard.Runner().Handover().Attach([&window] { window.Wake(); });
    struct Detach {
        App::Handover& handover;
        ~Detach() { handover.Detach(); }
    } detach{wizard.Runner().Handover()};
    wizard.Start();
    window.show();

    // The first page: encrypt.
    ASSERT_EQ(wizard.ActivePage(), &wizard.encOrDec);
    QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return wizard.ActivePage() == &wizard.encSource; }));
    // Dropped from a file manager, as a URL.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "letter.txt"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    ASSERT_TRUE(WaitFor([&] { return wizard.encSource.list.Count() == 1; }));
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
        container = container || (entry.path().extension() == ".aes" &&
                                  std::filesystem::file_size(entry.path()) > 0);
    EXPECT_TRUE(container);
}

}  // namespace
