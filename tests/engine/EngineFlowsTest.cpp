// Whole runs through the engine: passwords, headers, deletion modes, overwrite rules,
// cancellation, a damaged file among good ones. Broken containers of every other kind are the
// hostile vectors.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "engine/EngineTestSupport.h"
#include "engine/FileDecryptor.h"
#include "engine/FileEncryptor.h"
#include "os/File.h"
#include "support/SharedFixtures.h"

namespace {

using namespace cryvan_test;
using FCryptEng::FileCryptorErr;

class Flows : public ::testing::Test {
  protected:
    void SetUp() override {
        in = dir / "in";
        out = dir / "out";
        box = dir / "box.aes";
        fs::create_directories(in + "/f/sub");
        fs::create_directories(out);
        WriteText(in + "/f/a.txt", TextBytes(5000));
        WriteText(in + "/f/b.bin", RandomBytes(70000));
        WriteText(in + "/f/sub/c.txt", "c\n");
    }
    std::vector<std::string> Inputs() const { return Expand(in + "/f"); }
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
            if (e.path().filename().string().find(".cryvan-") != std::string::npos)
                found.push_back(e.path().generic_string());
        return found;
    }

    TempDir dir;
    std::string in, out, box;
};

TEST_F(Flows, EveryPasswordOpensAndOthersDoNot) {
    EngineRun run;
    ASSERT_EQ(run.Encrypt(Inputs(), box, {"first", "second"}), OperationState::Finished);
    for (const char* pw : {"first", "second"}) {
        SCOPED_TRACE(pw);
        EngineRun dec;
        FCryptEng::UnlockResult result = FCryptEng::UnlockResult::Nothing;
        auto d = dec.Open(box, "wrong", &result);
        EXPECT_EQ(result, FCryptEng::UnlockResult::Wrong);
        EXPECT_EQ(d->Password(pw), FCryptEng::UnlockResult::Unlocked);
        EXPECT_EQ(d->NumPlainFiles(false), 5u);
        EXPECT_EQ(d->NumPlainFiles(true), 0u);  // nothing selected until chosen
    }
}

TEST_F(Flows, AnyHeaderInFrontChangesNothing) {
    EngineRun run;
    const std::string header = RandomBytes(600000);
    ASSERT_EQ(run.Encrypt(Inputs(), box, {"pw"}, InputDeletionMode::Keep, false, header),
              OperationState::Finished);
    EXPECT_EQ(ReadText(box).substr(0, header.size()), header);
    EngineRun dec;
    ASSERT_EQ(dec.Decrypt(box, "pw", out), OperationState::Finished);
    EXPECT_EQ(Tree(out), Tree(in));

    // Bytes put in front of a finished container leave it readable.
    EngineRun plain;
    const std::string other = dir / "plain.aes";
    ASSERT_EQ(plain.Encrypt(Inputs(), other, {"pw"}), OperationState::Finished);
    WriteText(dir / "prefixed.aes", RandomBytes(12345) + ReadText(other));
    RemoveAll(out);
    EngineRun dec2;
    ASSERT_EQ(dec2.Decrypt(dir / "prefixed.aes", "pw", out), OperationState::Finished);
    EXPECT_EQ(Tree(out), Tree(in));
}

TEST_F(Flows, TheSharedFixturesDecryptExactly) {
    CRYVAN_REQUIRE_SHARED_FIXTURES("basic.aes", "foreign-header-unknown-records.aes.exe",
                                   "emergency-first.aes", "mixed-compression.aes",
                                   "folders-only.aes");
    // Copied first: the fixtures folder is read-only and shared.
    struct {
        const char* file;
        const char* password;
        const char* name;
        std::size_t size;
    } const cases[] = {
        {"basic.aes", "correct horse", "docs/notes.txt", 8600},
        {"foreign-header-unknown-records.aes.exe", "second password", "hello.txt", 13},
        {"emergency-first.aes", "emergency-pass", "report.final.doc", 3000},
        {"mixed-compression.aes", "mixed", "packed.txt", 1023},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string copy = dir / c.file;
        fs::copy_file(SharedFixture(c.file), copy, fs::copy_options::overwrite_existing);
        RemoveAll(out);
        EngineRun dec;
        ASSERT_EQ(dec.Decrypt(copy, c.password, out), OperationState::Finished);
        EXPECT_EQ(fs::file_size(out + "/" + c.name), c.size);
    }
    EngineRun folders;
    fs::copy_file(SharedFixture("folders-only.aes"), dir / "folders-only.aes");
    ASSERT_EQ(folders.Decrypt(dir / "folders-only.aes", "folders only", out),
              OperationState::Finished);
    EXPECT_TRUE(fs::is_directory(out + "/a/b"));
}

