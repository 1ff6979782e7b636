// The built program on real files: what it does to inputs that have other names, that change
// while it runs, that cannot be removed, or that have no trash to go to.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/AppTestSupport.h"
#include "engine/EngineTestSupport.h"
#include "engine/InputSafetySupport.h"

extern char** environ;

namespace {

using namespace cryvan_test;

class InputSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* f : {"home", "config", "data", "in"})
            fs::create_directories(dir / f);
    }

    // Starts the program on `args` with no input; its output goes to the log.
    pid_t Start(const std::vector<std::string>& args) {
        std::vector<std::string> all = {CRYVAN_BIN, "--text"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = -1;
        if (posix_spawn(&pid, CRYVAN_BIN, &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }

    std::string Output() const { return ReadText(log); }
    bool Shows(const std::string& text) const { return Output().find(text) != std::string::npos; }
    // Finished, but something asked for could not be done.
    static constexpr int kWarned = 6;

    std::vector<std::string> Encrypt(const std::vector<std::string>& inputs, const char* mode) {
        std::vector<std::string> args = {"-e", "-c", box, "-i"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"-p", "secret1", "-q", "-r", mode, "-f"});
        return args;
    }

    TempDir dir;
    EnvVar home{"HOME", (dir / "home").c_str()};
    EnvVar config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    EnvVar data{"XDG_DATA_HOME", (dir / "data").c_str()};
    std::string in = dir / "in", box = dir / "box.aes", log = dir / "log";
};

TEST_F(InputSafety, AHardLinkedInputKeepsItsOtherName) {
    for (const char* mode : {"o", "e"}) {
        SCOPED_TRACE(mode);
        fs::remove(box);
        WriteText(in + "/a.txt", "shared with another name");
        WriteText(in + "/b.txt", "alone");
        fs::remove(dir / "other-name.txt");
        ASSERT_EQ(link((in + "/a.txt").c_str(), (dir / "other-name.txt").c_str()), 0);

        EXPECT_EQ(Run(Encrypt({in + "/a.txt", in + "/b.txt"}, mode)), kWarned) << Output();
        EXPECT_TRUE(Shows("cryvan: not done: " + in + "/a.txt: only unlinked, not overwritten"))
            << Output();
        EXPECT_FALSE(fs::exists(in + "/a.txt"));
        EXPECT_FALSE(fs::exists(in + "/b.txt"));
        EXPECT_EQ(ReadText(dir / "other-name.txt"), "shared with another name");
        EXPECT_TRUE(Shows(std::string("could not be fully ") +
                          (*mode == 'o' ? "overwritten" : "eradicated")))
            << Output();
    }
}

// Whether the process has the file open.
bool HasOpen(pid_t pid, const std::string& path) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(fds.c_str());
    if (!d)
        return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        std::error_code ec;
        if (fs::read_symlink(fds + "/" + e->d_name, ec).string() == path)
            found = true;
    }
    closedir(d);
    return found;
}

TEST_F(InputSafety, AnInputChangedAfterItWasReadIsKept) {
    WriteText(in + "/a.txt", TextBytes(5000));
    WriteText(in + "/big.txt", TextBytes(48 << 20));
    const pid_t pid = Start(Encrypt({in + "/a.txt", in + "/big.txt"}, "d"));
    ASSERT_GT(pid, 0);
    // a.txt is read first: change it while the second input is being read.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HasOpen(pid, in + "/big.txt") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    MakeChange(in + "/a.txt", Change::Touched);
    const bool inTime = HasOpen(pid, in + "/big.txt");
    const int status = Wait(pid);
    if (!inTime)
        GTEST_SKIP() << "the run was over before the input could be changed";

    EXPECT_EQ(status, kWarned) << Output();
    EXPECT_TRUE(Shows(in + "/a.txt: kept, it changed after it was encrypted")) << Output();
    EXPECT_EQ(ReadText(in + "/a.txt"), TextBytes(5000));
    EXPECT_FALSE(fs::exists(in + "/big.txt"));
    EXPECT_TRUE(fs::exists(box));
}

TEST_F(InputSafety, ARemovalRefusedAfterTheContainerIsMadeLeavesItAndTheRest) {
    for (const char* mode : {"d", "o", "e"}) {
        SCOPED_TRACE(mode);
        fs::remove(box);
        WriteText(in + "/a.txt", "kept");
        WriteText(dir / "b.txt", "goes");
        {
            RemovalRefused refused(in + "/a.txt");
            if (!refused.Effective())
                GTEST_SKIP() << "nothing here refuses a removal";
            EXPECT_EQ(Run(Encrypt({in + "/a.txt", dir / "b.txt"}, mode)), kWarned) << Output();
        }
        EXPECT_TRUE(Shows("cryvan: not done: " + in + "/a.txt: ")) << Output();
        EXPECT_EQ(ReadText(in + "/a.txt"), "kept");
        EXPECT_FALSE(fs::exists(dir / "b.txt"));  // the input after it is still handled
        EXPECT_FALSE(Shows("failed due to an unexpected error")) << Output();
    }

    // The container after decryption, in a folder of its own.
    fs::create_directories(dir / "boxes");
    const std::string held = dir / "boxes/box.aes";
    fs::copy_file(box, held);
    for (const char* mode : {"d", "o", "e"}) {
        SCOPED_TRACE(std::string("decrypt ") + mode);
        fs::remove_all(dir / "out");
        RemovalRefused refused(held);
        EXPECT_EQ(
            Run({"-d", "-c", held, "-p", "secret1", "-o", dir / "out", "-q", "-r", mode, "-f"}),
            kWarned)
            << Output();
        EXPECT_TRUE(Shows("cryvan: not done: " + held + ": ")) << Output();
        EXPECT_EQ(ReadText(held), ReadText(box));
        EXPECT_EQ(ReadText(dir / "out/b.txt"), "goes");
        EXPECT_FALSE(Shows("failed due to an unexpected error")) << Output();
    }
}

TEST_F(InputSafety, RecyclingWhereThereIsNoTrashKeepsTheFilesAndSaysSo) {
    ShmDir shm;
    if (shm.Path().empty())
        GTEST_SKIP() << "no RAM file system at /dev/shm";
    WriteText(shm / "a.txt", "first");
    WriteText(shm / "b.txt", "second");
    // Nobody answers: the files stay where they are.
    EXPECT_EQ(Run(Encrypt({shm / "a.txt", shm / "b.txt"}, "r")), kWarned) << Output();
    EXPECT_TRUE(Shows(shm / "a.txt: kept, it could not be moved to the trash")) << Output();
    EXPECT_EQ(ReadText(shm / "a.txt"), "first");
    EXPECT_EQ(ReadText(shm / "b.txt"), "second");
    EXPECT_TRUE(Shows("2 file(s) could not be moved to the trash")) << Output();

    const std::string shmBox = shm / "box.aes";
    fs::copy_file(box, shmBox);
    EXPECT_EQ(Run({"-d", "-c", shmBox, "-p", "secret1", "-o", dir / "out", "-q", "-r", "r", "-f"}),
              kWarned)
        << Output();
    EXPECT_TRUE(Shows(shmBox + ": kept, it could not be moved to the trash")) << Output();
    EXPECT_EQ(ReadText(dir / "out/a.txt"), "first");
    EXPECT_TRUE(fs::exists(shmBox));
    EXPECT_TRUE(Shows("1 file(s) could not be moved to the trash")) << Output();
}

}  // namespace
