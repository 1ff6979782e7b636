// The new-administrator, organisation password and key-file dialogs without a display.
#include "app/core/KeyFileDlg.h"
#include "app/prefs/AdminDialogs.h"

#include <gtest/gtest.h>

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using namespace cryvan_test;
using Answer = App::MessageBoxes::Answer;

TEST(NewAdminDlg, ControlsFollowWhatIsTyped) {
    ScriptedDialogs dialogs;
    App::NewAdminDlg dlg(dialogs);
    EXPECT_TRUE(dlg.keyFile);
    EXPECT_FALSE(dlg.PasswordEnabled());
    dlg.GeneratePassword();  // disabled without a name
    EXPECT_TRUE(dlg.Password().empty());

    dlg.SetName("Ann");
    EXPECT_TRUE(dlg.PasswordEnabled());
    dlg.SetPassword("abcde");
    EXPECT_FALSE(dlg.ConfirmationEnabled());
    dlg.SetPassword("abcdef");
    EXPECT_TRUE(dlg.ConfirmationEnabled());
    EXPECT_FALSE(dlg.OkEnabled());
    dlg.SetConfirmation("abcdeX");
    EXPECT_TRUE(dlg.OkEnabled());

    // Different passwords: the message, focus on the password, the dialog stays.
    EXPECT_FALSE(dlg.PressOk());
    EXPECT_TRUE(dlg.focusPassword);
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_NE(dialogs.Shown()[0].find("The passwords entered do not match."), std::string::npos);

    dlg.GeneratePassword();
    EXPECT_TRUE(dlg.plainView);
    EXPECT_EQ(dlg.Password(), dlg.Confirmation());
    EXPECT_GE(dlg.Password().size(), App::NewAdminDlg::kMinPassword);
    dlg.SetPassword(dlg.Password().View());  // typing in the masked field masks again
    EXPECT_FALSE(dlg.plainView);
    dlg.SetKeyFile(false);
    EXPECT_TRUE(dlg.PressOk());
    const auto result = dlg.Result();
    EXPECT_EQ(result.name, "Ann");
    EXPECT_EQ(result.password, dlg.Password());
    EXPECT_FALSE(result.keyFile);
}

TEST(OrgPasswordDlg, OkNeedsTheMinimumAndTheFieldHoldsFifty) {
    App::OrgPasswordDlg dlg(8);
    dlg.SetPassword("1234567");
    EXPECT_FALSE(dlg.OkEnabled());
    dlg.SetPassword("12345678");
    EXPECT_TRUE(dlg.OkEnabled());
    dlg.SetPassword(std::string(60, 'x'));
    EXPECT_EQ(dlg.Password().size(), 50u);
}

TEST(KeyFileDlg, CreatingAsksBeforeOverwritingAndReadingNeedsTheFile) {
    TempDir dir;
    ScriptedDialogs dialogs;
    App::KeyFileDlg create(dialogs, &dialogs, "Ann", true, dir.Path());
    EXPECT_EQ(create.path, dir / "Ann.CryvanKey");
    EXPECT_EQ(create.instruction,
              "Please select the key file for the data recovery administrator 'Ann' by entering "
              "the filename below:");
    EXPECT_TRUE(create.PressOk());  // nothing there yet

    WriteText(create.path, "old key");
    dialogs.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(create.PressOk());
    EXPECT_TRUE(create.PressOk());
    EXPECT_NE(dialogs.Shown()[0].find("box Confirm File Overwrite: The key file specified already "
                                      "exists."),
              std::string::npos);

    App::KeyFileDlg read(dialogs, &dialogs, "Bo", false, dir.Path());
    EXPECT_FALSE(read.PressOk());
    EXPECT_NE(dialogs.Shown().back().find("box File Not Found: The key file specified could not "
                                          "be found."),
              std::string::npos);
    dialogs.openChoices = {dir / "Ann.CryvanKey"};
    read.Browse();
    EXPECT_EQ(read.path, dir / "Ann.CryvanKey");
    EXPECT_TRUE(read.PressOk());
}

}  // namespace
