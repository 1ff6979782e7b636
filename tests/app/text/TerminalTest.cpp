// The terminal front end driven in process through string streams, and the built program run
// on a command line as a script would run it.
#include "app/text/TerminalDialogs.h"
#include "app/text/TerminalFixture.h"
#include "app/text/TerminalFrontEnd.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

#include "app/AppTestSupport.h"
#include "app/config/Settings.h"
#include "app/core/Options.h"
#include "engine/EngineTestSupport.h"

namespace {

using namespace cryvan_test;

class TerminalRun : public TerminalFixture {
  protected:
    void SetUp() override {
        MakeSampleTree(dir);
        WriteText(dir / "in/single.txt", "one\n");
        WriteText(dir / "pw", "secret1\n");
        WriteText(dir / "bad", "wrong-pw\n");
        fs::create_directories(dir / "typed-out/piped");
    }

    bool Shows(const std::string& text) const { return out.str().find(text) != std::string::npos; }
};

// "@/" stands for the test's folder; "FD" for a descriptor that holds a wrong password.
struct Session {
    const char* what;
    std::vector<std::string> args;
    std::string typed;
    bool terminal;
    App::ExitStatus status;
    std::vector<std::string> shown;   // lines on standard output
    std::vector<std::string> errors;  // lines on standard error
};

TEST_F(TerminalRun, SessionsShowEachPageAndEndWithTheirStatus) {
    using S = App::ExitStatus;
    // Containers the decryption sessions open: one file, and a folder tree.
    ASSERT_EQ(
        Run({"-e", "-c", dir / "box.aes", "-i", dir / "in/single.txt", "-p", "secret1", "-q"}),
        S::Success)
        << out.str() << err.str();
    ASSERT_EQ(Run({"-e", "-c", dir / "tree.aes", "-i", dir / "in/docs", "-p", "secret1", "-q"}),
              S::Success);
    const std::string wrongDecrypt = "-d -c @/box.aes -o @/o -q";
    const Session sessions[] = {
        {"a complete command line runs to the summary, the bars at 100 %",
         {"-e", "-c", "@/out.aes", "-i", "@/in/docs", "@/in/single.txt", "-p", "secret1", "-q"},
         "",
         false,
         S::Success,
         {"Your files have been encrypted.", "3 files, 2 folders", "(100%)"},
         {}},
        {"the first page with nothing typed",
         {},
         "",
         false,
         S::NoInput,
         {"== Welcome to Cryvan ==", "[e] Encrypt files and folders",
          "[d] Decrypt an encrypted file", "[p] Preferences", "[q] Cancel"},
         {"cryvan: stopped on the page \"Welcome to Cryvan\": input is needed"}},
        {"the source page adds typed files, then Cancel",
         {"-e"},
         "a\n@/in/single.txt\n\nq\ny\n",
         true,
         S::Cancelled,
         {"== Select Files to Encrypt ==", "[a] Add files", "[f] Add a folder",
          "[r] Remove entries", "  1 @/in/single.txt\n", "[n] Next (or Enter)", "[b] Back"},
         {}},
        {"the output page waits without -c",
         {"-e", "-i", "@/in/single.txt", "-p", "secret1"},
         "",
         false,
         S::NoInput,
         {"Output file: @/in/single.aes\n", "[c] Change the output file",
          "[x] Make a self-decrypting executable instead"},
         {"stopped on the page \"Select Output File\""}},
        {"typed encryption: the password and its confirmation at once, Enter runs",
         {"-e"},
         "a\n@/in/single.txt\n\nn\nc\n@/typed.aes\nn\nshort\nsecret1\nsecret1\n\n\n",
         true,
         S::Success,
         {"The password needs at least 6 characters.", "Confirm password: ",
          "[g] Generate Password", "[n] Encrypt (or Enter)", "Your file has been encrypted."},
         {}},
        {"typed decryption: a wrong password is said and asked again",
         {"-d", "-c", "@/box.aes"},
         "wrong-pw\n\nsecret1\n\nc\n@/typed-out\n\n\n",
         true,
         S::Success,
         {"The password entered was incorrect.", "[c] Change the folder",
          "Your file has been decrypted."},
         {}},
        {"piped answers drive the pages alike",
         {"-d", "-c", "@/box.aes"},
         "secret1\n\nc\n@/typed-out/piped\n\n\n",
         false,
         S::Success,
         {"Your file has been decrypted."},
         {}},
        {"piped input answers the run's questions as well",
         {"-d", "-c", "@/box.aes", "-p", "secret1"},
         "c\n@/made\n\ny\n\n",
         false,
         S::Success,
         {"Would you like to create it?", "Your file has been decrypted."},
         {}},
        {"at the end of piped input a question takes its safe answer",
         {"-d", "-c", "@/box.aes", "-p", "secret1"},
         "c\n@/not-made\n\n",
         false,
         S::NoInput,
         {"(no answer possible: No)"},
         {"stopped on the page \"Select Destination Path\""}},
        {"the end of the input on the password page",
         {"-d", "-c", "@/box.aes"},
         "",
         false,
         S::NoInput,
         {"Password: "},
         {"stopped on the page \"Enter Password\""}},
        {"stored names shown as ls shows them",
         {"-d", "-c", "@/tree.aes", "-p", "secret1"},
         "",
         false,
         S::NoInput,
         {"[ ] docs/\n", "[ ] docs/sub/\n", "[ ] docs/sub/b.bin\n",
          "[s] Select or unselect entries", "[a] Select all"},
         {"stopped on the page \"Select Files to Decrypt\""}},
        {"the destination page of several files",
         {"-d", "-c", "@/tree.aes", "-p", "secret1"},
         "a\n\n",
         false,
         S::NoInput,
         {"[x] docs/sub/b.bin", "Ignore stored paths: no", "[i] Toggle ignoring stored paths"},
         {"stopped on the page \"Select Destination Path\""}},
        {"a wrong -p, unattended",
         {"-d", "-c", "@/box.aes", "-p", "wrong-pw", "-o", "@/o", "-q"},
         "",
         false,
         S::Failed,
         {},
         {"cryvan: The password entered was incorrect.\n"}},
        {"a wrong -p with piped input left",
         {"-d", "-c", "@/box.aes", "-p", "wrong-pw", "-o", "@/o", "-q"},
         "secret1\n\n",
         false,
         S::Failed,
         {},
         {"cryvan: The password entered was incorrect.\n"}},
        {"a wrong --password-file, unattended",
         {"--password-file", "@/bad", "-d", "-c", "@/box.aes", "-o", "@/o", "-q"},
         "",
         false,
         S::Failed,
         {},
         {"cryvan: The password entered was incorrect.\n"}},
        {"a wrong --password-fd, unattended",
         {"--password-fd", "FD", "-d", "-c", "@/box.aes", "-o", "@/o", "-q"},
         "",
         false,
         S::Failed,
         {},
         {"cryvan: The password entered was incorrect.\n"}},
        {"a wrong -p at a terminal: asked again",
         {"-d", "-c", "@/box.aes", "-p", "wrong-pw", "-o", "@/typed-out/again", "-q"},
         "secret1\n\n",
         true,
         S::Success,
         {"The password entered was incorrect.", "Password: "},
         {}},
        {"a usage error",
         {"-e", "-o", "dir"},
         "",
         false,
         S::InvalidCommandLine,
         {},
         {"cryvan: invalid command line: '-o' is not valid there\n", "cryvan --help"}},
        {"an unknown option",
         {"--bogus", "-e"},
         "",
         false,
         S::InvalidCommandLine,
         {},
         {"cryvan: unknown option '--bogus'"}},
        {"a password option without its value",
         {"--password-fd"},
         "",
         false,
         S::InvalidCommandLine,
         {},
         {"cryvan: --password-fd needs a value"}},
        {"a password file that cannot be read",
         {"--password-file", "@/missing", "-d", "-c", "@/box.aes"},
         "",
         false,
         S::InvalidCommandLine,
         {},
         {"cannot open @/missing"}},
        {"a password file besides -p",
         {"--password-file", "@/pw", "-d", "-c", "@/box.aes", "-p", "secret1"},
         "",
         false,
         S::InvalidCommandLine,
         {},
         {"--password-file need -e or -d and no -p"}},
        {"-h", {"-h"}, "", false, S::Success, {"Usage: cryvan", "Exit status"}, {}},
        {"--help", {"--help"}, "", false, S::Success, {"Usage: cryvan"}, {}},
        {"the preferences sheet with nothing typed",
         {"-prefs"},
         "",
         false,
         S::NoInput,
         {"Cryvan Configuration"},
         {}},
    };
    const std::string root = dir / "";
    auto place = [&](std::string text) {
        for (std::size_t at; (at = text.find("@/")) != std::string::npos;)
            text.replace(at, 2, root);
        return text;
    };
    for (const Session& s : sessions) {
        SCOPED_TRACE(s.what);
        int fds[2] = {-1, -1};
        std::vector<std::string> args;
        for (const std::string& a : s.args) {
            if (a == "FD") {
                ASSERT_EQ(pipe(fds), 0);
                ASSERT_EQ(write(fds[1], "wrong-pw\n", 9), 9);
                args.push_back(std::to_string(fds[0]));
            } else {
                args.push_back(place(a));
            }
        }
        EXPECT_EQ(Run(args, place(s.typed), s.terminal), s.status) << out.str() << err.str();
        for (const std::string& line : s.shown)
            EXPECT_TRUE(Shows(place(line))) << place(line) << "\n---\n" << out.str();
        for (const std::string& line : s.errors)
            EXPECT_NE(err.str().find(place(line)), std::string::npos) << place(line) << "\n---\n"
                                                                      << err.str();
        // Nothing but plain lines when the output is not a terminal.
        EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
        for (int fd : fds)
            if (fd >= 0)
                close(fd);
    }
    EXPECT_EQ(ReadText(dir / "typed-out/single.txt"), "one\n");
    EXPECT_EQ(ReadText(dir / "typed-out/piped/single.txt"), "one\n");
    EXPECT_FALSE(fs::exists(dir / "o"));
    EXPECT_EQ(ReadText(dir / "made/single.txt"), "one\n");
    EXPECT_FALSE(fs::exists(dir / "not-made"));
}

// --help and -h list every option the terminal program takes and every exit status, from
// their tables.
TEST_F(TerminalRun, HelpListsTheOptionAndExitStatusTables) {
    for (const char* asked : {"--help", "-h"}) {
        EXPECT_EQ(Run({asked}), App::ExitStatus::Success);
        const std::string help = out.str();
        EXPECT_EQ(help, Text::HelpText()) << asked;
        for (const App::OptionRow& row : App::kOptions) {
            const unsigned shown =
                App::kFrontEnd | App::kFirstWord | App::kEncryption | App::kDecryption;
            if (row.accepts & shown) {
                EXPECT_NE(help.find("  " + App::OptionSynopsis(row)), std::string::npos)
                    << row.spelling;
            }
        }
        for (const App::ExitStatusRow& row : App::kExitStatuses)
            EXPECT_NE(help.find("  " + std::to_string(App::Code(row.status)) + "  "),
                      std::string::npos)
                << row.meaning;
    }
}

TEST_F(TerminalRun, CtrlCDuringARunCancelsItEvenWithoutATerminal) {
    // Large enough that the run still goes at the first turn of the progress page.
    WriteText(dir / "in/large.bin", "");
    fs::resize_file(dir / "in/large.bin", 512u << 20);
    Text::TerminalFrontEnd::RequestCancel();
    EXPECT_EQ(Run({"-e", "-c", dir / "big.aes", "-i", dir / "in/large.bin", "-p", "secret1", "-q"}),
              App::ExitStatus::Cancelled)
        << out.str();
    EXPECT_TRUE(Shows("Are you sure you want to cancel?")) << out.str();
}

// The built program, run by a shell as a script runs it.
class TerminalProgram : public ::testing::Test {
  protected:
    static std::string Quote(const std::string& arg) {
        std::string q = "'";
        for (char c : arg)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

    int Run(const std::vector<std::string>& args, const std::string& redirect = "") {
        std::string command = "cd " + Quote(dir / "") + " && " + Quote(CRYVAN_BIN);
        for (const auto& a : args)
            command += " " + Quote(a);
        command += " " + redirect + " </dev/null >" + Quote(dir / "log") + " 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir dir;
};

TEST_F(TerminalProgram, ANestedTreeComesBackByteForByteWithTimesAndReadOnly) {
    EnvVar home("HOME", (dir / "").c_str());
    const std::string in = dir / "tree";
    fs::create_directories(in + "/a/b/c");
    fs::create_directories(in + "/empty");
    WriteText(in + "/top.txt", TextBytes(20000));
    WriteText(in + "/a/random.bin", RandomBytes(70000));
    WriteText(in + "/a/b/c/deep.txt", "deep\n");
    WriteText(in + "/a/b/.hidden", "hidden\n");
    WriteText(in + "/a/b/readonly.txt", "do not touch\n");
    WriteText(in + "/a/b/c/empty.dat", "");
    std::vector<std::string> files;
    long when = 1600000000;
    for (const auto& e : fs::recursive_directory_iterator(in))
        if (e.is_regular_file()) {
            SetModTime(e.path().string(), when, 0);
            when += 3601;
            files.push_back(fs::relative(e.path(), in).string());
        }
    chmod((in + "/a/b/readonly.txt").c_str(), 0444);

    const std::string box = dir / "tree.aes";
    ASSERT_EQ(Run({"--text", "-e", "-c", box, "-i", in, "-p", "secret1", "-q"}), 0)
        << ReadText(dir / "log");
    WriteText(dir / "pw", "secret1\n");
    ASSERT_EQ(Run({"--text", "--password-fd", "3", "-d", "-c", box, "-o", dir / "out", "-q"},
                  "3<" + Quote(dir / "pw")),
              0)
        << ReadText(dir / "log");
    EXPECT_NE(ReadText(dir / "log").find("Your files have been decrypted."), std::string::npos);

    const std::string out = dir / "out/tree";
    EXPECT_EQ(Tree(out), Tree(in));
    for (const auto& f : files) {
        struct stat a {
        }, b{};
        ASSERT_EQ(stat((in + "/" + f).c_str(), &a), 0);
        ASSERT_EQ(stat((out + "/" + f).c_str(), &b), 0) << f;
        EXPECT_EQ(ReadText(out + "/" + f), ReadText(in + "/" + f)) << f;
        EXPECT_EQ(a.st_mtime, b.st_mtime) << f;
        EXPECT_EQ((a.st_mode & S_IWUSR) == 0, (b.st_mode & S_IWUSR) == 0) << f;
    }

    // A wrong password on a complete command line: nothing to type, the run failed.
    WriteText(dir / "bad", "wrong-password\n");
    EXPECT_EQ(Run({"--password-file", dir / "bad", "-d", "-c", box, "-o", dir / "out2", "-q"}), 2);
    EXPECT_NE(ReadText(dir / "log").find("cryvan: The password entered was incorrect."),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "out2/tree"));
}

}  // namespace

namespace {

class TerminalPreferencesRun : public TerminalRun {
  protected:
    EnvVar settingsHome{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    std::string Emergency() const { return MakeFolders(dir).perUser + "Emergency Password.bin"; }
};

TEST_F(TerminalPreferencesRun, EmergencyPasswordCreatedReplacedAndDeleted) {
    // Too short, then matching: the sheet stays open after the refusal.
    EXPECT_EQ(Run({"-prefs"}, "2\ns\nabcde\nabcde\no\ns\nlonger one\nlonger one\nt\no\n"),
              App::ExitStatus::Success)
        << out.str();
    EXPECT_TRUE(Shows("Please use a minimum of 6 characters.")) << out.str();
    ASSERT_TRUE(fs::exists(Emergency()));
    EXPECT_EQ(App::Settings::Get(App::Settings::kDefaultEmergencyPassword), 1u);
    const std::string first = ReadText(Emergency());

    // Replacing asks; nobody to answer means No, and the end of the input cancels the sheet.
    EXPECT_EQ(Run({"-prefs"}, "2\ns\nthird one\nthird one\no\n"), App::ExitStatus::NoInput);
    EXPECT_TRUE(Shows("Are you sure you want to replace")) << out.str();
    EXPECT_EQ(ReadText(Emergency()), first);
    EXPECT_EQ(Run({"-prefs"}, "2\ns\nthird one\nthird one\no\ny\n", true),
              App::ExitStatus::Success);
    EXPECT_NE(ReadText(Emergency()), first);

    // Cancel discards; clearing both fields deletes after a yes.
    EXPECT_EQ(Run({"-prefs"}, "2\nx\nc\n"), App::ExitStatus::Cancelled);
    EXPECT_TRUE(fs::exists(Emergency()));
    EXPECT_EQ(Run({"-prefs"}, "2\nx\no\ny\n", true), App::ExitStatus::Success) << out.str();
    EXPECT_TRUE(Shows("Are you sure you want to delete your existing emergency password?"));
    EXPECT_FALSE(fs::exists(Emergency()));
    EXPECT_EQ(App::Settings::Get(App::Settings::kDefaultEmergencyPassword), 0u);
}

TEST_F(TerminalPreferencesRun, PopUpChoicesAndTheWizardsPreferencesButton) {
    // From the first page of the wizard; the wizard then stops for want of input.
    EXPECT_EQ(Run({}, "p\ne\n4\nn\no\n"), App::ExitStatus::NoInput) << out.str();
    EXPECT_TRUE(Shows("Cryvan Configuration")) << out.str();
    EXPECT_EQ(App::Settings::Get(App::Settings::kEncryptDeletionOption), 4u);
    EXPECT_EQ(App::Settings::Get(App::Settings::kConfirmMenuDeletion), 0u);
    EXPECT_FALSE(fs::exists(Emergency()));
}

}  // namespace

namespace {

// A person at a terminal who answers only when told to.
class HeldAnswer : public App::LineInput {
  public:
    std::optional<std::string> Line(const std::string&) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_asked = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_release; });
        return std::string("y");
    }
    std::optional<App::Secret> Secret(const std::string& prompt) override {
        const std::optional<std::string> line = Line(prompt);
        return App::Secret(*line, line->size());
    }
    std::optional<std::string> Poll(int, int) override { return std::nullopt; }
    bool Terminal() const override { return true; }
    bool Ended() const override { return false; }

