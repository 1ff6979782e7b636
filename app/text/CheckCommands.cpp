#include "app/text/CheckCommands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/console/ConsoleText.h"
#include "app/core/OperationRunner.h"
#include "app/core/Options.h"
#include "app/core/PasswordSource.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "app/text/TerminalFrontEnd.h"
#include "engine/ContainerInfo.h"
#include "engine/FileDecryptor.h"
#include "filters/ProgressFilter.h"
#include "os/File.h"
#include "os/Logger.h"
#include "os/Progress.h"

namespace Text {

using App::ExitStatus;
using FCryptEng::UnlockResult;

namespace {

constexpr const char* kProgram = "cryvan";
// Wrong passwords typed at a terminal before giving up, as the wizard's terminal allows.
constexpr int kTries = 3;

enum class Check { List, Test };

struct Request {
    Check check = Check::List;
    std::string file;
    // The option that gives the password and its value, read only once the request is known
    // to be ours: a descriptor read by mistake is gone for the wizard.
    std::optional<App::Option> passwordOption;
    std::string passwordValue;
    bool verbose = false;
    bool help = false;
};

std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string Shown(const std::string& stored) {
    return App::EscapeControls(Slashed(stored));
}

ExitStatus Usage(std::ostream& err, const std::string& why) {
    return App::ReportUsage(err, kProgram, why);
}

// Nullopt when the arguments are no request of ours; a status when they are one that cannot run.
std::optional<ExitStatus> Parse(const App::Arguments& args, std::ostream& err,
                                std::optional<Request>& request) {
    Request r;
    bool ours = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string word(args[i]);
        const App::OptionRow* row = App::FindOption(word, App::kFrontEnd);
        if (!row) {
            if (!ours)
                return std::nullopt;  // the wizard's words: the session's business
            return Usage(err, "unexpected argument '" + word + "': give one container");
        }
        const bool needsValue = row->value == App::OptionValue::Required;
        if (needsValue && i + 1 >= args.size()) {
            if (!ours && row->option != App::Option::List && row->option != App::Option::Test)
                return std::nullopt;
            return Usage(err, word + " needs a value");
        }
        switch (row->option) {
            case App::Option::List:
            case App::Option::Test:
                if (ours)
                    return Usage(err, "give one of --list and --test, once");
                ours = true;
                r.check = row->option == App::Option::List ? Check::List : Check::Test;
                r.file = std::string(args[++i]);
                break;
            case App::Option::PasswordFd:
            case App::Option::PasswordFile:
                if (r.passwordOption)
                    return ours ? std::optional<ExitStatus>(
                                      Usage(err, "give --password-fd or --password-file once"))
                                : std::nullopt;
                r.passwordOption = row->option;
                r.passwordValue = std::string(args[++i]);
                break;
            case App::Option::Verbose:
                r.verbose = true;
                break;
            case App::Option::Help:
                r.help = true;
                break;
            case App::Option::Menu:
                // Every word after it is a file of the menu's: nothing of ours follows.
                if (!ours)
                    return std::nullopt;
                return Usage(err, "--menu cannot go with --list or --test");
            default:
                if (needsValue)
                    ++i;
                break;
        }
    }
    // Without a command of ours nothing was read: the session takes the options again.
    if (!ours)
        return std::nullopt;
    request = std::move(r);
    return std::nullopt;
}

// The password the options name; nullopt (usage written) when unusable.
std::optional<ExitStatus> ReadOptionPassword(const Request& r, std::ostream& err,
                                             std::optional<App::Secret>& password) {
    try {
        password =
            App::ReadPasswordOption(*r.passwordOption == App::Option::PasswordFd, r.passwordValue);
    } catch (const std::runtime_error& e) {
        return Usage(err, e.what());
    }
    return std::nullopt;
}

// Every log line to the error stream while a command runs, as the session does for the wizard.
class VerboseScope {
  public:
    VerboseScope(bool on, std::ostream& err) : m_on(on), m_err(err) {
        if (m_on)
            OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN | OS::LOG_INFO |
                                     OS::LOG_DEBUG | OS::LOG_TRACE,
                                 &m_err);
    }
    ~VerboseScope() {
        if (m_on)
            OS::Logger::Register(0, &m_err);
    }
    VerboseScope(const VerboseScope&) = delete;
    VerboseScope& operator=(const VerboseScope&) = delete;

