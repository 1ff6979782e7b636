// Where the application keeps its files, as the environment names them at each call. Every
// folder ends in '/'; one that cannot be obtained is empty, and whatever needed it does
// nothing.
#pragma once

#include <string>

namespace App {

// The levels below each base folder.
inline constexpr char kVendorFolder[] = "Tenvik-Labs/Cryvan/";

// $XDG_DATA_HOME/Tenvik-Labs/Cryvan/, by default ~/.local/share/Tenvik-Labs/Cryvan/.
std::string PerUserFolder();
// Tenvik-Labs/Cryvan/ under the first of $XDG_CONFIG_DIRS, by default /etc/xdg.
std::string AllUsersFolder();
// $XDG_STATE_HOME/Tenvik-Labs/Cryvan/, by default ~/.local/state/Tenvik-Labs/Cryvan/: the log.
std::string StateFolder();
// The folder of the running executable.
std::string ProgramFolder();
// The user's desktop: XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Desktop,
// else the home folder.
std::string DesktopFolder();

// The four folders in one value, so that callers (and tests) can hand in their own.
struct Folders {
    std::string perUser;
    std::string allUsers;
    std::string program;
    std::string desktop;

    static Folders FromEnvironment();
};

}  // namespace App
