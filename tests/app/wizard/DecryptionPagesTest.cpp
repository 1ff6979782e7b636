#include "app/wizard/DecryptionPages.h"

#include <gtest/gtest.h>

#include "app/wizard/DecryptionWizardFixture.h"
#include "recovery/AdminRecovery.h"

namespace {

using namespace cryvan_test;
using App::kBack;
using App::kNext;

const char kWrongBox[] = "box Cryvan: The password entered was incorrect. [Warning Ok default Ok]";

using DecryptionPages = DecryptionWizard;

TEST_F(DecryptionPages, OneFileContainerGoesToTheFilePageWithItsFolder) {
    const std::string box = MakeContainer("one.aes", {{"only.txt", "just one file"}});
    Begin();
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));  // no name yet

    source.SetName(dir / "missing.aes");
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecSourcePg);
    EXPECT_EQ(dialogs.Shown().back(),
              "box File Not Found: The input file selected does not exist. [Warning Ok default "
              "Ok]");
    EXPECT_TRUE(source.focusName);

    source.SetName(box);
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecPasswordPg);
    // Any password but an empty one may be tried: a container can carry a short one.
    password.SetPassword("");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    password.SetPassword("short");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));
    password.SetPassword("secret1");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));
    sheet.PressNext();

    ASSERT_EQ(Active(), App::kDecFilePg);
    EXPECT_EQ(file.folder, dir.Path() + "/");
    EXPECT_EQ(sheet.NextText(), "Decrypt");
    EXPECT_EQ(file.Texts(), (std::vector<std::string>{
                                "Please enter the destination folder for the output file "
                                "'only.txt'.",
                                "Browse...", "To begin decrypting your file, click 'Decrypt'."}));
    EXPECT_EQ(dialogs.Shown().size(), 1u);
}

TEST_F(DecryptionPages, WrongPasswordIsToldAndTheFieldEmptied) {
    Unlock(MakeContainer("two.aes", {{"a.txt", "a"}, {"b.txt", "b"}}), "not the one");
    EXPECT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(dialogs.Shown(), std::vector<std::string>{kWrongBox});
    EXPECT_EQ(password.Password(), "");
    EXPECT_FALSE(password.unlocked);
    EXPECT_TRUE(password.focusPassword);
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));

    password.SetPassword("secret1");
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecFilesPg);
    EXPECT_TRUE(password.unlocked);
}

// A container whose key footer holds no entry it can use answers no password: that is damage,
// not an unlocked container.
TEST_F(DecryptionPages, AContainerWithoutKeyEntriesIsCorruptNotUnlocked) {
    const std::string box = MakeContainer("keyless.aes", {{"a.txt", "a"}});
    std::string bytes = ReadText(box);
    // The password entry's record header (tag, 124-byte body) becomes an unknown record.
    const std::string record("\x8C\x14\x00\x7C", 4);
    const std::size_t at = bytes.rfind(record);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(bytes.find(record), at);
    bytes[at + 1] = '\x15';
    WriteText(box, bytes);

    Unlock(box);
    EXPECT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_FALSE(password.unlocked);
    EXPECT_EQ(dialogs.Shown(),
              std::vector<std::string>{
                  "box Cryvan Error: The input file is corrupt. [Error Ok default Ok]"});
}

TEST_F(DecryptionPages, SelectionAndDestinationChecks) {
    const std::string box = MakeContainer("two.aes", {{"a.txt", "a"}, {"b.txt", "b"}});
    Unlock(box);
    ASSERT_EQ(Active(), App::kDecFilesPg);
    ASSERT_EQ(files.list.Count(), 2u);
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));  // nothing selected
    files.list.Rows()[1].selected = true;
    files.SelectionChanged();
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecDestPg);
    EXPECT_EQ(runner.PlainFileCount(true), 1u);
    EXPECT_EQ(dest.folder, dir.Path() + "/");

    dest.SetFolder("");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecDestPg);

    // A missing folder is asked about; No stays, Yes goes on without creating it.
    dest.SetFolder(dir / "new");
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecDestPg);
    EXPECT_EQ(dialogs.Shown().back(),
              "box Cryvan: The destination folder does not exist.  Would you like to create "
              "it? [Question YesNo default Yes]");
    EXPECT_EQ(dest.folder, dir / "new/");
    EXPECT_TRUE(dest.focusFolder);

    // A path the system refuses to look at.
    dest.SetFolder(dir / std::string(5000, 'x'));
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecDestPg);
    EXPECT_EQ(dialogs.Shown().back(),
              "box File Error: Unable to access the file or drive specified. [Warning Ok "
              "default Ok]");

    // The user's folder stays while the container does.
    dest.SetFolder(dir / "new");
    sheet.PressBack();
    EXPECT_EQ(sheet.NextText(), "Next >");
    sheet.PressNext();
    EXPECT_EQ(dest.folder, dir / "new");

    dialogs.answers = {App::MessageBoxes::Answer::Yes};
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecProgressPg);
    TickUntilEndPage();
    EXPECT_FALSE(fs::exists(dir / "new/a.txt"));
    EXPECT_EQ(ReadText(dir / "new/b.txt"), "b");
}

