#include "app/sfx/SelfExtractor.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/core/ExitStatus.h"
#include "app/core/Options.h"
#include "app/core/PasswordSource.h"
#include "app/core/Secrets.h"
#include "app/core/Texts.h"
#include "engine/ContainerInfo.h"
#include "os/Directory.h"
#include "os/File.h"
#include "os/Logger.h"
#ifdef _WIN32
#include "os/windows/Wide.h"
#endif

namespace Sfx {

using Icon = App::MessageBoxes::Icon;
using Buttons = App::MessageBoxes::Buttons;
using Answer = App::MessageBoxes::Answer;

namespace {

// Anything at all by that name, folder or not.
bool Exists(const std::string& path) {
#ifdef _WIN32
    return GetFileAttributesW(OS::SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
#endif
}

#ifdef _WIN32
// Windows keeps a running program's file: a hidden command interpreter deletes it once this
// process has ended (it waits for the process, then for the file to be free).
bool RemoveSelf(const std::string& self, std::string& why) {
    std::wstring path = OS::Wide(self);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    if (path.find(L'"') != std::wstring::npos || path.find(L'%') != std::wstring::npos) {
        why = "its name cannot be given to the command interpreter";
        return false;
    }
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        why = "the system folder is unknown";
        return false;
    }
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    std::wstring line =
        L"\"" + cmd +
        L"\" /d /q /c \"for /l %i in (1,1,30) do (ping -n 2 127.0.0.1 >nul & del /f /q \"" + path +
        L"\" 2>nul & if not exist \"" + path + L"\" exit)\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
        why = "the command interpreter could not be started (error " +
              std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}
#else
bool RemoveSelf(const std::string& self, std::string& why) {
    if (unlink(self.c_str()) == 0)
        return true;
    why = std::strerror(errno);
    return false;
}
#endif

}  // namespace

std::string HelpText() {
    return "Usage: NAME.aes.exe [OPTIONS]\n"
           "\n"
           "A self-decrypting Cryvan container: run it to decrypt the files it holds. Without\n"
           "options it asks for the password and the destination folder.\n"
           "\n" +
           App::OptionHelp(App::kStandAlone) +
#ifndef _WIN32
           "\n"
           "While the files are decrypted: 'b' and Enter toggles \"" +
           std::string(kBackgroundText) +
           "\",\n"
           "'c' and Enter or Ctrl+C cancels (after a question).\n" +
#endif
           "\n" + App::ExitStatusHelp();
}

Options ParseArguments(const App::Arguments& args) {
    Options o;
    bool seenP = false, seenO = false, seenR = false;
    auto value = [&](std::size_t& i, const std::string& option) -> std::string_view {
        if (i + 1 >= args.size() || (args[i + 1].size() > 1 && args[i + 1][0] == '-'))
            throw UsageError("option " + option + " needs a value");
        return args[++i];
    };
    auto once = [](bool& seen, const std::string& option) {
        if (seen)
            throw UsageError("option " + option + " given twice");
        seen = true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string a(args[i]);
        const App::OptionRow* row = App::FindOption(a, App::kStandAlone);
        if (!row)
            throw UsageError("unknown argument: " + a);
        switch (row->option) {
            case App::Option::Help:
                o.help = true;
                break;
            case App::Option::Password:
            case App::Option::PasswordFile:
            case App::Option::PasswordFd: {
                once(seenP, "-p");
                const std::string_view given = value(i, a);
                if (row->option == App::Option::Password) {
                    // Kept in wiping memory, then hidden from the process list.
                    o.password.emplace(given, given.size());
                    args.Hide(i);
                    break;
                }
                const std::string v(given);
                if (row->option == App::Option::PasswordFile) {
                    try {
                        o.password = App::ReadPasswordFile(v);
                    } catch (const std::runtime_error& e) {
                        throw UsageError(e.what());
                    }
                    break;
                }
                std::size_t used = 0;
                int fd = -1;
                try {
                    fd = std::stoi(v, &used);
                } catch (const std::exception&) {
                }
                if (fd < 0 || used != v.size())
                    throw UsageError("--password-fd needs a descriptor number");
                try {
                    o.password = App::ReadPasswordFd(fd);
                } catch (const std::runtime_error& e) {
                    throw UsageError(e.what());
                }
                break;
            }
            case App::Option::Output:
                once(seenO, a);
                o.folder = std::string(value(i, a));
                if (o.folder->empty())
                    throw UsageError("option -o needs a folder");
                break;
            case App::Option::Quit:
                o.quiet = true;
                break;
            case App::Option::Verbose:
                o.verbose = true;
                break;
            case App::Option::NoConfirm:
                o.force = true;
                break;
            case App::Option::Deletion: {
                once(seenR, a);
                const std::string letter(value(i, a));
                if (letter == "k" || letter == "K")
                    o.deleteSelf = false;
                else if (letter == "d" || letter == "D")
                    o.deleteSelf = true;
                else if (letter == "r" || letter == "R" || letter == "o" || letter == "O" ||
                         letter == "e" || letter == "E")
                    // A running program's file cannot be opened for writing, and this program
                    // carries no desktop trash: only keeping and deleting apply.
                    throw UsageError("-r " + letter + " does not apply here: use k or d");
                else
                    throw UsageError("option -r takes k or d");
                break;
            }
            default:
                throw UsageError("unknown argument: " + a);
        }
    }
    return o;
}

#ifdef _WIN32

std::optional<std::string> SelfPath(const char*) {
    // The loader's own record of the file it started, whatever the command line says.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return std::nullopt;
        if (n < buffer.size()) {
            buffer.resize(n);
            break;
        }
        if (buffer.size() >= 32768)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    std::string path = OS::Utf8(buffer);
    // One separator inside, as everywhere in the layers.
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

#else

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer))
        return path;
    return std::string(buffer) + "/" + path;
}

}  // namespace