  private:
    bool m_on;
    std::ostream& m_err;
};

// Opens and unlocks the container as the decryption pages do, on a terminal. A status when it
// stays shut.
class Opener {
  public:
    Opener(const CheckTerminal& t, App::OperationRunner& runner, const std::string& file)
        : m_t(t), m_runner(runner), m_file(file) {}

    std::optional<ExitStatus> Open(std::optional<App::Secret> given) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(m_file, ec))
            return Fail(App::Text(App::StringId::DecSourcePgNotFound));
        m_runner.SetMode(false);
        try {
            m_runner.SetCipherFile(m_file);
        } catch (const OS::File::Error& e) {
            return Fail(e.what());
        }
        if (auto shut = ReadFooters())
            return shut;
        const bool fromOption = given.has_value();
        for (int attempt = 1;; ++attempt) {
            App::Secret password;
            if (given) {
                password = std::move(*given);
                given.reset();
            } else {
                std::optional<App::Secret> typed = m_t.in.Secret("Password: ");
                if (!typed) {
                    m_t.err << kProgram << ": no password was given\n";
                    return ExitStatus::NoInput;
                }
                password = std::move(*typed);
            }
            // The footers again before every try: a refused try leaves nothing behind.
            if (attempt > 1)
                if (auto shut = ReadFooters())
                    return shut;
            const UnlockResult result = m_runner.SetPassword(password.c_str());
            password.Clear();
            if (result == UnlockResult::Wrong) {
                m_t.err << kProgram << ": " << App::Text(App::StringId::WrongPassword) << "\n";
                // Only a person at a terminal can type another.
                if (fromOption || !m_t.in.Terminal() || attempt >= kTries)
                    return ExitStatus::Failed;
                continue;
            }
            if (result == UnlockResult::MoreAdmins)
                return AskAdministrators();
            return Outcome(result);
        }
    }

  private:
    std::optional<ExitStatus> Fail(const std::string& why) {
        m_t.err << kProgram << ": " << App::EscapeControls(m_file) << ": "
                << App::EscapeControls(why) << "\n";
        return ExitStatus::Failed;
    }

    std::optional<ExitStatus> ReadFooters() {
        try {
            m_runner.ClearPassword();
        } catch (const std::exception& e) {
            return Corrupt(e.what());
        }
        return std::nullopt;
    }

    std::optional<ExitStatus> Corrupt(const std::string& reason) {
        return Fail(std::string(App::Text(App::StringId::CorruptInput)) +
                    (reason.empty() ? std::string() : " (" + reason + ")"));
    }

    std::optional<ExitStatus> Outcome(UnlockResult result) {
        switch (result) {
            case UnlockResult::Unlocked:
                return std::nullopt;
            case UnlockResult::Cancelled:
                m_t.err << kProgram << ": cancelled\n";
                return ExitStatus::Cancelled;
            case UnlockResult::KeyFileUnusable:
                return Fail(App::Text(App::StringId::AdministratorKeyError));
            default: {
                // Failed, or Nothing: a container without a way in is damaged, not open.
                const auto* decryptor =
                    dynamic_cast<const FCryptEng::FileDecryptor*>(&m_runner.Cryptor());
                return Corrupt(decryptor ? decryptor->UnlockFailure() : std::string());
            }
        }
    }

    // An administrator accepted: the others each type their own password, told how many are
    // still needed (one is accepted per password, as on the decryption pages).
    std::optional<ExitStatus> AskAdministrators() {
        std::size_t needed = 0, accepted = 1;
        const FCryptEng::ContainerInfo info =
            FCryptEng::ContainerInfo::OfKeyFooter(m_runner.Cryptor().Keys());
        if (info.administrators)
            needed = info.administrators->Needed();
        for (int wrong = 0;;) {
            const std::size_t more = needed > accepted ? needed - accepted : 0;
            std::optional<App::Secret> entered =
                m_t.dialogs.AskAdministratorPassword(App::RunQuestions::StillNeededText(more));
            if (!entered) {
                m_t.err << kProgram << ": cancelled\n";
                return ExitStatus::Cancelled;
            }
            const UnlockResult result = m_runner.SetPassword(entered->c_str());
            entered->Clear();
            if (result == UnlockResult::MoreAdmins) {
                ++accepted;
                continue;
            }
            if (result == UnlockResult::Wrong) {
                m_t.err << kProgram << ": " << App::Text(App::StringId::WrongPassword) << "\n";
                if (!m_t.in.Terminal() || ++wrong >= kTries)
                    return ExitStatus::Failed;
                continue;
            }
            return Outcome(result);
        }
    }

    const CheckTerminal& m_t;
    App::OperationRunner& m_runner;
    const std::string& m_file;
};

