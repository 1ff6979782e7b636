#include "app/config/UserConfig.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/config/OrganisationProfile.h"
#include "app/config/Settings.h"
#include "engine/EngineTestSupport.h"
#include "engine/FileEncryptor.h"
#include "os/User.h"
#include "recovery/Organisation.h"
#include "support/ScriptedCallback.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using App::MessageBoxes;
using App::OrganisationProfile;
using App::Settings;
using App::UserConfig;
using cryvan_test::Be16;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::AdminRecovery;
using FCryptEng::EmergencyPassword;
using FCryptEng::KeyPair;
using FCryptEng::Organisation;

constexpr const char* kOrgName = "Harbour Works";
constexpr const char* kOrgPassword = "organisation words";
constexpr const char* kAdminPassword = "administrator words";
constexpr const char* kEmergencyPassword = "emergency words";
constexpr std::uint32_t k31Dec2005 = 2005u << 16 | 12u << 8 | 31u;

std::string SaveBytes(const AdminRecovery& record, const TempDir& tmp) {
    record.SaveAs(tmp / "record.bin");
    return ReadText(tmp / "record.bin");
}

// Files every test of the suite shares: key pairs cost tens of milliseconds each.
struct SuiteFiles {
    std::optional<Organisation> org;
    std::optional<KeyPair> orgKey;          // the organisation pair, private key open
    std::optional<KeyPair> emergencyPlain;  // for emergency files built from the layout
    std::optional<KeyPair> stranger;        // signs what must not verify
    std::string orgFile;                    // "Organisation.bin", all-users folder
    std::string orgProgramFile;             // the same keys, "Data Recovery.bin" in program
    std::string orgNoRecoveryFile;          // the same keys, data recovery does not apply
    std::string recoveryOneAdmin;           // signed, one password administrator, K 1
    std::string recoveryNoEmergency;        // signed, PermitEP false
    std::string recoveryNoAdmins;           // signed, N 0, K 0
    std::string recoveryForeign;            // one administrator, signed by a stranger
    std::string emergencyFile;              // made by EmergencyPassword, current user
};

SuiteFiles* g_files = nullptr;

std::string OrgFileFromLayout(const Organisation& org, const KeyPair& signer, unsigned flags) {
    const std::string name = org.Name();
    const std::string body = Be16(0x0A9E) + char(1) + Be16(unsigned(name.size())) + name +
                             char(flags) + cryvan_test::PublicKeyRecord(org.Keys()) +
                             cryvan_test::SealedKeyRecord(org.Keys());
    return cryvan_test::SignedFile(body, signer);
}

class UserConfigTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        TempDir tmp;
        cryvan_test::ScriptedCallback callback;
        g_files = new SuiteFiles;
        SuiteFiles& f = *g_files;
        f.org.emplace();
        f.org->Create(kOrgName, kOrgPassword, true, false);
        f.org->SaveAs(tmp / "org.bin");
        f.orgFile = ReadText(tmp / "org.bin");
        f.orgKey = f.org->OpenKey(kOrgPassword);
        f.orgProgramFile = OrgFileFromLayout(*f.org, *f.orgKey, 0x03);
        f.orgNoRecoveryFile = OrgFileFromLayout(*f.org, *f.orgKey, 0x00);
        f.stranger.emplace();
        f.stranger->Create();
        f.emergencyPlain.emplace();
        f.emergencyPlain->Create();

        AdminRecovery config(&callback);
        config.Add("Admin One", kAdminPassword, false);
        config.SetK(1);
        config.Sign(*f.orgKey);
        f.recoveryOneAdmin = SaveBytes(config, tmp);
        config.Sign(*f.stranger);
        f.recoveryForeign = SaveBytes(config, tmp);
        config.SetPermitEP(false);
        config.Sign(*f.orgKey);
        f.recoveryNoEmergency = SaveBytes(config, tmp);
        AdminRecovery none(&callback);
        none.SetK(0);
        none.Sign(*f.orgKey);
        f.recoveryNoAdmins = SaveBytes(none, tmp);

        EmergencyPassword emergency;
        emergency.Create(kOrgName);
        const KeyPair signer(emergency.GetKeyPair());
        emergency.Encrypt(kEmergencyPassword);
        emergency.Sign(signer);
        emergency.SaveAs(tmp / "ep.bin");
        f.emergencyFile = ReadText(tmp / "ep.bin");
    }
    static void TearDownTestSuite() {
        delete g_files;
        g_files = nullptr;
    }

    const SuiteFiles& files() const { return *g_files; }

    void PutOrganisation(const std::string& bytes, bool program = false) const {
        WriteText((program ? folders.program : folders.allUsers) + "Organisation.bin", bytes);
    }
    void PutRecovery(const std::string& bytes, bool program = false) const {
        WriteText((program ? folders.program : folders.allUsers) + "Data Recovery.bin", bytes);
    }
    std::string EmergencyPath() const { return folders.perUser + "Emergency Password.bin"; }
    void PutEmergency(const std::string& bytes) const { WriteText(EmergencyPath(), bytes); }
    std::string HandMadeEmergency(const std::string& who, const std::string& organisation,
                                  const KeyPair* signer = nullptr) const {
        return cryvan_test::EmergencyFile(*files().emergencyPlain, kEmergencyPassword, who,
                                          organisation, k31Dec2005, signer);
    }

    std::unique_ptr<UserConfig> Make() {
        return std::make_unique<UserConfig>(OrganisationProfile::Load(folders), folders, &callback,
                                            boxes);
    }

    TempDir tmp;
    EnvVar settingsHome{"XDG_CONFIG_HOME", (tmp / "config").c_str()};
    EnvVar locale{"LC_ALL", "C"};
    App::Folders folders = cryvan_test::MakeFolders(tmp);
    cryvan_test::ScriptedCallback callback;
    cryvan_test::ScriptedMessageBoxes boxes;
    const std::string user = OS::UserName();
};