// Several entries, "-o" with and without a folder: everything selected, no question, the run
// through the progress page to the end page, which closes by itself with "-q".
class CommandLineRun : public DecryptionWizard,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(CommandLineRun, DecryptsEverythingToTheEnd) {
    const std::string box =
        MakeContainer("two.aes", {{"a.txt", TextBytes(3000)}, {"b.bin", RandomBytes(1500)}});
    const std::string given = *GetParam() ? dir / GetParam() : std::string();
    const std::string target = given.empty() ? dir.Path() + "/" : given + "/";
    std::vector<std::string> args{"cryvan", "-d", "-c", box, "-p", "secret1", "-o"};
    if (!given.empty())
        args.push_back(given);
    args.push_back("-q");
    ASSERT_EQ(ProcessCommandLine(args, commandLine, dialogs), App::StartMode::Wizard);
    ASSERT_TRUE(commandLine.decOutputFromCommandLine);
    Begin();
    ASSERT_EQ(Active(), App::kDecProgressPg);
    EXPECT_EQ(runner.PlainFileCount(true), 2u);
    EXPECT_EQ(dest.folder, target);
    EXPECT_EQ(sheet.WizardButtons(), 0u);
    EXPECT_TRUE(sheet.HasTimer(App::ProgressPg::kTimer));

    TickUntilEndPage();
    EXPECT_EQ(ReadText(target + "a.txt"), ReadText(dir / "src-two.aes/a.txt"));
    EXPECT_EQ(ReadText(target + "b.bin"), ReadText(dir / "src-two.aes/b.bin"));
    EXPECT_EQ(end.summary.message, "Your files have been decrypted.\n");
    EXPECT_EQ(end.summary.output, "2 files, 0 folders\n(4.39 KB)\n");
    const std::vector<std::string> texts = end.Texts();
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[1], "Input:");
    EXPECT_EQ(texts[2].substr(0, texts[2].find('\n')), "two.aes");
    EXPECT_EQ(texts.back(), "To exit Cryvan, click 'Finish'.");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(App::kFinish));
    EXPECT_FALSE(sheet.CancelEnabled());
    EXPECT_TRUE(dialogs.Shown().empty());

    const std::uint64_t shown = now;
    sheet.Tick(shown + 1999);
    EXPECT_FALSE(sheet.Closed());
    sheet.Tick(shown + 2000);
    EXPECT_TRUE(sheet.Finished());
}

INSTANTIATE_TEST_SUITE_P(Folders, CommandLineRun, ::testing::Values("", "out/missing"));

// Administrators' passwords: K = 3 of four, one of whom keeps a key file.
class AdministratorUnlock : public DecryptionWizard {
  protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<TempDir>();
        s_setup = std::make_unique<ScriptedCallback>();
        s_config = std::make_unique<FCryptEng::AdminRecovery>(s_setup.get());
        s_setup->textAnswers = {*s_dir / "bo.key"};
        ASSERT_TRUE(s_config->Add("Ann", "ann's password", false));
        ASSERT_TRUE(s_config->Add("Bo", "bo's password", true));
        ASSERT_TRUE(s_config->Add("Cy", "cy's password", false));
        ASSERT_TRUE(s_config->Add("Di", "di's password", false));
        s_config->SetK(3);
    }
    static void TearDownTestSuite() {
        s_config.reset();
        s_setup.reset();
        s_dir.reset();
    }
    std::string Container() {
        return MakeContainer("adm.aes", {{"a.txt", "a"}, {"b.txt", "b"}}, "user's password",
                             s_config.get());
    }

    static inline std::unique_ptr<TempDir> s_dir;
    static inline std::unique_ptr<ScriptedCallback> s_setup;
    static inline std::unique_ptr<FCryptEng::AdminRecovery> s_config;
};

