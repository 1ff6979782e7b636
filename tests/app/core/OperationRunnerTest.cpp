#include "app/core/OperationRunner.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <algorithm>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "app/core/Progress.h"
#include "app/core/Texts.h"
#include "filters/Random.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Answer = App::MessageBoxes::Answer;
using App::OperationRunner;
using App::RunQuestions;
using cryvan_test::ReadText;
using cryvan_test::ScriptedDialogs;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::OperationState;

std::string Random(std::size_t n) {
    std::string s(n, '\0');
    CryptoP2::GlobalRNG().GenerateBlock(reinterpret_cast<CryptoPP::byte*>(s.data()), n);
    return s;
}

// Polls as the progress page does, until the worker has ended.
void WaitUntilDone(OperationRunner& runner) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (runner.IsRunning() && std::chrono::steady_clock::now() < deadline) {
        runner.Snapshot();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(runner.IsRunning());
}

// Waits until the run has read something and is not done yet.
void WaitUntilUnderway(OperationRunner& runner) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (runner.Snapshot().readSoFar == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GT(runner.Snapshot().readSoFar, 0u);
}

class OperationRunnerTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedDialogs dialogs;
    OperationRunner runner{dialogs};

    // Readies an encryption of `names` (made in src/) into out.aes.
    void PrepareEncryption(const std::vector<std::pair<std::string, std::string>>& files) {
        fs::create_directories(dir / "src");
        runner.SetMode(true);
        for (const auto& [name, content] : files) {
            WriteText(dir / ("src/" + name), content);
            runner.AddPlainFile(dir / ("src/" + name));
        }
        runner.SetPath(FCryptEng::PathMode::Common, std::nullopt);
        runner.SetCipherFile(dir / "out.aes");
        EXPECT_EQ(runner.SetPassword("secret"), FCryptEng::UnlockResult::Nothing);
        runner.SetHeader(false);
        runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
    }

    // Opens out.aes and selects every entry for dest/.
    void PrepareDecryption() {
        runner.SetMode(false);
        runner.SetCipherFile(dir / "out.aes");
        runner.ClearPassword();
        EXPECT_EQ(runner.SetPassword("wrong"), FCryptEng::UnlockResult::Wrong);
        EXPECT_EQ(runner.SetPassword("secret"), FCryptEng::UnlockResult::Unlocked);
        runner.ClearPlainFiles();
        for (std::size_t i = 0; i < runner.PlainFileCount(false); ++i)
            runner.SelectPlainFile(i);
        fs::create_directories(dir / "dest");
        runner.SetPath(FCryptEng::PathMode::Common, dir / "dest/");
        runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
    }

    App::EndSummary Run() {
        EXPECT_TRUE(runner.Start());
        WaitUntilDone(runner);
        return App::Summarize(App::FactsOf(runner));
    }
};

TEST_F(OperationRunnerTest, EncryptsAndDecryptsRealFiles) {
    PrepareEncryption({{"a.txt", std::string(5000, 'a')}, {"b.bin", Random(3192)}});
    EXPECT_TRUE(runner.IsEncrypting());
    App::EndSummary end = Run();
    EXPECT_EQ(runner.Status().State(), OperationState::Finished);
    EXPECT_FALSE(runner.RunFailed());
    EXPECT_FALSE(runner.RunCancelled());
    const App::Snapshot s = runner.Snapshot();
    EXPECT_EQ(s.fileCount, 2u);
    EXPECT_EQ(s.overallPercent, 100u);
    EXPECT_EQ(end.message, "Your files have been encrypted.\n");
    EXPECT_EQ(end.input, "2 files, 0 folders\n(8.00 KB)\n");
    const std::uint32_t containerSize = std::uint32_t(fs::file_size(dir / "out.aes"));
    // The name as the engine has it; the bytes written by the run, the header not among them.
    EXPECT_EQ(end.output, "out.aes\n(" + App::SizeText(containerSize - 35) + ")\n");
    EXPECT_EQ(end.time.back(), '\n');
    EXPECT_TRUE(end.showDetails);
    EXPECT_EQ(ReadText(dir / "out.aes").substr(0, 35), OperationRunner::kTextHeader);

    PrepareDecryption();
    EXPECT_FALSE(runner.IsEncrypting());
    EXPECT_EQ(runner.PlainFileCount(true), 2u);
    end = Run();
    EXPECT_EQ(runner.Status().State(), OperationState::Finished);
    EXPECT_EQ(ReadText(dir / "dest/a.txt"), ReadText(dir / "src/a.txt"));
    EXPECT_EQ(ReadText(dir / "dest/b.bin"), ReadText(dir / "src/b.bin"));
    EXPECT_EQ(end.message, "Your files have been decrypted.\n");
    EXPECT_EQ(end.output, "2 files, 0 folders\n(8.00 KB)\n");
    EXPECT_EQ(end.input.substr(0, end.input.find('\n')), "out.aes");
    EXPECT_TRUE(dialogs.Shown().empty());
}

