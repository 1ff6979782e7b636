#include "app/config/Folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/AppTestSupport.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::EnvVar;
using cryvan_test::TempDir;
using cryvan_test::WriteText;

TEST(Folders, FollowTheEnvironment) {
    TempDir tmp;
    EnvVar home("HOME", (tmp / "home").c_str());
    {
        EnvVar data("XDG_DATA_HOME", (tmp / "data/").c_str());
        EnvVar dirs("XDG_CONFIG_DIRS", (tmp / "etc:/other").c_str());
        EXPECT_EQ(App::PerUserFolder(), tmp / "data/Tenvik-Labs/Cryvan/");
        EXPECT_EQ(App::AllUsersFolder(), tmp / "etc/Tenvik-Labs/Cryvan/");
    }
    {
        // Relative and empty values count as unset.
        EnvVar data("XDG_DATA_HOME", "relative/data");
        EnvVar dirs("XDG_CONFIG_DIRS", "");
        EXPECT_EQ(App::PerUserFolder(), tmp / "home/.local/share/Tenvik-Labs/Cryvan/");
        EXPECT_EQ(App::AllUsersFolder(), "/etc/xdg/Tenvik-Labs/Cryvan/");
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(App::ProgramFolder(), fs::path(self).parent_path().string() + "/");
}

TEST(Folders, DesktopFromUserDirsThenDesktopThenHome) {
    TempDir tmp;
    const std::string home = tmp / "home";
    fs::create_directories(home + "/Schreibtisch");
    fs::create_directories(home + "/my \"desk\"");
    fs::create_directories(tmp / "elsewhere");
    EnvVar homeVar("HOME", home.c_str());
    EnvVar config("XDG_CONFIG_HOME", (tmp / "config").c_str());
    fs::create_directories(tmp / "config");
    const std::string dirs = tmp / "config/user-dirs.dirs";
    struct Case {
        const char* what;
        std::optional<std::string> userDirs;
        bool desktopExists;
        std::string expected;
    } const cases[] = {
        {"$HOME form", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n", false,
         home + "/Schreibtisch/"},
        {"absolute form", "XDG_DESKTOP_DIR=\"" + tmp.Path() + "/elsewhere\"\n", true,
         tmp / "elsewhere/"},
        {"escapes", "XDG_DESKTOP_DIR=\"$HOME/my \\\"desk\\\"\"\n", false, home + "/my \"desk\"/"},
        {"last line wins",
         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DESKTOP_DIR=\"$HOME/my \\\"desk\\\"\"\n",
         false, home + "/my \"desk\"/"},
        {"$HOME alone", "XDG_DESKTOP_DIR=\"$HOME\"\n", true, home + "/"},
        {"other names only", "XDG_DOWNLOAD_DIR=\"$HOME/Schreibtisch\"\n", true, home + "/Desktop/"},
        {"relative path ignored", "XDG_DESKTOP_DIR=\"Schreibtisch\"\n", false, home + "/"},
        {"missing folder ignored", "XDG_DESKTOP_DIR=\"$HOME/gone\"\n", true, home + "/Desktop/"},
        {"no file, Desktop", std::nullopt, true, home + "/Desktop/"},
        {"no file, no Desktop", std::nullopt, false, home + "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dirs);
        if (c.userDirs)
            WriteText(dirs, *c.userDirs);
        fs::remove_all(home + "/Desktop");
        if (c.desktopExists)
            fs::create_directories(home + "/Desktop");
        EXPECT_EQ(App::DesktopFolder(), c.expected);
    }
}

}  // namespace
