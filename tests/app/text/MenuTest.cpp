// A file manager's entries run on real files through the terminal front end, with the pop-up
// menu's settings in the user's settings file: what is asked, and what becomes of the files.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/AppTestSupport.h"
#include "app/session/MenuEntry.h"
#include "app/text/TerminalFixture.h"

namespace {

using namespace cryvan_test;
using App::ExitStatus;
namespace fs = std::filesystem;

class Menu : public TerminalFixture {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "cfg/Tenvik-Labs/Cryvan");
        fs::create_directories(dir / "work/folder/deeper");
        WriteText(dir / "work/a.txt", "the only copy");
        WriteText(dir / "work/folder/b.txt", "bee");
        WriteText(dir / "work/folder/deeper/c.txt", "sea");
    }

    void Settings(const std::string& lines) {
        WriteText(dir / "cfg/Tenvik-Labs/Cryvan/settings.reg",
                  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan]\n" + lines);
    }

    std::string Work(const std::string& name) const { return dir / ("work/" + name); }

    EnvVar config{"XDG_CONFIG_HOME", (dir / "cfg").c_str()};
};

TEST_F(Menu, EncryptProposesAFreeNameBesideTheFilesAndDeletesAsTheSettingSays) {
    WriteText(Work("a.aes"), "someone else's container");
    const struct {
        const char* settings;
        const char* answers;  // after the proposed name and the password
        bool asked;
        bool inputGone;
    } cases[] = {
        // Overwrite, asked first: yes.
        {"\"EncryptDeletionOption\"=dword:00000003\n\"ConfirmEncryptDeletion\"=dword:00000001\n",
         "y\n", true, true},
        // Delete, asked first: no, so the input stays.
        {"\"EncryptDeletionOption\"=dword:00000002\n\"ConfirmEncryptDeletion\"=dword:00000001\n",
         "n\n", true, false},
        // None: kept, and nothing asked.
        {"\"EncryptDeletionOption\"=dword:00000000\n\"ConfirmEncryptDeletion\"=dword:00000001\n",
         "", false, false},
        // Eradicate without a question.
        {"\"EncryptDeletionOption\"=dword:00000004\n\"ConfirmEncryptDeletion\"=dword:00000000\n",
         "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Settings(c.settings);
        WriteText(Work("a.txt"), "the only copy");
        fs::remove(Work("a (2).aes"));
        const ExitStatus status =
            Run({"--menu", "encrypt", Work("a.txt")},
                std::string("\n") + "secret1\nsecret1\n\n" + c.answers + "\n");
        EXPECT_EQ(status, ExitStatus::Success) << out.str() << err.str();
        EXPECT_NE(out.str().find("Output file: " + Work("a (2).aes")), std::string::npos)
            << out.str();
        EXPECT_EQ(ReadText(Work("a.aes")), "someone else's container");
        EXPECT_TRUE(fs::exists(Work("a (2).aes")));
        EXPECT_EQ(out.str().find("input file(s)?") != std::string::npos, c.asked) << out.str();
        EXPECT_EQ(!fs::exists(Work("a.txt")), c.inputGone);
    }
}

TEST_F(Menu, DecryptTakesTheContainerAndItsDeletionSetting) {
    ASSERT_EQ(
        Run({"--text", "-e", "-c", Work("box.aes"), "-i", Work("a.txt"), "-p", "secret1", "-q"}),
        ExitStatus::Success)
        << err.str();
    fs::remove(Work("a.txt"));
    Settings(
        "\"DecryptDeletionOption\"=dword:00000002\n\"ConfirmDecryptDeletion\"=dword:00000001\n");
    // The password and Next, the folder proposed (the container's), then yes to deleting the
    // container.
    const ExitStatus status = Run({"--menu", "decrypt", Work("box.aes")}, "secret1\n\n\ny\n\n");
    EXPECT_EQ(status, ExitStatus::Success) << out.str() << err.str();
    EXPECT_EQ(ReadText(Work("a.txt")), "the only copy");
    EXPECT_NE(out.str().find("Are you sure you want to delete the input file(s)?"),
              std::string::npos)
        << out.str();
    EXPECT_FALSE(fs::exists(Work("box.aes")));
}

TEST_F(Menu, ShredAsksTwiceNamingTheCountAndDestroysOnlyOnYes) {
    Settings("\"MenuDeletionOption\"=dword:00000001\n\"ConfirmMenuDeletion\"=dword:00000001\n");
    // No to the second question: nothing is touched.
    EXPECT_EQ(Run({"--menu", "shred", Work("a.txt"), Work("folder")}, "y\nn\n"),
              ExitStatus::Cancelled);
    EXPECT_NE(out.str().find("Are you sure you want to overwrite the chosen file(s)?"),
              std::string::npos);
    EXPECT_NE(out.str().find("Overwrite 3 files? Their contents cannot be recovered afterwards."),
              std::string::npos)
        << out.str();
    EXPECT_EQ(ReadText(Work("a.txt")), "the only copy");
    EXPECT_TRUE(fs::exists(Work("folder/deeper/c.txt")));

    EXPECT_EQ(Run({"--menu", "shred", Work("a.txt"), Work("folder")}, "y\ny\n\n"),
              ExitStatus::Success)
        << out.str() << err.str();
    EXPECT_NE(out.str().find("Shredding in Progress"), std::string::npos);
    EXPECT_NE(out.str().find("Your files have been overwritten."), std::string::npos);
    EXPECT_FALSE(fs::exists(Work("a.txt")));
    EXPECT_FALSE(fs::exists(Work("folder")));  // emptied, then removed
}

TEST_F(Menu, ShredWithoutConfirmationKeepsLinksTheirTargetsAndOtherNamesContent) {
    Settings("\"MenuDeletionOption\"=dword:00000002\n\"ConfirmMenuDeletion\"=dword:00000000\n");
    fs::create_symlink(Work("a.txt"), Work("folder/link"));
    fs::create_hard_link(Work("folder/b.txt"), Work("b-other-name"));
    EXPECT_EQ(Run({"--menu", "shred", Work("folder")}, "\n"), ExitStatus::Warnings)
        << out.str() << err.str();
    EXPECT_EQ(out.str().find("?"), std::string::npos) << "nothing asked:\n" << out.str();
    EXPECT_NE(err.str().find(Work("folder/link") + ": kept, it is a link"), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(Work("folder/b.txt") + ": only unlinked, not overwritten"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(ReadText(Work("a.txt")), "the only copy");
    EXPECT_EQ(ReadText(Work("b-other-name")), "bee");
    EXPECT_TRUE(fs::is_symlink(Work("folder/link")));
    EXPECT_FALSE(fs::exists(Work("folder/b.txt")));
    EXPECT_FALSE(fs::exists(Work("folder/deeper")));
}

TEST_F(Menu, ShredSwitchedOffOrUnusableSaysWhyAndTouchesNothing) {
    Settings("\"MenuDeletionOption\"=dword:00000000\n");
    EXPECT_EQ(Run({"--menu", "shred", Work("a.txt")}), ExitStatus::Failed);
    EXPECT_NE(err.str().find(App::kShredOffText), std::string::npos) << err.str();
    EXPECT_EQ(ReadText(Work("a.txt")), "the only copy");

    Settings("\"MenuDeletionOption\"=dword:00000001\n");
    EXPECT_EQ(Run({"--menu", "shred", Work("missing")}), ExitStatus::Failed);
    EXPECT_NE(err.str().find(Work("missing") + ": not found"), std::string::npos) << err.str();

    EXPECT_EQ(Run({"--menu", "wipe", Work("a.txt")}), ExitStatus::InvalidCommandLine);
    EXPECT_NE(err.str().find("--menu takes one of encrypt|decrypt|shred|open, not 'wipe'"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(ReadText(Work("a.txt")), "the only copy");
}

}  // namespace