// Which recovery sources AddRecoveries hands the engine: E emergency, R configuration.
class RecordingCryptor : public FCryptEng::FileCryptor {
  public:
    RecordingCryptor(FCryptEng::OperationStatus* status, FCryptEng::CryptorCallback* callback,
                     const UserConfig& config)
        : FileCryptor(status, callback), m_config(config) {}
    void AddRecovery(const FCryptEng::RecoverySource& source) override {
        if (&source == m_config.Emergency())
            added += "E";
        else if (m_config.RecoveryConfig() && &source == m_config.RecoveryConfig())
            added += "R";
        else
            added += "?";
    }
    int Mode() const override { return 0; }
    void Begin() override {}

    std::string added;

  private:
    const UserConfig& m_config;
};

std::string Added(const UserConfig& config, bool useEmergency) {
    FCryptEng::OperationStatus status;
    cryvan_test::ScriptedCallback callback;
    RecordingCryptor engine(&status, &callback, config);
    config.AddRecoveries(engine, useEmergency);
    return engine.added;
}

TEST_F(UserConfigTest, FreshUserHasNothingAndDefaultSettings) {
    PutOrganisation(files().orgFile);
    const auto config = Make();
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff | UserConfig::NoEmergencyPassword);
    EXPECT_TRUE(config->EmergencyPermitted());
    EXPECT_FALSE(config->EmergencyValid());
    EXPECT_EQ(config->RecoveryConfig(), nullptr);
    EXPECT_EQ(config->Emergency(), nullptr);
    EXPECT_EQ(config->RecoveryStatusText(), "Data recovery is OFF.");
    EXPECT_EQ(config->EmergencyStatusText(), "No emergency password set.");
    EXPECT_EQ(Added(*config, true), "");

    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 2u);
    EXPECT_EQ(Settings::Get(Settings::kDecryptDeletionOption), 1u);
    EXPECT_EQ(Settings::Get(Settings::kMenuDeletionOption), 1u);
    EXPECT_EQ(Settings::Get(Settings::kConfirmEncryptDeletion), 1u);
    EXPECT_EQ(Settings::Get(Settings::kConfirmDecryptDeletion), 1u);
    EXPECT_EQ(Settings::Get(Settings::kConfirmMenuDeletion), 1u);
    EXPECT_EQ(Settings::Get(Settings::kDefaultEmergencyPassword), 0u);
}

