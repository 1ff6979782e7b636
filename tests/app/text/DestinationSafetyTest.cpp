// The built program, run as its users run it: every name a folder holds comes back, nothing is
// written through a symbolic link below the destination, and a decryption killed at any moment
// leaves only complete files behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "os/Descriptor.h"
#include "os/PendingOutput.h"
#include "support/Folders.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Listing;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
namespace fs = std::filesystem;

constexpr char kPassword[] = "secret1";

std::string Random(std::size_t size) {
    std::string bytes(size, '\0');
    const OS::Descriptor fd(open("/dev/urandom", O_RDONLY | O_CLOEXEC));
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = read(fd.Get(), bytes.data() + done, size - done);
        if (n <= 0)
            throw std::runtime_error("cannot read /dev/urandom");
        done += std::size_t(n);
    }
    return bytes;
}

// One run of the program in its own process, kept out of the user's own settings and files.
class Program {
  public:
    Program(const std::string& home, std::vector<std::string> args, bool namedTemporaries = false)
        : m_home(home), m_args(std::move(args)), m_named(namedTemporaries) {}

    // Standard input empty (unattended), both outputs into `log`.
    void Start(const std::string& log) {
        m_pid = fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            Exec();
        }
    }

    // On a terminal: whenever `prompt` has been shown, `answer` is typed.
    int RunAnswering(const std::string& prompt, const std::string& answer, std::string& output) {
        int master = -1;
        m_pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (m_pid < 0)
            return -1;
        if (m_pid == 0)
            Exec();
        const OS::Descriptor terminal(master);
        std::size_t answered = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{terminal.Get(), POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(terminal.Get(), buffer, sizeof buffer);
            if (n <= 0)
                break;  // the program has ended
            output.append(buffer, std::size_t(n));
            for (std::size_t at = output.find(prompt, answered); at != std::string::npos;
                 at = output.find(prompt, answered)) {
                answered = at + prompt.size();
                if (write(terminal.Get(), answer.data(), answer.size()) < 0)
                    return -1;
            }
        }
        return Wait();
    }

    int Run(const std::string& log) {
        Start(log);
        return Wait();
    }

    void Kill() { kill(m_pid, SIGKILL); }

    int Wait() {
        int status = 0;
        if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid)
            return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

  private:
    [[noreturn]] void Exec() {
        setenv("HOME", m_home.c_str(), 1);
        for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            setenv(v, (m_home + "/" + v).c_str(), 1);
        if (m_named)
            setenv(OS::PendingOutput::kNamedTemporariesVariable, "1", 1);
        else
            unsetenv(OS::PendingOutput::kNamedTemporariesVariable);
        std::vector<char*> argv{const_cast<char*>(CRYVAN_BIN), const_cast<char*>("--text")};
        for (std::string& a : m_args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(CRYVAN_BIN, argv.data());
        _exit(127);
    }

    std::string m_home;
    std::vector<std::string> m_args;
    bool m_named;
    pid_t m_pid = -1;
};