    void WaitAsked() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_asked; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_release = true;
        m_changed.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_asked = false, m_release = false;
};

TEST(TerminalDialogsSharing, AQuestionFromTheRunKeepsTheDisplayOffTheTerminal) {
    HeldAnswer input;
    std::ostringstream out;
    Text::TerminalDialogs dialogs(input, out);
    std::thread worker([&] {
        EXPECT_EQ(
            dialogs.Show("Overwrite?", "Confirm File Replace", App::MessageBoxes::Icon::Question,
                         App::MessageBoxes::Buttons::YesNo, App::MessageBoxes::Answer::No),
            App::MessageBoxes::Answer::Yes);
    });
    input.WaitAsked();
    // The display may neither draw nor poll while the question waits for its answer.
    int draws = 0;
    bool scrolled = false;
    std::optional<std::string> line;
    auto draw = [&](bool s) {
        ++draws;
        scrolled = s;
    };
    EXPECT_FALSE(dialogs.DisplayTurn(draw, 0, line));
    EXPECT_EQ(draws, 0);
    input.Release();
    worker.join();
    // Afterwards it draws afresh below the question, then as usual.
    EXPECT_TRUE(dialogs.DisplayTurn(draw, 0, line));
    EXPECT_TRUE(scrolled);
    EXPECT_TRUE(dialogs.DisplayTurn(draw, 0, line));
    EXPECT_FALSE(scrolled);
    EXPECT_EQ(draws, 2);
}

}  // namespace