// The record's byte words hold what a run of several files past 4 GiB counts; the snapshot and
// the texts carry them whole.
TEST_F(OperationRunnerTest, SnapshotCarriesByteCountsPast32Bits) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    runner.SetMode(false);
    FCryptEng::OperationStatus& r = runner.Record();
    r.SetState(OperationState::Decrypting);
    OS::Store(r.inDone, 4 * kGiB);
    OS::Store(r.inBytes, kGiB / 2);
    OS::Store(r.inTotal, 6 * kGiB);
    OS::Store(r.outDone, 5 * kGiB);
    OS::Store(r.outBytes, kGiB);
    OS::Store(r.plainTotal, 7 * kGiB);
    OS::Store(r.itemSize, 3 * kGiB);
    OS::Store(r.itemPlainSize, 3 * kGiB + kGiB / 2);
    OS::Store(r.overallPercent, 85);
    OS::Store(r.itemPercent, 28);
    const App::Snapshot s = runner.Snapshot();
    EXPECT_EQ(s.readSoFar, 4 * kGiB + kGiB / 2);
    EXPECT_EQ(s.readTotal, 6 * kGiB);
    EXPECT_EQ(s.writtenSoFar, 6 * kGiB);
    EXPECT_EQ(s.writeTotal, 7 * kGiB);
    EXPECT_EQ(s.itemRead, kGiB / 2);
    EXPECT_EQ(s.itemSize, 3 * kGiB);
    EXPECT_EQ(s.itemWritten, kGiB);
    EXPECT_EQ(s.itemOutSize, 3 * kGiB + kGiB / 2);
    EXPECT_EQ(App::OverallText(s, false), "Written 6.00 GB of 7.00 GB (85%)");
    EXPECT_EQ(App::OverallText(s, true), "Read 4.50 GB of 6.00 GB (85%)");
    EXPECT_EQ(App::ItemText(s), "Written 1.00 GB of 3.50 GB (28%)");
    r.Clear();
    EXPECT_EQ(runner.Snapshot().writeTotal, 0u);
}

// Two sparse files of 3 GiB: the total and the percentages count all 6 GiB. The run is cancelled
// once a few percent are done.
TEST_F(OperationRunnerTest, EncryptionTotalsPast32BitsCountWhole) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    fs::create_directories(dir / "src");
    runner.SetMode(true);
    for (const std::string name : {"a.img", "b.img"}) {
        const std::string path = dir / ("src/" + name);
        WriteText(path, "");
        fs::resize_file(path, 3 * kGiB);
        runner.AddPlainFile(path);
    }
    runner.SetPath(FCryptEng::PathMode::Common, std::nullopt);
    runner.SetCipherFile(dir / "out.aes");
    EXPECT_EQ(runner.SetPassword("secret"), FCryptEng::UnlockResult::Nothing);
    runner.SetHeader(false);
    runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
    ASSERT_TRUE(runner.Start());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    App::Snapshot s = runner.Snapshot();
    while (runner.IsRunning() && s.readSoFar < 128u << 20 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        s = runner.Snapshot();
    }
    runner.CancelAndWait();
    ASSERT_GE(s.readSoFar, 128u << 20);
    EXPECT_EQ(s.readTotal, 6 * kGiB);
    EXPECT_EQ(s.itemSize, 3 * kGiB);
    const auto expected = std::int64_t(s.readSoFar * 100 / (6 * kGiB));
    EXPECT_NEAR(std::int64_t(s.overallPercent), expected, 1);
    EXPECT_NE(App::OverallText(s, true).find(" of 6.00 GB ("), std::string::npos);
    EXPECT_TRUE(runner.RunCancelled());
}

TEST_F(OperationRunnerTest, SingleFileSummariesNameTheFile) {
    PrepareEncryption({{"only.txt", std::string(2048, 'x')}});
    App::EndSummary end = Run();
    EXPECT_EQ(end.message, "Your file has been encrypted.\n");
    EXPECT_EQ(end.input, App::CompactPath(dir / "src/only.txt") + "\n(2.00 KB)\n");

    PrepareDecryption();
    end = Run();
    EXPECT_EQ(end.message, "Your file has been decrypted.\n");
    EXPECT_EQ(end.output, "only.txt\n(2.00 KB)\n");
}