ExitStatus List(const CheckTerminal& t, const FCryptEng::DirFooter& directory) {
    std::size_t width = 1;
    for (std::size_t i = 0; const FCryptEng::DirEntry* e = directory.GetEntry(i); ++i)
        width = std::max(width, std::to_string(e->OriginalSize()).size());
    for (std::size_t i = 0; const FCryptEng::DirEntry* e = directory.GetEntry(i); ++i)
        t.out << ListingLine(*e, width) << "\n";
    t.out << std::flush;
    return ExitStatus::Success;
}

std::atomic<bool> g_interrupted{false};

// The progress of a test: one line redrawn on a terminal; elsewhere a plain line a second.
class TestProgress {
  public:
    explicit TestProgress(const CheckTerminal& t) : m_t(t) {}

    void Draw(const FCryptEng::OperationStatus& s, std::uint64_t nowMs) {
        const std::uint32_t percent = std::min<std::uint32_t>(OS::Load(s.overallPercent), 100);
        const char* name = s.itemName.load(std::memory_order_relaxed);
        const std::string item = name ? App::CompactPath(Shown(name), 40) : std::string();
        if (m_t.outTerminal) {
            m_t.out << "\r\033[2KTesting " << App::Bar(percent, 20) << " " << percent << "% "
                    << item << std::flush;
            m_drawn = true;
        } else if (name && nowMs >= m_lastPlain + 1000) {
            // A transcript gets a line a second at most, and none for a test over at once.
            m_t.out << "Testing: " << percent << "% " << item << "\n" << std::flush;
            m_lastPlain = nowMs;
        }
    }

    // The redrawn line makes room for what follows.
    void Done() {
        if (m_drawn)
            m_t.out << "\r\033[2K" << std::flush;
        m_drawn = false;
    }

  private:
    const CheckTerminal& m_t;
    bool m_drawn = false;
    std::uint64_t m_lastPlain = 0;
};

