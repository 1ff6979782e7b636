// What the programs install in main, installed once for every test program: the desktop trash,
// and, where the program carries it, the decrypt-only program image.
#include "os/trash/DesktopTrash.h"
#ifdef CRYVAN_TEST_STANDALONE_IMAGE
#include "app/core/OperationRunner.h"
#include "resources/StandAloneImage.h"
#endif

namespace {

struct ProgramSetup {
    ProgramSetup() {
        OS::InstallTrash(OS::MakeDesktopTrash());
#ifdef CRYVAN_TEST_STANDALONE_IMAGE
        const Resources::Image image = Resources::StandAloneImage();
        App::OperationRunner::SetStandAloneImage({image.bytes, image.size});
#endif
    }
} g_setup;

}  // namespace