TEST_F(UserConfigTest, SettingsOtherThanAnInRangeDwordReadAsTheDefault) {
    fs::create_directories(tmp / "config/Tenvik-Labs/Cryvan");
    WriteText(tmp / "config/Tenvik-Labs/Cryvan/settings.reg",
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan]\n"
              "\"EncryptDeletionOption\"=\"3\"\n"
              "\"DecryptDeletionOption\"=dword:00000003\n"
              "\"MenuDeletionOption\"=dword:00000003\n"
              "\"ConfirmMenuDeletion\"=dword:00000000\n"
              "\"DefaultEmergencyPassword\"=hex:01,00,00,00\n");
    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 2u);  // a string
    EXPECT_EQ(Settings::Get(Settings::kDecryptDeletionOption), 3u);
    EXPECT_EQ(Settings::Get(Settings::kMenuDeletionOption), 1u);  // past the menu's list
    EXPECT_EQ(Settings::Get(Settings::kConfirmMenuDeletion), 0u);
    EXPECT_EQ(Settings::Get(Settings::kDefaultEmergencyPassword), 0u);  // binary data

    Settings::Set(Settings::kDefaultEmergencyPassword, 1);
    Settings::Set(Settings::kEncryptDeletionOption, 4);
    EXPECT_EQ(Settings::Get(Settings::kDefaultEmergencyPassword), 1u);
    EXPECT_EQ(Settings::Get(Settings::kEncryptDeletionOption), 4u);
    EXPECT_NE(ReadText(tmp / "config/Tenvik-Labs/Cryvan/settings.reg")
                  .find("\"DefaultEmergencyPassword\"=dword:00000001"),
              std::string::npos);
}

TEST_F(UserConfigTest, EmergencyPasswordStates) {
    PutOrganisation(files().orgFile);
    PutRecovery(files().recoveryOneAdmin);
    const std::string invalid = "The emergency password file is INVALID.";
    struct Case {
        const char* what;
        std::string file;
        std::uint32_t bits;
        std::string text;
        std::string added;  // with the emergency password asked for
    } const cases[] = {
        {"made here, 31 December 2005", HandMadeEmergency(user, kOrgName), 0,
         "(Created by " + user + " on 12/31/05)", "ER"},
        {"copied from another user", HandMadeEmergency(user + "-other", kOrgName),
         UserConfig::EmergencyOtherUser, invalid, "R"},
        {"made for another organisation", HandMadeEmergency(user, "Other Works"),
         UserConfig::EmergencyOtherOrganisation, invalid, "R"},
        {"signed by another key", HandMadeEmergency(user, kOrgName, &*files().stranger),
         UserConfig::EmergencyBadSignature, invalid, "R"},
        {"neither user nor organisation", HandMadeEmergency("someone", "Other Works"),
         UserConfig::EmergencyOtherUser | UserConfig::EmergencyOtherOrganisation, invalid, "R"},
        // There but unreadable is not the same as none: the status says so.
        {"not a record", "not a record",
         UserConfig::NoEmergencyPassword | UserConfig::EmergencyUnreadable, invalid, "R"},
        {"empty", "", UserConfig::NoEmergencyPassword, "No emergency password set.", "R"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PutEmergency(c.file);
        const auto config = Make();
        EXPECT_EQ(config->Flags() & UserConfig::EmergencyMask, c.bits);
        EXPECT_EQ(config->Flags() & ~UserConfig::EmergencyMask, 0u);
        EXPECT_EQ(config->EmergencyValid(), c.bits == 0);
        EXPECT_EQ(config->EmergencyStatusText(), c.text);
        EXPECT_EQ(Added(*config, true), c.added);
        EXPECT_EQ(Added(*config, false), "R");
    }
}

TEST_F(UserConfigTest, EmergencyPasswordMadeByTheRecordNamesItsDay) {
    PutOrganisation(files().orgFile);
    PutEmergency(files().emergencyFile);
    const auto config = Make();
    ASSERT_NE(config->Emergency(), nullptr);
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff);
    const EmergencyPassword::Date date = config->Emergency()->CreationDate();
    char expected[16];
    std::snprintf(expected, sizeof expected, "%02u/%02u/%02u", unsigned(date.month),
                  unsigned(date.day), unsigned(date.year % 100));
    EXPECT_EQ(config->EmergencyStatusText(), "(Created by " + user + " on " + expected + ")");
}

