// What happens to the inputs after a run: the container is read back before anything is
// destroyed, only what was read is destroyed, and what cannot be done ends as a warning of a
// finished run; why a run failed reaches its record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "engine/EngineTestSupport.h"
#include "engine/FileEncryptor.h"
#include "engine/InputSafetySupport.h"

namespace {

using namespace cryvan_test;

const InputDeletionMode kDestroying[] = {InputDeletionMode::Recycle, InputDeletionMode::Delete,
                                         InputDeletionMode::Overwrite,
                                         InputDeletionMode::Eradicate};

class Destruction : public ::testing::Test {
  protected:
    void SetUp() override {
        TestTrashHome();  // recycled inputs go to a trash of the tests' own
        Fresh();
    }
    void Fresh() {
        RemoveAll(in);
        fs::remove(box);
        fs::create_directories(in);
        WriteText(in + "/a.txt", TextBytes(5000));
        WriteText(in + "/b.bin", RandomBytes(70000));
    }
    std::vector<std::string> Inputs() const { return {in + "/a.txt", in + "/b.bin"}; }

    TempDir dir;
    std::string in = dir / "in", out = dir / "out", box = dir / "box.aes";
};

TEST_F(Destruction, ADamagedContainerDestroysNothing) {
    // Where a byte is flipped between the commit and the reading back.
    enum class Damage { None, StoredData, KeyFooter, DirectoryFooter };
    for (const Damage damage :
         {Damage::None, Damage::StoredData, Damage::KeyFooter, Damage::DirectoryFooter}) {
        for (const InputDeletionMode mode : kDestroying) {
            SCOPED_TRACE(int(damage) * 10 + int(mode));
            Fresh();
            EngineRun run;
            OperationState stateThen = OperationState::Idle;
            std::uint32_t percentThen = 0;
            std::optional<bool> cached;
            run.prepare = [&](FCryptEng::FileEncryptor& e) {
                e.SetReadBackHook([&](const std::string& name) {
                    stateThen = run.status.State();
                    percentThen = run.status.overallPercent.load();
                    cached = AnyPageCached(name);
                    const std::string bytes = ReadText(name);
                    const std::uint64_t size = bytes.size();
                    const std::uint64_t region = size - 4 - Be32(bytes, size - 4);
                    switch (damage) {
                        case Damage::None:
                            break;
                        case Damage::StoredData:
                            FlipByte(name, 35 + 100);
                            break;
                        case Damage::KeyFooter:
                            FlipByte(name, region + 20);
                            break;
                        case Damage::DirectoryFooter:
                            FlipByte(name, size - 4 - 40);
                            break;
                    }
                });
            };
            const OperationState state = run.Encrypt(Inputs(), box, {"pw"}, mode);

            EXPECT_EQ(stateThen, OperationState::Verifying);
            // Encrypting took its share; verifying and destroying share the rest.
            const std::uint32_t rest = 100 - (mode == InputDeletionMode::Recycle     ? 5
                                              : mode == InputDeletionMode::Delete    ? 1
                                              : mode == InputDeletionMode::Overwrite ? 7
                                                                                     : 40);
            EXPECT_EQ(percentThen, rest - rest / 3);
            // Read from the disk, not from what writing it left in memory.
            if (cached) {
                EXPECT_FALSE(*cached);
            }
            EXPECT_TRUE(fs::exists(box));
            if (damage == Damage::None) {
                EXPECT_EQ(state, OperationState::Finished) << run.status.failure;
                EXPECT_FALSE(fs::exists(in + "/a.txt"));
                EXPECT_EQ(run.status.overallPercent.load(), 100u);
                EXPECT_TRUE(run.status.warnings.empty());
            } else {
                EXPECT_EQ(state, OperationState::Failed);
                EXPECT_FALSE(run.status.Cancelled());
                EXPECT_EQ(run.status.failure.rfind(box + ": it did not read back correctly", 0), 0u)
                    << run.status.failure;
                EXPECT_EQ(ReadText(in + "/a.txt"), TextBytes(5000));
                EXPECT_TRUE(fs::exists(in + "/b.bin"));
            }
        }
    }
}

TEST_F(Destruction, AnInputChangedAfterItWasReadIsKept) {
    for (const Change change : ChangesHere()) {
        for (const InputDeletionMode mode : kDestroying) {
            SCOPED_TRACE(std::string(ChangeName(change)) + " " + std::to_string(int(mode)));
            Fresh();
            EngineRun run;
            run.prepare = [&](FCryptEng::FileEncryptor& e) {
                e.SetReadBackHook([&](const std::string&) { MakeChange(in + "/a.txt", change); });
            };
            EXPECT_EQ(run.Encrypt(Inputs(), box, {"pw"}, mode), OperationState::Finished)
                << run.status.failure;
            EXPECT_EQ(ReadText(in + "/a.txt").substr(0, 5000), TextBytes(5000));
            EXPECT_FALSE(fs::exists(in + "/b.bin"));  // the other input went as asked
            ASSERT_EQ(run.status.warnings.size(), 1u);
            EXPECT_EQ(run.status.warnings[0],
                      in + "/a.txt: kept, it changed after it was encrypted");
        }
    }
}

TEST_F(Destruction, WhatWasNotTheFileReadIsKept) {
    // An input named through a link: what was read is the file it points to.
    if (LinksWork()) {
        fs::create_symlink(in + "/a.txt", in + "/link");
        EngineRun run;
        EXPECT_EQ(
            run.Encrypt({in + "/link", in + "/b.bin"}, box, {"pw"}, InputDeletionMode::Delete),
            OperationState::Finished);
        EXPECT_TRUE(fs::is_symlink(in + "/link"));
        EXPECT_EQ(ReadText(in + "/a.txt"), TextBytes(5000));
        EXPECT_FALSE(fs::exists(in + "/b.bin"));
        EXPECT_EQ(run.status.warnings,
                  std::vector<std::string>{in + "/link: kept, it is a link: only the file it "
                                                "points to was encrypted"});
    } else {
        EngineRun run;
        ASSERT_EQ(run.Encrypt({in + "/a.txt", in + "/b.bin"}, box, {"pw"}),
                  OperationState::Finished);
    }

    // A container changed after it was opened for decryption.
    for (const Change change : {Change::Touched, Change::Replaced}) {
        SCOPED_TRACE(ChangeName(change));
        RemoveAll(out);
        EngineRun dec;
        auto d = dec.Open(box, "pw");
        d->SetPlainFile(0);
        d->SetPlainFile(1);
        d->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
        d->InputDeletion(InputDeletionMode::Delete, false);
#ifdef _WIN32
        // Windows shares the open container with readers only: it cannot change meanwhile.
        EXPECT_THROW(MakeChange(box, change), fs::filesystem_error);
        continue;
#endif
        MakeChange(box, change);
        d->Begin();
        EXPECT_EQ(dec.status.State(), OperationState::Finished) << dec.status.failure;
        EXPECT_TRUE(fs::exists(box));
        EXPECT_EQ(dec.status.warnings,
                  std::vector<std::string>{box + ": kept, it changed after it was read"});
    }
}

TEST_F(Destruction, AHardLinkedInputIsOnlyUnlinked) {
    for (const InputDeletionMode mode :
         {InputDeletionMode::Overwrite, InputDeletionMode::Eradicate}) {
        SCOPED_TRACE(int(mode));
        Fresh();
        fs::remove(dir / "other-name.txt");
        fs::create_hard_link(in + "/a.txt", dir / "other-name.txt");
        EngineRun run;
        EXPECT_EQ(run.Encrypt(Inputs(), box, {"pw"}, mode), OperationState::Finished);
        EXPECT_FALSE(fs::exists(in + "/a.txt"));
        EXPECT_FALSE(fs::exists(in + "/b.bin"));
        EXPECT_EQ(ReadText(dir / "other-name.txt"), TextBytes(5000));
        ASSERT_EQ(run.status.warnings.size(), 1u);
        EXPECT_EQ(run.status.warnings[0].rfind(in + "/a.txt: only unlinked", 0), 0u)
            << run.status.warnings[0];
        EXPECT_NE(
            std::find(run.callback.asked.begin(), run.callback.asked.end(),
                      mode == InputDeletionMode::Eradicate ? "not eradicated" : "not overwritten"),
            run.callback.asked.end());
    }
}

TEST_F(Destruction, RemovalRefusedAfterTheCommitIsAWarning) {
    for (const InputDeletionMode mode :
         {InputDeletionMode::Delete, InputDeletionMode::Overwrite, InputDeletionMode::Eradicate}) {
        SCOPED_TRACE(int(mode));
        Fresh();
        EngineRun run;
        std::unique_ptr<RemovalRefused> refused;
        run.prepare = [&](FCryptEng::FileEncryptor& e) {
            e.SetReadBackHook([&](const std::string&) {
                refused = std::make_unique<RemovalRefused>(in + "/a.txt");
            });
        };
        const OperationState state = run.Encrypt(Inputs(), box, {"pw"}, mode);
        if (!refused->Effective())
            GTEST_SKIP() << "nothing here refuses a removal";
        refused.reset();
        EXPECT_EQ(state, OperationState::Finished) << run.status.failure;
        EXPECT_TRUE(fs::exists(in + "/a.txt"));
        EXPECT_FALSE(fs::exists(in + "/b.bin"));  // the inputs after it are still handled
        ASSERT_EQ(run.status.warnings.size(), 1u);
        EXPECT_EQ(run.status.warnings[0].rfind(in + "/a.txt: ", 0), 0u) << run.status.warnings[0];
        EXPECT_EQ(run.status.overallPercent.load(), 100u);
    }

    // A folder emptied of its inputs that cannot be removed.
    Fresh();
    fs::create_directories(in + "/f");
    WriteText(in + "/f/x.txt", "x");
    EngineRun folders;
    std::unique_ptr<RemovalRefused> locked;
    folders.prepare = [&](FCryptEng::FileEncryptor& e) {
        e.SetReadBackHook(
            [&](const std::string&) { locked = std::make_unique<RemovalRefused>(in, true); });
    };
    EXPECT_EQ(folders.Encrypt(Expand(in + "/f"), box, {"pw"}, InputDeletionMode::Delete),
              OperationState::Finished)
        << folders.status.failure;
    ASSERT_TRUE(locked && locked->Effective());
    locked.reset();
    EXPECT_FALSE(fs::exists(in + "/f/x.txt"));
    EXPECT_TRUE(fs::is_directory(in + "/f"));
    ASSERT_EQ(folders.status.warnings.size(), 1u);
    EXPECT_EQ(folders.status.warnings[0].rfind(in + "/f: could not be removed: ", 0), 0u)
        << folders.status.warnings[0];

    // The container after decryption.
    for (const InputDeletionMode mode :
         {InputDeletionMode::Delete, InputDeletionMode::Overwrite, InputDeletionMode::Eradicate}) {
        SCOPED_TRACE(int(mode) * 10);
        Fresh();
        EngineRun enc;
        ASSERT_EQ(enc.Encrypt(Inputs(), box, {"pw"}), OperationState::Finished);
        RemoveAll(out);
        RemovalRefused refused(box);
        if (!refused.Effective())
            GTEST_SKIP() << "nothing here refuses a removal";
        EngineRun dec;
        EXPECT_EQ(dec.Decrypt(box, "pw", out, {}, mode), OperationState::Finished)
            << dec.status.failure;
        EXPECT_TRUE(fs::exists(box));
        EXPECT_EQ(ReadText(out + "/a.txt"), TextBytes(5000));
        ASSERT_EQ(dec.status.warnings.size(), 1u);
        EXPECT_EQ(dec.status.warnings[0].rfind(box + ": ", 0), 0u) << dec.status.warnings[0];
    }
}

TEST_F(Destruction, RecyclingWithoutATrashAsksOnce) {
    ShmDir shm;
    if (shm.Path().empty())
        GTEST_SKIP() << "no RAM file system at /dev/shm";
    for (const bool deleteInstead : {false, true}) {
        SCOPED_TRACE(deleteInstead);
        WriteText(shm / "a.txt", "first");
        WriteText(shm / "b.txt", "second");
        EngineRun run;
        run.callback.recycleFallbackAnswers = {deleteInstead};
        EXPECT_EQ(
            run.Encrypt({shm / "a.txt", shm / "b.txt"}, box, {"pw"}, InputDeletionMode::Recycle),
            OperationState::Finished);
        EXPECT_EQ(run.callback.asked, std::vector<std::string>{"delete instead of recycle 2"});
        EXPECT_EQ(fs::exists(shm / "a.txt"), !deleteInstead);
        EXPECT_EQ(fs::exists(shm / "b.txt"), !deleteInstead);
        if (deleteInstead) {
            EXPECT_TRUE(run.status.warnings.empty());
        } else {
            EXPECT_EQ(run.status.warnings,
                      (std::vector<std::string>{
                          shm / "a.txt: kept, it could not be moved to the trash",
                          shm / "b.txt: kept, it could not be moved to the trash"}));
        }

        // The container after decryption, the same.
        const std::string shmBox = shm / "box.aes";
        fs::copy_file(box, shmBox, fs::copy_options::overwrite_existing);
        RemoveAll(out);
        EngineRun dec;
        dec.callback.recycleFallbackAnswers = {deleteInstead};
        EXPECT_EQ(dec.Decrypt(shmBox, "pw", out, {}, InputDeletionMode::Recycle),
                  OperationState::Finished);
        EXPECT_EQ(ReadText(out + "/a.txt"), "first");
        EXPECT_EQ(dec.callback.asked, std::vector<std::string>{"delete instead of recycle 1"});
        EXPECT_EQ(fs::exists(shmBox), !deleteInstead);
        EXPECT_EQ(dec.status.warnings.size(), deleteInstead ? 0u : 1u);
        EXPECT_EQ(dec.Warned(shmBox + ": kept, it could not be moved to the trash"),
                  !deleteInstead);
    }
}

TEST_F(Destruction, ADecryptionThatDidNotWriteEverythingKeepsTheContainer) {
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Inputs(), box, {"pw"}), OperationState::Finished);
    // A failed file: the run fails and the container stays.
    std::string bytes = ReadText(box);
    const std::string saved = bytes;
    bytes[35 + 100] ^= 1;
    WriteText(box, bytes);
    EngineRun dec;
    EXPECT_EQ(dec.Decrypt(box, "pw", out, {}, InputDeletionMode::Delete), OperationState::Failed);
    EXPECT_TRUE(fs::exists(box));
    // A file skipped by the user: asked first, and a no keeps it.
    WriteText(box, saved);
    RemoveAll(out);
    EngineRun part;
    part.callback.deletionAnswers = {false};
    EXPECT_EQ(part.Decrypt(box, "pw", out, {1}, InputDeletionMode::Delete),
              OperationState::Deleting);
    EXPECT_TRUE(fs::exists(box));
}

