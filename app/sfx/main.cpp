// The decrypt-only program at the head of a self-decrypting container. Built statically so that
// it runs where Cryvan and its libraries are not installed; exit statuses in App::kExitStatuses.
#include <csignal>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/console/LineInput.h"
#include "app/core/StandardDescriptors.h"
#include "app/core/Texts.h"
#include "app/sfx/SelfExtractor.h"
#include "app/sfx/SfxFrontEnd.h"
#include "os/Logger.h"

int main(int argc, char** argv) {
    App::OpenClosedStandardDescriptors();
    // A full disk or a closed pipe is an error to report, not a reason to die silently.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    const std::unique_ptr<App::LineInput> input = App::StandardInput(std::cout);

    App::ExitStatus status = App::ExitStatus::Unexpected;
    try {
        OS::Logger::Setup(false, false, false);
        const std::optional<std::string> self = Sfx::SelfPath(argc > 0 ? argv[0] : nullptr);
        if (!self) {
            std::cout << "cryvan-sfx: cannot find this program's own file; run it by its path.\n";
            status = App::ExitStatus::Failed;
        } else {
            status = Sfx::RunFrontEnd(App::Arguments(argc - 1, argv + 1), *self, *input, std::cout,
                                      std::cerr);
        }
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "cryvan-sfx: unexpected error: " << App::EscapeControls(e.what()) << "\n";
        status = App::ExitStatus::Unexpected;
    } catch (...) {
        std::cout << "cryvan-sfx: unexpected error\n";
        status = App::ExitStatus::Unexpected;
    }
    OS::Logger::Teardown();
    std::cout << std::flush;
    return App::Code(status);
}