TEST_F(UserConfigTest, DataRecoveryStates) {
    PutOrganisation(files().orgFile);
    PutEmergency(files().emergencyFile);
    const std::string on = "Data recovery is ON.";
    const std::string off = "Data recovery is OFF.";
    const std::string invalid = "The data recovery settings are INVALID.";
    const std::string& good = files().recoveryOneAdmin;
    std::string tampered = good;
    tampered[0] = 0;  // PermitEP off: a forged file must not disable emergency passwords
    const std::string unsigned_ = good.substr(0, good.size() - 130) + Be16(0);
    struct Case {
        const char* what;
        std::optional<std::string> file;
        std::uint32_t bits;
        std::string text;
        bool trusted;
        bool permitted;
        std::string added;
    } const cases[] = {
        {"one administrator", good, 0, on, true, true, "ER"},
        {"emergency passwords forbidden", files().recoveryNoEmergency, 0, on, true, false, "R"},
        {"no administrators", files().recoveryNoAdmins, UserConfig::RecoveryNoAdmins, off, true,
         true, "E"},
        {"tampered", tampered, UserConfig::RecoveryInvalid, invalid, false, true, "E"},
        {"signed by another key", files().recoveryForeign, UserConfig::RecoveryInvalid, invalid,
         false, true, "E"},
        {"unsigned", unsigned_, UserConfig::RecoveryInvalid, invalid, false, true, "E"},
        {"not a record", std::string("xyz"), UserConfig::RecoveryInvalid, invalid, false, true,
         "E"},
        {"empty", std::string(), UserConfig::RecoveryOff, off, false, true, "E"},
        {"missing", std::nullopt, UserConfig::RecoveryOff, off, false, true, "E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(folders.allUsers + "Data Recovery.bin");
        if (c.file)
            PutRecovery(*c.file);
        const auto config = Make();
        EXPECT_EQ(config->Flags(), c.bits);
        EXPECT_EQ(config->RecoveryStatusText(), c.text);
        EXPECT_EQ(config->RecoveryConfig() != nullptr, c.trusted);
        EXPECT_EQ(config->EmergencyPermitted(), c.permitted);
        if (c.permitted)
            EXPECT_EQ(config->EmergencyStatusText().rfind("(Created by ", 0), 0u);
        else
            EXPECT_EQ(config->EmergencyStatusText(),
                      "Emergency passwords have been disabled by your organisation.");
        EXPECT_EQ(Added(*config, true), c.added);
    }
}

TEST_F(UserConfigTest, OrganisationProfiles) {
    PutEmergency(files().emergencyFile);
    const std::uint32_t unusable = OrganisationProfile::Unusable | UserConfig::OrganisationUnusable;
    std::string damaged = files().orgFile;
    damaged[6] ^= 0x01;  // a letter of the name: opens, fails its self-check
    struct Case {
        const char* what;
        std::optional<std::string> allUsersRecord, programRecord;
        bool recoveryInProgram;
        std::uint32_t flags;
        std::string text;
        std::string added;
    } const cases[] = {
        {"all-users record", files().orgFile, std::nullopt, false, 0, "Data recovery is ON.", "ER"},
        {"program record, program folder", std::nullopt, files().orgProgramFile, true,
         OrganisationProfile::RecordInProgram, "Data recovery is ON.", "ER"},
        {"all-users record wins", files().orgFile, std::string("damaged"), false, 0,
         "Data recovery is ON.", "ER"},
        {"recovery does not apply", files().orgNoRecoveryFile, std::nullopt, false,
         OrganisationProfile::RecoveryNotApplied | UserConfig::RecoveryOff, "Data recovery is OFF.",
         "E"},
        // Without a record the organisation is nobody: the emergency password names one.
        {"no record", std::nullopt, std::nullopt, false,
         OrganisationProfile::NoRecord | UserConfig::RecoveryOff |
             UserConfig::EmergencyOtherOrganisation,
         "Data recovery is OFF.", ""},
        {"damaged record", damaged, std::nullopt, false, unusable,
         "The data recovery settings are INVALID.", "E"},
        {"not a record", std::string("garbage"), std::nullopt, false, unusable,
         "The data recovery settings are INVALID.", "E"},
        {"empty record", std::string(), std::nullopt, false, unusable,
         "The data recovery settings are INVALID.", "E"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string* folder : {&folders.allUsers, &folders.program}) {
            fs::remove(*folder + "Organisation.bin");
            fs::remove(*folder + "Data Recovery.bin");
        }
        if (c.allUsersRecord)
            PutOrganisation(*c.allUsersRecord);
        if (c.programRecord)
            PutOrganisation(*c.programRecord, true);
        // A configuration where the record says it lives, and a decoy in the other folder.
        PutRecovery(files().recoveryOneAdmin, c.recoveryInProgram);
        PutRecovery(files().recoveryNoAdmins, !c.recoveryInProgram);
        const auto config = Make();
        EXPECT_EQ(config->Flags(), c.flags);
        EXPECT_EQ(config->RecoveryStatusText(), c.text);
        EXPECT_TRUE(config->EmergencyPermitted());
        EXPECT_EQ(Added(*config, true), c.added);
    }
}

TEST_F(UserConfigTest, CreateEmergencySavesAndReloads) {
    PutOrganisation(files().orgFile);
    const auto config = Make();
    ASSERT_TRUE(config->CreateEmergency(kEmergencyPassword));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff);
    ASSERT_NE(config->Emergency(), nullptr);
    EXPECT_EQ(config->Emergency()->Organisation(), kOrgName);

    const auto reloaded = Make();
    EXPECT_EQ(reloaded->Flags(), UserConfig::RecoveryOff);
    EXPECT_EQ(reloaded->EmergencyStatusText(), config->EmergencyStatusText());
    EXPECT_EQ(reloaded->EmergencyStatusText().rfind("(Created by " + user + " on ", 0), 0u);
}