// ---------------------------------------------------------------------------------------------

TEST_F(Destruction, ADecompressionBombStopsAtItsStatedSize) {
    // 10 MiB of zeros deflate to about 10 KB; the directory then says 10 bytes, or one more
    // than there are.
    WriteText(in + "/bomb.bin", std::string(10 << 20, '\0'));
    for (const std::uint32_t stated : {10u, (10u << 20) + 1}) {
        SCOPED_TRACE(stated);
        RemoveAll(out);
        const auto stateSize = [&](FCryptEng::FileEncryptor& e) {
            e.SetFooterHook(
                [stated](FCryptEng::DirFooter& d) { d.GetEntry(0)->SetOriginalSize(stated); });
        };
        EngineRun enc;
        enc.prepare = stateSize;
        ASSERT_EQ(enc.Encrypt({in + "/bomb.bin"}, box, {"pw"}), OperationState::Finished);

        EngineRun dec;
        EXPECT_EQ(dec.Decrypt(box, "pw", out), OperationState::Failed);
        EXPECT_EQ(dec.status.failure,
                  out + "/bomb.bin: File size mismatch - corrupted or modified input file");
        EXPECT_FALSE(fs::exists(out + "/bomb.bin"));
        EXPECT_LE(dec.status.outBytes.load(), stated);

        // Reading it back before deleting the input finds the same.
        EngineRun del;
        del.prepare = stateSize;
        EXPECT_EQ(del.Encrypt({in + "/bomb.bin"}, box, {"pw"}, InputDeletionMode::Delete),
                  OperationState::Failed);
        EXPECT_NE(del.status.failure.find("File size mismatch"), std::string::npos);
        EXPECT_TRUE(fs::exists(in + "/bomb.bin"));
    }
}