TEST_F(OperationRunnerTest, FailedRunShowsTheFailureText) {
    runner.SetMode(true);
    WriteText(dir / "a.txt", "a");
    runner.AddPlainFile(dir / "a.txt");
    runner.SetCipherFile(dir / "out.aes");  // no password: the readiness checks fail
    const App::EndSummary end = Run();
    EXPECT_TRUE(runner.RunFailed());
    EXPECT_FALSE(runner.RunCancelled());
    // The engine's own reason, not "an unexpected error".
    EXPECT_EQ(end.message, "The encryption failed.");
    EXPECT_NE(end.reason.find("No passwords / message recovery data set"), std::string::npos)
        << end.reason;
    EXPECT_FALSE(end.showDetails);
    EXPECT_FALSE(fs::exists(dir / "out.aes"));
}

TEST_F(OperationRunnerTest, CancelAndWaitEndsALargeRunCancelled) {
    PrepareEncryption({{"big.bin", Random(40u << 20)}});
    ASSERT_TRUE(runner.Start());
    EXPECT_FALSE(runner.Start());  // one worker at a time
    WaitUntilUnderway(runner);
    runner.CancelAndWait();
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_TRUE(runner.RunCancelled());
    EXPECT_FALSE(runner.RunFailed());
    EXPECT_EQ(runner.Status().State(), OperationState::Failed);
    EXPECT_LT(runner.Snapshot().readSoFar, 40u << 20);
    EXPECT_FALSE(fs::exists(dir / "out.aes"));
    EXPECT_EQ(App::Summarize(App::FactsOf(runner)).message,
              "The file encryption operation has been cancelled.");
}

TEST_F(OperationRunnerTest, CancelRightAfterStartIsNotLost) {
    PrepareEncryption({{"big.bin", Random(8u << 20)}});
    ASSERT_TRUE(runner.Start());
    runner.CancelAndWait();
    EXPECT_TRUE(runner.RunCancelled());
    EXPECT_EQ(runner.Status().State(), OperationState::Failed);
}

TEST_F(OperationRunnerTest, PauseFreezesProgressAndResumeFinishes) {
    PrepareEncryption({{"big.bin", Random(40u << 20)}});
    ASSERT_TRUE(runner.Start());
    WaitUntilUnderway(runner);
    runner.Pause(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const App::Snapshot before = runner.Snapshot();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const App::Snapshot after = runner.Snapshot();
    EXPECT_TRUE(runner.IsRunning());
    EXPECT_EQ(before.readSoFar, after.readSoFar);
    EXPECT_EQ(before.writtenSoFar, after.writtenSoFar);
    EXPECT_EQ(before.overallPercent, after.overallPercent);
    EXPECT_LT(after.readSoFar, 40u << 20);
    runner.Pause(false);
    WaitUntilDone(runner);
    EXPECT_EQ(runner.Status().State(), OperationState::Finished);
    EXPECT_EQ(runner.Snapshot().readSoFar, 40u << 20);
}

TEST_F(OperationRunnerTest, CancelEndsAPausedRun) {
    PrepareEncryption({{"big.bin", Random(40u << 20)}});
    ASSERT_TRUE(runner.Start());
    WaitUntilUnderway(runner);
    runner.Pause(true);
    runner.CancelAndWait();
    EXPECT_TRUE(runner.RunCancelled());
    EXPECT_FALSE(fs::exists(dir / "out.aes"));
}

TEST_F(OperationRunnerTest, BackgroundLowersThisThreadOnlyWhileRunning) {
    const id_t self = id_t(syscall(SYS_gettid));
    const int before = getpriority(PRIO_PROCESS, self);
    runner.SetBackground(true);  // nothing runs: normal
    EXPECT_EQ(getpriority(PRIO_PROCESS, self), before);
    PrepareEncryption({{"big.bin", Random(8u << 20)}});
    ASSERT_TRUE(runner.Start());
    runner.SetBackground(true);
    const bool ran = runner.IsRunning();
    WaitUntilDone(runner);
    if (ran) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, self), std::min(before + 1, 19));
    }
    runner.SetBackground(false);
    // Only a privileged process gets its priority back: the one it was started with, so a
    // program started under `nice` stays there.
    if (geteuid() == 0) {
        EXPECT_EQ(getpriority(PRIO_PROCESS, self), before);
    }
    EXPECT_EQ(runner.Status().State(), OperationState::Finished);
}

