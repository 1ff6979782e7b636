// What the programs install in main, installed once for every test program: the desktop trash,
// and, where the program carries it, the decrypt-only program image. The tests run as on a
// machine without a display, whatever the developer's session has: a display would send the
// programs they start to windows. Tests of the desktop name one themselves.
#include <cstdlib>

#ifndef _WIN32
#include "os/trash/DesktopTrash.h"
#endif
#ifdef CRYVAN_TEST_STANDALONE_IMAGE
#include "app/core/OperationRunner.h"
#include "resources/StandAloneImage.h"
#endif

namespace {

struct ProgramSetup {
    ProgramSetup() {
#ifndef _WIN32
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("TERMINAL");
        OS::InstallTrash(OS::MakeDesktopTrash());
#endif
#ifdef CRYVAN_TEST_STANDALONE_IMAGE
        const Resources::Image image = Resources::StandAloneImage();
        App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Linux,
                                                 {image.bytes, image.size});
        const Resources::Image windows = Resources::WindowsStandAloneImage();
        App::OperationRunner::SetStandAloneImage(App::OperationRunner::Platform::Windows,
                                                 {windows.bytes, windows.size});
#endif
    }
} g_setup;

}  // namespace
