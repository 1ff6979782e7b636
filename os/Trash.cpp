#include "os/Trash.h"

namespace OS {

namespace {

std::unique_ptr<Trash>& Installed() {
#ifdef _WIN32
    static std::unique_ptr<Trash> trash = MakeRecycleBin();
#else
    static std::unique_ptr<Trash> trash;
#endif
    return trash;
}

}  // namespace

void InstallTrash(std::unique_ptr<Trash> trash) {
    Installed() = std::move(trash);
}

Trash* InstalledTrash() {
    return Installed().get();
}

}  // namespace OS