// Makes every write in a folder fail while it lives: permission bits for an
// ordinary user, a file-size limit for root (whom permissions do not stop).
class WritesFail {
  public:
    explicit WritesFail(const std::string& folder) : m_folder(folder) {
        if (geteuid() != 0) {
            chmod(folder.c_str(), 0500);
            return;
        }
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit tight = m_old;
        tight.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~WritesFail() { End(); }
    void End() {
        if (m_ended)
            return;
        m_ended = true;
        if (geteuid() != 0)
            chmod(m_folder.c_str(), 0700);
        else
            setrlimit(RLIMIT_FSIZE, &m_old);
    }

  private:
    std::string m_folder;
    rlimit m_old{};
    bool m_ended = false;
};

TEST_F(UserConfigTest, FailedEmergencySaveOffersRetryAndCancelKeepsThePreviousOne) {
    PutOrganisation(files().orgFile);
    const std::string previous = HandMadeEmergency(user, kOrgName);
    PutEmergency(previous);
    const auto config = Make();
    boxes.answers = {MessageBoxes::Answer::Retry, MessageBoxes::Answer::Cancel};
    bool saved = true;
    {
        WritesFail fail(folders.perUser);
        saved = config->CreateEmergency(kEmergencyPassword);
    }
    EXPECT_FALSE(saved);
    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const auto& box : boxes.shown) {
        EXPECT_EQ(box.text, "Cryvan was unable to write to your emergency password file.\t\n");
        EXPECT_EQ(box.caption, "Cryvan Error");
        EXPECT_EQ(box.icon, MessageBoxes::Icon::Error);
        EXPECT_EQ(box.buttons, MessageBoxes::Buttons::RetryCancel);
    }
    EXPECT_EQ(ReadText(EmergencyPath()), previous);
    ASSERT_NE(config->Emergency(), nullptr);
    EXPECT_EQ(config->Emergency()->CreationDate().year, 2005);
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff);
    EXPECT_EQ(std::distance(fs::directory_iterator(folders.perUser), fs::directory_iterator()), 1)
        << "no temporary file left behind";
}

TEST_F(UserConfigTest, RetryAfterTheCauseIsFixedSaves) {
    PutOrganisation(files().orgFile);
    // The per-user folder's name is taken by a file until the user deals with it.
    const std::string blocker = tmp / "blocked";
    WriteText(blocker, "in the way");
    folders.perUser = blocker + "/";
    const auto config = Make();
    boxes.answers = {MessageBoxes::Answer::Retry};
    boxes.onShow = [&](const auto&) { fs::remove(blocker); };
    EXPECT_TRUE(config->CreateEmergency(kEmergencyPassword));
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff);
    EXPECT_TRUE(fs::is_regular_file(blocker + "/Emergency Password.bin"));
}

TEST_F(UserConfigTest, CancelWithNoFolderLeavesNoEmergencyPassword) {
    PutOrganisation(files().orgFile);
    WriteText(tmp / "blocked", "in the way");
    folders.perUser = tmp / "blocked/";
    const auto config = Make();
    boxes.answers = {MessageBoxes::Answer::Cancel};
    EXPECT_FALSE(config->CreateEmergency(kEmergencyPassword));
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff | UserConfig::NoEmergencyPassword);
    EXPECT_EQ(config->Emergency(), nullptr);
}

TEST_F(UserConfigTest, DeleteEmergency) {
    PutOrganisation(files().orgFile);
    PutEmergency(HandMadeEmergency(user, kOrgName));
    const auto config = Make();
    ASSERT_TRUE(config->EmergencyValid());
    EXPECT_TRUE(config->DeleteEmergency());
    EXPECT_FALSE(fs::exists(EmergencyPath()));
    EXPECT_EQ(config->Flags(), UserConfig::RecoveryOff | UserConfig::NoEmergencyPassword);
    EXPECT_TRUE(config->DeleteEmergency()) << "nothing to delete is no failure";
    EXPECT_TRUE(boxes.shown.empty());

    // Something that cannot be unlinked in its place.
    fs::create_directories(EmergencyPath() + "/inside");
    EXPECT_FALSE(config->DeleteEmergency());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cryvan was unable to delete your existing emergency password.");
    EXPECT_EQ(boxes.shown[0].caption, "Cryvan Error");
    EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::Error);
    EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
}

