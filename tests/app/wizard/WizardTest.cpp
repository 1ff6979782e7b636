// The whole wizard driven by command lines, as the program runs it: every page takes its value
// and presses Next by itself, the run goes through the runner, the end page closes by itself.
#include "app/wizard/Wizard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/AppTestSupport.h"
#include "engine/EngineTestSupport.h"
#include "support/ScriptedDialogs.h"

namespace {

using namespace cryvan_test;

class WizardRun : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeSampleTree(dir);
        WriteText(dir / "in/docs/.hidden", "hidden\n");
        WriteText(dir / "in/single.txt", "one\n");
    }

    // Runs the wizard on the arguments until the sheet closes or nothing moves any more.
    std::unique_ptr<App::Wizard> Run(std::vector<std::string> args,
                                     App::StartMode expected = App::StartMode::Wizard) {
        args.insert(args.begin(), "cryvan");
        auto wizard = std::make_unique<App::Wizard>(dialogs, MakeFolders(dir));
        EXPECT_EQ(wizard->ProcessCommandLine(args), expected);
        if (expected != App::StartMode::Wizard)
            return wizard;
        wizard->Start();
        std::uint64_t now = 0;
        for (int i = 0; i < 3000 && !wizard->Closed(); ++i) {
            wizard->Step(now += 50);
            if (wizard->Runner().IsRunning())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return wizard;
    }

    TempDir dir;
    ScriptedDialogs dialogs;
};

TEST_F(WizardRun, ACompleteCommandLineEncryptsAndDecryptsWithoutAQuestion) {
    const std::string box = dir / "out.aes";
    auto enc =
        Run({"-e", "-c", box, "-i", dir / "in/docs", dir / "in/single.txt", "-p", "secret1", "-q"});
    EXPECT_TRUE(enc->Finished());
    EXPECT_TRUE(dialogs.Shown().empty()) << dialogs.Shown().front();
    ASSERT_TRUE(fs::exists(box));

    auto dec = Run({"-d", "-c", box, "-p", "secret1", "-o", dir / "out", "-q"});
    EXPECT_TRUE(dec->Finished());
    EXPECT_TRUE(dialogs.Shown().empty()) << dialogs.Shown().front();
    EXPECT_EQ(ReadText(dir / "out/docs/a.txt"), ReadText(dir / "in/docs/a.txt"));
    EXPECT_EQ(ReadText(dir / "out/docs/sub/b.bin"), ReadText(dir / "in/docs/sub/b.bin"));
    EXPECT_EQ(ReadText(dir / "out/docs/.hidden"), "hidden\n");
    EXPECT_EQ(ReadText(dir / "out/single.txt"), "one\n");
}

TEST_F(WizardRun, APartialCommandLineStopsAtThePageThatLacksSomething) {
    // No -c: the destination page proposes the default name (beside the input) and waits.
    auto enc = Run({"-e", "-i", dir / "in/single.txt", "-p", "secret1"});
    EXPECT_FALSE(enc->Closed());
    EXPECT_EQ(enc->ActivePage(), &enc->encDest);
    EXPECT_EQ(enc->encDest.name, dir / "in/single.aes");

    // A password of five characters stops on the password page.
    auto shortPw = Run({"-e", "-c", dir / "x.aes", "-i", dir / "in/single.txt", "-p", "short"});
    EXPECT_EQ(shortPw->ActivePage(), &shortPw->encPassword);
    EXPECT_FALSE(fs::exists(dir / "x.aes"));
}

TEST_F(WizardRun, CancelOnEveryPageLeavesNothingBehind) {
    const std::string box = dir / "box.aes", single = dir / "single.aes";
    Run({"-e", "-c", box, "-i", dir / "in/docs", "-p", "secret1", "-q"});
    Run({"-e", "-c", single, "-i", dir / "in/single.txt", "-p", "secret1", "-q"});
    ASSERT_TRUE(fs::exists(box) && fs::exists(single));
    const auto before = Tree(dir.Path());

    struct Case {
        std::vector<std::string> args;
        int page;
        bool selectAllAndNext;  // from the stored-file list to the destination page
    } const cases[] = {
        {{}, App::kEncOrDecPg, false},
        {{"-e"}, App::kEncSourcePg, false},
        {{"-e", "-i", dir / "in/single.txt"}, App::kEncDestPg, false},
        {{"-e", "-c", dir / "new.aes", "-i", dir / "in/single.txt"}, App::kEncPasswordPg, false},
        {{"-d"}, App::kDecSourcePg, false},
        {{"-d", "-c", box}, App::kDecPasswordPg, false},
        {{"-d", "-c", box, "-p", "secret1"}, App::kDecFilesPg, false},
        {{"-d", "-c", box, "-p", "secret1"}, App::kDecDestPg, true},
        {{"-d", "-c", single, "-p", "secret1"}, App::kDecFilePg, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        auto wizard = Run(c.args);
        if (c.selectAllAndNext) {
            wizard->decFiles.SelectAll();
            wizard->PressNext();
        }
        ASSERT_NE(wizard->ActivePage(), nullptr);
        EXPECT_EQ(wizard->ActivePage()->Id(), c.page);
        EXPECT_TRUE(wizard->PressCancel());
        EXPECT_TRUE(wizard->Closed());
        EXPECT_FALSE(wizard->Finished());
        EXPECT_EQ(Tree(dir.Path()), before);
    }
}

TEST_F(WizardRun, AnInvalidCommandLineShowsTheUsageAndNoWizard) {
    Run({"-e", "-o", "dir"}, App::StartMode::Invalid);
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].rfind(
                  "box Cryvan Error: The command line parameters given were invalid.", 0),
              0u);
}

}  // namespace
