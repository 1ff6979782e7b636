#include "app/core/WizardCallback.h"

#include <gtest/gtest.h>

#include "support/ScriptedDialogs.h"

namespace {

using App::RunQuestions;
using Answer = App::MessageBoxes::Answer;
using cryvan_test::ScriptedDialogs;

class WizardCallbackTest : public ::testing::Test {
  protected:
    FCryptEng::OperationStatus status;
    ScriptedDialogs dialogs;
    App::WizardCallback callback{dialogs, status};
};

TEST_F(WizardCallbackTest, ConfirmOverwriteAnswersAndFlagWords) {
    const std::string path = "/home/user/documents/projects/2024/reports/final.txt";
    const std::string asked =
        "replace Confirm File Replace: This file already exists.  Would you like to overwrite "
        "the existing file? [/home/.../2024/reports/final.txt]";
    const std::string askedReadOnly =
        "replace Confirm File Replace: This file already exists and is read-only.  Would you "
        "like to overwrite the existing file? [/home/.../2024/reports/final.txt]";
    const struct {
        bool readOnly;
        RunQuestions::Replace answer;
        bool result;
        std::uint32_t flags;
        bool cancel;
    } cases[] = {
        {false, RunQuestions::Replace::Yes, true, 0x11, false},
        {false, RunQuestions::Replace::YesToAll, true, 0x12, false},
        {false, RunQuestions::Replace::No, false, 0x11, false},
        {false, RunQuestions::Replace::NoToAll, false, 0x14, false},
        {false, RunQuestions::Replace::Cancel, false, 0x11, true},
        {true, RunQuestions::Replace::Yes, true, 0x11, false},
        {true, RunQuestions::Replace::YesToAll, true, 0x21, false},
        {true, RunQuestions::Replace::No, false, 0x11, false},
        {true, RunQuestions::Replace::NoToAll, false, 0x41, false},
        {true, RunQuestions::Replace::Cancel, false, 0x11, true},
    };
    for (const auto& c : cases) {
        status.Clear();
        ScriptedDialogs fresh;
        App::WizardCallback cb(fresh, status);
        fresh.replaceAnswers = {c.answer};
        FCryptEng::OverwriteFlags flags = FCryptEng::OverwriteFlags::Start;
        EXPECT_EQ(cb.ConfirmOverwrite(path, c.readOnly, flags), c.result);
        // The flags word keeps its numbers.
        EXPECT_EQ(static_cast<std::uint32_t>(flags), c.flags) << int(c.answer) << " " << c.readOnly;
        EXPECT_EQ(status.Cancelled(), c.cancel) << int(c.answer) << " " << c.readOnly;
        EXPECT_EQ(fresh.Shown(), std::vector<std::string>{c.readOnly ? askedReadOnly : asked});
    }
}

TEST_F(WizardCallbackTest, ConfirmInputDeletionNamesTheMode) {
    const char* verbs[] = {"recycle", "delete", "overwrite", "eradicate"};
    for (int mode = 1; mode <= 4; ++mode) {
        ScriptedDialogs fresh;
        App::WizardCallback cb(fresh, status);
        fresh.answers = {Answer::Yes};
        const std::string container = "/tmp/x.aes";
        EXPECT_TRUE(cb.ConfirmInputDeletion(mode % 2 ? nullptr : &container,
                                            FCryptEng::InputDeletionMode(mode)));
        EXPECT_EQ(fresh.Shown(),
                  std::vector<std::string>{std::string("box Cryvan: Are you sure you want to ") +
                                           verbs[mode - 1] +
                                           " the input file(s)? [Question YesNo default No]"});
        fresh.answers = {Answer::No};
        EXPECT_FALSE(cb.ConfirmInputDeletion(nullptr, FCryptEng::InputDeletionMode(mode)));
    }
    EXPECT_FALSE(callback.ConfirmInputDeletion(nullptr, FCryptEng::InputDeletionMode::Keep));
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(WizardCallbackTest, ReportDestroyFailed) {
    callback.ReportDestroyFailed(true);
    callback.ReportDestroyFailed(false);
    EXPECT_EQ(dialogs.Shown(),
              (std::vector<std::string>{
                  "box Cryvan: One or more input files could not be fully eradicated. [Warning "
                  "Ok default Ok]",
                  "box Cryvan: One or more input files could not be fully overwritten. [Warning "
                  "Ok default Ok]"}));
}

TEST_F(WizardCallbackTest, RetryOpenTextsByCode) {
    const struct {
        bool isFile;
        int code;
        const char* text;
    } cases[] = {
        {true, 6, "/d/f\n\nThis file is in use by another application and cannot be opened."},
        {false, 6, "/d/f\n\nThis file is in use by another application and cannot be opened."},
        {true, 7, "/d/f\n\nThis file could not be opened because the drive is write-protected."},
        {false, 7,
         "/d/f\n\nThis folder could not be created because the drive is write-protected."},
        {true, 2, "/d/f\n\nThis file could not be opened."},
        {false, 9, "/d/f\n\nThis folder could not be created."},
    };
    for (const auto& c : cases) {
        for (const Answer answer : {Answer::Retry, Answer::Cancel}) {
            ScriptedDialogs fresh;
            App::WizardCallback cb(fresh, status);
            fresh.answers = {answer};
            EXPECT_EQ(cb.RetryOpen(true, c.isFile, "/d/f", OS::ErrorCode(c.code)),
                      answer == Answer::Retry);
            EXPECT_EQ(fresh.Shown(),
                      std::vector<std::string>{std::string("box Cryvan: ") + c.text +
                                               " [Warning RetryCancel default Retry]"});
        }
    }
}

TEST_F(WizardCallbackTest, RetryWriteTexts) {
    dialogs.answers = {Answer::Retry, Answer::Cancel};
    EXPECT_TRUE(callback.RetryWrite(OS::ErrorCode::DiskFull));
    EXPECT_FALSE(callback.RetryWrite(OS::ErrorCode::WriteFault));
    EXPECT_EQ(dialogs.Shown(),
              (std::vector<std::string>{
                  "box Cryvan: There is insufficient space available on the disk. [Warning "
                  "RetryCancel default Retry]",
                  "box Cryvan: An error occurred whilst writing to the disk. [Warning "
                  "RetryCancel default Retry]"}));
}

TEST_F(WizardCallbackTest, AskTextAsksForTheAdministratorsKeyFile) {
    dialogs.keyFileAnswers = {std::string("/keys/alice.key")};
    EXPECT_EQ(callback.AskText("alice", false), std::optional<std::string>("/keys/alice.key"));
    EXPECT_EQ(callback.AskText("bob", true), std::nullopt);
    EXPECT_EQ(dialogs.Shown(), (std::vector<std::string>{"keyfile alice", "keyfile bob create"}));
}

}  // namespace
