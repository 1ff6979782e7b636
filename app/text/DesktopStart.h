// Whether `cryvan` hands itself to the desktop program: a window where one can really open,
// the terminal otherwise. The desktop program is separate so that scripts and the terminal
// never load the toolkit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Text {

enum class DisplayKind { Wayland, X11 };

struct StartFacts {
    std::vector<std::string> arguments;    // without the program's name
    const char* waylandDisplay = nullptr;  // WAYLAND_DISPLAY
    const char* display = nullptr;         // DISPLAY
    // The desktop program's path beside this one; empty when it is not installed.
    std::string desktopProgram;
};

// The desktop program to run, or empty for the terminal. `connects` is asked only for a display
// that is named, Wayland first.
std::string ChooseDesktop(const StartFacts& facts,
                          const std::function<bool(DisplayKind)>& connects);

// Opens and closes a connection to the named display through the system's own client library,
// loaded only now; false when the library is missing or the display refuses.
bool DisplayConnects(DisplayKind kind);

// "cryvan-desktop" in the folder of the running program, when it is there and executable.
std::string DesktopProgramBesideThis();

// Replaces this process by the desktop program with the same arguments; returns only when that
// failed.
void RunDesktop(const std::string& program, int argc, char** argv);

}  // namespace Text
