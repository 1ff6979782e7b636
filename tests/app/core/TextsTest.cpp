#include "app/core/Texts.h"

#include <gtest/gtest.h>

#include "app/core/Progress.h"

namespace {

using App::Snapshot;
using FCryptEng::OperationState;

constexpr std::uint64_t kGiB = 1ull << 30;

// Counts of 2 GiB and more once showed as negative bytes, and 4 GiB as nothing at all.
TEST(SizeTextTest, ChoosesTheUnitAtEachBoundary) {
    const struct {
        std::uint64_t n;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048575, "1024.00 KB"},
        {1048576, "1.00 MB"},
        {1073741823, "1024.00 MB"},
        {kGiB, "1.00 GB"},
        {2 * kGiB - 1, "2.00 GB"},
        {2 * kGiB, "2.00 GB"},
        {2 * kGiB + kGiB / 2, "2.50 GB"},
        {4 * kGiB - 1, "4.00 GB"},
        {4 * kGiB, "4.00 GB"},
        {5 * kGiB, "5.00 GB"},
        {1024 * kGiB, "1024.00 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(App::SizeText(c.n), c.text) << c.n;
}

TEST(TimeTextTest, UsesSecondsMinutesOrHours) {
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {
        {0, "0.00 sec"},
        {4, "0.00 sec"},
        {1234, "1.23 sec"},
        {59999, "60.00 sec"},
        {60000, "1 min 0 sec"},
        {61999, "1 min 1 sec"},
        {3599999, "59 min 59 sec"},
        {3600000, "1 hrs 0 min 0 sec"},
        {3600000 + 125000, "1 hrs 2 min 5 sec"},
        {90000000, "25 hrs 0 min 0 sec"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(App::TimeText(c.ms), c.text) << c.ms;
}

TEST(SpeedTextTest, MegabytesPerSecond) {
    const struct {
        std::uint64_t bytes;
        std::uint32_t ms;
        const char* text;
    } cases[] = {
        {1048576, 1000, " (1.00 MB/sec)"},     {10485760, 500, " (20.00 MB/sec)"},    {1000, 0, ""},
        {2 * kGiB, 1000, " (2048.00 MB/sec)"}, {5 * kGiB, 2000, " (2560.00 MB/sec)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(App::SpeedText(c.bytes, c.ms), c.text) << c.bytes << " in " << c.ms;
}

TEST(CompactPathTest, KeepsTheStartAndAsMuchOfTheEndAsFits) {
    const std::string exact40(40, 'x');
    const struct {
        std::string path;
        std::size_t max;
        std::string text;
    } cases[] = {
        {"", 40, ""},
        {"/home/user/short.txt", 40, "/home/user/short.txt"},
        {exact40, 40, exact40},
        {"/home/user/documents/projects/2024/reports/final.txt", 40,
         "/home/.../2024/reports/final.txt"},
        {"C:\\Users\\bob\\Documents\\Very Long Folder Name\\report.doc", 40,
         "C:\\...\\Very Long Folder Name\\report.doc"},
        // A name longer than the room: its end is kept.
        {"/home/user/a_really_long_file_name_that_goes_on_forever.txt", 40,
         "/home/...e_name_that_goes_on_forever.txt"},
        // No separator at all: the middle goes.
        {std::string(30, 'a') + std::string(30, 'b'), 40,
         std::string(18, 'a') + "..." + std::string(19, 'b')},
        {"abcdef", 2, ".."},
    };
    for (const auto& c : cases) {
        const std::string got = App::CompactPath(c.path, c.max);
        EXPECT_EQ(got, c.text) << c.path;
        EXPECT_LE(got.size(), c.max) << c.path;
    }
}

Snapshot Running(OperationState state) {
    Snapshot s;
    s.state = state;
    s.readSoFar = 1536;
    s.readTotal = 3 * 1048576;
    s.writtenSoFar = 2048;
    s.writeTotal = 4096;
    s.itemRead = 100;
    s.itemSize = 1024;
    s.itemWritten = 200;
    s.itemOutSize = 2048;
    s.itemPercent = 9;
    s.overallPercent = 42;
    s.itemNumber = 2;
    s.itemName = "/home/user/documents/projects/2024/reports/final.txt";
    return s;
}

TEST(ProgressTextsTest, ByState) {
    const struct {
        OperationState state;
        const char* title;
        const char* itemLine;
        const char* itemText;
    } cases[] = {
        {OperationState::Idle, "", "", ""},
        {OperationState::Encrypting, "Encrypting - 42%",
         "Encrypting file:  /home/.../2024/reports/final.txt", "Read 100 bytes of 1.00 KB (9%)"},
        {OperationState::Decrypting, "Decrypting - 42%",
         "Decrypting file:  /home/.../2024/reports/final.txt", "Written 200 bytes of 2.00 KB (9%)"},
        {OperationState::Recycling, "Recycling - 42%", "", "(9%)"},
        {OperationState::Deleting, "Deleting - 42%", "", "(9%)"},
        {OperationState::Overwriting, "Overwriting - 42%",
         "Overwriting file:  /home/.../2024/reports/final.txt", "(9%)"},
        {OperationState::Eradicating, "Eradicating - 42%",
         "Eradicating file:  /home/.../2024/reports/final.txt", "(9%)"},
        {OperationState::Finished, "Finished - 42%", "", "(9%)"},
        {OperationState::Failed, "Unexpected Error!", "", "(9%)"},
    };
    for (const auto& c : cases) {
        const Snapshot s = Running(c.state);
        EXPECT_EQ(App::ProgressTitle(s), c.title) << int(c.state);
        EXPECT_EQ(App::ItemLine(s), c.itemLine) << int(c.state);
        EXPECT_EQ(App::ItemText(s), c.itemText) << int(c.state);
    }
}

TEST(ProgressTextsTest, OverallTextReadWhenEncryptingWrittenWhenDecrypting) {
    const Snapshot s = Running(OperationState::Recycling);
    EXPECT_EQ(App::OverallText(s, true), "Read 1.50 KB of 3.00 MB (42%)");
    EXPECT_EQ(App::OverallText(s, false), "Written 2.00 KB of 4.00 KB (42%)");
    EXPECT_EQ(App::OverallText(Running(OperationState::Idle), true), "");
}

// A decryption of 6 GiB with a 3 GiB file under way; a shred of 6 GiB; a run of 5 GiB in 2 s.
TEST(ProgressTextsTest, SizesPastFourGiB) {
    Snapshot s = Running(OperationState::Decrypting);
    s.readSoFar = 4 * kGiB + kGiB / 2;
    s.readTotal = 6 * kGiB;
    s.writtenSoFar = 4 * kGiB + kGiB / 4;
    s.writeTotal = 6 * kGiB;
    s.itemWritten = 2 * kGiB + kGiB / 4;
    s.itemOutSize = 3 * kGiB;
    s.itemPercent = 75;
    s.overallPercent = 70;
    EXPECT_EQ(App::OverallText(s, true), "Read 4.50 GB of 6.00 GB (70%)");
    EXPECT_EQ(App::OverallText(s, false), "Written 4.25 GB of 6.00 GB (70%)");
    EXPECT_EQ(App::ItemText(s), "Written 2.25 GB of 3.00 GB (75%)");
    s.elapsedMs = 9000;
    EXPECT_EQ(App::TimesText(s, true), "Elapsed 0:09, about 0:03 left");

    s.shredding = true;
    s.fileCount = 2;
    EXPECT_EQ(App::OverallText(s, true), "6.00 GB in 2 files (70%)");

    App::EndFacts f;
    f.encrypting = false;
    f.snapshot.state = OperationState::Finished;
    f.snapshot.fileCount = 1;
    f.snapshot.readSoFar = 5 * kGiB + 4096;
    f.snapshot.readTotal = 5 * kGiB + 4096;
    f.snapshot.writtenSoFar = 5 * kGiB;
    f.snapshot.elapsedMs = 2000;
    f.firstFile = "big.iso";
    f.cipherFile = "big.aes";
    const App::EndSummary out = App::Summarize(f);
    EXPECT_EQ(out.input, "big.aes\n(5.00 GB of 5.00 GB used)\n");
    EXPECT_EQ(out.output, "big.iso\n(5.00 GB)\n");
    EXPECT_EQ(out.time, "2.00 sec (2560.00 MB/sec)\n");
}

TEST(ProgressTextsTest, TimesTellElapsedAndTheTimeLeftOnceItCanBeJudged) {
    struct Case {
        std::uint32_t elapsedMs, read, total;
        bool running;
        const char* text;
    } const cases[] = {
        {12000, 25, 100, true, "Elapsed 0:12, about 0:36 left"},
        {2999, 25, 100, true, "Elapsed 0:02"},                     // too early to judge
        {12000, 0, 100, true, "Elapsed 0:12"},                     // nothing read yet
        {12000, 100, 100, true, "Elapsed 0:12"},                   // all read, still writing
        {3725000, 50, 100, false, "Elapsed 1:02:05"},              // ended
        {4000, 999, 1000, true, "Elapsed 0:04, about 0:01 left"},  // never "0:00 left"
    };
    for (const Case& c : cases) {
        Snapshot s = Running(OperationState::Encrypting);
        s.elapsedMs = c.elapsedMs;
        s.readSoFar = c.read;
        s.readTotal = c.total;
        EXPECT_EQ(App::TimesText(s, c.running), c.text) << c.elapsedMs << " " << c.read;
    }
    EXPECT_EQ(App::TimesText(Running(OperationState::Idle), true), "");
}

TEST(ProgressTextsTest, SingleFileHidesTheItemLine) {
    EXPECT_TRUE(App::LayoutFor(1, 1).hideItem);
    EXPECT_TRUE(App::LayoutFor(1, 1).lineInOverallLabel);
    EXPECT_TRUE(App::LayoutFor(1, 5).hideItem);
    EXPECT_FALSE(App::LayoutFor(1, 5).lineInOverallLabel);
    EXPECT_FALSE(App::LayoutFor(3, 5).hideItem);
}

TEST(ProgressDisplayTest, MinimizedShowsOnlyTheTitleAndHoldsTheEndPage) {
    App::ProgressDisplay display(false);
    Snapshot s = Running(OperationState::Encrypting);
    auto u = display.Tick(s, true, false, true);
    EXPECT_FALSE(u.title);
    EXPECT_TRUE(u.controls);
    EXPECT_EQ(u.itemLine, "Encrypting file:  /home/.../2024/reports/final.txt");
    EXPECT_EQ(u.overallBar, 42u);
    EXPECT_EQ(u.itemBar, 9u);
    EXPECT_FALSE(u.toEndPage);

    // The run ends while minimized: the page stays until restored.
    s.state = OperationState::Finished;
    s.overallPercent = 100;
    u = display.Tick(s, true, true, false);
    EXPECT_EQ(u.title, std::optional<std::string>("Finished - 100%"));
    EXPECT_FALSE(u.controls);
    EXPECT_FALSE(u.toEndPage);

    u = display.Tick(s, true, false, false);
    EXPECT_EQ(u.title, std::optional<std::string>("Cryvan"));
    EXPECT_EQ(u.itemLine, "");
    EXPECT_TRUE(u.toEndPage);
}

TEST(ProgressDisplayTest, ItemLineChangesOnlyWithTheItemOrTheState) {
    App::ProgressDisplay display(false);
    Snapshot s = Running(OperationState::Encrypting);
    display.Tick(s, true, false, true);
    s.itemName = "/tmp/other";
    EXPECT_EQ(display.Tick(s, true, false, true).itemLine,
              "Encrypting file:  /home/.../2024/reports/final.txt");
    s.itemNumber = 3;
    EXPECT_EQ(display.Tick(s, true, false, true).itemLine, "Encrypting file:  /tmp/other");
}

TEST(EndSummaryTest, FailureAndCancelHideTheDetails) {
    const struct {
        bool encrypting, failed, cancelled;
        const char* message;
    } cases[] = {
        {true, true, false, "The encryption failed due to an unexpected error."},
        {false, true, false, "The decryption failed due to an unexpected error."},
        {true, false, true, "The file encryption operation has been cancelled."},
        {false, false, true, "The file decryption operation has been cancelled."},
    };
    for (const auto& c : cases) {
        App::EndFacts f;
        f.encrypting = c.encrypting;
        f.failed = c.failed;
        f.cancelled = c.cancelled;
        const App::EndSummary out = App::Summarize(f);
        EXPECT_EQ(out.message, c.message);
        EXPECT_FALSE(out.showDetails);
    }
}

App::EndFacts Success(bool encrypting, std::uint32_t files) {
    App::EndFacts f;
    f.encrypting = encrypting;
    f.snapshot.state = OperationState::Finished;
    f.snapshot.fileCount = files;
    f.snapshot.folderCount = 1;
    f.snapshot.readSoFar = 2 * 1048576;
    f.snapshot.readTotal = 3 * 1048576;
    f.snapshot.writtenSoFar = 1048576;
    f.snapshot.elapsedMs = 1000;
    f.firstFile = encrypting ? "/home/user/report.doc" : "docs/report.doc";
    f.cipherFile = "/home/user/documents/projects/2024/reports/final.aes";
    return f;
}

TEST(EndSummaryTest, SuccessTexts) {
    const struct {
        bool encrypting;
        std::uint32_t files;
        const char *message, *input, *output, *time;
    } cases[] = {
        {true, 1, "Your file has been encrypted.\n", "/home/user/report.doc\n(2.00 MB)\n",
         "/home/.../2024/reports/final.aes\n(1.00 MB)\n", "1.00 sec (2.00 MB/sec)\n"},
        {true, 3, "Your files have been encrypted.\n", "3 files, 1 folders\n(2.00 MB)\n",
         "/home/.../2024/reports/final.aes\n(1.00 MB)\n", "1.00 sec (2.00 MB/sec)\n"},
        {false, 1, "Your file has been decrypted.\n",
         "/home/.../2024/reports/final.aes\n(2.00 MB of 3.00 MB used)\n", "report.doc\n(1.00 MB)\n",
         "1.00 sec (1.00 MB/sec)\n"},
        {false, 3, "Your files have been decrypted.\n",
         "/home/.../2024/reports/final.aes\n(2.00 MB of 3.00 MB used)\n",
         "3 files, 1 folders\n(1.00 MB)\n", "1.00 sec (1.00 MB/sec)\n"},
    };
    for (const auto& c : cases) {
        const App::EndSummary out = App::Summarize(Success(c.encrypting, c.files));
        EXPECT_TRUE(out.showDetails);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.input, c.input);
        EXPECT_EQ(out.output, c.output);
        EXPECT_EQ(out.time, c.time);
    }
}

TEST(EndSummaryTest, NoSpeedForTooShortARunOrTooFewBytes) {
    App::EndFacts f = Success(true, 3);
    f.snapshot.elapsedMs = 4;
    EXPECT_EQ(App::Summarize(f).time, "0.00 sec\n");
    f.snapshot.elapsedMs = 5;
    EXPECT_NE(App::Summarize(f).time.find("MB/sec"), std::string::npos);
    f.snapshot.writtenSoFar = 999;
    EXPECT_EQ(App::Summarize(f).time, "0.01 sec\n");
    f.snapshot.writtenSoFar = 1000;
    EXPECT_NE(App::Summarize(f).time.find("MB/sec"), std::string::npos);
}

}  // namespace