ExitStatus Test(const CheckTerminal& t, App::OperationRunner& runner, const std::string& file) {
    auto* decryptor = dynamic_cast<FCryptEng::FileDecryptor*>(&runner.Cryptor());
    if (!decryptor)
        throw std::logic_error("--test needs the decrypting engine");
    FCryptEng::OperationStatus& status = runner.Record();
    std::vector<FCryptEng::FileDecryptor::Damage> damaged;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            damaged = decryptor->Test();
        } catch (...) {
            failure = std::current_exception();
        }
        done.store(true);
    });
    {
        // Ctrl+C stops the test at its next block; nothing needs undoing.
        g_interrupted.store(false);
        App::SigintScope sigint([](int) { g_interrupted.store(true); });
        TestProgress progress(t);
        const auto start = std::chrono::steady_clock::now();
        while (!done.load()) {
            if (g_interrupted.load())
                status.Cancel();
            const auto now = std::chrono::steady_clock::now();
            progress.Draw(
                status,
                std::uint64_t(
                    std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count()));
            for (int i = 0; i < 20 && !done.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        worker.join();
        progress.Done();
    }

    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const CryptoP2::ProgressFilter::OperationTerminated&) {
            t.err << kProgram << ": cancelled\n";
            return ExitStatus::Cancelled;
        } catch (const std::exception& e) {
            t.err << kProgram << ": " << App::EscapeControls(file) << ": "
                  << App::EscapeControls(e.what()) << "\n";
            return ExitStatus::Failed;
        }
    }
    const std::uint32_t files = OS::Load(status.fileCount);
    if (damaged.empty()) {
        if (files == 0)
            t.out << "No file is stored; the directory is intact.\n";
        else if (files == 1)
            t.out << "The 1 file is intact.\n";
        else
            t.out << "All " << files << " files are intact.\n";
        t.out << std::flush;
        return ExitStatus::Success;
    }
    t.out << std::flush;
    for (const auto& d : damaged)
        t.err << kProgram << ": " << Shown(d.name) << ": " << App::EscapeControls(d.reason) << "\n";
    t.err << kProgram << ": " << damaged.size() << " of " << files
          << (files == 1 ? " file" : " files") << (damaged.size() == 1 ? " is" : " are")
          << " damaged\n";
    return ExitStatus::Failed;
}

}  // namespace

std::string AttributeLetters(std::uint32_t attributes) {
    struct Letter {
        std::uint32_t bit;
        char letter;
    };
    static constexpr Letter kLetters[] = {{OS::ATTR_DIRECTORY, 'd'},
                                          {OS::ATTR_READONLY, 'r'},
                                          {OS::ATTR_HIDDEN, 'h'},
                                          {OS::ATTR_SYSTEM, 's'},
                                          {OS::ATTR_ARCHIVE, 'a'}};
    std::string out;
    for (const Letter& l : kLetters)
        out += (attributes & l.bit) ? l.letter : '-';
    return out;
}

std::string ListingLine(const FCryptEng::DirEntry& e, std::size_t sizeWidth) {
    std::string size = std::to_string(e.IsDir() ? 0 : e.OriginalSize());
    if (size.size() < sizeWidth)
        size.insert(0, sizeWidth - size.size(), ' ');
    std::string storage = e.IsDir() ? "-" : e.Compress() ? "compressed" : "stored";
    storage.resize(10, ' ');
    // Local time, as tar shows it; a stored time no calendar holds is shown as unknown.
    std::string when = "\?\?\?\?-\?\?-\?\? \?\?:\?\?";
    std::timespec ts{};
    std::tm local{};
    if (e.ModTime().ToTimespec(ts) && localtime_r(&ts.tv_sec, &local)) {
        char text[32];
        if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) != 0)
            when = text;
    }
    std::string path = Slashed(e.Name());
    if (e.IsDir() && (path.empty() || path.back() != '/'))
        path += '/';
    return AttributeLetters(e.Attributes()) + " " + size + " " + storage + " " + when + " " +
           App::EscapeControls(path);
}

std::optional<ExitStatus> RunCheckCommand(const App::Arguments& args, const CheckTerminal& t) {
    std::optional<Request> request;
    if (const auto refused = Parse(args, t.err, request))
        return refused;
    if (!request)
        return std::nullopt;
    if (request->help) {
        t.out << HelpText();
        return ExitStatus::Success;
    }
    const VerboseScope verbose(request->verbose, t.err);
    std::optional<App::Secret> password;
    if (request->passwordOption)
        if (const auto refused = ReadOptionPassword(*request, t.err, password))
            return refused;

    App::OperationRunner runner(t.dialogs);
    Opener opener(t, runner, request->file);
    if (const auto shut = opener.Open(std::move(password)))
        return shut;
    if (request->check == Check::List)
        return List(t, runner.Cryptor().Directory());
    return Test(t, runner, request->file);
}

}  // namespace Text