TEST_F(UserConfigTest, DeleteFailureKeepsTheLoadedEmergencyPassword) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root";
    PutOrganisation(files().orgFile);
    PutEmergency(HandMadeEmergency(user, kOrgName));
    const auto config = Make();
    {
        WritesFail fail(folders.perUser);
        EXPECT_FALSE(config->DeleteEmergency());
    }
    EXPECT_TRUE(fs::exists(EmergencyPath()));
    EXPECT_TRUE(config->EmergencyValid());
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(UserConfigTest, ReplaceAndSaveRecovery) {
    PutOrganisation(files().orgFile);
    PutRecovery(files().recoveryOneAdmin);
    const auto config = Make();
    ASSERT_NE(config->RecoveryConfig(), nullptr);
    EXPECT_TRUE(config->EmergencyPermitted());

    AdminRecovery edited(*config->RecoveryConfig());
    edited.SetPermitEP(false);
    edited.Sign(*files().orgKey);
    ASSERT_TRUE(config->ReplaceRecovery(edited));
    EXPECT_FALSE(config->EmergencyPermitted());
    EXPECT_EQ(config->Flags(), UserConfig::NoEmergencyPassword);
    EXPECT_FALSE(Make()->EmergencyPermitted()) << "what was saved is what others load";
    EXPECT_TRUE(config->SaveRecovery());

    // A failed save keeps the installed configuration.
    AdminRecovery other(*config->RecoveryConfig());
    other.SetPermitEP(true);
    other.Sign(*files().orgKey);
    boxes.answers = {MessageBoxes::Answer::Cancel};
    {
        WritesFail fail(folders.allUsers);
        EXPECT_FALSE(config->ReplaceRecovery(other));
    }
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cryvan was unable to write to the data recovery file.\t\n");
    EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::RetryCancel);
    EXPECT_FALSE(config->EmergencyPermitted());
    EXPECT_EQ(config->RecoveryStatusText(), "Data recovery is ON.");
}

// Containers made through AddRecoveries open with the emergency password and with the
// administrator's, through the real engine.
TEST_F(UserConfigTest, ContainersOpenWithWhatAddRecoveriesAdded) {
    PutOrganisation(files().orgFile);
    PutRecovery(files().recoveryOneAdmin);
    PutEmergency(files().emergencyFile);
    const auto config = Make();
    ASSERT_EQ(config->Flags(), 0u);

    fs::create_directories(tmp / "in");
    WriteText(tmp / "in/notes.txt", cryvan_test::TextBytes(5000));
    for (const bool useEmergency : {true, false}) {
        SCOPED_TRACE(useEmergency ? "with emergency password" : "without");
        const std::string container = tmp / (useEmergency ? "with.aes" : "without.aes");
        cryvan_test::EngineRun run;
        auto enc = FCryptEng::FileCryptor::Create(false, &run.status, &run.callback);
        enc->SetPlainFile(tmp / "in/notes.txt");
        enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        enc->CipherFile(container);
        enc->Password("user words");
        config->AddRecoveries(*enc, useEmergency);
        const std::string header = FCryptEng::FileEncryptor::kHeaderText;
        enc->SetHeader(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
        enc->Begin();
        ASSERT_EQ(run.status.State(), FCryptEng::OperationState::Finished);

        struct Try {
            const char* password;
            bool opens;
        } const tries[] = {{"user words", true},
                           {kEmergencyPassword, useEmergency},
                           {kAdminPassword, true},
                           {"nobody's words", false}};
        for (const Try& t : tries) {
            SCOPED_TRACE(t.password);
            const std::string out = tmp / "out";
            fs::remove_all(out);
            fs::create_directories(out);
            cryvan_test::EngineRun dec;
            const auto state = dec.Decrypt(container, t.password, out);
            EXPECT_EQ(state == FCryptEng::OperationState::Finished, t.opens);
            if (t.opens) {
                EXPECT_EQ(ReadText(out + "/notes.txt"), ReadText(tmp / "in/notes.txt"));
            }
        }
    }
}

}  // namespace
