#include "os/Trash.h"

namespace OS {

namespace {

std::unique_ptr<Trash>& Installed() {
    static std::unique_ptr<Trash> trash;
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
