// The desktop window driven offscreen as a user would: files and a folder dropped on the list,
// a password typed, Next pressed until the end page; then the container opened again through
// the window and the files compared byte for byte. The page logic itself is tested in the core.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/AppTestSupport.h"
#include "app/core/Handover.h"
#include "app/qt/FileListModel.h"
#include "app/qt/PageView.h"
#include "app/qt/QtDialogs.h"
#include "app/qt/WizardWindow.h"
#include "app/wizard/Wizard.h"
#include "qt/QtTestSupport.h"
#include "support/Folders.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Control;
using cryvan_test::OffscreenApplication;
using cryvan_test::WaitFor;

namespace fs = std::filesystem;

// The window with its dialogs and the run's hand-over attached, as the program sets it up.
template <class Dialogs = Desk::QtDialogs>
struct Window {
    explicit Window(const cryvan_test::TempDir& dir)
        : wizard(dialogs, cryvan_test::MakeFolders(dir)),
          window(wizard),
          attached(wizard.Runner().Handover(), [this] { window.Wake(); }) {
        dialogs.SetParent(&window);
        wizard.Start();
        window.show();
        // Keyboard shortcuts go to the active window only.
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window);
    }
    QWidget* Page() { return window.View(*wizard.ActivePage()); }
    bool On(const App::Page& page) {
        return WaitFor([&] { return wizard.ActivePage() == &page && !page.Busy(); });
    }
    void Next() {
        ASSERT_TRUE(WaitFor([&] { return window.NextButton()->isEnabled(); }))
            << "Next stays disabled on page " << wizard.ActivePage()->Id();
        QTest::mouseClick(window.NextButton(), Qt::LeftButton);
    }
    void Drop(QWidget* target, const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& p : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    Dialogs dialogs;
    App::Wizard wizard;
    Desk::WizardWindow window;
    App::AttachedHandover attached;
};

// Answers the replace question with Yes, noting the thread that asked.
struct ReplaceAnswered : Desk::QtDialogs {
    Replace ConfirmReplace(const std::string&, const std::string& path40) override {
        askedOn = std::this_thread::get_id();
        path = path40;
        return Replace::Yes;
    }
    std::thread::id askedOn;
    std::string path;
};

TEST(WizardWindow, EncryptsDroppedFilesAndDecryptsThemBackThroughTheWindow) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    cryvan_test::MakeSampleTree(dir);
    cryvan_test::WriteText(dir / "in/letter.txt", "a letter worth keeping\n");
    const std::string container = dir / "out/sample.aes";
    fs::create_directories(dir / "out");
    {
        Window<> w(dir);
        ASSERT_TRUE(w.On(w.wizard.encOrDec));
        QTest::keyClick(&w.window, Qt::Key_E, Qt::AltModifier);  // "&Encrypt"
        ASSERT_TRUE(w.On(w.wizard.encSource));
        // A folder and a file, dropped from a file manager as URLs onto the window.
        w.Drop(&w.window, {dir / "in/docs", dir / "in/letter.txt"});
        ASSERT_TRUE(w.On(w.wizard.encSource));
        auto* list = Control<QAbstractItemView>(w.Page(), "Files and folders to encrypt");
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->model()->rowCount(), static_cast<int>(w.wizard.encSource.list.Count()));
        EXPECT_GE(list->model()->rowCount(), 3);
        w.Next();
        ASSERT_TRUE(w.On(w.wizard.encDest));
        auto* name = Control<QLineEdit>(w.Page(), "Encrypted file name");
        ASSERT_NE(name, nullptr);
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(container));
        EXPECT_EQ(w.wizard.encDest.name, container);
        w.Next();
        ASSERT_TRUE(w.On(w.wizard.encPassword));
        auto* password = Control<QLineEdit>(w.Page(), "Enter password:");
        auto* confirmation = Control<QLineEdit>(w.Page(), "Confirm password:");
        ASSERT_TRUE(password && confirmation);
        QTest::keyClicks(password, "correct horse");
        QTest::keyClicks(confirmation, "correct horse");
        ASSERT_TRUE(WaitFor([&] { return w.window.NextButton()->isEnabled(); }));
        EXPECT_TRUE(w.window.NextButton()->isDefault());
        QTest::keyClick(confirmation, Qt::Key_Return);  // Enter is "Encrypt"
        ASSERT_TRUE(w.On(w.wizard.end)) << "stuck on page " << w.wizard.ActivePage()->Id();
        // Leaving the page dropped what was typed.
        EXPECT_TRUE(password->text().isEmpty());
        EXPECT_TRUE(confirmation->text().isEmpty());
        QTest::keyClick(&w.window, Qt::Key_Return);  // Enter is "Finish"
        ASSERT_TRUE(WaitFor([&] { return w.wizard.Closed(); }));
    }
    ASSERT_GT(fs::file_size(container), 0u);

    Window<> w(dir);
    ASSERT_TRUE(w.On(w.wizard.encOrDec));
    QTest::mouseClick(w.window.BackButton(), Qt::LeftButton);  // "Decrypt"
    ASSERT_TRUE(w.On(w.wizard.decSource));
    QTest::keyClicks(Control<QLineEdit>(w.Page(), "Encrypted file name"),
                     QString::fromStdString(container));
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.decPassword));
    // Which ways open it, under the instruction.
    auto* waysIn = w.Page()->findChild<QLabel*>("waysIn");
    ASSERT_NE(waysIn, nullptr);
    EXPECT_TRUE(WaitFor([&] { return waysIn->isVisible(); }));
    EXPECT_EQ(waysIn->text(), "Opens with: a password");
    auto* password = Control<QLineEdit>(w.Page(), "Enter password:");
    ASSERT_NE(password, nullptr);
    // A wrong password keeps the page, with the field emptied for another try.
    w.dialogs.SetParent(nullptr);
    QTest::keyClicks(password, "wrong horse");
    struct Dismiss {
        Dismiss() {
            QTimer::singleShot(100, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    QTest::keyClick(box, Qt::Key_Return);
            });
        }
    };
    {
        Dismiss dismiss;
        w.Next();
    }
    ASSERT_TRUE(w.On(w.wizard.decPassword));
    ASSERT_TRUE(WaitFor([&] { return password->text().isEmpty(); }));
    QTest::keyClicks(password, "correct horse");
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.decFiles));
    QTest::mouseClick(Control<QPushButton>(w.Page(), "Select All"), Qt::LeftButton);
    auto* files = Control<QAbstractItemView>(w.Page(), "Files in the encrypted file");
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->selectionModel()->selectedRows().size(), files->model()->rowCount());
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.decDest));
    auto* folder = Control<QLineEdit>(w.Page(), "Destination folder");
    ASSERT_NE(folder, nullptr);
    fs::create_directories(dir / "back");
    folder->selectAll();
    QTest::keyClicks(folder, QString::fromStdString(dir / "back"));
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.end)) << "stuck on page " << w.wizard.ActivePage()->Id();
    EXPECT_EQ(cryvan_test::Listing(dir / "back"), cryvan_test::Listing(dir / "in"));
}

