// Containers made with every way in: they open with the user's password, with the user's
// emergency password, and with any two of three administrators' passwords typed one after the
// other.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"

namespace {

using namespace cryvan_test;
using FCryptEng::AdminRecovery;
using FCryptEng::EmergencyPassword;

class RecoveryEndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<TempDir>();
        s_setup = std::make_unique<ScriptedCallback>();
        s_config = std::make_unique<AdminRecovery>(s_setup.get());
        s_setup->textAnswers = {*s_dir / "bo.key"};
        ASSERT_TRUE(s_config->Add("Ann", "ann's password", false));
        ASSERT_TRUE(s_config->Add("Bo", "bo's password", true));
        ASSERT_TRUE(s_config->Add("Cy", "cy's password", false));
        s_config->SetK(2);

        // As the preferences make it: created, sealed, signed with its own pair while open.
        s_emergency = std::make_unique<EmergencyPassword>();
        s_emergency->Create("Example Org");
        const FCryptEng::KeyPair open = s_emergency->GetKeyPair();
        s_emergency->Encrypt("my emergency password");
        s_emergency->Sign(open);
    }
    static void TearDownTestSuite() {
        s_emergency.reset();
        s_config.reset();
        s_setup.reset();
        s_dir.reset();
    }

    void SetUp() override {
        in = dir / "in";
        out = dir / "out";
        container = dir / "box.aes";
        fs::create_directories(in + "/docs/sub");
        fs::create_directories(out);
        WriteText(in + "/docs/text.txt", TextBytes(200000));
        WriteText(in + "/docs/random.bin", RandomBytes(70000));
        WriteText(in + "/docs/sub/empty.txt", "");

        EngineRun run;
        auto enc = FileCryptor::Create(false, &run.status, &run.callback);
        for (const std::string& path : Expand(in + "/docs"))
            enc->SetPlainFile(path);
        enc->SetPathAndMode(FCryptEng::PathMode::Common, std::nullopt);
        enc->CipherFile(container);
        enc->Password("user's password");
        enc->AddRecovery(*s_emergency);
        enc->AddRecovery(*s_config);
        enc->Begin();
        ASSERT_EQ(run.status.State(), OperationState::Finished);
    }

    // Types the passwords in order into one decryptor and, once it opens, decrypts everything.
    std::vector<int> Decrypt(const std::vector<const char*>& passwords,
                             const std::vector<std::optional<std::string>>& keyFiles = {}) {
        EngineRun run;
        run.callback.textAnswers.assign(keyFiles.begin(), keyFiles.end());
        auto dec = FileCryptor::Create(true, &run.status, &run.callback);
        dec->CipherFile(container);
        dec->ClearPassword();
        std::vector<int> results;
        for (const char* password : passwords) {
            results.push_back(static_cast<int>(dec->Password(password)));  // by number
            if (results.back() == 2)
                break;
        }
        asked = run.callback.asked;
        if (results.back() != 2)
            return results;
        for (std::size_t i = 0; i < dec->NumPlainFiles(false); ++i)
            dec->SetPlainFile(i);
        dec->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
        dec->Begin();
        EXPECT_EQ(run.status.State(), OperationState::Finished);
        return results;
    }

    static inline std::unique_ptr<TempDir> s_dir;
    static inline std::unique_ptr<ScriptedCallback> s_setup;
    static inline std::unique_ptr<AdminRecovery> s_config;
    static inline std::unique_ptr<EmergencyPassword> s_emergency;

    TempDir dir;
    std::string in, out, container;
    std::vector<std::string> asked;
};

TEST_F(RecoveryEndToEnd, TheUsersPasswordStillOpens) {
    EXPECT_EQ(Decrypt({"user's password"}), std::vector<int>{2});
    EXPECT_EQ(Tree(out), Tree(in));
}

TEST_F(RecoveryEndToEnd, TheEmergencyPasswordOpens) {
    EXPECT_EQ(Decrypt({"user's passwore", "my emergency password"}), (std::vector<int>{1, 2}));
    EXPECT_EQ(Tree(out), Tree(in));
}

TEST_F(RecoveryEndToEnd, TwoAdministratorsOpen) {
    EXPECT_EQ(Decrypt({"not it", "cy's password", "cy's password", "ann's password"}),
              (std::vector<int>{1, 3, 1, 2}));
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(Tree(out), Tree(in));
    EXPECT_EQ(ReadText(out + "/docs/random.bin"), ReadText(in + "/docs/random.bin"));
}

TEST_F(RecoveryEndToEnd, AKeyFileAdministratorIsAskedForTheFile) {
    EXPECT_EQ(Decrypt({"bo's password", "bo's password", "ann's password"},
                      {std::nullopt, *s_dir / "bo.key"}),
              (std::vector<int>{4, 3, 2}));
    EXPECT_EQ(asked, (std::vector<std::string>{"text Bo", "text Bo"}));
    EXPECT_EQ(Tree(out), Tree(in));
}

TEST_F(RecoveryEndToEnd, OneAdministratorIsNotEnough) {
    EXPECT_EQ(Decrypt({"ann's password", "ann's password"}), (std::vector<int>{3, 1}));
    EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
