// A wizard of the decryption pages on a real sheet, runner and configuration, with containers
// made by the engine in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/config/UserConfig.h"
#include "app/core/OperationRunner.h"
#include "app/wizard/DecryptionPages.h"
#include "app/wizard/ProgressPages.h"
#include "engine/EngineTestSupport.h"
#include "support/ScriptedDialogs.h"

namespace cryvan_test {

class DecryptionWizard : public ::testing::Test {
  protected:
    TempDir dir;
    ScriptedDialogs dialogs;
    ScriptedCallback configCallback;
    App::UserConfig config{App::OrganisationProfile(), MakeFolders(dir), &configCallback, dialogs};
    App::OperationRunner runner{dialogs};
    App::PagesValues commandLine;
    App::Sheet sheet{"Cryvan"};
    App::Background background{runner.Handover()};
    App::WizardContext context{sheet, runner, config, dialogs, commandLine, background};
    App::DecSourcePg source{context};
    App::DecPasswordPg password{context};
    App::DecFilesPg files{context};
    App::DecFilePg file{context};
    App::DecDestPg dest{context};
    App::ProgressPg progress{context, false};
    App::EndPg end{context};
    std::uint64_t now = 0;

    void SetUp() override {
        for (App::Page* p : std::initializer_list<App::Page*>{&source, &password, &files, &file,
                                                              &dest, &progress, &end})
            sheet.AddPage(*p);
        runner.SetMode(false);
    }

    // Encrypts the files (name -> content, made in src-<container>/) into dir/<container>.
    std::string MakeContainer(const std::string& container,
                              const std::map<std::string, std::string>& content,
                              const char* pass = "secret1",
                              const FCryptEng::RecoverySource* recovery = nullptr) {
        const std::string src = dir / ("src-" + container);
        fs::create_directories(src);
        std::vector<std::string> inputs;
        for (const auto& [name, bytes] : content) {
            WriteText(src + "/" + name, bytes);
            inputs.push_back(src + "/" + name);
        }
        EngineRun run;
        auto enc = FileCryptor::Create(false, &run.status, &run.callback);
        for (const std::string& in : inputs)
            enc->SetPlainFile(in);
        enc->SetPathAndMode(0, std::nullopt);
        enc->CipherFile(dir / container);
        enc->Password(pass);
        if (recovery)
            enc->AddRecovery(*recovery);
        enc->Begin();
        EXPECT_EQ(run.status.State(), OperationState::Finished);
        return dir / container;
    }

    int Active() const { return sheet.ActivePage() ? sheet.ActivePage()->Id() : 0; }

    // Starts at the source page as the first page's Decrypt would, and carries out posted presses.
    void Begin() {
        sheet.SetActivePage(App::kDecSourcePg);
        sheet.Pump();
    }

    // Names the container and unlocks it by hand.
    void Unlock(const std::string& container, const std::string& pass = "secret1") {
        Begin();
        source.SetName(container);
        sheet.PressNext();
        ASSERT_EQ(Active(), App::kDecPasswordPg);
        password.SetPassword(pass);
        sheet.PressNext();
    }

    // Advances the sheet's clock while the progress page is up.
    void TickUntilEndPage() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (Active() != App::kEndPg && std::chrono::steady_clock::now() < deadline) {
            now += 200;
            sheet.Tick(now);
            if (runner.IsRunning())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_EQ(Active(), App::kEndPg);
    }

    // Waits until the run has written something and is not done yet.
    void WaitUntilUnderway() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (runner.Snapshot().writtenSoFar == 0 && runner.IsRunning() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        ASSERT_TRUE(runner.IsRunning());
    }
};

}  // namespace cryvan_test
