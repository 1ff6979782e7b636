#include "app/wizard/EncryptionPages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/config/OrganisationProfile.h"
#include "app/config/Settings.h"
#include "app/core/Texts.h"
#include "os/File.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"
#include "recovery/Organisation.h"
#include "support/ScriptedCallback.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace App;
using Answer = MessageBoxes::Answer;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::ScriptedDialogs;
using cryvan_test::TempDir;
using cryvan_test::WriteText;

// Stands in for the pages this suite does not drive.
class StandInPg : public Page {
  public:
    explicit StandInPg(int id) : Page(id, "", "") {}
};

class EncryptionPagesTest : public ::testing::Test {
  protected:
    EncryptionPagesTest() {
        fs::create_directories(folders.desktop);
        fs::create_directories(dir / "src");
        WriteText(dir / "src/a.txt", std::string(3000, 'a'));
    }
    ~EncryptionPagesTest() override {
        // Pages refer to the runner; it must stop before they go.
        runner.CancelAndWait();
    }

    // Loads the configuration, builds the pages and shows the first one.
    void Start() {
        config = std::make_unique<UserConfig>(OrganisationProfile::Load(folders), folders,
                                              &callback, dialogs);
        context = std::make_unique<WizardContext>(
            WizardContext{sheet, runner, *config, dialogs, commandLine, background});
        encOrDec = std::make_unique<EncOrDecPg>(*context);
        source = std::make_unique<EncSourcePg>(*context);
        dest = std::make_unique<EncDestPg>(*context);
        password = std::make_unique<EncPasswordPg>(*context);
        for (Page* page : std::initializer_list<Page*>{encOrDec.get(), source.get(), dest.get(),
                                                       password.get(), &progress, &decSource})
            sheet.AddPage(*page);
        sheet.SetActivePage(kEncOrDecPg);
        while (sheet.Pump()) {
        }
    }
    int Active() const { return sheet.ActivePage() ? sheet.ActivePage()->Id() : 0; }
    void Next() {
        sheet.PressNext();
        while (sheet.Pump()) {
        }
    }
    void Back() {
        sheet.PressBack();
        while (sheet.Pump()) {
        }
    }
    // Interactive steps up to the destination page with src/a.txt as the only source.
    void ToDestination() {
        Start();
        Next();
        source->list.Add(dir / "src/a.txt");
        source->UpdateButtons();
        Next();
        ASSERT_EQ(Active(), kEncDestPg);
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const std::string& line : dialogs.Shown())
            if (line.rfind("box ", 0) == 0)
                boxes.push_back(line);
        return boxes;
    }
    static std::string Warning(const std::string& text) {
        return "box Cryvan: " + text + " [Warning Ok default Ok]";
    }

    TempDir dir;
    EnvVar settingsHome{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    Folders folders = cryvan_test::MakeFolders(dir);
    cryvan_test::ScriptedCallback callback;
    ScriptedDialogs dialogs;
    std::unique_ptr<UserConfig> config;
    Sheet sheet{"Cryvan"};
    PagesValues commandLine;
    std::unique_ptr<WizardContext> context;
    std::unique_ptr<EncOrDecPg> encOrDec;
    std::unique_ptr<EncSourcePg> source;
    std::unique_ptr<EncDestPg> dest;
    std::unique_ptr<EncPasswordPg> password;
    StandInPg progress{kEncProgressPg}, decSource{kDecSourcePg};
    OperationRunner runner{dialogs};
    Background background{runner.Handover()};
};

TEST_F(EncryptionPagesTest, NameRules) {
    const std::string cwd = fs::current_path().string() + "/";
    struct Case {
        std::string given;
        int kind;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"report", 1, cwd + "report.aes.exe"},
        {"report.aes", 1, cwd + "report.aes.exe"},
        {"report.AES", 1, cwd + "report.aes.exe"},
        {"x.aes.exe", 0, cwd + "x.aes"},
        {"/d/x.AES.EXE", 0, "/d/x.aes"},
        {"x.exe", 1, cwd + "x.exe"},
        // Stripping ignores case, the extension test after it does not.
        {"x.EXE", 1, cwd + "x.EXE.aes.exe"},
        {"x.AES", 0, cwd + "x.AES.aes"},
        {"/d/x.aes", 0, "/d/x.aes"},
        {"/d/x", 0, "/d/x.aes"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncDestPg::Normalised(c.given, c.kind), c.expected) << c.given;
}