TEST_F(Flows, InputsAfterEncryption) {
    // A file that is no input keeps its folder alive; emptied folders go.
    struct Case {
        InputDeletionMode mode;
        bool confirm;
        bool answer;
        bool inputsGone;
        OperationState state;
    } const cases[] = {
        {InputDeletionMode::Keep, false, true, false, OperationState::Finished},
        {InputDeletionMode::Delete, false, true, true, OperationState::Finished},
        {InputDeletionMode::Delete, true, true, true, OperationState::Finished},
        {InputDeletionMode::Delete, true, false, false, OperationState::Deleting},
        {InputDeletionMode::Recycle, false, true, true, OperationState::Finished},
        {InputDeletionMode::Overwrite, false, true, true, OperationState::Finished},
        {InputDeletionMode::Overwrite, true, false, false, OperationState::Overwriting},
        {InputDeletionMode::Eradicate, false, true, true, OperationState::Finished},
    };
    const std::string trash = TestTrashHome() + "/Trash/files";
    (void)trash;
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode) * 10 + c.confirm);
        RemoveAll(in);
        fs::remove(box);
        SetUp();
        const auto chosen = Inputs();
        WriteText(in + "/f/keep-me.txt", "not an input");

        EngineRun run;
        run.callback.deletionAnswers = {c.answer};
        EXPECT_EQ(run.Encrypt(chosen, box, {"pw"}, c.mode, c.confirm), c.state)
            << run.status.failure;
        EXPECT_TRUE(fs::exists(box));
        EXPECT_EQ(fs::exists(in + "/f/a.txt"), !c.inputsGone);
        EXPECT_EQ(fs::exists(in + "/f/sub"), !c.inputsGone);  // emptied folders go
        EXPECT_TRUE(fs::exists(in + "/f/keep-me.txt"));
        const auto questions =
            std::count_if(run.callback.asked.begin(), run.callback.asked.end(),
                          [](const std::string& q) { return q.rfind("delete", 0) == 0; });
        EXPECT_EQ(questions, c.confirm ? 1 : 0);
        if (c.mode != InputDeletionMode::Keep && c.answer) {
            EXPECT_EQ(run.status.overallPercent.load(), 100u);
        }
    }
#ifndef _WIN32
    // (The Recycle Bin is the system's own on Windows: its tests are the platform layer's.)
    EXPECT_TRUE(fs::exists(trash + "/a.txt"));
#endif
}

TEST_F(Flows, ContainerAfterDecryption) {
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Inputs(), box, {"pw"}), OperationState::Finished);
    const std::string saved = ReadText(box);

    // Everything extracted, no confirmation: the container goes without a question.
    EngineRun all;
    EXPECT_EQ(all.Decrypt(box, "pw", out, {}, InputDeletionMode::Delete), OperationState::Finished);
    EXPECT_FALSE(fs::exists(box));
    EXPECT_TRUE(all.callback.asked.empty());

    // Part of it extracted: asked even without confirmation; a no keeps it.
    WriteText(box, saved);
    RemoveAll(out);
    EngineRun part;
    part.callback.deletionAnswers = {false};
    EXPECT_EQ(part.Decrypt(box, "pw", out, {1}, InputDeletionMode::Eradicate),
              OperationState::Eradicating);
    EXPECT_TRUE(fs::exists(box));
    ASSERT_EQ(part.callback.asked.size(), 1u);
    EXPECT_EQ(part.callback.asked[0], "delete 4 " + box);
}