class DestinationSafety : public ::testing::Test {
  protected:
    int Encrypt(const std::string& box, const std::vector<std::string>& inputs,
                const std::vector<std::string>& more = {}) {
        std::vector<std::string> args{"-e", "-c", box, "-i"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"-p", kPassword, "-q"});
        args.insert(args.end(), more.begin(), more.end());
        return Program(dir.Path(), args).Run(Log());
    }
    std::vector<std::string> DecryptArgs(const std::string& box, const std::string& folder,
                                         const std::vector<std::string>& more = {}) const {
        std::vector<std::string> args{"-d", "-c", box, "-o", folder, "-p", kPassword, "-q"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    int Decrypt(const std::string& box, const std::string& folder,
                const std::vector<std::string>& more = {}) {
        return Program(dir.Path(), DecryptArgs(box, folder, more)).Run(Log());
    }
    std::string Log() const { return dir / "log"; }

    TempDir dir;
};

struct NameCase {
    const char* what;
    std::string relative;  // the file, below the folder the inputs are in
    bool comesBack;
};

// Eradicated after encrypting, given back byte for byte; a name that could not be given back is
// refused before anything is written or destroyed.
TEST_F(DestinationSafety, EveryNameAFolderHoldsComesBackAfterEradicating) {
    const std::string longest(NAME_MAX, 'n');
    const std::vector<NameCase> cases = {
        {"the longest name, alone", longest, true},
        {"the longest name in a folder", "folder/" + longest, true},
        {"a backslash that is three bytes once stored", std::string(NAME_MAX - 3, 'b') + "\\x",
         false},
    };
    const std::string source = dir / "source";
    std::map<std::string, std::string> contents;
    std::vector<std::string> fitting;
    for (const NameCase& c : cases) {
        const std::string file = source + "/" + c.relative;
        fs::create_directories(fs::path(file).parent_path());
        contents[c.relative] = Random(100000);
        WriteText(file, contents[c.relative]);
        const std::size_t cut = c.relative.find('/');
        const std::string input =
            cut == std::string::npos ? file : source + "/" + c.relative.substr(0, cut);
        if (c.comesBack) {
            fitting.push_back(input);
            continue;
        }
        // One name that cannot come back refuses the whole run, before anything is written.
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Encrypt(dir / "refused.aes", {input}, {"-r", "e", "-f"}), 2) << ReadText(Log());
        EXPECT_NE(ReadText(Log()).find("would be too long to decrypt"), std::string::npos)
            << ReadText(Log());
        EXPECT_FALSE(fs::exists(dir / "refused.aes"));
        EXPECT_EQ(ReadText(file), contents[c.relative]);
    }

    const std::string box = dir / "names.aes";
    ASSERT_EQ(Encrypt(box, fitting, {"-r", "e", "-f"}), 0) << ReadText(Log());
    ASSERT_EQ(Decrypt(box, dir / "restored"), 0) << ReadText(Log());
    for (const NameCase& c : cases) {
        if (!c.comesBack)
            continue;
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(fs::exists(source + "/" + c.relative));
        EXPECT_EQ(ReadText(dir / ("restored/" + c.relative)), contents[c.relative]);
    }
}

struct LinkCase {
    const char* what;
    // Makes the links in the destination `out`, pointing into `outside`.
    std::function<void(const std::string& out, const std::string& outside)> setUp;
    bool yesToAll;  // on a terminal, every "replace?" is answered Yes to All
};

TEST_F(DestinationSafety, NothingIsWrittenThroughALinkBelowTheDestination) {
    auto link = [](const std::string& target, const std::string& at) {
        ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0);
    };
    auto folderLink = [&](const std::string& out, const std::string& outside) {
        fs::create_directories(out + "/in");
        link(outside, out + "/in/sub");
    };
    auto fileLink = [&](const std::string& out, const std::string& outside) {
        fs::create_directories(out + "/in");
        link(outside + "/x.txt", out + "/in/x.txt");
    };
    const std::vector<LinkCase> cases = {
        {"a folder link", folderLink, false},
        {"a folder link, replacing everything", folderLink, true},
        {"a link in the file's place", fileLink, false},
        {"a link in the file's place, replacing everything", fileLink, true},
    };
    const std::string in = dir / "in", box = dir / "links.aes";
    fs::create_directories(in + "/sub");
    WriteText(in + "/x.txt", "the container's x\n");
    WriteText(in + "/sub/x.txt", "the container's sub/x\n");
    ASSERT_EQ(Encrypt(box, {in}), 0) << ReadText(Log());

    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = dir / "out", outside = dir / "outside";
        fs::remove_all(out);
        fs::remove_all(outside);
        fs::create_directories(outside);
        WriteText(outside + "/x.txt", "outside, not to be touched\n");
        c.setUp(out, outside);
        const auto before = Listing(outside);
        const auto linksBefore = Listing(out);

        int status = -1;
        std::string output;
        if (c.yesToAll) {
            status = Program(dir.Path(), DecryptArgs(box, out))
                         .RunAnswering("[a] Yes to All", "a\n", output);
        } else {
            // Asked to delete the container, the unattended run declines: not all came out.
            status = Decrypt(box, out, {"-r", "d", "-f"});
            output = ReadText(Log());
            EXPECT_TRUE(fs::exists(box));
        }
        // Finished, saying what was not written and why.
        EXPECT_EQ(status, 6) << output;
        EXPECT_NE(output.find("skipped, a symbolic link"), std::string::npos) << output;
        EXPECT_EQ(Listing(outside), before);
        const auto after = Listing(out);
        for (const auto& [name, what] : linksBefore)
            EXPECT_EQ(after.count(name) ? after.at(name) : "(gone)", what) << name;
        // What no link is in the way of still comes out.
        if (!after.count("in/x.txt") || after.at("in/x.txt").rfind("-> ", 0) != 0) {
            EXPECT_EQ(ReadText(out + "/in/x.txt"), "the container's x\n");
        }
        EXPECT_EQ(output.find("Would you like to overwrite"), std::string::npos) << output;
    }
}