TEST_F(EncryptionPagesTest, KindRadioAndNameField) {
    ToDestination();
    // The default name is proposed from the inputs, once.
    EXPECT_EQ(dest->name, dir / "src/a.aes");
    EXPECT_FALSE(dest->defaultWanted);
    dest->SetKind(1);
    EXPECT_EQ(dest->name, dir / "src/a.aes.exe");
    dest->SetKind(1);
    EXPECT_EQ(dest->name, dir / "src/a.aes.exe");
    dest->SetKind(0);
    EXPECT_EQ(dest->name, dir / "src/a.aes");

    dest->SetName(dir.Path() + "/");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    dest->SetName("");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    dest->SetName(dir / "out");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));

    dialogs.saveChoices = {dir / "chosen.aes"};
    dest->Browse();
    EXPECT_EQ(dest->name, dir / "chosen.aes");
    // Browsing agrees to nothing: Next asks before replacing a browsed name too...
    EXPECT_FALSE(dest->confirmed);
    EXPECT_EQ(dialogs.Shown().back(), "save Select Output File [" + dir / "out" +
                                          "] Cryvan files (*.aes)|*.aes||" + " .aes");
    // ...unless the save dialog asked itself, and then the page does not ask twice.
    dialogs.saveAsks = true;
    dialogs.saveChoices = {dir / "chosen.aes"};
    dest->Browse();
    EXPECT_TRUE(dest->confirmed);
    dest->SetName(dir / "chosen.aes");
    EXPECT_FALSE(dest->confirmed);  // typed again: asked again
    dialogs.saveAsks = false;

    // A relative name becomes the full path on Next and is shown so.
    dest->SetName("x.aes.exe");
    Next();
    EXPECT_EQ(Active(), kEncPasswordPg);
    EXPECT_EQ(dest->name, fs::current_path().string() + "/x.aes");
    EXPECT_EQ(runner.CipherFile(), "x.aes");
}

TEST_F(EncryptionPagesTest, SourceAsDestinationRefusedOnceThenReplaceQuestion) {
    WriteText(dir / "src/b.aes", "an earlier container chosen as input");
    Start();
    Next();
    source->list.AddMany({dir / "src/a.txt", dir / "src/b.aes"});
    source->UpdateButtons();
    Next();
    ASSERT_EQ(Active(), kEncDestPg);

    dest->SetName(dir / "src/b.aes");
    Next();
    EXPECT_EQ(Active(), kEncDestPg);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Warning(EncDestPg::kSourceText)});
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    EXPECT_TRUE(dest->focusName);

    // Next again without a change: the replace question, No by default.
    const std::string question = "box Cryvan: " + dir / "src/b.aes" +
                                 " already exists.\nDo you want to replace it?" +
                                 " [Warning YesNo default No]";
    EXPECT_EQ(dest->OnWizardNext(), kVeto);
    EXPECT_EQ(Boxes().back(), question);
    dialogs.answers = {Answer::Yes};
    EXPECT_EQ(dest->OnWizardNext(), kEncPasswordPg);
    EXPECT_EQ(Boxes().size(), 3u);
    EXPECT_EQ(Boxes().back(), question);
    EXPECT_TRUE(dest->confirmed);
}

TEST_F(EncryptionPagesTest, ExistingFileChecks) {
    fs::create_directories(dir / "folder.aes");
    WriteText(dir / "locked.aes", "x");
    WriteText(dir / "readonly.aes", "x");
    chmod((dir / "readonly.aes").c_str(), 0444);
    ToDestination();

    OS::WriteFile holder(dir / "locked.aes", OS::WriteMode::OpenExisting);
    holder.Open();
    struct Case {
        std::string name;
        const char* text;
    };
    const std::vector<Case> cases = {
        {dir / "folder.aes", EncDestPg::kFolderText},
        {dir / "readonly.aes", EncDestPg::kReadOnlyText},
        {dir / "locked.aes", EncDestPg::kInUseText},
    };
    for (const Case& c : cases) {
        dest->SetName(c.name);
        Next();
        EXPECT_EQ(Active(), kEncDestPg) << c.name;
        EXPECT_EQ(Boxes().back(), Warning(Format(c.text, c.name.c_str()))) << c.name;
    }
    holder.Close();
    dialogs.answers = {Answer::Yes};
    Next();
    EXPECT_EQ(Active(), kEncPasswordPg);
}

