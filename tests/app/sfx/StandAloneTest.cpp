// The self-decrypting container's own flow: its options, opening itself, passwords (with the
// administrators' quorum), the destination folder, the run and deleting itself; and the main
// program writing the embedded image as the header.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/console/LineInput.h"
#include "app/core/ExitStatus.h"
#include "app/core/OperationRunner.h"
#include "app/core/Options.h"
#include "app/sfx/DesktopFlow.h"
#include "app/sfx/SelfExtractor.h"
#include "app/sfx/SfxFrontEnd.h"
#include "engine/EngineTestSupport.h"
#include "recovery/AdminRecovery.h"
#include "resources/StandAloneImage.h"
#include "support/ScriptedDialogs.h"

namespace cryvan_test {
namespace {

namespace fs = std::filesystem;
using Sfx::SelfExtractor;

std::string Image() {
    const Resources::Image image = Resources::StandAloneImage();
    return std::string(reinterpret_cast<const char*>(image.bytes), image.size);
}

class StandAlone : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedDialogs dialogs;

    // A self-decrypting container of two files in a folder, headed by the embedded program.
    std::string Make(const std::vector<const char*>& passwords = {"secret12"},
                     const FCryptEng::RecoverySource* recovery = nullptr,
                     std::size_t bigBytes = 0) {
        fs::create_directories(dir / "src/docs/sub");
        WriteText(dir / "src/docs/a.txt", TextBytes(150000));
        WriteText(dir / "src/docs/sub/b.bin", RandomBytes(40000));
        if (bigBytes)
            WriteText(dir / "src/docs/sub/big.bin", RandomBytes(bigBytes));
        EngineRun run;
        auto enc = FCryptEng::FileCryptor::Create(false, &run.status, &run.callback);
        for (const std::string& path : Expand(dir / "src/docs"))
            enc->SetPlainFile(path);
        enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        const std::string container = dir / "box.aes.exe";
        enc->CipherFile(container);
        for (const char* p : passwords)
            enc->Password(p);
        if (recovery)
            enc->AddRecovery(*recovery);
        const std::string image = Image();
        enc->SetHeader(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
        enc->Begin();
        EXPECT_EQ(run.status.State(), FCryptEng::OperationState::Finished);
        return container;
    }

    static void Wait(SelfExtractor& x) {
        while (x.Runner().IsRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        x.Stop();
    }

    // Runs the program as a file manager starts it: no arguments, no terminal. What it printed
    // goes to `shown`.
    static App::ExitStatus StartedFromAFileManager(const std::string& self, std::string& shown) {
        std::istringstream in;
        std::ostringstream out;
        App::StreamInput input(in, out, false);
        const App::ExitStatus status =
            Sfx::RunFrontEnd(App::Arguments(std::vector<std::string>{}), self, input, out);
        shown = out.str();
        return status;
    }

    void ExpectRestored(const std::string& folder) {
        for (const char* name : {"/docs/a.txt", "/docs/sub/b.bin"}) {
            ASSERT_TRUE(fs::exists(folder + name)) << folder + name;
            EXPECT_TRUE(ReadText(folder + name) == ReadText(dir / "src" + name)) << name;
        }
    }
};

TEST(StandAloneOptions, ParsesTheMainProgramsWordsThatApply) {
    const App::Arguments args{"-p", "pw", "-o", "out", "-q", "-r", "d", "-f"};
    const Sfx::Options o = Sfx::ParseArguments(args);
    ASSERT_TRUE(o.password);
    EXPECT_EQ(*o.password, "pw");
    // Kept, and no longer where the process list reads the arguments.
    EXPECT_EQ(args[1], "xx");
    EXPECT_EQ(args[3], "out");
    EXPECT_EQ(o.folder.value_or(""), "out");
    EXPECT_TRUE(o.quiet && o.deleteSelf && o.force && !o.help);
    EXPECT_FALSE(Sfx::ParseArguments({"-r", "k"}).deleteSelf);
    EXPECT_TRUE(Sfx::ParseArguments({"--help"}).help);

    TempDir dir;
    WriteText(dir / "pw", "from a file\nsecond line\n");
    const Sfx::Options fromFile = Sfx::ParseArguments({"--password-file", dir / "pw"});
    ASSERT_TRUE(fromFile.password);
    EXPECT_EQ(*fromFile.password, "from a file");

    const std::vector<std::vector<std::string>> invalid = {
        {"--password-file", dir / "missing"},
        {"--password-fd", "x"},
        {"-p", "a", "--password-file", dir / "pw"},
        {"-p"},
        {"-p", "-q"},
        {"-o", ""},
        {"-p", "a", "-p", "b"},
        {"-r", "x"},
        {"-r", "o"},
        {"-r", "e"},
        {"-r", "r"},
        {"-e"},
        {"stray"},
        {"-r", "k", "-r", "d"}};
    for (const auto& line : invalid)
        EXPECT_THROW(Sfx::ParseArguments(line), Sfx::UsageError) << line[0];
}

// Every word the option table gives the decrypt-only program parses with its kind of value,
// and --help lists it with the exit statuses.
TEST(StandAloneOptions, EveryWordOfTheOptionTableParsesAndIsListed) {
    TempDir dir;
    WriteText(dir / "pw", "secret\n");
    const std::string help = Sfx::HelpText();
    for (const App::OptionRow& row : App::kOptions) {
        if (!(row.accepts & App::kStandAlone))
            continue;
        SCOPED_TRACE(row.spelling);
        std::vector<std::string> line{row.spelling};
        switch (row.option) {
            case App::Option::Deletion:
                line.push_back("d");
                break;
            case App::Option::PasswordFile:
                line.push_back(dir / "pw");
                break;
            case App::Option::PasswordFd: {
                int ends[2];
                ASSERT_EQ(pipe(ends), 0);
                ASSERT_EQ(write(ends[1], "secret\n", 7), 7);
                close(ends[1]);
                line.push_back(std::to_string(ends[0]));
                EXPECT_NO_THROW(Sfx::ParseArguments(line));
                close(ends[0]);
                line.clear();
                break;
            }
            default:
                if (row.value != App::OptionValue::None)
                    line.push_back("value");
        }
        if (!line.empty()) {
            EXPECT_NO_THROW(Sfx::ParseArguments(line));
        }
        if (row.alias) {
            EXPECT_NO_THROW(Sfx::ParseArguments({row.alias}));
        }
        EXPECT_NE(help.find("  " + App::OptionSynopsis(row)), std::string::npos);
    }
    for (const App::ExitStatusRow& row : App::kExitStatuses)
        EXPECT_NE(help.find("  " + std::to_string(App::Code(row.status)) + "  "), std::string::npos)
            << row.meaning;
}

TEST_F(StandAlone, ABareProgramIsNotAContainer) {
    WriteText(dir / "bare", Image());
    SelfExtractor x(dialogs, dir / "bare");
    EXPECT_FALSE(x.Open());
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_NE(dialogs.Shown()[0].find(Sfx::kCorruptText), std::string::npos);

    // Runnable but not readable (only where permissions bind): said so, not called corrupt.
    const std::string locked = dir / "locked.aes.exe";
    WriteText(locked, Image());
    chmod(locked.c_str(), 0111);
    if (access(locked.c_str(), R_OK) == 0)
        return;
    SelfExtractor y(dialogs, locked);
    EXPECT_FALSE(y.Open());
    EXPECT_NE(dialogs.Shown().back().find("This file could not be opened."), std::string::npos);
}

TEST_F(StandAlone, WrongThenRightPasswordRestoresEveryFile) {
    SelfExtractor x(dialogs, Make());
    ASSERT_TRUE(x.Open());
    EXPECT_EQ(x.TryPassword(cryvan_test::SecretOf("not it!")), FCryptEng::UnlockResult::Wrong);
    EXPECT_EQ(x.TryPassword(cryvan_test::SecretOf("secret12")), FCryptEng::UnlockResult::Unlocked);
    ASSERT_TRUE(x.AcceptFolder(dir / "out", false));
    x.Start(dir / "out");
    Wait(x);
    EXPECT_EQ(x.Result(), SelfExtractor::Outcome::Complete);
    ExpectRestored(dir / "out");
    EXPECT_EQ(dialogs.Shown(),
              std::vector<std::string>({"box Cryvan: The password entered was incorrect. [Warning "
                                        "Ok default Ok]"}));
}

TEST_F(StandAlone, AdministratorsQuorumOpensWithTheirPasswordsAndKeyFile) {
    ScriptedCallback setup;
    setup.textAnswers = {dir / "bo.key"};
    FCryptEng::AdminRecovery config(&setup);
    ASSERT_TRUE(config.Add("Ann", "ann's password", false));
    ASSERT_TRUE(config.Add("Bo", "bo's password", true));
    config.SetK(2);
    SelfExtractor x(dialogs, Make({"secret12"}, &config));
    ASSERT_TRUE(x.Open());

    // A wrong second password is refused on its own; the first stays entered.
    dialogs.administratorPasswords = {std::string("wrong one"), std::string("bo's password")};
    dialogs.keyFileAnswers = {dir / "bo.key", dir / "bo.key"};
    EXPECT_EQ(x.TryPassword(cryvan_test::SecretOf("ann's password")),
              FCryptEng::UnlockResult::Unlocked);
    x.Start(dir / "out");
    Wait(x);
    ExpectRestored(dir / "out");

    // Cancelling the further password cancels, with nothing unlocked.
    SelfExtractor y(dialogs, dir / "box.aes.exe");
    ASSERT_TRUE(y.Open());
    dialogs.administratorPasswords = {std::nullopt};
    EXPECT_EQ(y.TryPassword(cryvan_test::SecretOf("ann's password")),
              FCryptEng::UnlockResult::Cancelled);
}

TEST_F(StandAlone, MissingFolderIsCreatedOnlyWhenAccepted) {
    SelfExtractor x(dialogs, Make());
    const std::string missing = dir / "new/deeper";
    dialogs.answers = {App::MessageBoxes::Answer::No};
    EXPECT_FALSE(x.AcceptFolder(missing, true));
    EXPECT_FALSE(fs::exists(missing));
    dialogs.answers = {App::MessageBoxes::Answer::Yes};
    EXPECT_TRUE(x.AcceptFolder(missing, true));
    EXPECT_TRUE(fs::is_directory(missing));
    // Named on the command line: made without asking.
    EXPECT_TRUE(x.AcceptFolder(dir / "quiet", false));
    EXPECT_TRUE(fs::is_directory(dir / "quiet"));
    // A file in the way is refused.
    WriteText(dir / "file", "x");
    EXPECT_FALSE(x.AcceptFolder(dir / "file", false));
    const auto shown = dialogs.Shown();
    EXPECT_NE(shown.front().find(Sfx::kCreateFolderText), std::string::npos);
    EXPECT_NE(shown.back().find("Unable to access"), std::string::npos);
    EXPECT_EQ(x.DefaultFolder(), dir.Path());
}

TEST_F(StandAlone, DeletesItselfOnlyAfterACompleteRunAndAYes) {
    const std::string self = Make();
    SelfExtractor x(dialogs, self);
    ASSERT_TRUE(x.Open());
    ASSERT_EQ(x.TryPassword(cryvan_test::SecretOf("secret12")), FCryptEng::UnlockResult::Unlocked);
    x.Start(dir / "out");
    Wait(x);
    dialogs.answers = {App::MessageBoxes::Answer::No};
    EXPECT_FALSE(x.DeleteSelf(false));
    EXPECT_TRUE(fs::exists(self));
    dialogs.answers = {App::MessageBoxes::Answer::Yes};
    EXPECT_TRUE(x.DeleteSelf(false));
    EXPECT_FALSE(fs::exists(self));
    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0],
              "box Confirm Input File Delete: Are you sure you want to delete the input "
              "file? [Question YesNo default No]");
    EXPECT_NE(shown[1].find(Sfx::kKeptText), std::string::npos) << shown[1];
}

TEST_F(StandAlone, KeepsItselfAfterARunInWhichAFileWasNotReplaced) {
    const std::string self = Make();
    const struct {
        const char* what;
        App::RunQuestions::Replace answer;
        bool kept;
    } cases[] = {
        {"no", App::RunQuestions::Replace::No, true},
        {"no to all", App::RunQuestions::Replace::NoToAll, true},
        {"yes", App::RunQuestions::Replace::Yes, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out/docs");
        WriteText(dir / "out/docs/a.txt", "the only copy of something else");
        const std::string copy = dir / "copy.aes.exe";
        fs::copy_file(self, copy, fs::copy_options::overwrite_existing);
        dialogs.replaceAnswers = {c.answer};
        SelfExtractor x(dialogs, copy);
        ASSERT_TRUE(x.Open());
        ASSERT_EQ(x.TryPassword(cryvan_test::SecretOf("secret12")),
                  FCryptEng::UnlockResult::Unlocked);
        x.Start(dir / "out");
        Wait(x);
        ASSERT_EQ(x.Result(), SelfExtractor::Outcome::Complete);
        // Even without a question (-f) a declined file keeps the container.
        EXPECT_EQ(x.DeleteSelf(true), !c.kept);
        EXPECT_EQ(fs::exists(copy), c.kept);
        if (c.kept) {
            EXPECT_NE(dialogs.Shown().back().find(Sfx::kKeptSkippedText), std::string::npos)
                << dialogs.Shown().back();
        }
    }
}

TEST_F(StandAlone, StopAsksAndAYesEndsTheRunEvenWhenLittleIsLeft) {
    // Big enough that the run is still at its start when it is held.
    const std::string self = Make({"secret12"}, nullptr, 32u << 20);
    for (const auto answer : {App::MessageBoxes::Answer::No, App::MessageBoxes::Answer::Yes}) {
        SelfExtractor x(dialogs, self);
        ASSERT_TRUE(x.Open());
        ASSERT_EQ(x.TryPassword(cryvan_test::SecretOf("secret12")),
                  FCryptEng::UnlockResult::Unlocked);
        x.Start(dir / (answer == App::MessageBoxes::Answer::Yes ? "yes" : "no"));
        // Held once under way, as if the question came at the last moment: the run must not
        // slip through to its end between the answer and the cancel.
        x.Runner().Pause(true);
        while (x.Runner().Snapshot().state == FCryptEng::OperationState::Idle)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        dialogs.answers = {answer};
        EXPECT_EQ(x.ConfirmStop(), answer == App::MessageBoxes::Answer::Yes);
        Wait(x);
        const auto expected = answer == App::MessageBoxes::Answer::Yes
                                  ? SelfExtractor::Outcome::Cancelled
                                  : SelfExtractor::Outcome::Complete;
        EXPECT_EQ(x.Result(), expected);
    }
    EXPECT_NE(dialogs.Shown()[0].find("box Cryvan: Are you sure you want to stop decrypting?"),
              std::string::npos);
    EXPECT_STREQ(SelfExtractor::OutcomeText(SelfExtractor::Outcome::Cancelled),
                 "Decryption cancelled!");
}

TEST_F(StandAlone, AFailedRunKeepsTheProgram) {
    const std::string self = Make();
    SelfExtractor x(dialogs, self);
    ASSERT_TRUE(x.Open());
    ASSERT_EQ(x.TryPassword(cryvan_test::SecretOf("secret12")), FCryptEng::UnlockResult::Unlocked);
    // The destination is a file: nothing can be written below it.
    WriteText(dir / "blocked", "x");
    x.Start(dir / "blocked");
    Wait(x);
    EXPECT_NE(x.Result(), SelfExtractor::Outcome::Complete);
    EXPECT_FALSE(x.DeleteSelf(true));
    EXPECT_TRUE(fs::exists(self));
}

// The terminal flow, driven by lines as a person would type them.
// '@' in an argument or in the typed text stands for the test's folder.
struct FrontEndCase {
    const char* name;
    std::vector<std::string> args;
    std::string typed;
    bool terminal;
    int status;
    const char* restoredIn;  // the folder below '@' that gets the files, if any
};

TEST_F(StandAlone, TerminalFlow) {
    const std::string self = Make();
    const std::vector<FrontEndCase> cases = {
        {"all on the command line", {"-p", "secret12", "-o", "@/cl", "-q"}, "", false, 0, "cl"},
        {"typed, wrong password first, folder created after a yes",
         {"-q"},
         "bad pass\nsecret12\n@/typed\ny\n",
         true,
         0,
         "typed"},
        {"empty password cancels", {}, "\n", true, 3, nullptr},
        {"nothing to read stops instead of waiting", {}, "", false, 4, nullptr},
        {"wrong password on the command line, nobody to retype",
         {"-p", "nope!!", "-o", "@/x"},
         "",
         false,
         2,
         nullptr},
        {"wrong password on the command line, piped input left: still nobody to retype",
         {"-p", "nope!!", "-o", "@/x"},
         "secret12\n",
         false,
         2,
         nullptr},
        {"piped answers: the password, the folder and the question",
         {"-q"},
         "secret12\n@/piped\ny\n",
         false,
         0,
         "piped"},
        {"usage error", {"-r", "e"}, "", false, 1, nullptr},
    };
    auto at = [&](std::string text) {
        for (std::size_t p; (p = text.find('@')) != std::string::npos;)
            text.replace(p, 1, dir.Path());
        return text;
    };
    for (const FrontEndCase& c : cases) {
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(at(a));
        std::istringstream in(at(c.typed));
        std::ostringstream out;
        App::StreamInput input(in, out, c.terminal);
        EXPECT_EQ(App::Code(Sfx::RunFrontEnd(args, self, input, out)), c.status) << c.name << "\n"
                                                                                 << out.str();
        if (c.restoredIn)
            ExpectRestored(dir / c.restoredIn);
        EXPECT_TRUE(fs::exists(self)) << c.name;
    }
}

TEST_F(StandAlone, TheMainProgramWritesTheImageAndTheLastChoiceWins) {
    fs::create_directories(dir / "src");
    WriteText(dir / "src/a.txt", "hello");
    for (bool standAlone : {true, false}) {
        App::OperationRunner runner(dialogs);
        runner.SetMode(true);
        runner.AddPlainFile(dir / "src/a.txt");
        runner.SetPath(FCryptEng::PathMode::Common, std::nullopt);
        const std::string out = dir / (standAlone ? "a.aes.exe" : "a.aes");
        runner.SetCipherFile(out);
        runner.SetHeader(!standAlone);
        runner.SetHeader(standAlone);
        ASSERT_EQ(runner.SetPassword("secret12"), FCryptEng::UnlockResult::Nothing);
        ASSERT_TRUE(runner.Start());
        while (runner.IsRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        runner.CancelAndWait();
        const std::string bytes = ReadText(out);
        const std::string head =
            standAlone ? Image() : std::string(App::OperationRunner::kTextHeader);
        EXPECT_EQ(bytes.compare(0, head.size(), head), 0) << out;
        struct stat st {};
        ASSERT_EQ(stat(out.c_str(), &st), 0);
        EXPECT_EQ((st.st_mode & S_IXUSR) != 0, standAlone) << out;

        // Either form opens in the main program's decryption path.
        EngineRun run;
        EXPECT_EQ(run.Decrypt(out, "secret12", dir / ("dec-" + std::to_string(standAlone))),
                  FCryptEng::OperationState::Finished);
        EXPECT_EQ(ReadText(dir / ("dec-" + std::to_string(standAlone)) + "/a.txt"), "hello");
    }
}

TEST(StandAloneDesktop, ChoosesHowToAskWithoutATerminal) {
    using Sfx::Way;
    struct Case {
        bool terminal, inEmulator, display, needsQuestions, zenity, kdialog, emulator;
        Way way;
    } const cases[] = {
        {true, false, true, true, true, true, true, Way::Terminal},
        {false, true, true, true, true, true, true, Way::Terminal},    // already opened there
        {false, false, false, true, true, true, true, Way::Terminal},  // no display: as before
        {false, false, true, false, true, true, true, Way::Terminal},  // nothing to ask
        {false, false, true, true, true, true, true, Way::Zenity},
        {false, false, true, true, false, true, true, Way::Kdialog},
        {false, false, true, true, false, false, true, Way::TerminalEmulator},
        {false, false, true, true, false, false, false, Way::Nothing},
    };
    for (const Case& c : cases) {
        Sfx::WayFacts f;
        f.terminal = c.terminal;
        f.inEmulator = c.inEmulator;
        f.display = c.display;
        f.needsQuestions = c.needsQuestions;
        f.zenity = c.zenity;
        f.kdialog = c.kdialog;
        f.emulator = c.emulator;
        EXPECT_EQ(Sfx::ChooseWay(f), c.way) << &c - cases;
    }
}

TEST(StandAloneDesktop, FindsTheTerminalEmulatorInOrderWithItsOwnWordForRunning) {
    struct Case {
        const char* variable;
        std::vector<std::string> installed;
        std::vector<std::string> command;
    } const cases[] = {
        {nullptr, {"xterm", "konsole"}, {"/bin/konsole", "-e"}},
        {nullptr, {"xterm", "x-terminal-emulator"}, {"/bin/x-terminal-emulator", "-e"}},
        {nullptr, {"gnome-terminal"}, {"/bin/gnome-terminal", "--"}},
        {nullptr, {"xfce4-terminal"}, {"/bin/xfce4-terminal", "-x"}},
        {nullptr, {"foot"}, {"/bin/foot"}},
        {"kitty", {"kitty", "xterm"}, {"/bin/kitty"}},
        {"myterm", {"myterm", "xterm"}, {"/bin/myterm", "-e"}},
        {"missing", {"xterm"}, {"/bin/xterm", "-e"}},
        {nullptr, {}, {}},
    };
    for (const Case& c : cases) {
        const auto find = [&](const std::string& name) {
            for (const std::string& i : c.installed)
                if (i == name)
                    return "/bin/" + name;
            return std::string();
        };
        EXPECT_EQ(Sfx::EmulatorCommand(c.variable, find), c.command)
            << (c.variable ? c.variable : "-") << " " << c.installed.size();
    }
}

// A stand-in for the desktop's dialog program: records each call's arguments and answers from
// a table of (argument, printed text, exit status), the first that matches.
class StandIn {
  public:
    StandIn(const TempDir& dir, const std::string& name,
            const std::vector<std::array<std::string, 3>>& answers)
        : m_bin(dir / "bin"), m_log(dir / (name + ".log")) {
        fs::create_directories(m_bin);
        std::string script =
            "#!/bin/sh\n"
            "printf '%s\\n' \"$@\" >> '" +
            m_log +
            "'\n"
            "echo '--' >> '" +
            m_log +
            "'\n"
            "for a in \"$@\"; do case \"$a\" in\n";
        for (const auto& [arg, printed, status] : answers)
            script += "  '" + arg + "') " +
                      (printed.empty() ? "" : "printf '%s\\n' '" + printed + "'; ") +
                      // A progress window that stays reads what it is fed; one that cancels
                      // goes at once.
                      (arg == "--progress" && status == "0" ? "/bin/cat >> '" + m_log + ".fed'; "
                                                            : std::string()) +
                      "exit " + status + ";;\n";
        script += "esac; done\nexit 0\n";
        WriteText(m_bin + "/" + name, script);
        chmod((m_bin + "/" + name).c_str(), 0755);
    }
    std::string Log() const { return fs::exists(m_log) ? ReadText(m_log) : ""; }
    std::string Fed() const { return fs::exists(m_log + ".fed") ? ReadText(m_log + ".fed") : ""; }
    const std::string& Bin() const { return m_bin; }

  private:
    std::string m_bin, m_log;
};

// The environment of a program started from a file manager: a display, no terminal.
class DesktopSession {
  public:
    explicit DesktopSession(const std::string& bin) {
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        // Only the stand-ins: a dialog program or terminal installed here must not answer.
        setenv("PATH", bin.c_str(), 1);
        setenv("DISPLAY", ":0", 1);
        unsetenv(Sfx::kInEmulatorVariable);
    }
    ~DesktopSession() {
        setenv("PATH", m_path.c_str(), 1);
        unsetenv("DISPLAY");
    }

  private:
    std::string m_path;
};

TEST_F(StandAlone, DecryptsThroughTheDesktopsDialogProgram) {
    const std::string self = Make();
    const std::string into = dir / "chosen";
    fs::create_directories(into);
    StandIn zenity(
        dir, "zenity",
        {{{"--entry", "secret12", "0"}}, {{"--directory", into, "0"}}, {{"--progress", "", "0"}}});
    DesktopSession session(zenity.Bin());
    std::string shown;
    EXPECT_EQ(StartedFromAFileManager(self, shown), App::ExitStatus::Success) << shown;
    ExpectRestored(into);
    const std::string log = zenity.Log();
    // The password is never on a command line; it is asked without echo.
    EXPECT_EQ(log.find("secret12"), std::string::npos);
    EXPECT_NE(log.find("--hide-text"), std::string::npos);
    EXPECT_NE(log.find("--info"), std::string::npos) << log;  // the outcome
    EXPECT_NE(zenity.Fed().find("# Written"), std::string::npos) << zenity.Fed();
}

TEST_F(StandAlone, TheFiveAnswersOfTheReplaceQuestionOnTheDesktop) {
    using R = App::RunQuestions::Replace;
    struct Case {
        const char* printed;
        const char* status;
        R answer;
    } const cases[] = {{"", "0", R::Yes},
                       {"Yes to All", "1", R::YesToAll},
                       {"No", "1", R::No},
                       {"No to All", "1", R::NoToAll},
                       {"", "1", R::Cancel}};  // Cancel, Escape or the close box
    for (const Case& c : cases) {
        StandIn zenity(dir, "zenity", {{{"--question", c.printed, c.status}}});
        Sfx::DesktopQuestions questions(
            Sfx::DialogProgram(Sfx::DialogProgram::Kind::Zenity, zenity.Bin() + "/zenity"));
        EXPECT_EQ(questions.ConfirmReplace("This file already exists.", "/a/<b>&c"), c.answer)
            << c.printed << " " << c.status;
        // Names go into markup escaped.
        EXPECT_NE(zenity.Log().find("/a/&lt;b&gt;&amp;c"), std::string::npos);
        fs::remove(dir / "zenity.log");
    }
}

TEST_F(StandAlone, CancelInTheProgressWindowAsksAndStopsTheRun) {
    const std::string self = Make({"secret12"}, nullptr, 96u << 20);
    const std::string into = dir / "chosen";
    fs::create_directories(into);
    // The progress window closes at once, as its Cancel does; the stop question says Yes.
    StandIn zenity(dir, "zenity",
                   {{{"--entry", "secret12", "0"}},
                    {{"--directory", into, "0"}},
                    {{"--progress", "", "1"}},
                    {{"--question", "", "0"}}});
    DesktopSession session(zenity.Bin());
    std::string shown;
    EXPECT_EQ(StartedFromAFileManager(self, shown), App::ExitStatus::Cancelled) << shown;
    EXPECT_NE(zenity.Log().find(Sfx::kStopText), std::string::npos) << zenity.Log();
    EXPECT_FALSE(fs::exists(into + "/docs/sub/big.bin"));
}

TEST_F(StandAlone, KdialogOnlyWhereZenityIsMissingAndNothingMeansStatus4) {
    const std::string self = Make();
    const std::string into = dir / "chosen";
    fs::create_directories(into);
    StandIn kdialog(dir, "kdialog",
                    {{{"--password", "secret12", "0"}}, {{"--getexistingdirectory", into, "0"}}});
    {
        DesktopSession session(kdialog.Bin());
        std::string shown;
        EXPECT_EQ(StartedFromAFileManager(self, shown), App::ExitStatus::Success) << shown;
    }
    ExpectRestored(into);
    EXPECT_NE(kdialog.Log().find("--msgbox"), std::string::npos) << kdialog.Log();

    // No dialog program and no terminal emulator: the reason, and status 4.
    DesktopSession empty(dir / "nothing-here");
    std::string shown;
    EXPECT_EQ(StartedFromAFileManager(self, shown), App::ExitStatus::NoInput);
    EXPECT_NE(shown.find("neither a dialog program"), std::string::npos) << shown;
}

}  // namespace
}  // namespace cryvan_test
