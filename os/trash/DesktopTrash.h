// The freedesktop trash through GIO: what the file managers show as the trash.
#pragma once

#include <memory>

#include "os/Trash.h"

namespace OS {

std::unique_ptr<Trash> MakeDesktopTrash();

}  // namespace OS