TEST_F(EncryptionPagesTest, SourceRejectedByEngineIsRemoved) {
    Start();
    Next();
    source->list.AddMany({dir / "src/a.txt", dir / "gone.txt"});
    source->UpdateButtons();
    Next();
    EXPECT_EQ(Active(), kEncSourcePg);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Warning(
                           dir / "gone.txt" +
                           "\nThis file could not be opened and will be removed\nfrom the list "
                           "of source files.\n\nFile not found")});
    ASSERT_EQ(source->list.Count(), 1u);
    Next();
    EXPECT_EQ(Active(), kEncDestPg);
    bool isFolder = true;
    EXPECT_EQ(runner.PlainFile(0, isFolder, false), dir / "src/a.txt");
    EXPECT_FALSE(isFolder);
    EXPECT_EQ(runner.PlainFile(1, isFolder, false), std::nullopt);
}

TEST_F(EncryptionPagesTest, PasswordRules) {
    ToDestination();
    Next();
    ASSERT_EQ(Active(), kEncPasswordPg);
    EXPECT_EQ(sheet.NextText(), "Encrypt");
    struct Case {
        const char* password;
        const char* confirmation;
        unsigned buttons;
    };
    const Case cases[] = {
        {"12345", "12345", kBack},           {"123456", "", kBack},
        {"123456", "12345", kBack},          {"123456", "654321", kBack | kNext},
        {"123456", "123456", kBack | kNext},
    };
    for (const Case& c : cases) {
        password->SetPassword(c.password);
        password->SetConfirmation(c.confirmation);
        EXPECT_EQ(sheet.WizardButtons(), c.buttons) << c.password << "/" << c.confirmation;
        EXPECT_EQ(password->ConfirmationEnabled(), std::string(c.password).size() >= 6);
    }

    password->SetConfirmation("654321");
    Next();
    EXPECT_EQ(Active(), kEncPasswordPg);
    EXPECT_TRUE(password->focusPassword);
    EXPECT_EQ(Boxes().back(), Warning("The passwords entered do not match."));

    password->GeneratePassword();
    EXPECT_TRUE(password->plainView);
    EXPECT_EQ(password->Password().size(), 29u);
    EXPECT_EQ(password->Password(), password->Confirmation());
    // Typing in the unmasked field goes to the masked one and masks the view again.
    password->SetPlainPassword("typed-again");
    EXPECT_FALSE(password->plainView);
    EXPECT_EQ(password->Password(), "typed-again");
    password->SetConfirmation("typed-again");
    Next();
    EXPECT_EQ(Active(), kEncProgressPg);
}

TEST_F(EncryptionPagesTest, NavigationKeepsFields) {
    Start();
    EXPECT_EQ(sheet.NextText(), "Encrypt");
    EXPECT_EQ(sheet.BackText(), "Decrypt");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));
    EXPECT_TRUE(encOrDec->statusLine.empty());
    Next();
    ASSERT_EQ(Active(), kEncSourcePg);
    EXPECT_TRUE(runner.IsEncrypting());
    EXPECT_EQ(sheet.NextText(), "Next >");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack));
    source->list.Add(dir / "src/a.txt");
    source->UpdateButtons();
    source->options = {1, 0, false};
    Next();
    dest->SetName(dir / "out.aes");
    Next();
    password->SetPassword("secret1");
    password->SetConfirmation("secret1");
    Back();
    EXPECT_EQ(Active(), kEncDestPg);
    EXPECT_EQ(sheet.NextText(), "Next >");
    EXPECT_EQ(dest->name, dir / "out.aes");
    Back();
    EXPECT_EQ(Active(), kEncSourcePg);
    EXPECT_EQ(source->list.Count(), 1u);
    EXPECT_EQ(source->options.pathOption, 1);
    Back();
    EXPECT_EQ(Active(), kEncOrDecPg);
    EXPECT_EQ(sheet.BackText(), "Decrypt");
    Next();
    EXPECT_TRUE(source->list.changed);  // handed to the engine again after Back
    Next();
    EXPECT_EQ(dest->name, dir / "out.aes");  // the default is not proposed again
    Next();
    EXPECT_EQ(password->Password(), "secret1");
    EXPECT_EQ(sheet.WizardButtons(), unsigned(kBack | kNext));
    bool isFolder = false;
    EXPECT_EQ(runner.PlainFile(0, isFolder, false), dir / "src/a.txt");
    EXPECT_EQ(runner.PlainFile(1, isFolder, false), std::nullopt);

    // Back to the first page and on to decryption.
    Back();
    Back();
    Back();
    Back();
    EXPECT_EQ(Active(), kDecSourcePg);
    EXPECT_FALSE(runner.IsEncrypting());
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