TEST_F(Flows, OverwriteRulesForExistingTargets) {
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Inputs(), box, {"pw"}), OperationState::Finished);
    using O = ScriptedCallback::Overwrite;
    struct Case {
        const char* name;
        std::vector<O> answers;
        bool readOnlyTargets;
        int replaced;  // of the two existing targets a.txt and b.bin
        std::size_t questions;
        OperationState state;
    } const cases[] = {
        {"yes, yes", {O::Yes, O::Yes}, false, 2, 2, OperationState::Finished},
        {"yes to all", {O::YesToAll}, false, 2, 1, OperationState::Finished},
        {"no, yes", {O::No, O::Yes}, false, 1, 2, OperationState::Finished},
        {"no to all", {O::NoToAll}, false, 0, 1, OperationState::Finished},
        {"cancel", {O::Cancel}, false, 0, 1, OperationState::Failed},
        {"read-only yes to all", {O::YesToAll}, true, 2, 1, OperationState::Finished},
        {"read-only no", {O::No, O::No}, true, 0, 2, OperationState::Finished},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveAll(out);
        fs::create_directories(out + "/f");
        for (const char* name : {"/f/a.txt", "/f/b.bin"}) {
            WriteText(out + name, "old");
            if (c.readOnlyTargets)
                MakeReadOnly(out + name);
        }
        EngineRun dec;
        dec.callback.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(dec.Decrypt(box, "pw", out), c.state);
        const int replaced =
            (ReadText(out + "/f/a.txt") != "old") + (ReadText(out + "/f/b.bin") != "old");
        EXPECT_EQ(replaced, c.replaced);
        EXPECT_EQ(dec.callback.asked.size(), c.questions);
        if (c.state == OperationState::Finished) {
            EXPECT_TRUE(fs::exists(out + "/f/sub/c.txt"));
        }
        EXPECT_TRUE(TempFiles().empty());
    }
}

TEST_F(Flows, CancellingDuringTheSecondFileLeavesNothingBehind) {
    // The second input vanishes after it was added; the user declines to retry.
    EngineRun run;
    const std::vector<std::string> inputs = {in + "/f/a.txt", in + "/f/b.bin", in + "/f/sub/c.txt"};
    auto e = FileCryptor::Create(false, &run.status, &run.callback);
    for (const auto& i : inputs)
        e->SetPlainFile(i);
    e->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
    e->CipherFile(box);
    e->Password("pw");
    e->InputDeletion(InputDeletionMode::Delete, false);
    const std::string saved = ReadText(in + "/f/b.bin");
    fs::remove(in + "/f/b.bin");
    e->Begin();
    EXPECT_EQ(run.status.State(), OperationState::Failed);
    EXPECT_TRUE(run.status.Cancelled());
    ASSERT_EQ(run.callback.asked.size(), 1u);
    EXPECT_EQ(run.callback.asked[0], "retry open e file " + in + "/f/b.bin 1");
    EXPECT_FALSE(fs::exists(box));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_TRUE(fs::exists(in + "/f/a.txt"));
    EXPECT_TRUE(fs::exists(in + "/f/sub/c.txt"));
}