// Every failure names its file; that of a damaged stored file is among the hostile vectors.
TEST_F(Destruction, AFailedRunSaysWhyAndAboutWhichFile) {
    // Before any file.
    struct Case {
        bool input, password, output;
        std::string failure;
    } const cases[] = {
        {false, true, true, "No input files set"},
        {true, false, true, "No passwords / message recovery data set"},
        {true, true, false, "Output file not set"},
    };
    for (const Case& c : cases) {
        EngineRun run;
        auto e = FileCryptor::Create(false, &run.status, &run.callback);
        if (c.input)
            e->SetPlainFile(in + "/a.txt");
        if (c.password)
            e->Password("pw");
        if (c.output)
            e->CipherFile(dir / "other.aes");
        e->Begin();
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_EQ(run.status.failure, c.failure);
    }

    // An input that cannot be read names the input.
    WriteText(in + "/unreadable.bin", std::string(4096, 'x'));
    EngineRun run;
    run.prepare = [&](FCryptEng::FileEncryptor&) {
        fs::remove(in + "/unreadable.bin");
        fs::create_directory(in + "/unreadable.bin");
    };
    EXPECT_EQ(run.Encrypt({in + "/a.txt", in + "/unreadable.bin"}, dir / "c.aes", {"pw"}),
              OperationState::Failed);
    EXPECT_EQ(run.status.failure.rfind(in + "/unreadable.bin: ", 0), 0u) << run.status.failure;

    // A cancel is no failure: the user knows why it stopped.
    EngineRun cancelled;
    cancelled.prepare = [&](FCryptEng::FileEncryptor&) { RemoveAll(in + "/unreadable.bin"); };
    RemoveAll(in + "/unreadable.bin");
    WriteText(in + "/unreadable.bin", "x");
    EXPECT_EQ(cancelled.Encrypt({in + "/a.txt", in + "/unreadable.bin"}, dir / "c.aes", {"pw"}),
              OperationState::Failed);
    EXPECT_TRUE(cancelled.status.Cancelled());  // the retry question was declined
    EXPECT_EQ(cancelled.status.failure, "");
}

}  // namespace