TEST(WizardWindow, DeleteRemovesTheSelectedRowsWhateverTheSortOrder) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    for (const char* name : {"b.txt", "c.txt", "a.txt"})
        cryvan_test::WriteText(dir / name, name);
    Window<> w(dir);
    QTest::mouseClick(w.window.NextButton(), Qt::LeftButton);
    ASSERT_TRUE(w.On(w.wizard.encSource));
    w.wizard.encSource.Drop({dir / "b.txt", dir / "c.txt", dir / "a.txt"});
    ASSERT_TRUE(w.On(w.wizard.encSource));
    auto* list = Control<QAbstractItemView>(w.Page(), "Files and folders to encrypt");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->model()->rowCount(), 3);
    list->model()->sort(0, Qt::AscendingOrder);
    // Shown first after sorting is a.txt, added last: that row goes, not the first added.
    list->setFocus();
    list->selectionModel()->select(list->model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_TRUE(WaitFor([&] { return w.wizard.encSource.list.Count() == 2; }));
    EXPECT_EQ(w.wizard.encSource.list.Rows()[0].name, "b.txt");
    EXPECT_EQ(w.wizard.encSource.list.Rows()[1].name, "c.txt");
    EXPECT_EQ(list->model()->rowCount(), 2);
    // Deleting every row leaves only Back.
    list->selectAll();
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_TRUE(WaitFor([&] { return w.wizard.encSource.list.Count() == 0; }));
    EXPECT_FALSE(w.window.NextButton()->isEnabled());
    EXPECT_TRUE(w.window.BackButton()->isEnabled());
}

TEST(WizardWindow, TheRunsQuestionIsAnsweredOnTheWindowsThread) {
    OffscreenApplication app;
    cryvan_test::TempDir dir;
    cryvan_test::WriteText(dir / "note.txt", "the one in the container\n");
    const std::string container = dir / "note.aes";
    {
        Window<> w(dir);
        w.wizard.PressNext();
        ASSERT_TRUE(w.On(w.wizard.encSource));
        w.wizard.encSource.Drop({dir / "note.txt"});
        w.Next();
        ASSERT_TRUE(w.On(w.wizard.encDest));
        w.wizard.encDest.SetName(container);
        w.Next();
        ASSERT_TRUE(w.On(w.wizard.encPassword));
        w.wizard.encPassword.SetPassword("correct horse");
        w.wizard.encPassword.SetConfirmation("correct horse");
        w.Next();
        ASSERT_TRUE(w.On(w.wizard.end));
    }
    // The destination already holds a different note.txt: the run asks before replacing it.
    cryvan_test::WriteText(dir / "note.txt", "changed since\n");
    Window<ReplaceAnswered> w(dir);
    w.wizard.PressBack();
    ASSERT_TRUE(w.On(w.wizard.decSource));
    w.wizard.decSource.SetName(container);
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.decPassword));
    w.wizard.decPassword.SetPassword("correct horse");
    w.Next();
    ASSERT_TRUE(WaitFor([&] {
        return w.wizard.ActivePage() == &w.wizard.decFile ||
               w.wizard.ActivePage() == &w.wizard.decDest;
    }));
    w.Next();
    ASSERT_TRUE(w.On(w.wizard.end)) << "stuck on page " << w.wizard.ActivePage()->Id();
    EXPECT_EQ(w.dialogs.askedOn, std::this_thread::get_id());
    EXPECT_NE(w.dialogs.path.find("note.txt"), std::string::npos) << w.dialogs.path;
    EXPECT_EQ(cryvan_test::ReadText(dir / "note.txt"), "the one in the container\n");
}

}  // namespace