TEST_F(EncryptionPagesTest, CommandLineRunsThroughAndTheContainerOpens) {
    WriteText(dir / "src/b.txt", "second file");
    commandLine.SetEncrypt();
    commandLine.EncOutputName(dir / "out.aes");
    commandLine.EncAddInput(dir / "src/a.txt");
    commandLine.EncAddInput(dir / "src/b.txt");
    commandLine.EncPassword(cryvan_test::SecretOf("secret1"));
    commandLine.EncDeletion(FCryptEng::InputDeletionMode::Keep);
    Start();
    ASSERT_EQ(Active(), kEncProgressPg);
    EXPECT_TRUE(commandLine.pendingInputs.empty());
    EXPECT_EQ(commandLine.operation, PagesValues::Operation::None);
    EXPECT_TRUE(dialogs.Shown().empty());

    ASSERT_TRUE(runner.Start());
    WaitUntilDone(runner);
    EXPECT_EQ(runner.Status().State(), FCryptEng::OperationState::Finished);

    runner.SetMode(false);
    runner.SetCipherFile(dir / "out.aes");
    runner.ClearPassword();
    EXPECT_EQ(runner.SetPassword("secret1"), FCryptEng::UnlockResult::Unlocked);
    ASSERT_EQ(runner.PlainFileCount(false), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        runner.SelectPlainFile(i);
    fs::create_directories(dir / "dest");
    runner.SetPath(FCryptEng::PathMode::Common, dir / "dest/");
    runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
    ASSERT_TRUE(runner.Start());
    WaitUntilDone(runner);
    EXPECT_EQ(ReadText(dir / "dest/a.txt"), std::string(3000, 'a'));
    EXPECT_EQ(ReadText(dir / "dest/b.txt"), "second file");
}

// The stand-alone kind writes the image of the platform chosen: --sfx-platform, else the
// preference (Windows unless changed); a missing image keeps the page with the reason.
struct PlatformCase {
    const char* what;
    std::optional<std::uint32_t> preference;
    std::optional<OperationRunner::Platform> option;
    bool standAlone;
    bool windowsBuilt;
    std::string head;  // empty: Next refuses
};

class StandAlonePlatform : public EncryptionPagesTest {
  public:
    void TestBody() override {}

    void Run(const PlatformCase& c, const std::string& windowsImage) {
        using Platform = OperationRunner::Platform;
        OperationRunner::SetStandAloneImage(
            Platform::Windows,
            c.windowsBuilt ? Image(windowsImage) : OperationRunner::ProgramImage{});
        if (c.preference)
            Settings::Set(Settings::kStandAlonePlatform, *c.preference);
        const std::string out = dir / (c.standAlone ? "out.aes.exe" : "out.aes");
        commandLine.SetEncrypt();
        commandLine.EncOutputName(out);
        commandLine.EncAddInput(dir / "src/a.txt");
        commandLine.EncPassword(cryvan_test::SecretOf("secret1"));
        commandLine.EncDeletion(FCryptEng::InputDeletionMode::Keep);
        if (c.standAlone)
            commandLine.EncStandAlone();
        if (c.option)
            commandLine.EncStandAlonePlatform(*c.option);
        Start();
        if (c.head.empty()) {
            EXPECT_EQ(Active(), kEncDestPg);
            EXPECT_EQ(Boxes(), (std::vector<std::string>{
                                   "box Cryvan Error: This program cannot make self-decrypting "
                                   "containers for Windows [Warning Ok default Ok]"}));
            return;
        }
        ASSERT_EQ(Active(), kEncProgressPg);
        ASSERT_TRUE(runner.Start());
        WaitUntilDone(runner);
        EXPECT_EQ(ReadText(out).substr(0, c.head.size()), c.head);
    }

    static OperationRunner::ProgramImage Image(const std::string& bytes) {
        return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    }
};

TEST_F(EncryptionPagesTest, StandAloneHeaderIsThePlatformsImage) {
    using Platform = OperationRunner::Platform;
    const std::string windowsImage = "MZ the Windows program";
    const std::string linuxImage =
        "\x7f"
        "ELF the Linux program";
    struct Restore {
        OperationRunner::ProgramImage was[2] = {OperationRunner::StandAloneImage(Platform::Windows),
                                                OperationRunner::StandAloneImage(Platform::Linux)};
        ~Restore() {
            OperationRunner::SetStandAloneImage(Platform::Windows, was[0]);
            OperationRunner::SetStandAloneImage(Platform::Linux, was[1]);
        }
    } restore;
    OperationRunner::SetStandAloneImage(Platform::Linux, StandAlonePlatform::Image(linuxImage));
    const PlatformCase cases[] = {
        {"default", std::nullopt, std::nullopt, true, true, windowsImage},
        {"preference Linux", 1, std::nullopt, true, true, linuxImage},
        {"option over preference", 1, Platform::Windows, true, true, windowsImage},
        {"option Linux", 0, Platform::Linux, true, true, linuxImage},
        {"normal kind", 1, std::nullopt, false, true, OperationRunner::kTextHeader},
        {"no Windows image", std::nullopt, std::nullopt, true, false, ""},
        {"no Windows image, Linux chosen", std::nullopt, Platform::Linux, true, false, linuxImage},
    };
    for (const PlatformCase& c : cases) {
        SCOPED_TRACE(c.what);
        StandAlonePlatform t;
        t.Run(c, windowsImage);
    }
}

TEST_F(EncryptionPagesTest, CommandLineStopsWhereValuesEnd) {
    struct Case {
        const char* what;
        bool giveOutput;                    // "-c" at all
        std::optional<std::string> output;  // its value
        std::string password;
        int stopsAt;
    };
    const std::vector<Case> cases = {
        {"no -c", false, std::nullopt, "secret1", kEncDestPg},
        {"-c without a value", true, std::nullopt, "secret1", kEncProgressPg},
        {"short password", true, std::nullopt, "12345", kEncPasswordPg},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        EnvVar home{"XDG_CONFIG_HOME", (tmp / "config").c_str()};
        const Folders f = cryvan_test::MakeFolders(tmp);
        fs::create_directories(f.desktop);
        WriteText(tmp / "a.txt", "a");
        ScriptedDialogs d;
        UserConfig cfg(OrganisationProfile::Load(f), f, &callback, d);
        OperationRunner r(d);
        Sheet s("Cryvan");
        PagesValues cl;
        cl.SetEncrypt();
        if (c.giveOutput)
            cl.EncOutputName(c.output);
        cl.EncAddInput(tmp / "a.txt");
        cl.EncPassword(cryvan_test::SecretOf(c.password));
        Background bg(r.Handover());
        WizardContext ctx{s, r, cfg, d, cl, bg};
        EncOrDecPg p1(ctx);
        EncSourcePg p2(ctx);
        EncDestPg p3(ctx);
        EncPasswordPg p4(ctx);
        StandInPg p5(kEncProgressPg);
        for (Page* page : std::initializer_list<Page*>{&p1, &p2, &p3, &p4, &p5})
            s.AddPage(*page);
        s.SetActivePage(kEncOrDecPg);
        while (s.Pump()) {
        }
        ASSERT_NE(s.ActivePage(), nullptr);
        EXPECT_EQ(s.ActivePage()->Id(), c.stopsAt) << c.what;
        // The default name, shown in any case.
        EXPECT_EQ(p3.name, tmp / "a.aes") << c.what;
        if (c.stopsAt == kEncDestPg) {
            EXPECT_EQ(s.WizardButtons(), unsigned(kBack | kNext));
        }
        if (c.stopsAt == kEncPasswordPg) {
            EXPECT_EQ(p4.Password(), c.password);
        }
    }
}

// Emergency password and data-recovery files: key pairs are slow, so the suite makes them once.
struct RecoveryFiles {
    std::string org, recoveryPermits, recoveryForbids, emergency;
};
RecoveryFiles* g_recovery = nullptr;

class EmergencyBoxTest : public EncryptionPagesTest {
  protected:
    static void SetUpTestSuite() {
        TempDir tmp;
        cryvan_test::ScriptedCallback cb;
        g_recovery = new RecoveryFiles;
        FCryptEng::Organisation org;
        org.Create("Harbour Works", "organisation words", true, false);
        org.SaveAs(tmp / "org.bin");
        g_recovery->org = ReadText(tmp / "org.bin");
        const auto key = org.OpenKey("organisation words");
        FCryptEng::AdminRecovery recovery(&cb);
        recovery.Add("Admin One", "administrator words", false);
        recovery.SetK(1);
        recovery.Sign(*key);
        recovery.SaveAs(tmp / "r.bin");
        g_recovery->recoveryPermits = ReadText(tmp / "r.bin");
        recovery.SetPermitEP(false);
        recovery.Sign(*key);
        recovery.SaveAs(tmp / "r.bin");
        g_recovery->recoveryForbids = ReadText(tmp / "r.bin");
        FCryptEng::EmergencyPassword emergency;
        emergency.Create("Harbour Works");
        const FCryptEng::KeyPair signer(emergency.GetKeyPair());
        emergency.Encrypt("emergency words");
        emergency.Sign(signer);
        emergency.SaveAs(tmp / "ep.bin");
        g_recovery->emergency = ReadText(tmp / "ep.bin");
    }
    static void TearDownTestSuite() {
        delete g_recovery;
        g_recovery = nullptr;
    }
};

TEST_F(EmergencyBoxTest, FollowsPermissionAndDefault) {
    struct Case {
        const char* what;
        bool forbids;
        bool emergencyFile;
        bool enabled, ticked;
    };
    const Case cases[] = {
        {"permitted", false, true, true, true},
        {"forbidden by the organisation", true, true, false, false},
        {"no emergency password", false, false, false, false},
    };
    for (const Case& c : cases) {
        WriteText(folders.allUsers + "Organisation.bin", g_recovery->org);
        WriteText(folders.allUsers + "Data Recovery.bin",
                  c.forbids ? g_recovery->recoveryForbids : g_recovery->recoveryPermits);
        fs::remove(folders.perUser + "Emergency Password.bin");
        if (c.emergencyFile)
            WriteText(folders.perUser + "Emergency Password.bin", g_recovery->emergency);
        Settings::Set(Settings::kDefaultEmergencyPassword, 1);

        UserConfig cfg(OrganisationProfile::Load(folders), folders, &callback, dialogs);
        Sheet s("Cryvan");
        PagesValues cl;
        WizardContext ctx{s, runner, cfg, dialogs, cl, background};
        EncOrDecPg first(ctx);
        EncPasswordPg page(ctx);
        s.AddPage(first);
        s.AddPage(page);
        s.SetActivePage(kEncOrDecPg);
        EXPECT_EQ(first.statusLine, "Data recovery is ON.") << c.what;
        EXPECT_TRUE(first.encryptionAvailable);
        s.SetActivePage(kEncPasswordPg);
        EXPECT_EQ(page.emergencyEnabled, c.enabled) << c.what;
        EXPECT_EQ(page.emergencyTicked, c.ticked) << c.what;
        EXPECT_EQ(page.emergencyStatus, cfg.EmergencyStatusText());
        if (c.forbids) {
            EXPECT_EQ(page.emergencyStatus, UserConfig::kEmergencyDisabledText);
        }
        // A click on a disabled box does nothing; on an enabled one it sticks over the default.
        page.SetEmergency(!c.ticked);
        EXPECT_EQ(page.emergencyTicked, c.enabled ? !c.ticked : false);
        s.SetActivePage(kEncPasswordPg);
        EXPECT_EQ(page.emergencyTicked, c.enabled ? !c.ticked : false);
    }
    Settings::Set(Settings::kDefaultEmergencyPassword, 0);
}

}  // namespace
