// Makes a self-decrypting container on Windows, with the engine and a given decrypt-only
// program image: the proof that what the Windows build writes opens elsewhere.
// Usage: cryvan-make-sfx IMAGE CONTAINER PASSWORD INPUT...   (a folder brings what it holds)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/core/OperationRunner.h"
#include "app/core/Questions.h"
#include "app/core/Texts.h"
#include "os/Logger.h"
#include "os/windows/Wide.h"

namespace {

// Nobody answers: every question takes its safe answer, and is printed.
class Unattended : public App::RunQuestions {
  public:
    Answer Show(const std::string& text, const std::string& caption, Icon, Buttons buttons,
                Answer) override {
        std::cerr << caption << ": " << App::EscapeText(text) << "\n";
        return SafeAnswer(buttons);
    }
    Replace ConfirmReplace(const std::string& text, const std::string&) override {
        std::cerr << App::EscapeText(text) << " (Cancel)\n";
        return Replace::Cancel;
    }
    std::optional<std::string> AskKeyFile(const std::string&, bool) override {
        return std::nullopt;
    }
    std::optional<App::Secret> AskAdministratorPassword(const std::string&) override {
        return std::nullopt;
    }
};

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

// A folder, then what it holds, sorted, as the wizard's file list adds them: the engine stores
// only the names it is given.
void Collect(const std::filesystem::path& path, std::vector<std::string>& out) {
    out.push_back(Slashes(OS::Utf8(path.wstring())));
    std::error_code ec;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, ec)))
        return;
    std::vector<std::filesystem::path> names;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path());
    std::sort(names.begin(), names.end());
    for (const std::filesystem::path& name : names)
        Collect(name, out);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::cerr << "usage: cryvan-make-sfx IMAGE CONTAINER PASSWORD INPUT...\n";
        return 1;
    }
    try {
        OS::Logger::Setup(false, false, false);
        std::ifstream in(std::filesystem::path(argv[1]), std::ios::binary);
        const std::string image{std::istreambuf_iterator<char>(in), {}};
        if (image.empty()) {
            std::cerr << "cryvan-make-sfx: cannot read the image\n";
            return 1;
        }
        using Platform = App::OperationRunner::Platform;
        App::OperationRunner::SetStandAloneImage(
            Platform::Windows, {reinterpret_cast<const std::uint8_t*>(image.data()), image.size()});
        Unattended questions;
        App::OperationRunner runner(questions);
        runner.SetMode(true);
        std::vector<std::string> inputs;
        for (int i = 4; i < argc; ++i)
            Collect(std::filesystem::path(argv[i]), inputs);
        for (const std::string& input : inputs)
            runner.AddPlainFile(input);
        runner.SetPath(FCryptEng::PathMode::Common, std::nullopt);
        runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
        runner.SetCipherFile(Slashes(OS::Utf8(argv[2])));
        runner.SetHeader(true, Platform::Windows);
        runner.SetPassword(OS::Utf8(argv[3]).c_str());
        if (!runner.Start()) {
            std::cerr << "cryvan-make-sfx: the run did not start\n";
            return 1;
        }
        while (runner.IsRunning()) {
            runner.Snapshot();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        runner.CancelAndWait();
        if (runner.RunFailed() || runner.RunCancelled()) {
            std::cerr << "cryvan-make-sfx: " << runner.Failure() << "\n";
            return 2;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "cryvan-make-sfx: " << e.what() << "\n";
        return 1;
    }
}