std::optional<std::string> SelfPath(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        buffer[n] = '\0';
        if (IsRegularFile(buffer))
            return std::string(buffer);
    }
    if (!argv0 || !*argv0)
        return std::nullopt;
    const std::string given(argv0);
    if (given.find('/') != std::string::npos)
        return IsRegularFile(given) ? std::optional<std::string>(Absolute(given)) : std::nullopt;
    const char* pathVar = std::getenv("PATH");
    const std::string search = pathVar ? pathVar : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; start <= search.size();) {
        std::size_t end = search.find(':', start);
        if (end == std::string::npos)
            end = search.size();
        const std::string folder = end > start ? search.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + given;
        if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0)
            return Absolute(candidate);
        start = end + 1;
    }
    return std::nullopt;
}

#endif

// ---------------------------------------------------------------------------------------------

SelfExtractor::SelfExtractor(App::RunQuestions& dialogs, std::string self)
    : m_dialogs(dialogs), m_self(std::move(self)), m_runner(dialogs) {
    m_runner.SetMode(false);
}

void SelfExtractor::Show(const char* text, Icon icon) {
    m_dialogs.Show(text, kCaption, icon, Buttons::Ok, Answer::Ok);
}

bool SelfExtractor::Open() {
    OS::Trace t("SelfExtractor::Open()");
    try {
        m_runner.SetCipherFile(m_self);
    } catch (const OS::File::Error& e) {
        // Runnable but not readable, say: not a corrupt container.
        OS::Logger::Log(OS::LOG_ERROR, std::string("Cannot open the container: ") + e.what());
        m_reason = m_self + ": " + e.what();
        m_dialogs.Show(App::Format(App::WizardCallback::kFileOpenText, m_self.c_str()), kCaption,
                       Icon::Error, Buttons::Ok, Answer::Ok);
        return false;
    }
    try {
        // Reads the footers from the end: a program with no container behind it fails here.
        m_runner.ClearPassword();
        return true;
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_ERROR, std::string("Cannot open the container: ") + e.what());
        m_reason = m_self + ": " + kCorruptText + " (" + e.what() + ")";
        Show(kCorruptText, Icon::Error);
        return false;
    }
}