TEST_F(Flows, DecliningToRetryAnOpenCancelsEitherWay) {
    // The container's folder is a file: it cannot be created.
    WriteText(dir / "blocker", "");
    EngineRun enc;
    EXPECT_EQ(enc.Encrypt(Inputs(), dir / "blocker/box.aes", {"pw"}), OperationState::Failed);
    EXPECT_TRUE(enc.status.Cancelled());
    ASSERT_EQ(enc.callback.asked.size(), 1u);
    EXPECT_EQ(enc.callback.asked[0].rfind("retry open e file " + dir / "blocker/box.aes", 0), 0u);

    // The last file's folder is taken by a file: the container stays, earlier files too.
    EngineRun ok;
    ASSERT_EQ(ok.Encrypt({in + "/f/a.txt", in + "/f/sub", in + "/f/sub/c.txt"}, box, {"pw"}),
              OperationState::Finished);
    WriteText(out + "/sub", "in the way");
    EngineRun dec;
    auto d = dec.Open(box, "pw");
    d->SetPlainFile(0);
    d->SetPlainFile(2);
    d->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
    d->InputDeletion(InputDeletionMode::Delete, false);
    d->Begin();
    EXPECT_EQ(dec.status.State(), OperationState::Failed);
    EXPECT_TRUE(dec.status.Cancelled());
    EXPECT_EQ(ReadText(out + "/a.txt"), ReadText(in + "/f/a.txt"));
    EXPECT_TRUE(fs::exists(box));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(Flows, CancelFlagMidFileStopsTheRun) {
    WriteText(in + "/big.bin", RandomBytes(40 << 20));
    for (bool decrypt : {false, true}) {
        SCOPED_TRACE(decrypt);
        EngineRun run;
        std::unique_ptr<FileCryptor> driver;
        if (!decrypt) {
            driver = FileCryptor::Create(false, &run.status, &run.callback);
            driver->SetPlainFile(in + "/big.bin");
            driver->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
            driver->CipherFile(box);
            driver->Password("pw");
        } else {
            EngineRun enc;
            ASSERT_EQ(enc.Encrypt({in + "/big.bin"}, box, {"pw"}), OperationState::Finished);
            driver = run.Open(box, "pw");
            driver->SetPlainFile(0);
            driver->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
        }
        std::thread worker([&] { driver->Begin(); });
        // Cancel as soon as the first block has gone through.
        while (run.status.inBytes.load() == 0 && run.status.State() != OperationState::Failed &&
               run.status.State() != OperationState::Finished)
            std::this_thread::yield();
        run.status.Cancel();
        worker.join();
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_TRUE(TempFiles().empty());
        EXPECT_EQ(fs::exists(box), decrypt);
        EXPECT_FALSE(fs::exists(out + "/big.bin"));
    }
}

TEST_F(Flows, AFlippedByteFailsThatFileAlone) {
    EngineRun enc;
    const std::vector<std::string> inputs = {in + "/f/a.txt", in + "/f/b.bin"};
    ASSERT_EQ(enc.Encrypt(inputs, box, {"pw"}), OperationState::Finished);
    // b.bin is stored last before the footers; flip a byte in its middle.
    std::string bytes = ReadText(box);
    const std::size_t footer = Be32(bytes, bytes.size() - 4);
    bytes[bytes.size() - 4 - footer - 30000] ^= 0x01;
    WriteText(box, bytes);
    // An earlier version of b.bin stays as it was: the damaged one never replaces it.
    WriteText(out + "/b.bin", "previous");
    EngineRun dec;
    dec.callback.overwriteAnswers = {ScriptedCallback::Yes};
    EXPECT_EQ(dec.Decrypt(box, "pw", out), OperationState::Failed);
    EXPECT_EQ(ReadText(out + "/a.txt"), ReadText(in + "/f/a.txt"));
    EXPECT_EQ(ReadText(out + "/b.bin"), "previous");
    EXPECT_TRUE(TempFiles().empty());
}

// The test pass reads every stored file as decrypting would, writes nothing, and goes on past a
// damaged file so that each one is named.
TEST_F(Flows, TestingNamesEveryDamagedFileAndWritesNothing) {
    WriteText(in + "/f/d.txt", TextBytes(3000));
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Inputs(), box, {"pw"}), OperationState::Finished);
    const std::string pristine = ReadText(box);
    const std::uint64_t region = pristine.size() - 4 - Be32(pristine, pristine.size() - 4);
    auto test = [&](std::vector<std::string> damage) {
        std::string bytes = pristine;
        {
            EngineRun look;
            auto dec = look.Open(box, "pw");
            for (std::size_t i = 0; const auto* e = dec->Directory().GetEntry(i); ++i)
                if (std::find(damage.begin(), damage.end(), e->Name()) != damage.end())
                    bytes[region - e->Position() + e->ArchiveSize() / 2] ^= 0x01;
        }
        WriteText(box, bytes);
        EngineRun run;
        auto dec = run.Open(box, "pw");
        auto& decryptor = static_cast<FCryptEng::FileDecryptor&>(*dec);
        std::vector<std::string> named;
        for (const auto& d : decryptor.Test()) {
            EXPECT_EQ(dec->Directory().GetEntry(d.index)->Name(), d.name);
            EXPECT_FALSE(d.reason.empty());
            named.push_back(d.name);
        }
        EXPECT_EQ(run.status.State(),
                  named.empty() ? OperationState::Finished : OperationState::Failed);
        EXPECT_EQ(OS::Load(run.status.overallPercent), 100u);
        EXPECT_EQ(OS::Load(run.status.fileCount), 4u);
        return named;
    };
    const auto before = Tree(dir.Path());
    EXPECT_TRUE(test({}).empty());
    EXPECT_EQ(Tree(dir.Path()), before);
    // Stored (b.bin) and compressed (a.txt, d.txt) files, the last one too.
    EXPECT_EQ(test({"f\\b.bin"}), std::vector<std::string>{"f\\b.bin"});
    EXPECT_EQ(test({"f\\a.txt", "f\\d.txt", "f\\sub\\c.txt"}),
              (std::vector<std::string>{"f\\a.txt", "f\\d.txt", "f\\sub\\c.txt"}));
    WriteText(box, pristine);

    // A container not unlocked cannot be tested.
    EngineRun shut;
    auto locked = shut.Open(box, "wrong");
    EXPECT_THROW(static_cast<FCryptEng::FileDecryptor&>(*locked).Test(), FileCryptorErr);
}

