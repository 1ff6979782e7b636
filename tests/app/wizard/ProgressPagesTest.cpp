#include "app/wizard/ProgressPages.h"

#include <gtest/gtest.h>

#include "app/wizard/DecryptionWizardFixture.h"

namespace {

using namespace cryvan_test;
using Answer = App::MessageBoxes::Answer;

using ProgressPages = DecryptionWizard;

TEST_F(ProgressPages, SingleFileRunShowsProgressAndWaitsWhileMinimized) {
    Unlock(MakeContainer("one.aes", {{"only.txt", TextBytes(2048)}}));
    ASSERT_EQ(Active(), App::kDecFilePg);
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecProgressPg);
    EXPECT_EQ(progress.Title(), "Decryption in Progress");
    EXPECT_TRUE(progress.layout.hideItem);
    EXPECT_EQ(sheet.NextText(), "Next >");
    EXPECT_EQ(sheet.WizardButtons(), 0u);
    EXPECT_TRUE(sheet.CancelEnabled());

    // Minimized, the run ends without leaving the page; the title carries the progress.
    sheet.SetMinimized(true);
    while (runner.IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (int i = 0; i < 3; ++i)
        sheet.Tick(now += 200);
    EXPECT_EQ(Active(), App::kDecProgressPg);
    EXPECT_EQ(sheet.Title(), "Finished - 100%");

    sheet.SetMinimized(false);
    sheet.Tick(now += 200);
    ASSERT_EQ(Active(), App::kEndPg);
    EXPECT_EQ(sheet.Title(), "Cryvan");
    EXPECT_EQ(progress.overallText, "Written 2.00 KB of 2.00 KB (100%)");
    EXPECT_EQ(progress.overallBar, 100u);
    EXPECT_FALSE(sheet.HasTimer(App::ProgressPg::kTimer));

    EXPECT_TRUE(end.HeaderHidden());
    EXPECT_EQ(end.summary.message, "Your file has been decrypted.\n");
    EXPECT_EQ(end.summary.output, "only.txt\n(2.00 KB)\n");
    EXPECT_EQ(ReadText(dir / "only.txt"), TextBytes(2048));
    EXPECT_FALSE(sheet.HasTimer(App::EndPg::kQuitTimer));  // no "-q"
    sheet.PressFinish();
    EXPECT_TRUE(sheet.Finished());
}

TEST_F(ProgressPages, CancelAsksWhileTheRunGoes) {
    Unlock(MakeContainer("big.aes", {{"big.bin", RandomBytes(40u << 20)}}));
    ASSERT_EQ(Active(), App::kDecFilePg);
    file.SetFolder(dir / "out");
    dialogs.answers = {Answer::Yes};  // create it
    sheet.PressNext();
    ASSERT_EQ(Active(), App::kDecProgressPg);
    WaitUntilUnderway();
    // Held so that the run is surely still going when the question comes.
    runner.Pause(true);
    ASSERT_TRUE(runner.IsRunning());
    dialogs.answers = {Answer::No};
    EXPECT_FALSE(sheet.PressCancel());
    EXPECT_EQ(dialogs.Shown().back(),
              "box Cryvan: Are you sure you want to cancel? [Question YesNo default No]");
    EXPECT_FALSE(sheet.Closed());
    EXPECT_TRUE(sheet.HasTimer(App::ProgressPg::kTimer));
    // No lets it go on; held again at once so that Yes finds it still going.
    const std::uint32_t before = runner.Snapshot().writtenSoFar;
    while (runner.IsRunning() && runner.Snapshot().writtenSoFar == before)
        std::this_thread::yield();
    runner.Pause(true);
    ASSERT_TRUE(runner.IsRunning());

    dialogs.answers = {Answer::Yes};
    EXPECT_TRUE(sheet.PressCancel());
    EXPECT_TRUE(sheet.Closed());
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_FALSE(sheet.HasTimer(App::ProgressPg::kTimer));
    EXPECT_TRUE(runner.RunCancelled());
    // What the end page makes of it.
    end.OnSetActive();
    EXPECT_EQ(end.summary.message, "The file decryption operation has been cancelled.");
    EXPECT_EQ(end.Texts(),
              (std::vector<std::string>{"The file decryption operation has been cancelled.",
                                        "To exit Cryvan, click 'Finish'."}));
}

TEST_F(ProgressPages, EncryptionInstanceAndBackgroundSwitch) {
    App::ProgressPg encryption(context, true);
    EXPECT_EQ(encryption.Id(), App::kEncProgressPg);
    EXPECT_EQ(encryption.Title(), "Encryption in Progress");
    EXPECT_EQ(encryption.Subtitle(), "Your files are being encrypted.");
    EXPECT_EQ(progress.Subtitle(), "Your files are being decrypted.");
    progress.SetBackground(true);
    EXPECT_TRUE(progress.background);
    progress.SetBackground(false);
    EXPECT_FALSE(progress.background);
}

}  // namespace
