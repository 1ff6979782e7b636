// Which front end `cryvan` starts: the window only where a display really connects and the
// desktop program is installed, never with --text.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/text/DesktopStart.h"
#include "support/TempDir.h"

namespace {

using Text::DisplayKind;

TEST(DesktopStartTest, ChoosesTheWindowOnlyWhereOneCanOpen) {
    struct Case {
        std::vector<std::string> arguments;
        const char* wayland;
        const char* x11;
        bool waylandConnects, x11Connects;
        bool installed;
        bool desktop;
    } const cases[] = {
        {{"-e"}, nullptr, ":0", false, true, true, true},
        {{"-e"}, "wayland-0", nullptr, true, false, true, true},
        {{"-e"}, "wayland-0", ":0", false, true, true, true},  // Wayland refused, X answers
        {{"-e"}, nullptr, nullptr, true, true, true, false},   // no display named
        {{"-e"}, "", "", true, true, true, false},             // named empty
        {{"-e"}, nullptr, ":99", false, false, true, false},   // named but not answering
        {{"-e"}, nullptr, ":0", false, true, false, false},    // desktop program missing
        {{"--text", "-e"}, nullptr, ":0", false, true, true, false},
        {{"--password-fd", "3", "--text"}, nullptr, ":0", false, true, true, false},
        // After the wizard's first word, "--text" is no front-end option.
        {{"-e", "-i", "--text"}, nullptr, ":0", false, true, true, true},
        // The commands that only print stay on the terminal.
        {{"--info", "x.aes"}, nullptr, ":0", false, true, true, false},
        {{"--list", "x.aes"}, "wayland-0", nullptr, true, false, true, false},
        {{"--password-file", "pw", "--test", "x.aes"}, nullptr, ":0", false, true, true, false},
        {{"-d", "-c", "--list"}, nullptr, ":0", false, true, true, true},
        {{}, nullptr, ":0", false, true, true, true},
    };
    for (const Case& c : cases) {
        Text::StartFacts facts;
        facts.arguments = c.arguments;
        facts.waylandDisplay = c.wayland;
        facts.display = c.x11;
        facts.desktopProgram = c.installed ? "/opt/cryvan/cryvan-desktop" : "";
        std::vector<DisplayKind> asked;
        const std::string chosen = Text::ChooseDesktop(facts, [&](DisplayKind kind) {
            asked.push_back(kind);
            return kind == DisplayKind::Wayland ? c.waylandConnects : c.x11Connects;
        });
        const std::string what = (c.arguments.empty() ? "" : c.arguments[0]) + " " +
                                 (c.wayland ? c.wayland : "-") + " " + (c.x11 ? c.x11 : "-");
        EXPECT_EQ(chosen, c.desktop ? facts.desktopProgram : "") << what;
        // A display that is not named is never tried.
        for (DisplayKind kind : asked)
            EXPECT_TRUE(kind == DisplayKind::Wayland ? (c.wayland && *c.wayland)
                                                     : (c.x11 && *c.x11))
                << what;
    }
}

TEST(DesktopStartTest, ADisplayThatDoesNotAnswerKeepsTheTerminal) {
    cryvan_test::TempDir dir;
    // Nothing listens on display 97 and no Wayland socket has this name.
    const std::string command = std::string("cd ") + dir.Path() +
                                " && env -u WAYLAND_DISPLAY DISPLAY=:97 " CRYVAN_BIN
                                " --help >out 2>err </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(cryvan_test::ReadText(dir / "out").find("--text"), std::string::npos);
    if (!std::getenv("DISPLAY")) {
        EXPECT_FALSE(Text::DisplayConnects(DisplayKind::X11));
    }
}

}  // namespace
