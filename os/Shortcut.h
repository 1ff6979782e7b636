// A shortcut the user picked in place of a file or folder: a symbolic link here, a shell link
// (.lnk) on Windows.
#pragma once

#include <string>

namespace OS {

enum class Shortcut {
    None,      // not a shortcut: the name stands for itself
    Resolved,  // leads to something that exists
    Broken,    // leads nowhere, or cannot be read: it counts as a plain file
};

// What `path` is; with Resolved, `target` is the absolute name of what it leads to. Never raises.
Shortcut ResolveShortcut(const std::string& path, std::string& target);

}  // namespace OS
