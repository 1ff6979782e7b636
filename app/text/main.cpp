// cryvan: the wizard on a terminal. Exit statuses are fixed; see App::kExitStatuses.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/config/Folders.h"
#include "app/config/LogFile.h"
#include "app/core/OperationRunner.h"
#include "app/core/StandardDescriptors.h"
#include "app/core/Texts.h"
#include "app/text/DesktopStart.h"
#include "app/text/EditingInput.h"
#include "app/text/TerminalFrontEnd.h"
#include "os/Logger.h"
#include "os/trash/DesktopTrash.h"
#include "resources/StandAloneImage.h"

int main(int argc, char** argv) {
    App::OpenClosedStandardDescriptors();
    {
        // A desktop that can show a window gets the windows; --text keeps the terminal.
        Text::StartFacts facts;
        facts.arguments.assign(argv + 1, argv + argc);
        facts.waylandDisplay = std::getenv("WAYLAND_DISPLAY");
        facts.display = std::getenv("DISPLAY");
        facts.desktopProgram = Text::DesktopProgramBesideThis();
        const std::string desktop = Text::ChooseDesktop(facts, Text::DisplayConnects);
        if (!desktop.empty())
            Text::RunDesktop(desktop, argc, argv);
    }
    // A full disk or a closed pipe is an error to report, not a reason to die silently.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    OS::InstallTrash(OS::MakeDesktopTrash());
    const Resources::Image image = Resources::StandAloneImage();
    App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Linux,
                                             {image.bytes, image.size});
    const Resources::Image windows = Resources::WindowsStandAloneImage();
    App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Windows,
                                             {windows.bytes, windows.size});

    const std::unique_ptr<App::LineInput> input = Text::EditingStandardInput(std::cout);
    Text::TerminalFrontEnd frontEnd(*input, std::cout, std::cerr);
    frontEnd.SetOutputTerminal(isatty(STDOUT_FILENO) == 1);

    App::ExitStatus status = App::ExitStatus::Unexpected;
    try {
        OS::Logger::Setup(false, false, false);
        App::StartLogFile();
        status = frontEnd.Run(App::Arguments(argc - 1, argv + 1), App::Folders::FromEnvironment());
    } catch (const std::exception& e) {
        // The exception's own text says more than the apology below.
        std::cout << std::flush;
        std::cerr << "cryvan: " << App::EscapeControls(e.what()) << "\n";
        OS::Logger::Log(OS::LOG_FATAL, e.what());
        status = App::ExitStatus::Unexpected;
    } catch (...) {
        status = App::ExitStatus::Unexpected;
    }
    if (status == App::ExitStatus::Unexpected)
        frontEnd.Dialogs().Show(Text::kUnexpectedText, Text::kErrorCaption,
                                App::MessageBoxes::Icon::Error, App::MessageBoxes::Buttons::Ok,
                                App::MessageBoxes::Answer::Ok);
    OS::Logger::Teardown();
    std::cout << std::flush;
    return App::Code(status);
}
