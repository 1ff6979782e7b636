// cryvan-desktop: the wizard in windows. Exit statuses are those of the terminal program.
#include <QApplication>
#include <csignal>
#include <exception>
#include <iostream>

#include "app/config/Folders.h"
#include "app/config/LogFile.h"
#include "app/core/OperationRunner.h"
#include "app/core/Options.h"
#include "app/core/StandardDescriptors.h"
#include "app/qt/PreferencesWindow.h"
#include "app/qt/QtDialogs.h"
#include "app/qt/WizardWindow.h"
#include "app/session/Session.h"
#include "os/Logger.h"
#include "os/trash/DesktopTrash.h"
#include "resources/StandAloneImage.h"

namespace {

// The terminal program's options, each with its help line: the window takes the same words.
std::string HelpText() {
    std::string out =
        "Usage: cryvan-desktop [OPTIONS] [ARGUMENTS]\n"
        "\n"
        "Encrypts files and folders into one container, or decrypts a container, through a\n"
        "wizard in a window. It takes the words of cryvan; ARGUMENTS fill the wizard's pages.\n"
        "\n";
    for (const App::OptionRow& row : App::kOptions)
        out += App::HangingIndent("  " + App::OptionSynopsis(row), row.help, 24);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    App::OpenClosedStandardDescriptors();
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);

    OS::InstallTrash(OS::MakeDesktopTrash());
    const Resources::Image image = Resources::StandAloneImage();
    App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Linux,
                                             {image.bytes, image.size});
    const Resources::Image windows = Resources::WindowsStandAloneImage();
    App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Windows,
                                             {windows.bytes, windows.size});

    Desk::QtDialogs dialogs;
    App::ExitStatus status = App::ExitStatus::Unexpected;
    try {
        OS::Logger::Setup(false, false, false);
        App::StartLogFile();
        Desk::WizardWindow* window = nullptr;
        App::Session session(App::SessionParts{"cryvan", dialogs, dialogs,
                                               [&window](App::CryvanPrefs& prefs) {
                                                   return Desk::ShowPreferences(prefs, window);
                                               },
                                               HelpText, std::cout, std::cerr,
                                               [&window] {
                                                   if (window)
                                                       window->Wake();
                                               }},
                             App::Folders::FromEnvironment());
        dialogs.SetPreferences([&session] { return session.ShowPreferences(); });
        if (const auto ended = session.Start(App::Arguments(argc - 1, argv + 1))) {
            status = *ended;
        } else {
            Desk::WizardWindow shown(session.TheWizard());
            window = &shown;
            dialogs.SetParent(&shown);
            shown.exec();
            window = nullptr;
            dialogs.SetParent(nullptr);
            status = session.End(App::Session::Ending::Finished);
        }
        dialogs.SetPreferences(nullptr);
    } catch (const std::exception& e) {
        std::cerr << "cryvan: " << e.what() << "\n";
        OS::Logger::Log(OS::LOG_FATAL, e.what());
    }
    OS::Logger::Teardown();
    return App::Code(status);
}