FCryptEng::UnlockResult SelfExtractor::Try(const char* password) {
    return m_runner.SetPassword(password);
}

FCryptEng::UnlockResult SelfExtractor::TryPassword(const App::Secret& password) {
    OS::Trace t("SelfExtractor::TryPassword()");
    using FCryptEng::UnlockResult;
    m_runner.ClearPassword();
    UnlockResult result = Try(password.c_str());
    // Administrators' passwords: one more at a time until the quorum is met. Each MoreAdmins
    // answer is one more administrator accepted.
    std::size_t needed = 0;
    std::size_t accepted = 1;
    if (result == UnlockResult::MoreAdmins) {
        try {
            if (const auto admins = FCryptEng::ContainerInfo::Read(m_self).administrators)
                needed = admins->Needed();
        } catch (const std::exception&) {
            // The count is only shown; without it the dialog still asks.
        }
    }
    while (result == UnlockResult::MoreAdmins) {
        std::optional<App::Secret> entered = m_dialogs.AskAdministratorPassword(
            App::RunQuestions::StillNeededText(needed > accepted ? needed - accepted : 0));
        if (!entered) {
            m_runner.ClearPassword();
            return UnlockResult::Cancelled;
        }
        result = Try(entered->c_str());
        entered->Clear();
        if (result == UnlockResult::MoreAdmins)
            ++accepted;
        if (result == UnlockResult::Wrong) {
            // A wrong further password costs only that password: the others stay entered.
            Show(kWrongText, Icon::Warning);
            result = UnlockResult::MoreAdmins;
        }
    }
    switch (result) {
        case UnlockResult::Unlocked:
            return UnlockResult::Unlocked;
        case UnlockResult::Wrong:
            Show(kWrongText, Icon::Warning);
            return UnlockResult::Wrong;
        case UnlockResult::Cancelled:
            m_runner.ClearPassword();
            return UnlockResult::Cancelled;
        case UnlockResult::KeyFileUnusable:
            Show(kKeyErrorText, Icon::Error);
            m_runner.ClearPassword();
            return UnlockResult::KeyFileUnusable;
        default:
            // Failed, or Nothing: a container without a key entry is damaged, not unlocked.
            Show(kCorruptText, Icon::Error);
            m_runner.ClearPassword();
            return UnlockResult::Failed;
    }
}

std::string SelfExtractor::DefaultFolder() const {
    const std::size_t cut = m_self.rfind(OS::kSeparator);
    if (cut == std::string::npos)
        return ".";
    // "C:/x.exe" keeps "C:/", as "/x" keeps "/".
    const bool root = cut == 0 || (cut == 2 && m_self[1] == ':');
    return root ? m_self.substr(0, cut + 1) : m_self.substr(0, cut);
}

bool SelfExtractor::AcceptFolder(const std::string& folder, bool ask) {
    OS::Trace t("SelfExtractor::AcceptFolder()");
    try {
        if (OS::Directory::Exists(folder))
            return true;
        // A name taken by something that is not a folder is refused below.
        if (!Exists(folder)) {
            if (ask && m_dialogs.Show(kCreateFolderText, kCaption, Icon::Question, Buttons::YesNo,
                                      Answer::Yes) != Answer::Yes)
                return false;
            OS::Directory::Create(folder);
            if (OS::Directory::Exists(folder))
                return true;
        }
    } catch (const std::exception& e) {
        OS::Logger::Log(OS::LOG_ERROR, std::string("Destination folder: ") + e.what());
    }
    m_dialogs.Show(App::Text(App::StringId::FileAccessFailed),
                   App::Text(App::StringId::FileErrorCaption), Icon::Warning, Buttons::Ok,
                   Answer::Ok);
    return false;
}

