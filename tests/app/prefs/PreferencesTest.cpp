#include "app/prefs/PreferencesPages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/config/OrganisationProfile.h"
#include "app/config/Settings.h"
#include "app/config/UserConfig.h"
#include "engine/EngineTestSupport.h"
#include "format/KeyEntry.h"
#include "recovery/AdminRecovery.h"
#include "recovery/Organisation.h"
#include "support/ScriptedCallback.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using App::CryvanPrefs;
using App::EmergencyPasswordPg;
using App::Settings;
using App::UserConfig;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::ScriptedDialogs;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminRecovery;
using Answer = App::MessageBoxes::Answer;

constexpr const char* kOrgPassword = "organisation words";

struct SuiteFiles {
    std::string orgFile;
    std::string orgKeyFile;           // the sealed private key beside the record
    std::string recoveryOneAdmin;     // "Admin One", K 1, emergency passwords permitted
    std::string recoveryNoEmergency;  // the same, emergency passwords forbidden
};
SuiteFiles* g_files = nullptr;

class PreferencesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TempDir tmp;
        cryvan_test::ScriptedCallback callback;
        g_files = new SuiteFiles;
        FCryptEng::Organisation org;
        org.Create("Harbour Works", kOrgPassword, true, false);
        org.SaveAs(tmp / "org.bin");
        g_files->orgFile = ReadText(tmp / "org.bin");
        g_files->orgKeyFile = ReadText(tmp / FCryptEng::Organisation::kKeyFileName);
        const auto keys = org.OpenKey(kOrgPassword);
        AdminRecovery config(&callback);
        config.Add("Admin One", "administrator words", false);
        config.SetK(1);
        config.Sign(*keys);
        config.SaveAs(tmp / "r.bin");
        g_files->recoveryOneAdmin = ReadText(tmp / "r.bin");
        config.SetPermitEP(false);
        config.Sign(*keys);
        config.SaveAs(tmp / "r.bin");
        g_files->recoveryNoEmergency = ReadText(tmp / "r.bin");
    }
    static void TearDownTestSuite() {
        delete g_files;
        g_files = nullptr;
    }

    // With `organisation`, data recovery applies, optionally with a configuration.
    void Load(bool organisation, const std::string& recovery = "") {
        if (organisation) {
            WriteText(folders.allUsers + "Organisation.bin", g_files->orgFile);
            WriteText(folders.allUsers + FCryptEng::Organisation::kKeyFileName,
                      g_files->orgKeyFile);
        }
        if (!recovery.empty())
            WriteText(folders.allUsers + "Data Recovery.bin", recovery);
        config = std::make_unique<UserConfig>(App::OrganisationProfile::Load(folders), folders,
                                              &callback, dialogs);
    }
    std::unique_ptr<CryvanPrefs> Open(bool administrator = true) {
        return std::make_unique<CryvanPrefs>(*config, dialogs, administrator);
    }
    std::string EmergencyPath() const { return folders.perUser + "Emergency Password.bin"; }
    std::string RecoveryPath() const { return folders.allUsers + "Data Recovery.bin"; }
    bool Saw(const std::string& part) const {
        for (const std::string& line : dialogs.Shown())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    // Types a new emergency password on the emergency page.
    static void Type(EmergencyPasswordPg& page, const std::string& password,
                     const std::string& confirmation) {
        page.SetPassword(password);
        page.SetConfirmation(confirmation);
    }

    TempDir tmp;
    EnvVar settingsHome{"XDG_CONFIG_HOME", (tmp / "config").c_str()};
    App::Folders folders = cryvan_test::MakeFolders(tmp);
    cryvan_test::ScriptedCallback callback;
    ScriptedDialogs dialogs;
    std::unique_ptr<UserConfig> config;
};

TEST_F(PreferencesTest, OkOnTheFirstPageWritesThePopUpValuesOnly) {
    Load(false);
    auto prefs = Open();
    EXPECT_EQ(prefs->Caption(), "Cryvan Configuration");
    EXPECT_EQ(prefs->Admin(), nullptr);  // no organisation data recovery
    EXPECT_EQ(prefs->PopUp().encryptDeletion, 2u);
    // Self-decrypting files run on Windows unless the user chooses Linux.
    EXPECT_EQ(prefs->PopUp().standAlonePlatform, 0u);
    prefs->PopUp().menuDeletion = 2;
    prefs->PopUp().confirmDecrypt = 0;
    prefs->PopUp().standAlonePlatform = 1;
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_EQ(Settings::Get(Settings::kStandAlonePlatform), 1u);
    EXPECT_EQ(Open()->PopUp().standAlonePlatform, 1u);
    EXPECT_EQ(Settings::Get(Settings::kMenuDeletionOption), 2u);
    EXPECT_EQ(Settings::Get(Settings::kConfirmDecryptDeletion), 0u);
    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 2u);
    EXPECT_FALSE(fs::exists(EmergencyPath()));
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST_F(PreferencesTest, CancelDiscardsEverything) {
    Load(false);
    auto prefs = Open();
    prefs->PopUp().encryptDeletion = 4;
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    Type(prefs->Emergency(), "a good password", "a good password");
    EXPECT_TRUE(prefs->PressCancel());
    EXPECT_FALSE(prefs->Accepted());
    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 2u);
    EXPECT_FALSE(fs::exists(EmergencyPath()));
}