TEST_F(Flows, ReadinessChecks) {
    struct Case {
        bool input, password, output;
    } const cases[] = {{false, true, true}, {true, false, true}, {true, true, false}};
    for (const Case& c : cases) {
        EngineRun run;
        auto e = FileCryptor::Create(false, &run.status, &run.callback);
        if (c.input)
            e->SetPlainFile(in + "/f/a.txt");
        if (c.password)
            e->Password("pw");
        if (c.output)
            e->CipherFile(box);
        e->Begin();
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_FALSE(fs::exists(box));
    }
    // Once started, the parameters are fixed.
    EngineRun run;
    auto e = FileCryptor::Create(false, &run.status, &run.callback);
    e->SetPlainFile(in + "/f/a.txt");
    e->Password("pw");
    e->CipherFile(box);
    e->Begin();
    try {
        e->Password("more");
        FAIL() << "no exception";
    } catch (const FileCryptorErr& err) {
        EXPECT_STREQ(err.what(), "Attempt to change paramters after encryption has started");
    }
}

TEST_F(Flows, EntriesGetTheirNamesEvenWithoutAPathChoice) {
    EngineRun run;
    auto e = FileCryptor::Create(false, &run.status, &run.callback);
    e->SetPlainFile(in + "/f/a.txt");
    e->CipherFile(box);
    e->Password("pw");
    e->Begin();
    ASSERT_EQ(run.status.State(), OperationState::Finished);
    EngineRun dec;
    ASSERT_EQ(dec.Decrypt(box, "pw", out), OperationState::Finished);
    EXPECT_EQ(ReadText(out + "/a.txt"), ReadText(in + "/f/a.txt"));

    // The root itself has no name relative to anything.
    EngineRun root;
    auto r = FileCryptor::Create(false, &root.status, &root.callback);
    r->SetPlainFile("/");
    r->CipherFile(box + "2");
    r->Password("pw");
    r->Begin();
    EXPECT_EQ(root.status.State(), OperationState::Failed);
    EXPECT_FALSE(fs::exists(box + "2"));
}

TEST_F(Flows, DefaultContainerNames) {
    WriteText(in + "/report.final.doc", "x");
    fs::create_directories(in + "/my.docs");
    struct Case {
        std::vector<std::string> inputs;
        std::string expected;
    } const cases[] = {
        {{in + "/report.final.doc"}, in + "/report.final"},
        {{in + "/my.docs"}, in + "/my.docs"},
        {{in + "/f/a.txt", in + "/f/b.bin"}, in + "/f/Cryvan file"},
    };
    for (const Case& c : cases) {
        EngineRun run;
        auto e = FileCryptor::Create(false, &run.status, &run.callback);
        for (const auto& i : c.inputs)
            e->SetPlainFile(i);
        e->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        EXPECT_EQ(e->GetDefaultDest("/somewhere"), c.expected);
    }
    EngineRun run;
    auto e = FileCryptor::Create(false, &run.status, &run.callback);
    EXPECT_EQ(e->GetDefaultDest("/somewhere"), "/somewhere/Cryvan file");
}

TEST_F(Flows, FilesTheFormatCannotHoldAreRefusedWhenAdded) {
    const std::string huge = dir / "huge.bin";
    WriteText(huge, "");
    fs::resize_file(huge, std::uintmax_t(1) << 32);  // sparse: takes no space
    EngineRun run;
    auto e = FileCryptor::Create(false, &run.status, &run.callback);
    EXPECT_THROW(e->SetPlainFile(huge), FileCryptorErr);
    EXPECT_EQ(e->NumPlainFiles(false), 0u);
}

TEST_F(Flows, ADiskFullErrorTheUserDoesNotRetryCancels) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a per-process file-size limit, which Windows does not have";
#else
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 20000;
    setrlimit(RLIMIT_FSIZE, &small);
    EngineRun run;
    const OperationState state = run.Encrypt(Inputs(), box, {"pw"});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(state, OperationState::Failed);
    EXPECT_TRUE(run.status.Cancelled());
    ASSERT_FALSE(run.callback.asked.empty());
    EXPECT_EQ(run.callback.asked[0], "retry write 9");
    EXPECT_FALSE(fs::exists(box));
    EXPECT_TRUE(TempFiles().empty());
#endif
}

}  // namespace