namespace {

// A password line read from a stream, a file or a descriptor: the line without its end, the
// rest left for later reads; nothing at all is no password.
TEST(PasswordLines, OneLineWithoutItsEnd) {
    const struct {
        std::string input;
        std::optional<std::string> password;  // nullopt: the input had ended
        std::string next;                     // the stream's next line
    } cases[] = {
        {"secret1\nnext\n", "secret1", "next"},
        {"pass word\r\nnext\n", "pass word", "next"},
        {"last line", "last line", ""},
        {"\nnext\n", "", "next"},
        {"", std::nullopt, ""},
        {std::string(App::kMaxLine + 10, 'a') + "\nnext\n", std::string(App::kMaxLine, 'a'),
         "next"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        std::istringstream in(c.input);
        std::ostringstream out;
        App::StreamInput lines(in, out, false);
        const std::optional<App::Secret> typed = lines.Secret("Password: ");
        ASSERT_EQ(typed.has_value(), c.password.has_value());
        if (c.password) {
            EXPECT_EQ(*typed, *c.password);
        }
        EXPECT_EQ(lines.Line("").value_or(""), c.next);

        TempDir dir;
        WriteText(dir / "pw", c.input);
        EXPECT_EQ(App::ReadPasswordFile(dir / "pw"), c.password.value_or(""));
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], c.input.data(), c.input.size()), ssize_t(c.input.size()));
        close(fds[1]);
        EXPECT_EQ(App::ReadPasswordFd(fds[0]), c.password.value_or(""));
        close(fds[0]);
    }
}

}  // namespace
