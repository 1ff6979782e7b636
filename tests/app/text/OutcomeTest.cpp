// What the programs tell: containers that are not containers, short passwords, names with
// control characters, the three path choices, replacing a browsed name, a damaged emergency
// password file, recovery that is off for want of its configuration, closed standard
// descriptors, the log and --verbose. In process through the terminal front end, and through
// the built programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/AppTestSupport.h"
#include "app/console/LineInput.h"
#include "app/core/OperationRunner.h"
#include "app/core/Progress.h"
#include "app/core/Texts.h"
#include "app/sfx/SelfExtractor.h"
#include "app/sfx/SfxFrontEnd.h"
#include "app/text/TerminalFixture.h"
#include "app/text/TerminalFrontEnd.h"
#include "app/wizard/Wizard.h"
#include "engine/EngineTestSupport.h"
#include "recovery/Organisation.h"
#include "resources/StandAloneImage.h"
#include "support/ScriptedDialogs.h"
#include "support/SharedFixtures.h"

namespace {

using namespace cryvan_test;

std::string SfxImage() {
    const Resources::Image image = Resources::StandAloneImage();
    return std::string(reinterpret_cast<const char*>(image.bytes), image.size);
}

std::string Quote(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Outcome : public TerminalFixture {
  protected:
    void SetUp() override { MakeSampleTree(dir); }

    // The built program `bin` with `args` in a shell; `redirect` replaces the standard input's.
    int Program(const std::string& bin, const std::vector<std::string>& args,
                const std::string& redirect = "</dev/null", const std::string& env = "") {
        // No display: a session with one would hand the run to the desktop program.
        std::string command = "cd " + Quote(dir / "") + " && env -u DISPLAY -u WAYLAND_DISPLAY " +
                              env + " " + Quote(bin);
        for (const auto& a : args)
            command += " " + Quote(a);
        command += " " + redirect + " >" + Quote(dir / "stdout") + " 2>" + Quote(dir / "stderr");
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A container of the two files in docs/, made by the program in process.
    std::string Container(const std::string& name = "box.aes") {
        const std::string box = dir / name;
        EXPECT_EQ(Run({"-e", "-c", box, "-i", dir / "in/docs", "-p", "secret1", "-q"}),
                  App::ExitStatus::Success)
            << out.str();
        return box;
    }

    // The stored names of a container, in order.
    static std::vector<std::string> StoredNames(const std::string& box, const char* password) {
        EngineRun run;
        auto dec = FCryptEng::FileCryptor::Create(true, &run.status, &run.callback);
        dec->CipherFile(box);
        dec->ClearPassword();
        EXPECT_EQ(dec->Password(password), FCryptEng::UnlockResult::Unlocked);
        std::vector<std::string> names;
        bool folder = false;
        for (std::size_t i = 0; const auto name = dec->PlainFile(i, folder, false); ++i)
            if (!folder)
                names.push_back(*name);
        return names;
    }

    bool Shows(const std::string& text) const { return out.str().find(text) != std::string::npos; }
};

// Files that are not whole containers, each refused when it is chosen.
std::vector<std::pair<std::string, std::string>> BrokenContainers(const std::string& good) {
    const std::string bytes = ReadText(good);
    std::string hugeLength = bytes;
    hugeLength[hugeLength.size() - 4] = char(0x7F);
    const std::uint32_t footer = Be32(bytes, bytes.size() - 4);
    std::string badTag = bytes;
    badTag[bytes.size() - 4 - footer] = char(0x00);
    return {{"empty", ""},
            {"not a container", "just some text, nothing more\n"},
            {"truncated", bytes.substr(0, bytes.size() - 100)},
            {"footer length past the start", hugeLength},
            {"unknown footer tag", badTag}};
}

TEST_F(Outcome, BrokenContainersAreRefusedWhenChosenWithTheReasonAndStatusTwo) {
    const std::string good = Container();
    for (const auto& [what, bytes] : BrokenContainers(good)) {
        SCOPED_TRACE(what);
        const std::string bad = dir / "bad.aes";
        WriteText(bad, bytes);
        EXPECT_EQ(Run({"-d", "-c", bad, "-p", "secret1", "-o", dir / "out", "-q"}),
                  App::ExitStatus::Failed)
            << out.str();
        EXPECT_FALSE(Shows("forced to exit")) << out.str();
        EXPECT_NE(err.str().find(bad + ": The input file is corrupt. ("), std::string::npos)
            << err.str();
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
    // The built program says the same.
    WriteText(dir / "bad.aes", "just some text, nothing more\n");
    EXPECT_EQ(Program(CRYVAN_BIN, {"-d", "-c", dir / "bad.aes", "-p", "secret1", "-q"}), 2);
    EXPECT_NE(ReadText(dir / "stderr").find("The input file is corrupt."), std::string::npos)
        << ReadText(dir / "stderr");
}

TEST_F(Outcome, BrokenSelfDecryptingFilesEndWithTheReasonAndStatusTwo) {
    const std::string good = Container();
    for (const auto& [what, bytes] : BrokenContainers(good)) {
        SCOPED_TRACE(what);
        const std::string self = dir / "bad.aes.exe";
        WriteText(self, SfxImage() + bytes);
        std::istringstream in("");
        std::ostringstream sout, serr;
        App::StreamInput lines(in, sout, false);
        EXPECT_EQ(
            Sfx::RunFrontEnd({"-p", "secret1", "-o", dir / "out", "-q"}, self, lines, sout, serr),
            App::ExitStatus::Failed);
        EXPECT_NE(sout.str().find(Sfx::kCorruptText), std::string::npos) << sout.str();
        EXPECT_NE(serr.str().find(self + ": The input file is corrupt."), std::string::npos)
            << serr.str();
    }
}

TEST_F(Outcome, AFiveCharacterPasswordOpensAContainerWrittenElsewhere) {
    CRYVAN_REQUIRE_SHARED_FIXTURES("mixed-compression.aes");
    const std::string box = dir / "mixed.aes";
    fs::copy_file(SharedFixture("mixed-compression.aes"), box);
    EXPECT_EQ(Run({"-d", "-c", box, "-p", "mixed", "-o", dir / "out", "-q"}),
              App::ExitStatus::Success)
        << out.str();
    EXPECT_EQ(ReadText(dir / "out/plain.bin").size(), 2048u);
    EXPECT_EQ(ReadText(dir / "out/packed.txt").size(), 1023u);

    // Typed at the prompt as well, and by the stand-alone program.
    EXPECT_EQ(Run({"-d", "-c", box, "-o", dir / "typed", "-q"}, "mixed\n\n", true),
              App::ExitStatus::Success)
        << out.str();
    EXPECT_EQ(ReadText(dir / "typed/plain.bin").size(), 2048u);
    const std::string self = dir / "mixed.aes.exe";
    WriteText(self, SfxImage() + ReadText(box));
    std::istringstream in("mixed\n");
    std::ostringstream sout;
    App::StreamInput lines(in, sout, false);
    EXPECT_EQ(Sfx::RunFrontEnd({"-o", dir / "sfx", "-q"}, self, lines, sout),
              App::ExitStatus::Success)
        << sout.str();
    EXPECT_EQ(ReadText(dir / "sfx/packed.txt").size(), 1023u);
}

TEST_F(Outcome, NamesWithControlCharactersReachTheTerminalEscaped) {
    // Clear the screen, a bell, a C1 CSI (U+009B) and a cursor move.
    const std::string evil =
        "x\x1b[2J\x07y\xc2\x9b"
        "31mz\x1b[1A.txt";
    fs::create_directories(dir / "evil");
    WriteText(dir / "evil/" + evil, "payload\n");
    WriteText(dir / "evil/plain.txt", "plain\n");
    const std::string box = dir / "evil.aes";
    ASSERT_EQ(Run({"-e", "-c", box, "-i", dir / "evil", "-p", "secret1", "-q"}),
              App::ExitStatus::Success)
        << out.str();
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);

    // Decrypting shows the stored names in the list, the progress and the summary.
    const std::string input = "secret1\n\na\n\nc\n" + std::string(dir / "out") + "\n\n\n";
    fs::create_directories(dir / "out");
    ASSERT_EQ(Run({"-d", "-c", box}, input, false), App::ExitStatus::Success) << out.str();
    EXPECT_EQ(ReadText(dir / "out/evil/" + evil), "payload\n");
    const std::string shown = out.str();
    for (const char raw : {'\x1b', '\x07'})
        EXPECT_EQ(shown.find(raw), std::string::npos) << int(raw);
    EXPECT_EQ(shown.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(shown.find("x\\x1b[2J\\x07y\\u009b31mz\\x1b[1A.txt"), std::string::npos) << shown;
}

TEST_F(Outcome, EachPathChoiceStoresWhatItsLabelSays) {
    const std::string a = dir / "in/docs/a.txt", b = dir / "in/docs/sub/b.bin";
    std::string full = (dir / "in/docs/").substr(1);
    for (char& c : full)
        if (c == '/')
            c = '\\';
    const struct {
        const char* choice;
        const char* label;
        std::vector<std::string> stored;
    } cases[] = {
        {"0", "Choose path automatically", {"a.txt", "sub\\b.bin"}},
        {"1", "Filenames only (no path)", {"a.txt", "b.bin"}},
        {"2", "Full paths (excluding drive)", {full + "a.txt", full + "sub\\b.bin"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string box = dir / (std::string("paths") + c.choice + ".aes");
        const std::string input = "a\n" + a + "\n" + b + "\n\no\np\n" + c.choice + "\no\nn\nc\n" +
                                  box + "\nn\nsecret1\nsecret1\n\nf\n";
        ASSERT_EQ(Run({"-e"}, input, true), App::ExitStatus::Success) << out.str();
        EXPECT_TRUE(Shows(std::string(c.choice) + " " + c.label)) << out.str();
        EXPECT_EQ(StoredNames(box, "secret1"), c.stored);
    }
}

TEST_F(Outcome, AnInputTheEngineRefusesIsNamedWithItsReason) {
    // A name that is no longer there when the list is handed over.
    EXPECT_EQ(Run({"-e", "-c", dir / "x.aes", "-i", dir / "in/docs/a.txt", dir / "gone.txt", "-p",
                   "secret1", "-q"}),
              App::ExitStatus::Failed)
        << out.str();
    EXPECT_TRUE(Shows("This file could not be opened and will be removed")) << out.str();
    EXPECT_EQ(err.str().rfind("cryvan: " + dir / "gone.txt" + ": ", 0), 0u) << err.str();
    EXPECT_FALSE(fs::exists(dir / "x.aes"));
}

TEST_F(Outcome, AnExistingNameIsAskedAboutBeforeItIsReplaced) {
    const std::string existing = dir / "existing.aes";
    WriteText(existing, "keep me");
    // Nobody can answer: the safe answer is No, the file stays, the run stops.
    EXPECT_EQ(
        Run({"-e", "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q"}, "c\n" + existing + "\nn\n"),
        App::ExitStatus::NoInput)
        << out.str();
    EXPECT_TRUE(Shows(existing + " already exists.\nDo you want to replace it?")) << out.str();
    EXPECT_EQ(ReadText(existing), "keep me");
    // A person says yes.
    EXPECT_EQ(Run({"-e", "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q"},
                  "c\n" + existing + "\nn\ny\n", true),
              App::ExitStatus::Success)
        << out.str();
    EXPECT_NE(ReadText(existing), "keep me");
}

TEST_F(Outcome, TooLongANameIsShortenedOrRefused) {
    // 250 bytes of name, 2-byte characters at the cut: the proposal ends on a whole one.
    const std::string base = std::string(247, 'n') + "\xc3\xa9\xc3\xa9";
    const std::string given = dir / (base + ".aes.exe");
    EXPECT_EQ(Run({"-e", "-c", given, "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q", "-x",
                   "--sfx-platform", "linux"}),
              App::ExitStatus::Failed)
        << out.str();
    EXPECT_NE(err.str().find("longer than 255 bytes"), std::string::npos) << err.str();
    const std::string proposed = dir / (std::string(247, 'n') + ".aes.exe");
    EXPECT_TRUE(Shows(proposed + "\nis proposed instead")) << out.str();

    // A person takes the proposal with Next, and the run starts with it. (Whether a name of
    // exactly 255 bytes can then be written is the writer's business, tested with it.)
    Run({"-e", "-c", given, "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q", "-x",
         "--sfx-platform", "linux"},
        "n\n", true);
    EXPECT_TRUE(Shows("Output file: " + proposed)) << out.str();
    EXPECT_TRUE(Shows("Encryption in Progress")) << out.str();

    const struct {
        std::string path;
        std::optional<std::string> shortened;
    } cases[] = {
        {"/f/" + std::string(255, 'a'), std::nullopt},
        {"/f/" + std::string(252, 'a') + ".aes", "/f/" + std::string(251, 'a') + ".aes"},
        {"/f/" + std::string(250, 'a') + ".aes.exe", "/f/" + std::string(247, 'a') + ".aes.exe"},
        {"/f/" + std::string(250, 'a') + "\xe2\x82\xac.aes",
         "/f/" + std::string(250, 'a') + ".aes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(App::EncDestPg::ShortenedName(c.path), c.shortened) << c.path.size();
}

class OutcomeWithSettings : public Outcome {
  protected:
    EnvVar settingsHome{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    void Setting(const char* name, int value) {
        fs::create_directories(dir / "config/Tenvik-Labs/Cryvan");
        WriteText(dir / "config/Tenvik-Labs/Cryvan/settings.reg",
                  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan]\n\"" +
                      std::string(name) + "\"=dword:0000000" + std::to_string(value) + "\n");
    }
};

TEST_F(OutcomeWithSettings, ADamagedEmergencyPasswordFileStopsAnUnattendedRun) {
    const std::string emergency = dir / "user/Emergency Password.bin";
    const struct {
        const char* what;
        std::optional<std::string> file;
        int byDefault;
        App::ExitStatus status;
    } cases[] = {
        {"damaged, on by default", "not a signed record at all", 1, App::ExitStatus::Failed},
        {"truncated, on by default", std::string("\x00\x10", 2), 1, App::ExitStatus::Failed},
        {"damaged, off by default", "not a signed record at all", 0, App::ExitStatus::Success},
        {"empty: none set", "", 1, App::ExitStatus::Success},
        {"missing", std::nullopt, 1, App::ExitStatus::Success},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Setting("DefaultEmergencyPassword", c.byDefault);
        fs::remove(emergency);
        if (c.file)
            WriteText(emergency, *c.file);
        const std::string box = dir / "ep.aes";
        fs::remove(box);
        EXPECT_EQ(Run({"-e", "-c", box, "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q"}),
                  c.status)
            << out.str();
        EXPECT_EQ(fs::exists(box), c.status == App::ExitStatus::Success);
        if (c.status == App::ExitStatus::Failed) {
            EXPECT_TRUE(Shows("The emergency password file is INVALID.")) << out.str();
            EXPECT_NE(err.str().find(emergency + ": The emergency password file is INVALID."),
                      std::string::npos)
                << err.str();
        }
    }
    // A person may go on without it, having been told.
    Setting("DefaultEmergencyPassword", 1);
    WriteText(emergency, "not a signed record at all");
    fs::remove(dir / "ep.aes");
    EXPECT_EQ(Run({"-e", "-c", dir / "ep.aes", "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q"},
                  "y\n", true),
              App::ExitStatus::Success)
        << out.str();
}

TEST_F(Outcome, RecoveryOffForWantOfItsConfigurationIsSaid) {
    FCryptEng::Organisation org;
    org.Create("Example Works", "organisation password", true, false);
    org.SaveAs(dir / "all/Organisation.bin");
    EXPECT_EQ(Run({"-e", "-c", dir / "r.aes", "-i", dir / "in/docs/a.txt", "-p", "secret1", "-q"}),
              App::ExitStatus::Success)
        << out.str();
    const char* text = "Data recovery is OFF: the organisation's configuration was not found.";
    EXPECT_NE(err.str().find(text), std::string::npos) << err.str();
    EXPECT_EQ(Run({}), App::ExitStatus::NoInput);
    EXPECT_TRUE(Shows(text)) << out.str();
    // Without an organisation record there is nothing to say.
    fs::remove(dir / "all/Organisation.bin");
    EXPECT_EQ(Run({}), App::ExitStatus::NoInput);
    EXPECT_FALSE(Shows("Data recovery is OFF")) << out.str();
    EXPECT_EQ(err.str().find("Data recovery is OFF"), std::string::npos) << err.str();
}

TEST_F(Outcome, ClosedStandardDescriptorsAreNeverReadAsInput) {
    const std::string box = Container();
    // The password page needs input; the container must not be read as the password.
    EXPECT_EQ(Program(CRYVAN_BIN, {"-d", "-c", box, "-o", dir / "out", "-q"}, "<&-"), 4)
        << ReadText(dir / "stdout");
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_EQ(Program(CRYVAN_BIN, {"-d", "-c", box, "-o", dir / "out", "-q"}, "<&- 3>&-"), 4);

    // A self-decrypting file whose own bytes hold the password on a line of their own.
    WriteText(dir / "pw", "secret1\n");
    ASSERT_EQ(Program(CRYVAN_BIN, {"--password-file", dir / "pw", "-e", "-c", dir / "self.aes.exe",
                                   "--sfx-platform", "linux", "-i", dir / "in/docs", "-q"}),
              0)
        << ReadText(dir / "stderr");
    EXPECT_EQ(Program(dir / "self.aes.exe", {"-o", dir / "sfx", "-q"}, "<&-"), 4)
        << ReadText(dir / "stdout");
    EXPECT_FALSE(fs::exists(dir / "sfx/docs/a.txt"));
    // Output closed as well: the program still ends by itself.
    EXPECT_EQ(
        Program(dir / "self.aes.exe", {"-p", "secret1", "-o", dir / "sfx", "-q"}, "<&- >&- 2>&-"),
        0);
    EXPECT_TRUE(fs::exists(dir / "sfx/docs/a.txt"));
}

TEST_F(OutcomeWithSettings, TheLogKeepsFailuresPrivatelyAndNoSuccessfulName) {
    const std::string state = dir / "state";
    const std::string log = state + "/Tenvik-Labs/Cryvan/cryvan.log";
    const std::string env = "XDG_STATE_HOME=" + Quote(state) +
                            " XDG_CONFIG_HOME=" + Quote(dir / "config") +
                            " HOME=" + Quote(dir.Path());
    WriteText(dir / "in/private-name.txt", "x");
    ASSERT_EQ(Program(CRYVAN_BIN,
                      {"-e", "-c", dir / "ok.aes", "-i", dir / "in/private-name.txt", "-p",
                       "secret1", "-q", "-r", "d", "-f"},
                      "</dev/null", env),
              0)
        << ReadText(dir / "stderr");
    WriteText(dir / "bad.aes", "not a container");
    EXPECT_EQ(Program(CRYVAN_BIN, {"-d", "-c", dir / "bad.aes", "-p", "secret1", "-q"},
                      "</dev/null", env),
              2);
    ASSERT_TRUE(fs::exists(log));
    struct stat st {};
    ASSERT_EQ(stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string text = ReadText(log);
    EXPECT_NE(text.find(dir / "bad.aes" + ": The input file is corrupt."), std::string::npos)
        << text;
    EXPECT_EQ(text.find("private-name"), std::string::npos) << text;
    EXPECT_EQ(text.find(":TRACE"), std::string::npos) << text;
    // Only what happened to the user's files: no housekeeping noise.
    EXPECT_EQ(text.find("left open"), std::string::npos) << text;

    // Off by the setting.
    fs::remove(log);
    Setting("LogFile", 0);
    EXPECT_EQ(Program(CRYVAN_BIN, {"-d", "-c", dir / "bad.aes", "-p", "secret1", "-q"},
                      "</dev/null", env),
              2);
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(Outcome, VerboseSendsEveryLevelToStandardError) {
    WriteText(dir / "bad.aes", "not a container");
    const std::string env = "XDG_STATE_HOME=" + Quote(dir / "state");
    EXPECT_EQ(Program(CRYVAN_BIN, {"--verbose", "-d", "-c", dir / "bad.aes", "-p", "x", "-q"},
                      "</dev/null", env),
              2);
    const std::string verbose = ReadText(dir / "stderr");
    EXPECT_NE(verbose.find(":TRACE: enter DecSourcePg::OnWizardNext()"), std::string::npos);
    EXPECT_NE(verbose.find(":ERROR: "), std::string::npos);
    EXPECT_EQ(
        Program(CRYVAN_BIN, {"-d", "-c", dir / "bad.aes", "-p", "x", "-q"}, "</dev/null", env), 2);
    EXPECT_EQ(ReadText(dir / "stderr").find(":TRACE"), std::string::npos);

    const std::string self = dir / "bad.aes.exe";
    WriteText(self, SfxImage() + "not a container");
    std::istringstream in("");
    std::ostringstream sout, serr;
    App::StreamInput lines(in, sout, false);
    EXPECT_EQ(Sfx::RunFrontEnd({"--verbose", "-p", "x", "-q"}, self, lines, sout, serr),
              App::ExitStatus::Failed);
    EXPECT_NE(serr.str().find(":TRACE: enter SelfExtractor::Open()"), std::string::npos);
}

// A run whose record carries warnings, as the engine leaves it when an input could not be
// destroyed: the end page lists them, standard error repeats them, the status is 6.
TEST_F(Outcome, ARunWithWarningsEndsWithTheListAndStatusSix) {
    ScriptedDialogs dialogs;
    App::Wizard wizard(dialogs, MakeFolders(dir));
    App::OperationRunner& runner = wizard.Runner();
    runner.SetMode(true);
    runner.AddPlainFile(dir / "in/docs/a.txt");
    runner.SetPath(FCryptEng::PathMode::Common, std::nullopt);
    runner.SetCipherFile(dir / "w.aes");
    runner.SetHeader(false);
    runner.SetPassword("secret1");
    ASSERT_TRUE(runner.Start());
    while (runner.IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(App::ReportRun(runner), App::ExitStatus::Success);

    const std::string warning = dir / "in/docs/a.txt" + ": kept: the folder is read-only";
    runner.Record().warnings = {warning};
    EXPECT_TRUE(runner.RunWarned());
    wizard.SetActivePage(App::kEndPg);
    const auto texts = wizard.end.Texts();
    const auto heading = std::find(texts.begin(), texts.end(), App::kWarningsHeading);
    ASSERT_NE(heading, texts.end());
    EXPECT_EQ(*(heading + 1), "  " + warning);
    EXPECT_EQ(texts.front(), "Your file has been encrypted.\n");
    std::ostringstream serr;
    EXPECT_EQ(App::ReportRun(runner, &serr), App::ExitStatus::Warnings);
    EXPECT_EQ(serr.str(), "cryvan: not done: " + warning + "\n");

    // A failure names its file and reason; a cancel is no warning.
    runner.Record().SetState(FCryptEng::OperationState::Failed);
    runner.Record().failure = dir / "in/docs/a.txt" + ": File is 4 GiB or larger";
    wizard.SetActivePage(App::kEndPg);
    EXPECT_EQ(wizard.end.Texts()[0], "The encryption failed.");
    EXPECT_EQ(wizard.end.Texts()[1], runner.Record().failure);
    serr.str("");
    EXPECT_EQ(App::ReportRun(runner, &serr), App::ExitStatus::Failed);
    EXPECT_EQ(serr.str(), "cryvan: " + runner.Record().failure + "\n");
    runner.Record().SetState(FCryptEng::OperationState::Finished);
    runner.Record().Cancel();
    EXPECT_EQ(App::ReportRun(runner), App::ExitStatus::Cancelled);
}

// Once a run has started, no page field and no command-line value holds a password, and the
// arguments no longer show it.
TEST_F(Outcome, PasswordFieldsAreWipedOnceTheRunStarts) {
    const std::string box = dir / "w.aes";
    const std::vector<std::vector<std::string>> runs = {
        {"cryvan", "-e", "-c", box, "-i", dir / "in/docs", "-p", "secret1"},
        {"cryvan", "-d", "-c", box, "-o", dir / "out", "-p", "secret1"},
    };
    for (const auto& argv : runs) {
        SCOPED_TRACE(argv[1]);
        ScriptedDialogs dialogs;
        App::Wizard wizard(dialogs, MakeFolders(dir));
        const App::Arguments args(argv);
        ASSERT_EQ(wizard.ProcessCommandLine(args), App::StartMode::Wizard);
        // From here on the process list shows no password.
        EXPECT_EQ(args[args.size() - 1], "xxxxxxx");
        wizard.Start();
        std::uint64_t now = 0;
        const App::Page* progress =
            argv[1] == "-e" ? static_cast<App::Page*>(&wizard.encProgress) : &wizard.decProgress;
        // The page that takes the password passes it on; the fields still hold it then.
        // Work the pages hand to threads (opening the container) may take a while on a busy
        // machine: turns are bounded by time, not by their number. A run this small may end,
        // and the wizard pass on to the end page, within one turn.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        auto started = [&] {
            return wizard.ActivePage() == progress || wizard.ActivePage() == &wizard.end;
        };
        while (!started() && std::chrono::steady_clock::now() < deadline) {
            if (wizard.ActivePage() == &wizard.encPassword) {
                EXPECT_EQ(wizard.encPassword.Password(), "secret1");
            }
            wizard.Step(now += 10);
            while (wizard.Pump()) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(started());
        EXPECT_TRUE(wizard.encPassword.Password().AllZero());
        EXPECT_TRUE(wizard.encPassword.Confirmation().AllZero());
        EXPECT_TRUE(wizard.decPassword.Password().AllZero());
        EXPECT_TRUE(wizard.encPassword.Password().empty());
        EXPECT_TRUE(wizard.CommandLineValues().EncPasswordValue().AllZero());
        EXPECT_TRUE(wizard.CommandLineValues().DecPasswordValue().AllZero());
        EXPECT_STREQ(wizard.CommandLineValues().DecPasswordText(), "");
        while (wizard.Runner().IsRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // The engine had what it needed: the run succeeded without the fields.
        ASSERT_EQ(wizard.Runner().Status().State(), FCryptEng::OperationState::Finished);
    }
}

TEST(EscapeControls, ControlsBecomeVisibleTextAndTheRestStays) {
    const struct {
        std::string in, name, text;
    } cases[] = {
        {"plain name.txt", "plain name.txt", "plain name.txt"},
        {"a\x1b[2Jb", "a\\x1b[2Jb", "a\\x1b[2Jb"},
        {"line\nnext\tcol\r", "line\\x0anext\\x09col\\x0d", "line\nnext\tcol\\x0d"},
        {"del\x7f", "del\\x7f", "del\\x7f"},
        {"c1 \xc2\x9b"
         "2J",
         "c1 \\u009b2J", "c1 \\u009b2J"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"bad \x9b \xc3 \xed\xa0\x80", "bad \\x9b \\xc3 \\xed\\xa0\\x80",
         "bad \\x9b \\xc3 \\xed\\xa0\\x80"},
        {"back\\slash", "back\\slash", "back\\slash"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(App::EscapeControls(c.in), c.name) << c.in;
        EXPECT_EQ(App::EscapeText(c.in), c.text) << c.in;
    }
}

}  // namespace