void SelfExtractor::Start(const std::string& folder) {
    OS::Trace t("SelfExtractor::Start()");
    std::string destination = folder.empty() ? std::string(".") : folder;
    if (destination.back() != OS::kSeparator)
        destination += OS::kSeparator;
    m_runner.ClearPlainFiles();
    const std::size_t count = m_runner.PlainFileCount(false);
    for (std::size_t i = 0; i < count; ++i)
        m_runner.SelectPlainFile(i);
    // Stored paths are kept below the folder, as the sender arranged them.
    m_runner.SetPath(FCryptEng::PathMode::Common, destination);
    m_runner.SetDeletion(FCryptEng::InputDeletionMode::Keep, false);
    m_runner.Start();
}

bool SelfExtractor::ConfirmStop() {
    OS::Trace t("SelfExtractor::ConfirmStop()");
    if (!m_runner.IsRunning())
        return false;
    m_runner.Pause(true);
    const bool stop = m_dialogs.Show(kStopText, kCaption, Icon::Question, Buttons::YesNo,
                                     Answer::No) == Answer::Yes;
    if (stop)
        m_runner.RequestCancel();
    m_runner.Pause(false);
    return stop;
}

SelfExtractor::Outcome SelfExtractor::Result() const {
    if (m_runner.RunCancelled())
        return Outcome::Cancelled;
    if (m_runner.RunFailed())
        return Outcome::Failed;
    if (m_runner.RunWarned())
        return Outcome::Warned;
    return Outcome::Complete;
}

const char* SelfExtractor::OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Complete:
            return kCompleteText;
        case Outcome::Cancelled:
            return kCancelledText;
        case Outcome::Warned:
            return kWarnedText;
        case Outcome::Failed:
            break;
    }
    return kFailedText;
}

bool SelfExtractor::DeleteSelf(bool force) {
    OS::Trace t("SelfExtractor::DeleteSelf()");
    if (Result() != Outcome::Complete)
        return false;
    // A file the user chose not to replace is still only in here: keep it, whatever -f says.
    if (m_runner.Callback().Declined()) {
        Show(kKeptSkippedText, Icon::Information);
        return false;
    }
    if (!force && m_dialogs.Show(kDeleteText, kDeleteCaption, Icon::Question, Buttons::YesNo,
                                 Answer::No) != Answer::Yes) {
        Show(kKeptText, Icon::Information);
        return false;
    }
    // The engine still holds the container open; a running program's file unlinks fine.
    m_runner.SetCipherFile(std::nullopt);
    std::string why;
    if (RemoveSelf(m_self, why))
        return true;
    OS::Logger::Log(OS::LOG_ERROR, "Cannot delete " + m_self + ": " + why);
    m_dialogs.Show("The input file could not be deleted: " + why, kCaption, Icon::Warning,
                   Buttons::Ok, Answer::Ok);
    return false;
}

void SelfExtractor::Conclude(std::ostream& err, bool deleteSelf, bool force) {
    const Outcome outcome = Result();
    if (outcome == Outcome::Failed) {
        const std::string failure = m_runner.Failure();
        err << "cryvan-sfx: " << App::EscapeControls(failure.empty() ? kFailedText : failure)
            << "\n";
    }
    if (outcome == Outcome::Warned)
        for (const std::string& w : m_runner.Warnings())
            err << "cryvan-sfx: not done: " << App::EscapeControls(w) << "\n";
    if (outcome == Outcome::Complete && deleteSelf)
        DeleteSelf(force);
}

App::ExitStatus SelfExtractor::StatusOf(FCryptEng::UnlockResult result) {
    if (result == FCryptEng::UnlockResult::Unlocked)
        return App::ExitStatus::Success;
    return result == FCryptEng::UnlockResult::Cancelled ? App::ExitStatus::Cancelled
                                                        : App::ExitStatus::Failed;
}

}  // namespace Sfx
