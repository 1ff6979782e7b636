// The decrypt-only program that heads a self-decrypting container: it opens its own file as the
// container (everything is found from the end, so the program in front is never read), asks for
// the password and the destination folder, runs the decryption and may delete its own file.
// This is the flow without a display; a front end renders it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"
#include "app/core/OperationRunner.h"
#include "app/core/Questions.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"

namespace Sfx {

inline constexpr const char* kCaption = App::Text(App::StringId::AppName);
inline constexpr const char* kIntro = App::Text(App::StringId::StandAloneIntro);
inline constexpr const char* kPasswordText = App::Text(App::StringId::StandAlonePassword);
inline constexpr const char* kFolderText = App::Text(App::StringId::StandAloneFolder);
inline constexpr const char* kBrowseTitle = App::Text(App::StringId::StandAloneBrowseTitle);
inline constexpr const char* kCreateFolderText = App::Text(App::StringId::CreateFolderQuestion);
inline constexpr const char* kProgressTitle = App::Text(App::StringId::DecryptionInProgress);
inline constexpr const char* kProgressText = App::Text(App::StringId::StandAloneProgress);
inline constexpr const char* kBackgroundText = App::Text(App::StringId::RunInBackground);
inline constexpr const char* kStopText = App::Text(App::StringId::StandAloneStop);
inline constexpr const char* kCompleteText = App::Text(App::StringId::StandAloneComplete);
inline constexpr const char* kCancelledText = App::Text(App::StringId::StandAloneCancelled);
inline constexpr const char* kWrongText = App::Text(App::StringId::WrongPassword);
inline constexpr const char* kCorruptText = App::Text(App::StringId::CorruptInput);
inline constexpr const char* kKeyErrorText = App::Text(App::StringId::AdministratorKeyError);
inline constexpr const char* kFailedText = App::Text(App::StringId::DecryptionFailed);
inline constexpr const char* kDeleteText = App::Text(App::StringId::StandAloneDelete);
inline constexpr const char* kDeleteCaption = App::Text(App::StringId::StandAloneDeleteCaption);
inline constexpr const char* kWarnedText = App::Text(App::StringId::StandAloneWarned);
inline constexpr const char* kKeptText = App::Text(App::StringId::StandAloneKept);
inline constexpr const char* kKeptSkippedText = App::Text(App::StringId::StandAloneKeptSkipped);

// --help: the options and exit statuses from their tables.
std::string HelpText();

struct Options {
    std::optional<App::Secret> password;  // -p
    std::optional<std::string> folder;    // -o
    bool quiet = false;                   // -q: no pause at the end
    bool deleteSelf = false;              // -r d (k keeps)
    bool force = false;                   // -f: no question before deleting
    bool verbose = false;                 // --verbose: every log line to standard error
    bool help = false;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The main program's option words where they apply to a program that only decrypts itself.
// The value of -p is overwritten with 'x' in `args` once it is kept.
Options ParseArguments(const App::Arguments& args);

// This program's own file: what the kernel says was executed, else argv[0] as given or as
// found on PATH (a chroot may have no /proc). nullopt when neither names a file.
std::optional<std::string> SelfPath(const char* argv0);

class SelfExtractor {
  public:
    // Warned: finished, but the run could not do everything (Runner().Warnings()).
    enum class Outcome { Complete, Cancelled, Failed, Warned };

    SelfExtractor(App::RunQuestions& dialogs, std::string self);
    SelfExtractor(const SelfExtractor&) = delete;
    SelfExtractor& operator=(const SelfExtractor&) = delete;

    const std::string& Self() const { return m_self; }
    // Finds the container's footers; false (and the corrupt message shown) when there are none
    // to find, as in the bare program without a container behind it.
    bool Open();
    // Why Open() failed, naming the file.
    const std::string& Reason() const { return m_reason; }
    // Tries the password, asking for further administrators' passwords while the container
    // needs them. Messages for wrong and unusable entries are shown here. The answer is
    // Unlocked, Wrong, Cancelled, KeyFileUnusable or Failed (damaged).
    FCryptEng::UnlockResult TryPassword(const App::Secret& password);

    // The folder offered first: the one holding this program.
    std::string DefaultFolder() const;
    // Accepts the folder, creating a missing one after asking (without asking when `ask` is
    // false). False: declined or not creatable (the reason was shown).
    bool AcceptFolder(const std::string& folder, bool ask);
    // Selects every stored file, keeping stored paths below `folder`, and starts the run.
    void Start(const std::string& folder);
    App::OperationRunner& Runner() { return m_runner; }
    // Cancel while the run goes: holds it while asking; true when it is to stop.
    bool ConfirmStop();
    void Stop() { m_runner.CancelAndWait(); }

    // Once the run has ended.
    Outcome Result() const;
    static const char* OutcomeText(Outcome outcome);
    // After a complete run: deletes this program's file, asking first unless `force`. True when
    // the file is gone. A run in which the user declined to replace a file keeps it, as does a
    // refusal or a failure; each is shown.
    bool DeleteSelf(bool force);
    // Once the run has ended, on a front end's error stream: why it failed or what it could not
    // do; then, after a complete run and when asked, this program's file deleted.
    void Conclude(std::ostream& err, bool deleteSelf, bool force);
    // The exit status of a password's result: Success only when it opened the container.
    static App::ExitStatus StatusOf(FCryptEng::UnlockResult result);

  private:
    void Show(const char* text, App::MessageBoxes::Icon icon);
    FCryptEng::UnlockResult Try(const char* password);

    App::RunQuestions& m_dialogs;
    std::string m_self;
    App::OperationRunner m_runner;
    std::string m_reason;
};

}  // namespace Sfx