TEST_F(AdministratorUnlock, ThreeAdministratorsAskTwiceMore) {
    dialogs.administratorPasswords = {"cy's password", "di's password"};
    Unlock(Container(), "ann's password");
    EXPECT_EQ(Active(), App::kDecFilesPg);
    EXPECT_EQ(dialogs.Shown(),
              (std::vector<std::string>{"administrator password", "administrator password"}));

    // Back and Next again: the container stays open without asking.
    sheet.PressBack();
    ASSERT_EQ(Active(), App::kDecPasswordPg);
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecFilesPg);
    EXPECT_EQ(dialogs.Shown().size(), 2u);

    // An edited field is tried again; cancelling the further password stays.
    sheet.PressBack();
    password.SetPassword("ann's password");
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(dialogs.Shown().size(), 3u);
    EXPECT_FALSE(password.unlocked);
}

TEST_F(AdministratorUnlock, FurtherPasswordsRetryAfterAWrongOne) {
    dialogs.administratorPasswords = {"not it at all", "cy's password", "di's password"};
    Unlock(Container(), "ann's password");
    EXPECT_EQ(Active(), App::kDecFilesPg);
    EXPECT_EQ(dialogs.Shown(),
              (std::vector<std::string>{"administrator password", kWrongBox,
                                        "administrator password", "administrator password"}));
}

TEST_F(AdministratorUnlock, PagesSayWhichWaysOpenAndHowManyMoreAreNeeded) {
    const std::string admins = Container();
    const std::string plain = MakeContainer("plain.aes", {{"a.txt", "a"}, {"b.txt", "b"}});
    const std::string damaged = dir / "damaged.aes";
    WriteText(damaged, ReadText(plain).substr(0, fs::file_size(plain) - 1));

    Begin();
    source.SetName(admins);
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(password.waysIn, "Opens with: a password; 3 of 4 administrators");
    EXPECT_EQ(password.Texts().back(), password.waysIn);

    // A wrong further password does not count: two are still needed after it.
    dialogs.administratorPasswords = {"not it at all", "cy's password", "di's password"};
    password.SetPassword("ann's password");
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecFilesPg);
    EXPECT_EQ(dialogs.administratorNeeds,
              (std::vector<std::string>{"2 more administrator passwords are needed.",
                                        "2 more administrator passwords are needed.",
                                        "1 more administrator password is needed."}));

    // Each container chosen gets its own line; one refused leaves none behind.
    sheet.PressBack();
    sheet.PressBack();
    ASSERT_EQ(Active(), App::kDecSourcePg);
    source.SetName(plain);
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(password.waysIn, "Opens with: a password");
    sheet.PressBack();
    source.SetName(damaged);
    sheet.PressNext();
    EXPECT_EQ(Active(), App::kDecSourcePg);
    EXPECT_EQ(password.waysIn, "");
    EXPECT_EQ(password.Texts().size(), 5u);
}

TEST_F(AdministratorUnlock, CancelledKeyFileStaysWithoutAMessage) {
    Unlock(Container(), "bo's password");  // no key file chosen
    EXPECT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(dialogs.Shown(), std::vector<std::string>{"keyfile Bo"});
    EXPECT_FALSE(password.unlocked);
}

}  // namespace

// With a front end attached, reading the footers and unlocking go on in the background: the
// page stays, shows itself busy with no button working, and moves on by itself when done.
TEST_F(DecryptionPages, OpeningAndUnlockingRunInTheBackgroundWhenAFrontEndIsAttached) {
    const std::string box = MakeContainer("async.aes", {{"a.txt", "alpha"}, {"b.txt", "beta"}});
    App::Handover& handover = runner.Handover();
    handover.Attach();
    const auto serve = [&](App::Page& page) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (page.Busy() && std::chrono::steady_clock::now() < deadline) {
            handover.RunPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        while (sheet.Pump()) {
        }
    };
    Begin();
    source.SetName(box);
    const std::uint64_t before = sheet.Revision();
    sheet.PressNext();
    // Busy until what follows the work has run here, however fast the work was.
    ASSERT_TRUE(source.Busy());
    EXPECT_EQ(Active(), App::kDecSourcePg);
    EXPECT_EQ(sheet.WizardButtons(), 0u);
    serve(source);
    EXPECT_NE(sheet.Revision(), before);
    ASSERT_EQ(Active(), App::kDecPasswordPg);

    password.SetPassword("wrong11");
    sheet.PressNext();
    ASSERT_TRUE(password.Busy());
    serve(password);
    EXPECT_EQ(Active(), App::kDecPasswordPg);
    EXPECT_EQ(dialogs.Shown().back(), kWrongBox);

    password.SetPassword("secret1");
    sheet.PressNext();
    serve(password);
    EXPECT_EQ(Active(), App::kDecFilesPg);
    handover.Detach();
}