TEST_F(OperationRunnerTest, CancelQuestionHoldsTheRunAndNoLetsItGoOn) {
    PrepareEncryption({{"big.bin", Random(40u << 20)}});
    ASSERT_TRUE(runner.Start());
    WaitUntilUnderway(runner);
    std::uint32_t first = 0, second = 0;
    dialogs.onShow = [&](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        first = runner.Snapshot().readSoFar;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        second = runner.Snapshot().readSoFar;
    };
    dialogs.answers = {Answer::No};
    EXPECT_FALSE(App::AllowCancel(runner, dialogs));
    EXPECT_EQ(first, second);
    EXPECT_EQ(dialogs.Shown(), std::vector<std::string>{"box Cryvan: Are you sure you want to "
                                                        "cancel? [Question YesNo default No]"});
    WaitUntilDone(runner);
    EXPECT_EQ(runner.Status().State(), OperationState::Finished);
    EXPECT_FALSE(runner.RunCancelled());
    // Once the run has ended, cancelling needs no question.
    EXPECT_TRUE(App::AllowCancel(runner, dialogs));
    EXPECT_EQ(dialogs.Shown().size(), 1u);
}

TEST_F(OperationRunnerTest, ReplaceAnswersAcrossSeveralExistingFiles) {
    const struct {
        RunQuestions::Replace answer;
        std::size_t questions;
        bool overwritten;
        bool cancelled;
    } cases[] = {
        {RunQuestions::Replace::YesToAll, 1, true, false},
        {RunQuestions::Replace::NoToAll, 1, false, false},
        {RunQuestions::Replace::Cancel, 1, false, true},
    };
    PrepareEncryption({{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c.txt", "charlie"}});
    Run();
    ASSERT_EQ(runner.Status().State(), OperationState::Finished);
    for (const auto& c : cases) {
        ScriptedDialogs boxes;
        OperationRunner decrypting(boxes);
        boxes.replaceAnswers = {c.answer};
        fs::create_directories(dir / "dest");
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            WriteText(dir / (std::string("dest/") + name), "old");
        decrypting.SetMode(false);
        decrypting.SetCipherFile(dir / "out.aes");
        decrypting.ClearPassword();
        ASSERT_EQ(decrypting.SetPassword("secret"), FCryptEng::UnlockResult::Unlocked);
        decrypting.ClearPlainFiles();
        for (std::size_t i = 0; i < 3; ++i)
            decrypting.SelectPlainFile(i);
        decrypting.SetPath(FCryptEng::PathMode::Common, dir / "dest/");
        ASSERT_TRUE(decrypting.Start());
        WaitUntilDone(decrypting);
        const auto shown = boxes.Shown();
        ASSERT_EQ(shown.size(), c.questions) << int(c.answer);
        EXPECT_EQ(shown[0].rfind("replace Confirm File Replace: This file already exists.", 0), 0u);
        EXPECT_EQ(decrypting.RunCancelled(), c.cancelled);
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            const std::string got = ReadText(dir / (std::string("dest/") + name));
            EXPECT_EQ(got == ReadText(dir / (std::string("src/") + name)), c.overwritten)
                << int(c.answer) << " " << name;
        }
    }
}

TEST_F(OperationRunnerTest, SetModeReplacesTheEngineOfTheOtherKind) {
    WriteText(dir / "a.txt", "a");
    runner.SetMode(true);
    runner.AddPlainFile(dir / "a.txt");
    runner.SetMode(true);  // same kind: kept
    EXPECT_EQ(runner.PlainFileCount(false), 1u);
    runner.SetMode(false);
    EXPECT_FALSE(runner.IsEncrypting());
    EXPECT_EQ(runner.PlainFileCount(false), 0u);
    runner.SetMode(true);
    EXPECT_TRUE(runner.IsEncrypting());
    EXPECT_EQ(runner.PlainFileCount(false), 0u);  // what the first encryptor had is gone
}

TEST_F(OperationRunnerTest, EncryptorAcceptsEveryPassword) {
    runner.SetMode(true);
    EXPECT_EQ(runner.SetPassword("one"), FCryptEng::UnlockResult::Nothing);
    EXPECT_EQ(runner.SetPassword("two"), FCryptEng::UnlockResult::Nothing);
}

TEST_F(OperationRunnerTest, UsageErrors) {
    EXPECT_THROW(runner.AddPlainFile("/tmp"), std::logic_error);  // no engine yet
    EXPECT_THROW(runner.Start(), std::logic_error);
    EXPECT_FALSE(runner.IsEncrypting());
    runner.SetMode(true);
    EXPECT_THROW(OperationRunner::DeletionMode(5), std::invalid_argument);
    EXPECT_THROW(OperationRunner::DeletionMode(-1), std::invalid_argument);
    EXPECT_FALSE(runner.RunFailed());
    EXPECT_FALSE(runner.RunCancelled());
}

}  // namespace
