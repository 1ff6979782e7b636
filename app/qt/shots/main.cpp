// cryvan-screenshots: walks the desktop wizard through an encryption and a decryption of a
// small sample, offscreen, and saves every page and dialog as a PNG in the folder given.
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>

#include "app/config/Folders.h"
#include "app/core/Handover.h"
#include "app/core/Texts.h"
#include "app/prefs/PreferencesPages.h"
#include "app/qt/PreferencesWindow.h"
#include "app/qt/QtDialogs.h"
#include "app/qt/WizardWindow.h"
#include "app/wizard/Wizard.h"

namespace fs = std::filesystem;

namespace {

QString g_out;

void Save(QWidget* widget, const char* name) {
    QApplication::processEvents();
    const QString path = g_out + "/" + name + ".png";
    if (!widget->grab().save(path))
        throw std::runtime_error("cannot write " + path.toStdString());
    std::cout << path.toStdString() << "\n";
}

// Turns the event loop until `done` holds; false after about a minute.
bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 6000 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

// A run a quarter done, held long enough for the time left to be judged, then let go: the
// picture shows the page as it looks in a long run, however fast this machine is.
void SaveUnderWay(App::Wizard& wizard, const App::ProgressPg& page, QWidget* window,
                  const char* name) {
    WaitFor([&] { return wizard.ActivePage() != &page || page.overallBar >= 25; });
    if (wizard.ActivePage() != &page)
        throw std::runtime_error(std::string("the run ended before the picture ") + name);
    wizard.Runner().Pause(true);
    QTest::qWait(3400);
    Save(window, name);
    wizard.Runner().Pause(false);
}

// Saves the next modal dialog that opens, then closes it as Escape would.
void SaveNextDialog(const char* name) {
    QTimer::singleShot(200, [name] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            Save(dialog, name);
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
}

void WriteFile(const fs::path& path, std::size_t size, bool random) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(42);
    std::string block(1 << 16, '\0');
    for (std::size_t done = 0; done < size; done += block.size()) {
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = random ? static_cast<char>(rng()) : "Cryvan keeps this safe.\n"[i % 24];
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
    }
}

// The visible password fields of the shown page, in order.
QList<QLineEdit*> PasswordFields(QWidget& window) {
    QList<QLineEdit*> out;
    for (QLineEdit* field : window.findChildren<QLineEdit*>())
        if (field->isVisible() && field->echoMode() == QLineEdit::Password)
            out.push_back(field);
    return out;
}

bool PressNext(App::Wizard& wizard, const App::Page& next) {
    WaitFor(
        [&] { return (wizard.WizardButtons() & App::kNext) != 0 && !wizard.ActivePage()->Busy(); });
    wizard.PressNext();
    if (WaitFor([&] { return wizard.ActivePage() == &next; }))
        return true;
    std::cerr << "cryvan-screenshots: expected page " << next.Id() << ", on page "
              << wizard.ActivePage()->Id() << "\n";
    return false;
}

// A wizard in its window at the pictures' size, with the run's hand-over, as the program has it.
struct Shown {
    explicit Shown(const App::Folders& folders)
        : wizard(dialogs, folders),
          window(wizard),
          attached(wizard.Runner().Handover(), [this] { window.Wake(); }) {
        dialogs.SetParent(&window);
        window.resize(760, 560);
        wizard.Start();
        window.show();
        QTest::qWait(100);
    }
    Desk::QtDialogs dialogs;
    App::Wizard wizard;
    Desk::WizardWindow window;
    App::AttachedHandover attached;
};

// Every dialog, each saved as it opens and then closed as Escape would.
void Dialogs(Desk::QtDialogs& dialogs, App::Wizard& wizard, QWidget* parent, const fs::path& home) {
    using Box = App::MessageBoxes;
    SaveNextDialog("20-replace");
    dialogs.ConfirmReplace(App::Text(App::StringId::OverwriteQuestion),
                           App::CompactPath((home / "Tax return 2025.pdf").string(), 40));
    SaveNextDialog("21-cancel-question");
    dialogs.Show(App::Text(App::StringId::CancelQuestion), App::Text(App::StringId::AppName),
                 Box::Icon::Question, Box::Buttons::YesNo, Box::Answer::No);
    SaveNextDialog("22-message");
    dialogs.Show(App::Text(App::StringId::PasswordsDiffer), App::Text(App::StringId::AppName),
                 Box::Icon::Warning, Box::Buttons::Ok, Box::Answer::Ok);
    App::WizardDialogs::SourceOptions options;
    options.deletionIndex = 1;
    SaveNextDialog("23-source-options");
    dialogs.EditSourceOptions(options);
    SaveNextDialog("24-administrator-password");
    dialogs.AskAdministratorPassword(App::RunQuestions::StillNeededText(2));
    SaveNextDialog("25-key-file");
    dialogs.AskKeyFile("Alice", true);
    SaveNextDialog("26-new-administrator");
    dialogs.AskNewAdministrator();
    SaveNextDialog("27-organisation-password");
    dialogs.AskOrganisationPassword(8);

    // The preferences, one picture per page.
    App::CryvanPrefs prefs(wizard.Config(), dialogs, true);
    Desk::PreferencesWindow preferences(prefs, parent);
    preferences.show();
    const int ids[] = {App::kPopUpPg, App::kEmergencyPasswordPg, App::kAdminPg};
    const char* const names[] = {"30-preferences-menu", "31-preferences-emergency",
                                 "32-preferences-administrators"};
    for (int i = 0; i < 3; ++i) {
        if (!prefs.PageById(ids[i]))
            continue;
        prefs.SetActivePage(ids[i]);
        preferences.Refresh();
        Save(&preferences, names[i]);
    }
    preferences.close();
    prefs.PressCancel();
}

// A second wizard, as a second start of the program would show: the container back into a folder.
int Decrypt(const App::Folders& folders, const fs::path& container, const fs::path& into) {
    Shown shown(folders);
    App::Wizard& wizard = shown.wizard;
    Desk::WizardWindow& window = shown.window;
    wizard.PressBack();
    if (!WaitFor([&] { return wizard.ActivePage() == &wizard.decSource; }))
        return 1;
    wizard.decSource.SetName(container.string());
    Save(&window, "07-container");
    if (!PressNext(wizard, wizard.decPassword))
        return 1;
    for (QLineEdit* field : PasswordFields(window))
        QTest::keyClicks(field, "Harbour lights at 6");
    Save(&window, "08-unlock");
    wizard.PressNext();
    if (!WaitFor([&] { return wizard.ActivePage() != &wizard.decPassword; }))
        return 1;
    if (wizard.ActivePage() == &wizard.decFiles) {
        Save(&window, "09-choose-files");
        wizard.decFiles.SelectAll();
        if (!PressNext(wizard, wizard.decDest))
            return 1;
    }
    if (wizard.ActivePage() != &wizard.decDest)
        return 1;
    fs::create_directories(into);
    wizard.decDest.SetFolder(into.string());
    Save(&window, "10-destination");
    wizard.PressNext();
    if (!WaitFor([&] { return wizard.ActivePage() == &wizard.decProgress; }))
        return 1;
    SaveUnderWay(wizard, wizard.decProgress, &window, "11-decrypting");
    if (!WaitFor([&] { return wizard.ActivePage() == &wizard.end; }))
        return 1;
    Save(&window, "12-decrypted");
    return 0;
}

int Run(const fs::path& sample) {
    const App::Folders folders{
        (sample / "config/user/").string(), (sample / "config/all/").string(),
        (sample / "config/program/").string(), (sample / "Desktop/").string()};
    for (const std::string* f :
         {&folders.perUser, &folders.allUsers, &folders.program, &folders.desktop})
        fs::create_directories(*f);
    const fs::path home = sample / "Documents";
    WriteFile(home / "Tax return 2025.pdf", 180000, true);
    WriteFile(home / "Notes.txt", 4200, false);
    WriteFile(home / "Holiday photos/beach.jpg", 2400000, true);
    WriteFile(home / "Holiday photos/harbour.jpg", 3100000, true);
    WriteFile(home / "Family video.mkv", 900u << 20, true);

    Shown shown(folders);
    App::Wizard& wizard = shown.wizard;
    Desk::WizardWindow& window = shown.window;
    Desk::QtDialogs& dialogs = shown.dialogs;
    Save(&window, "01-start");

    // Encryption.
    if (!PressNext(wizard, wizard.encSource))
        return 1;
    wizard.encSource.Drop({(home / "Tax return 2025.pdf").string(), (home / "Notes.txt").string(),
                           (home / "Holiday photos").string(),
                           (home / "Family video.mkv").string()});
    if (!WaitFor([&] { return wizard.encSource.list.Count() >= 4 && !wizard.encSource.Busy(); }))
        return 1;
    Save(&window, "02-files");
    if (!PressNext(wizard, wizard.encDest))
        return 1;
    Save(&window, "03-output");
    if (!PressNext(wizard, wizard.encPassword))
        return 1;
    for (QLineEdit* field : PasswordFields(window))
        QTest::keyClicks(field, "Harbour lights at 6");
    Save(&window, "04-password");
    wizard.PressNext();
    if (!WaitFor([&] { return wizard.ActivePage() == &wizard.encProgress; }))
        return 1;
    SaveUnderWay(wizard, wizard.encProgress, &window, "05-encrypting");
    if (!WaitFor([&] { return wizard.ActivePage() == &wizard.end; }))
        return 1;
    Save(&window, "06-encrypted");
    window.hide();
    Dialogs(dialogs, wizard, &window, home);

    fs::path container;
    for (const auto& entry : fs::directory_iterator(home))
        if (entry.path().extension() == ".aes")
            container = entry.path();
    return container.empty() ? 1 : Decrypt(folders, container, sample / "Restored");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::cerr << "Usage: cryvan-screenshots FOLDER\n";
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    const fs::path sample =
        fs::temp_directory_path() / ("cryvan-shots-" + std::to_string(getpid()));
    int status = 1;
    try {
        status = Run(sample);
    } catch (const std::exception& e) {
        std::cerr << "cryvan-screenshots: " << e.what() << "\n";
    }
    fs::remove_all(sample);
    if (status != 0)
        std::cerr << "cryvan-screenshots: the wizard stopped on an unexpected page\n";
    return status;
}