// The one container the two tests below decrypt, made once: a small file first, then one large
// enough to be still being written when the program is killed.
class KilledRuns : public DestinationSafety {
  protected:
    static void SetUpTestSuite() {
        s_source = std::make_unique<TempDir>();
        fs::create_directories(*s_source / "in");
        WriteText(*s_source / "in/a.txt", "small and first\n");
        WriteText(*s_source / "in/big.bin", Random(96u << 20));
        std::vector<std::string> args{
            "-e", "-c", *s_source / "big.aes", "-i", *s_source / "in", "-p", kPassword, "-q"};
        s_made = Program(s_source->Path(), args).Run(*s_source / "log") == 0;
    }
    static void TearDownTestSuite() { s_source.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_made) << ReadText(*s_source / "log");
        if (!AnonymousFilesWork())
            GTEST_SKIP() << "no anonymous files here: a killed run may leave a temporary name";
        box = *s_source / "big.aes";
    }

    bool AnonymousFilesWork() const {
        const OS::Descriptor fd(open(dir.Path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        return fd.Valid() && access("/proc/self/fd", X_OK) == 0;
    }

    // Only files that are complete, each exactly its original.
    void ExpectOnlyCompleteFiles(const std::string& out) {
        if (!fs::exists(out))
            return;
        for (const auto& [name, what] : Listing(out)) {
            if (what == "<dir>")
                EXPECT_EQ(name, "in");
            else
                EXPECT_TRUE(what == ReadText(*s_source / name)) << name << " is not the original";
        }
    }

    static std::unique_ptr<TempDir> s_source;
    static bool s_made;
    std::string box;
};

std::unique_ptr<TempDir> KilledRuns::s_source;
bool KilledRuns::s_made = false;

TEST_F(KilledRuns, AKilledDecryptionLeavesOnlyCompleteFiles) {
    bool killedWhileWriting = false;
    for (const int ms : {5, 30, 100, 250, 500}) {
        SCOPED_TRACE(ms);
        const std::string out = dir / "out";
        fs::remove_all(out);
        Program run(dir.Path(), DecryptArgs(box, out));
        run.Start(Log());
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        run.Kill();
        run.Wait();
        ExpectOnlyCompleteFiles(out);
        killedWhileWriting = killedWhileWriting || !fs::exists(out + "/in/big.bin");
    }
    EXPECT_TRUE(killedWhileWriting);
}

// Where outputs have temporary names, the one a killed run left goes with the next run that
// writes into its folder.
TEST_F(KilledRuns, AStaleTemporaryIsSweptByTheNextRun) {
    const std::string out = dir / "out", folder = out + "/in";
    Program killed(dir.Path(), DecryptArgs(box, out), true);
    killed.Start(Log());
    std::string stale;
    for (int i = 0; i < 2000 && stale.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::error_code ec;
        // The large file's, well under way: the small one's is gone at once.
        for (const auto& e : fs::directory_iterator(folder, ec))
            if (OS::PendingOutput::IsTemporaryName(e.path().filename().string()) &&
                e.file_size(ec) > (1u << 20))
                stale = e.path().filename().string();
    }
    killed.Kill();
    killed.Wait();
    ASSERT_FALSE(stale.empty()) << "no temporary seen while writing";
    ASSERT_TRUE(fs::exists(folder + "/" + stale));
    EXPECT_LE(stale.size(), 32u);

    // The file the killed run completed would be a question; the next run writes the rest.
    fs::remove(folder + "/a.txt");
    // File times come from a coarse clock: the next run must start on a later tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Decrypt(box, out), 0) << ReadText(Log());
    EXPECT_EQ(Listing(folder).size(), 2u);
    EXPECT_FALSE(fs::exists(folder + "/" + stale));
    ExpectOnlyCompleteFiles(out);
}

}  // namespace