TEST_F(PreferencesTest, RefusalsKeepTheSheetOpenOnTheRefusingPage) {
    Load(false);
    auto prefs = Open();
    prefs->PopUp().encryptDeletion = 3;
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EmergencyPasswordPg& page = prefs->Emergency();
    EXPECT_TRUE(page.enabled);
    EXPECT_FALSE(page.placeholderShown);
    prefs->SetActivePage(App::kPopUpPg);

    Type(page, "five5", "five5");
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_EQ(prefs->ActivePage(), &page);
    EXPECT_TRUE(
        Saw("box Cryvan: The password entered was too short.\n\nPlease use a minimum "
            "of 6 characters. [Warning"));
    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 3u);  // earlier page applied

    Type(page, "sixsix", "sixsiX");
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(Saw("The passwords entered do not match."));
    EXPECT_FALSE(fs::exists(EmergencyPath()));

    Type(page, "sixsix", "sixsix");
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_TRUE(prefs->Accepted());
    EXPECT_TRUE(fs::exists(EmergencyPath()));
    EXPECT_TRUE(config->EmergencyValid());
}

TEST_F(PreferencesTest, TypingOverThePlaceholderKeepsWhatWasTyped) {
    Load(false);
    ASSERT_TRUE(config->CreateEmergency("first password"));
    struct Case {
        const char* typed;
        const char* kept;
    } const cases[] = {{"x", "x"}, {"PLACEHOLDERz", "z"}, {"PLAzEHOLDER", "z"}, {"PLACEHOLDE", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        auto prefs = Open();
        prefs->SetActivePage(App::kEmergencyPasswordPg);
        EmergencyPasswordPg& page = prefs->Emergency();
        EXPECT_TRUE(page.placeholderShown);
        EXPECT_EQ(page.Password(), "PLACEHOLDER");
        page.SetPassword(c.typed);
        EXPECT_FALSE(page.placeholderShown);
        EXPECT_EQ(page.Password(), c.kept);
        EXPECT_EQ(page.Confirmation(), "");
    }
}

TEST_F(PreferencesTest, ReplacingAndDeletingAskFirst) {
    Load(false);
    ASSERT_TRUE(config->CreateEmergency("first password"));
    const std::string first = ReadText(EmergencyPath());
    auto prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EmergencyPasswordPg& page = prefs->Emergency();

    // Replace: No restores the placeholder, Yes writes a new file.
    page.SetPassword("s");  // the first key typed over the placeholder
    Type(page, "second password", "second password");
    dialogs.answers = {Answer::No};
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(Saw("Are you sure you want to replace\nyour existing Emergency Password?"));
    EXPECT_TRUE(page.placeholderShown);
    EXPECT_EQ(ReadText(EmergencyPath()), first);
    page.SetPassword("s");
    Type(page, "second password", "second password");
    dialogs.answers = {Answer::Yes};
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_NE(ReadText(EmergencyPath()), first);

    // Delete: both fields emptied.
    prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EmergencyPasswordPg& again = prefs->Emergency();
    Type(again, "", "");
    dialogs.answers = {Answer::No};
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(again.placeholderShown);
    EXPECT_TRUE(fs::exists(EmergencyPath()));
    Type(again, "", "");
    dialogs.answers = {Answer::Yes};
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_TRUE(Saw("Are you sure you want to delete your existing emergency password?"));
    EXPECT_FALSE(fs::exists(EmergencyPath()));
    EXPECT_TRUE(config->Flags() & UserConfig::NoEmergencyPassword);
}

TEST_F(PreferencesTest, DefaultTickNeedsAnEmergencyPassword) {
    Load(false);
    auto prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EmergencyPasswordPg& page = prefs->Emergency();
    EXPECT_FALSE(page.defaultTicked);
    page.SetDefault(true);
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(Saw("Cryvan cannot enable your emergency password by default"));
    EXPECT_FALSE(page.defaultTicked);

    page.SetDefault(true);
    Type(page, "a good password", "a good password");
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_EQ(Settings::Get(Settings::kDefaultEmergencyPassword), 1u);
    prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EXPECT_TRUE(prefs->Emergency().defaultTicked);
}

TEST_F(PreferencesTest, AdministratorPageNeedsRecoveryAndAnAdministrator) {
    Load(true);
    EXPECT_NE(Open(true)->Admin(), nullptr);
    EXPECT_EQ(Open(false)->Admin(), nullptr);
}

TEST_F(PreferencesTest, AddKeyFileAdministratorThenSignWithTheOrganisationPassword) {
    Load(true);
    auto prefs = Open();
    prefs->SetActivePage(App::kAdminPg);
    App::AdminPg& page = *prefs->Admin();
    EXPECT_TRUE(page.names.empty());
    EXPECT_FALSE(page.requireEnabled);

    // Key file cancelled: nothing added.
    dialogs.newAdministrators = {App::PreferencesDialogs::NewAdministrator{
        "Ann", cryvan_test::SecretOf("ann password"), true}};
    page.Add();
    EXPECT_TRUE(Saw("keyfile Ann create"));
    EXPECT_TRUE(page.names.empty());
    EXPECT_FALSE(page.changed);

    const std::string keyFile = tmp / "Ann.CryvanKey";
    dialogs.newAdministrators = {App::PreferencesDialogs::NewAdministrator{
                                     "Ann", cryvan_test::SecretOf("ann password"), true},
                                 App::PreferencesDialogs::NewAdministrator{
                                     "Ann", cryvan_test::SecretOf("other password"), false}};
    dialogs.keyFileAnswers = {keyFile};
    page.Add();
    EXPECT_EQ(page.names, std::vector<std::string>{"Ann"});
    EXPECT_TRUE(fs::exists(keyFile));
    page.Add();  // the same name again
    EXPECT_EQ(page.names.size(), 1u);
    EXPECT_TRUE(Saw("already exists"));

    // A wrong organisation password is refused; the right one signs and saves.
    dialogs.organisationPasswords = {std::string("wrong words"), std::string(kOrgPassword)};
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(Saw("box Incorrect Password:"));
    EXPECT_FALSE(fs::exists(RecoveryPath()));
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_TRUE(Saw("has been updated"));
    ASSERT_NE(config->RecoveryConfig(), nullptr);
    EXPECT_EQ(config->RecoveryConfig()->GetN(), 1u);
    EXPECT_EQ(config->RecoveryStatusText(), "Data recovery is ON.");
}

TEST_F(PreferencesTest, AnUnreadableOrganisationKeyIsSaidAndChangesNothing) {
    Load(true, g_files->recoveryOneAdmin);
    fs::remove(folders.allUsers + FCryptEng::Organisation::kKeyFileName);
    auto prefs = Open();
    prefs->SetActivePage(App::kAdminPg);
    App::AdminPg& page = *prefs->Admin();
    page.Select(0, true);
    page.Remove();
    dialogs.organisationPasswords = {std::string(kOrgPassword)};
    EXPECT_FALSE(prefs->PressOk());
    EXPECT_TRUE(Saw("private key could not be read"));
    EXPECT_TRUE(Saw(FCryptEng::Organisation::kKeyFileName));
    EXPECT_EQ(ReadText(RecoveryPath()), g_files->recoveryOneAdmin);
}

TEST_F(PreferencesTest, RemovingAllAdministratorsTurnsRecoveryOff) {
    Load(true, g_files->recoveryOneAdmin);
    auto prefs = Open();
    prefs->SetActivePage(App::kAdminPg);
    App::AdminPg& page = *prefs->Admin();
    ASSERT_EQ(page.names, std::vector<std::string>{"Admin One"});
    EXPECT_EQ(page.k, 1);
    EXPECT_FALSE(page.removeEnabled);
    page.Select(0, true);
    EXPECT_TRUE(page.removeEnabled);
    page.Remove();
    EXPECT_TRUE(page.names.empty());
    EXPECT_EQ(page.k, 0);
    EXPECT_FALSE(page.kEnabled);
    EXPECT_FALSE(page.requireEnabled);
    dialogs.organisationPasswords = {std::string(kOrgPassword)};
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_EQ(config->RecoveryStatusText(), "Data recovery is OFF.");
}

TEST_F(PreferencesTest, ForbiddingEmergencyPasswords) {
    // Forbidden by the loaded configuration.
    Load(true, g_files->recoveryNoEmergency);
    auto prefs = Open(false);
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EXPECT_FALSE(prefs->Emergency().enabled);
    EXPECT_EQ(prefs->Emergency().header, UserConfig::kEmergencyDisabledText);

    // Unticked on the administrators' page: the emergency page follows at once, and OK needs
    // the organisation password although no administrator changed.
    WriteText(RecoveryPath(), g_files->recoveryOneAdmin);
    Load(true);
    prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    EXPECT_TRUE(prefs->Emergency().enabled);
    prefs->SetActivePage(App::kAdminPg);
    prefs->Admin()->SetPermit(false);
    EXPECT_FALSE(prefs->Emergency().enabled);
    EXPECT_FALSE(prefs->PressOk());  // the organisation password dialog cancelled
    EXPECT_TRUE(Saw("organisation password min 8"));
    dialogs.organisationPasswords = {std::string(kOrgPassword)};
    EXPECT_TRUE(prefs->PressOk());
    EXPECT_FALSE(config->EmergencyPermitted());
}

TEST_F(PreferencesTest, AContainerMadeAfterwardsOpensWithEveryQuorumAndTheEmergencyPassword) {
    Load(true);
    auto prefs = Open();
    prefs->SetActivePage(App::kEmergencyPasswordPg);
    Type(prefs->Emergency(), "emergency words", "emergency words");
    prefs->Emergency().SetDefault(true);
    prefs->SetActivePage(App::kAdminPg);
    App::AdminPg& page = *prefs->Admin();
    const std::string keyFile = tmp / "Ann.CryvanKey";
    dialogs.newAdministrators = {App::PreferencesDialogs::NewAdministrator{
                                     "Ann", cryvan_test::SecretOf("ann password"), true},
                                 App::PreferencesDialogs::NewAdministrator{
                                     "Bo", cryvan_test::SecretOf("bo password"), false},
                                 App::PreferencesDialogs::NewAdministrator{
                                     "Cy", cryvan_test::SecretOf("cy password"), false}};
    dialogs.keyFileAnswers = {keyFile};
    page.Add();
    page.Add();
    page.Add();
    EXPECT_EQ(page.spinMax, 3);
    page.SetK(2);
    dialogs.organisationPasswords = {std::string(kOrgPassword)};
    ASSERT_TRUE(prefs->PressOk());

    // As the next start of the program finds the files.
    Load(true);
    ASSERT_TRUE(config->EmergencyValid());
    ASSERT_NE(config->RecoveryConfig(), nullptr);
    EXPECT_EQ(config->RecoveryConfig()->GetK(), 2u);
    EXPECT_EQ(Settings::Get(Settings::kDefaultEmergencyPassword), 1u);

    const std::string plain = tmp / "report.txt";
    const std::string container = tmp / "report.aes";
    WriteText(plain, cryvan_test::TextBytes(30000));
    {
        cryvan_test::EngineRun run;
        auto enc = FCryptEng::FileCryptor::Create(false, &run.status, &run.callback);
        enc->SetPlainFile(plain);
        enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        enc->CipherFile(container);
        enc->Password("user words");
        config->AddRecoveries(*enc, true);
        enc->Begin();
        ASSERT_EQ(run.status.State(), FCryptEng::OperationState::Finished);
    }

    struct Case {
        std::vector<const char*> passwords;
        bool opens;
    };
    const std::vector<Case> cases = {
        {{"user words"}, true},
        {{"emergency words"}, true},
        {{"ann password", "bo password"}, true},
        {{"bo password", "cy password"}, true},
        {{"cy password", "ann password"}, true},
        {{"bo password"}, false},
        {{"bo password", "bo password"}, false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        cryvan_test::EngineRun run;
        run.callback.textAnswers = {keyFile};
        auto dec = FCryptEng::FileCryptor::Create(true, &run.status, &run.callback);
        dec->CipherFile(container);
        dec->ClearPassword();
        FCryptEng::UnlockResult result = FCryptEng::UnlockResult::Nothing;
        for (const char* password : c.passwords)
            if ((result = dec->Password(password)) == FCryptEng::UnlockResult::Unlocked)
                break;
        ASSERT_EQ(result == FCryptEng::UnlockResult::Unlocked, c.opens) << c.passwords[0];
        if (!c.opens)
            continue;
        const std::string out = tmp / ("out" + std::to_string(i));
        dec->SetPlainFile(std::size_t(0));
        dec->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
        dec->Begin();
        EXPECT_EQ(run.status.State(), FCryptEng::OperationState::Finished);
        EXPECT_TRUE(ReadText(out + "/report.txt") == ReadText(plain)) << c.passwords[0];
    }
}

}  // namespace