// Shredding without a container: what changes between the question and its turn is kept, and
// files too large for a container are shredded all the same.
TEST_F(Destruction, ShreddingKeepsWhatChangedAfterItWasChosen) {
    for (const Change change : ChangesHere()) {
        for (const InputDeletionMode mode :
             {InputDeletionMode::Overwrite, InputDeletionMode::Eradicate}) {
            SCOPED_TRACE(std::string(ChangeName(change)) + " " + std::to_string(int(mode)));
            Fresh();
            FCryptEng::OperationStatus status;
            FCryptEng::FileEncryptor shredder(&status, nullptr);
            shredder.InputDeletion(mode, false);
            // The folder first, then what it holds, as the menu entry lists them.
            EXPECT_EQ(shredder.PrepareShred({in, in + "/a.txt", in + "/b.bin"}), 2u);
            MakeChange(in + "/a.txt", change);
            shredder.Begin();
            EXPECT_EQ(status.State(), OperationState::Finished) << status.failure;
            EXPECT_EQ(ReadText(in + "/a.txt").substr(0, 5000), TextBytes(5000));
            EXPECT_FALSE(fs::exists(in + "/b.bin"));
            ASSERT_EQ(status.warnings.size(), 1u);
            EXPECT_EQ(status.warnings[0], in + "/a.txt: kept, it changed after it was chosen");
        }
    }
}

TEST_F(Destruction, ShreddingTakesFilesOfAnySizeAndOnlyItsOwnModes) {
    const std::string big = dir / "big.bin";
    { std::ofstream make(big); }
    fs::resize_file(big, (5ull << 30));  // sparse: nothing is written here
    FCryptEng::OperationStatus status;
    FCryptEng::FileEncryptor shredder(&status, nullptr);
    shredder.InputDeletion(InputDeletionMode::Delete, false);
    EXPECT_THROW(shredder.PrepareShred({big}), std::logic_error);
    shredder.InputDeletion(InputDeletionMode::Overwrite, false);
    EXPECT_THROW(shredder.PrepareShred({}), std::logic_error);
    EXPECT_EQ(shredder.PrepareShred({big}), 1u);
    EXPECT_TRUE(shredder.Shredding());
}
