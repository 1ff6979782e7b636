// The run's second thread and what a run makes durable: many files, cancels and failures on
// files of many blocks, and which runs sync their outputs.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// After the types it uses.
#include <tlhelp32.h>
#else
#include <sys/resource.h>
#endif

#include <csignal>
#include <map>
#include <thread>

#include "engine/EngineTestSupport.h"
#include "os/Durable.h"

namespace {

using namespace cryvan_test;

// The threads of this process now: a run must leave none of its own behind.
std::size_t Threads() {
    std::size_t n = 0;
#ifdef _WIN32
    const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (all == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(all, &thread); more; more = Thread32Next(all, &thread)) {
        if (thread.th32OwnerProcessID == GetCurrentProcessId())
            ++n;
    }
    CloseHandle(all);
#else
    for (const auto& e : fs::directory_iterator("/proc/self/task")) {
        (void)e;
        ++n;
    }
#endif
    return n;
}

// A joined thread may stay listed for a moment while the kernel finishes it; one left running
// stays for good.
std::size_t ThreadsOnceSettled(std::size_t expected) {
    for (int i = 0; i < 200 && Threads() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return Threads();
}

class Pipeline : public ::testing::Test {
  protected:
    void SetUp() override {
        in = dir / "in";
        out = dir / "out";
        box = dir / "box.aes";
        fs::create_directories(out);
    }

    TempDir dir;
    std::string in, out, box;
};

TEST_F(Pipeline, ManyFilesOfEverySizeRoundTrip) {
    // Small files between large ones, compressed and not, so that the second thread starts,
    // serves many files and sits idle between them.
    const std::size_t sizes[] = {0, 1, 1023, 1024, 65535, 65536, 65537, 200000, 17, 3 << 20};
    for (int i = 0; i < 300; ++i) {
        const std::size_t n = sizes[i % 10];
        const std::string folder = in + "/t/d" + std::to_string(i % 7);
        fs::create_directories(folder);
        WriteText(folder + "/f" + std::to_string(i), i % 3 == 0 ? RandomBytes(n) : TextBytes(n));
    }
    // The test program runs no thread of its own between runs.
    const std::size_t before = ThreadsOnceSettled(1);
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Expand(in + "/t"), box, {"pw"}), OperationState::Finished);
    EngineRun dec;
    ASSERT_EQ(dec.Decrypt(box, "pw", out), OperationState::Finished);
    EXPECT_EQ(Tree(out), Tree(in));
    EXPECT_EQ(ThreadsOnceSettled(before), before);
}

// Small files are decrypted ahead through a second handle on the container: it must be the file
// the run opened, even when the name has been given to another container since.
TEST_F(Pipeline, FilesDecryptedAheadComeFromTheContainerTheRunOpened) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows gives no name of an open file to another file";
#endif
    fs::create_directories(in + "/a");
    for (int i = 0; i < 40; ++i)
        WriteText(in + "/a/f" + std::to_string(i), TextBytes(100 + 997 * i));
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Expand(in + "/a"), box, {"pw"}), OperationState::Finished);
    const std::map<std::string, std::string> original = Tree(in);
    for (int i = 0; i < 40; ++i)
        WriteText(in + "/a/f" + std::to_string(i), "other " + TextBytes(94 + 997 * i));
    EngineRun other;
    ASSERT_EQ(other.Encrypt(Expand(in + "/a"), dir / "other.aes", {"pw"}),
              OperationState::Finished);

    EngineRun dec;
    auto d = dec.Open(box, "pw");
    for (std::size_t i = 0; i < d->NumPlainFiles(false); ++i)
        d->SetPlainFile(i);
    d->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
    fs::rename(dir / "other.aes", box);
    d->Begin();
    EXPECT_EQ(dec.status.State(), OperationState::Finished);
    EXPECT_EQ(Tree(out), original);
}

