#include "os/Shortcut.h"

#include <filesystem>
#include <system_error>

#include "os/Logger.h"

namespace OS {

Shortcut ResolveShortcut(const std::string& path, std::string& target) {
    Trace t("ResolveShortcut()");
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)) || ec)
        return Shortcut::None;
    std::error_code resolveError;
    const fs::path resolved = fs::canonical(path, resolveError);
    if (resolveError || resolved.empty())
        return Shortcut::Broken;
    target = resolved.string();
    return Shortcut::Resolved;
}

}  // namespace OS