TEST_F(Pipeline, AWriteFailureOnAFileOfManyBlocksEndsTheRunCleanly) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a per-process file-size limit, which Windows does not have";
#else
    fs::create_directories(in);
    WriteText(in + "/big.bin", RandomBytes(3 << 20));
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt({in + "/big.bin"}, box, {"pw"}), OperationState::Finished);

    for (bool decrypt : {false, true}) {
        SCOPED_TRACE(decrypt);
        RemoveAll(out);
        fs::create_directories(out);
        const std::string target = decrypt ? box : dir / "other.aes";
        // The test program runs no thread of its own between runs.
        const std::size_t before = ThreadsOnceSettled(1);
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 1 << 20;
        setrlimit(RLIMIT_FSIZE, &small);
        EngineRun run;
        const OperationState state =
            decrypt ? run.Decrypt(box, "pw", out) : run.Encrypt({in + "/big.bin"}, target, {"pw"});
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_EQ(state, OperationState::Failed);
        EXPECT_TRUE(run.status.Cancelled());
        ASSERT_FALSE(run.callback.asked.empty());
        EXPECT_EQ(run.callback.asked[0], "retry write 9");
        EXPECT_EQ(run.status.failure, "");
        EXPECT_EQ(ThreadsOnceSettled(before), before);
        EXPECT_TRUE(Tree(out).empty());
        EXPECT_EQ(fs::exists(target), decrypt);
    }
#endif
}

TEST_F(Pipeline, ACancelMidFileLeavesNoThreadBehind) {
    fs::create_directories(in);
    WriteText(in + "/big.bin", RandomBytes(40 << 20));
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt({in + "/big.bin"}, box, {"pw"}), OperationState::Finished);
    for (bool decrypt : {false, true}) {
        SCOPED_TRACE(decrypt);
        // The test program runs no thread of its own between runs.
        const std::size_t before = ThreadsOnceSettled(1);
        EngineRun run;
        std::unique_ptr<FileCryptor> driver;
        if (decrypt) {
            driver = run.Open(box, "pw");
            driver->SetPlainFile(0);
            driver->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
        } else {
            driver = FileCryptor::Create(false, &run.status, &run.callback);
            driver->SetPlainFile(in + "/big.bin");
            driver->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
            driver->CipherFile(dir / "other.aes");
            driver->Password("pw");
        }
        std::thread worker([&] { driver->Begin(); });
        // Well into the file, with blocks in flight on both threads.
        while (run.status.inBytes.load() < (1u << 20) &&
               run.status.State() != OperationState::Failed &&
               run.status.State() != OperationState::Finished)
            std::this_thread::yield();
        run.status.Cancel();
        worker.join();
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_TRUE(run.status.Cancelled());
        EXPECT_EQ(run.status.failure, "");
        EXPECT_EQ(ThreadsOnceSettled(before), before);
        EXPECT_FALSE(fs::exists(out + "/big.bin"));
        EXPECT_FALSE(fs::exists(dir / "other.aes"));
    }
}

TEST_F(Pipeline, OnlyARunThatDestroysSyncsItsOutputs) {
    fs::create_directories(in + "/t/sub");
    WriteText(in + "/t/a.txt", TextBytes(5000));
    WriteText(in + "/t/sub/b.bin", RandomBytes(70000));
    const std::string saved = dir / "saved";
    fs::copy(in, saved, fs::copy_options::recursive);
    struct Case {
        const char* name;
        bool decrypt;
        InputDeletionMode mode;
        bool syncs;
    };
    const Case cases[] = {
        {"encrypt, keep", false, InputDeletionMode::Keep, false},
        {"encrypt, delete", false, InputDeletionMode::Delete, true},
        {"decrypt, keep", true, InputDeletionMode::Keep, false},
        {"decrypt, delete", true, InputDeletionMode::Delete, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveAll(in);
        fs::copy(saved, in, fs::copy_options::recursive);
        RemoveAll(out);
        fs::create_directories(out);
        if (c.decrypt) {
            EngineRun enc;
            ASSERT_EQ(enc.Encrypt(Expand(in + "/t"), box, {"pw"}), OperationState::Finished);
        }
        const std::uint64_t data = OS::DataSyncs(), folders = OS::FolderSyncs();
        EngineRun run;
        const OperationState state = c.decrypt
                                         ? run.Decrypt(box, "pw", out, {}, c.mode)
                                         : run.Encrypt(Expand(in + "/t"), box, {"pw"}, c.mode);
        ASSERT_EQ(state, OperationState::Finished);
        const std::uint64_t dataSyncs = OS::DataSyncs() - data;
        const std::uint64_t folderSyncs = OS::FolderSyncs() - folders;
        if (c.syncs) {
            // Every output's data, then the folders that took their names.
            EXPECT_GE(dataSyncs, c.decrypt ? 2u : 1u);
            EXPECT_GE(folderSyncs, 1u);
        } else {
            EXPECT_EQ(dataSyncs, 0u);
            EXPECT_EQ(folderSyncs, 0u);
        }
        if (c.decrypt) {
            EXPECT_EQ(Tree(out), Tree(saved));
        }
    }
}

}  // namespace
