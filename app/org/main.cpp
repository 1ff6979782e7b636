// cryvan-org: the organisation's tool. Creates and shows the organisation record
// ("Organisation.bin") and checks a data-recovery configuration ("Data Recovery.bin") against
// it. Exit codes are fixed; see Usage().
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cryptopp/secblock.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/config/Folders.h"
#include "app/core/Secrets.h"
#include "app/core/StandardDescriptors.h"
#include "format/CryptorCallback.h"
#include "format/KeyPair.h"
#include "os/Errors.h"
#include "os/File.h"
#include "os/User.h"
#include "recovery/AdminRecovery.h"
#include "recovery/Organisation.h"
#include "recovery/Signed.h"

namespace {

using FCryptEng::Organisation;

enum Exit : int {
    kOk = 0,
    kInvalid = 1,
    kUsage = 2,
    kFileError = 3,
    kPasswordError = 4,
};

// Reported as "error: <text>" (and "hint: <hint>") with its exit code.
struct Failure {
    int code;
    std::string text;
    std::string hint;
};

std::string DefaultRecordPath() {
    return App::AllUsersFolder() + Organisation::kFileName;
}

void Usage(std::ostream& out) {
    out << "Usage: cryvan-org COMMAND [OPTIONS]\n"
           "\n"
           "Creates and inspects Cryvan's organisation record (\"Organisation.bin\"), and checks\n"
           "an organisation's data-recovery configuration (\"Data Recovery.bin\") against it.\n"
           "\n"
           "Commands:\n"
           "  create --name NAME [--recovery on|off] [--folder all-users|program]\n"
           "         [--output PATH] [--password-fd N] [--force]\n"
           "      Makes a new organisation key pair, seals its private key under the\n"
           "      organisation password and writes the record, signed with that key pair.\n"
           "      The sealed private key goes to \"Organisation Key.bin\" beside the record,\n"
           "      readable by root and the first of the groups sudo, wheel, admin when root\n"
           "      writes it (by its owner only otherwise); every user reads the record.\n"
           "      The password is asked twice on the terminal, without echo, or read as one\n"
           "      line from file descriptor N (for scripts). It must have "
        << Organisation::kMinPasswordLength << " to " << Organisation::kMaxPasswordLength
        << "\n"
           "      characters: the preferences' password box takes no more.\n"
           "      --recovery   whether data recovery applies to the organisation's users\n"
           "                   (default on)\n"
           "      --folder     which folder holds \"Data Recovery.bin\": the all-users folder\n"
           "                   (default) or the program folder\n"
           "      --output     where to write the record (default PATH below)\n"
           "      --force      replace an existing record; every \"Data Recovery.bin\" signed\n"
           "                   with the old key then fails its check\n"
           "  show [PATH]\n"
           "      Prints the record's name, flags, the folder of \"Data Recovery.bin\", the key\n"
           "      fingerprint (SHA-256 of the public key's DER encoding) and whether the\n"
           "      record's signature is valid.\n"
           "  protect-key [PATH] [--password-fd N]\n"
           "      Moves the private key of a record made by an earlier version, which keeps it\n"
           "      inside the record where every user can read it, to the key file above, and\n"
           "      signs the record again (the organisation password is asked once). The key\n"
           "      pair stays the same: \"Data Recovery.bin\" files keep their signature.\n"
           "  verify [--org PATH] DATA_RECOVERY_PATH\n"
           "      Checks the signature of \"Data Recovery.bin\" with the organisation's public\n"
           "      key and prints N, K, whether emergency passwords are permitted, and the\n"
           "      administrators' names.\n"
           "  help, --help, -h\n"
           "      This text.\n"
           "\n"
           "PATH defaults to "
        << DefaultRecordPath()
        << "\n"
           "(\"Organisation.bin\" in the all-users folder: Tenvik-Labs/Cryvan/ under the first of\n"
           "$XDG_CONFIG_DIRS, default /etc/xdg). Cryvan looks for the record there, then in its\n"
           "program folder; without one, data recovery does not apply, and a record that does\n"
           "not open or check makes the data-recovery settings invalid.\n"
           "\n"
           "Exit codes:\n"
           "  0  success\n"
           "  1  verification failed, or the record is invalid\n"
           "  2  usage error\n"
           "  3  file or I/O error\n"
           "  4  wrong or mismatched password\n";
}

// --- Passwords --------------------------------------------------------------------------

using App::Secret;

Secret NewSecret() {
    // One byte of room beyond the longest password, to tell a line that is too long.
    return Secret(Organisation::kMaxPasswordLength + 1);
}

// Reads up to a line feed or the end into `out`; false on a read error. A line longer than the
// room is marked too long and the rest of it is consumed.
bool ReadLine(int fd, Secret& out, bool& sawAnything, bool& tooLong) {
    out.Clear();
    sawAnything = false;
    tooLong = false;
    for (;;) {
        char c;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0 || c == '\n')
            break;
        sawAnything = true;
        if (!out.push_back(c))
            tooLong = true;
        c = 0;
    }
    if (!out.empty() && out.View().back() == '\r')
        out.pop_back();
    if (out.View().find('\0') != std::string_view::npos)
        tooLong = true;  // an embedded NUL would cut the password short
    return true;
}

// Echo comes back however the program ends, a signal included.
int g_ttyFd = -1;
termios g_savedTty;
volatile std::sig_atomic_t g_echoOff = 0;

void RestoreEcho() {
    if (g_echoOff) {
        tcsetattr(g_ttyFd, TCSAFLUSH, &g_savedTty);
        g_echoOff = 0;
    }
}

extern "C" void OnSignal(int sig) {
    RestoreEcho();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

class Terminal {
  public:
    Terminal() : m_fd(open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {}
    ~Terminal() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    bool IsOpen() const { return m_fd >= 0; }

    bool AskHidden(const char* prompt, Secret& out) {
        Write(prompt);
        if (tcgetattr(m_fd, &g_savedTty) != 0)
            return false;
        termios quiet = g_savedTty;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        g_ttyFd = m_fd;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP})
            std::signal(sig, OnSignal);
        g_echoOff = 1;
        if (tcsetattr(m_fd, TCSAFLUSH, &quiet) != 0) {
            g_echoOff = 0;
            return false;
        }
        bool any = false, tooLong = false;
        const bool ok = ReadLine(m_fd, out, any, tooLong);
        RestoreEcho();
        return ok && !tooLong;
    }

  private:
    void Write(const char* text) {
        const std::size_t length = std::strlen(text);
        [[maybe_unused]] const ssize_t ignored = write(m_fd, text, length);
    }
    int m_fd;
};

void CheckLength(const Secret& password) {
    if (password.size() < Organisation::kMinPasswordLength ||
        password.size() > Organisation::kMaxPasswordLength)
        throw Failure{kPasswordError,
                      "the organisation password must have " +
                          std::to_string(Organisation::kMinPasswordLength) + " to " +
                          std::to_string(Organisation::kMaxPasswordLength) + " characters",
                      ""};
}

// Reads the password once, from the descriptor or the terminal. False: a terminal was used and
// the caller may ask again to confirm.
bool ReadPassword(std::optional<int> fd, Secret& password, Terminal& tty) {
    if (fd) {
        bool any = false, tooLong = false;
        if (!ReadLine(*fd, password, any, tooLong))
            throw Failure{kFileError,
                          "cannot read the password from file descriptor " + std::to_string(*fd),
                          "is the descriptor open for reading?"};
        if (tooLong)
            throw Failure{kPasswordError, "the password line is too long or holds a NUL byte", ""};
        CheckLength(password);
        return true;
    }
    if (!tty.IsOpen())
        throw Failure{kUsage, "no terminal to ask for the organisation password",
                      "give it on a file descriptor with --password-fd N"};
    if (!tty.AskHidden("Organisation password: ", password))
        throw Failure{kPasswordError, "could not read the password from the terminal", ""};
    CheckLength(password);
    return false;
}

void NewPassword(std::optional<int> fd, Secret& password) {
    Terminal tty;
    if (ReadPassword(fd, password, tty))
        return;
    Secret again = NewSecret();
    if (!tty.AskHidden("Repeat the organisation password: ", again))
        throw Failure{kPasswordError, "could not read the password from the terminal", ""};
    if (!(again == password))
        throw Failure{kPasswordError, "the two passwords do not match", ""};
}

// --- Arguments ----------------------------------------------------------------------------

class Args {
  public:
    Args(int argc, char** argv, int first) : m_args(argv + first, argv + argc) {}

    // "--name VALUE" or "--name=VALUE"; false when the next argument is no such option.
    bool Option(const std::string& name, std::string& value) {
        if (m_pos >= m_args.size())
            return false;
        const std::string& arg = m_args[m_pos];
        if (arg == name) {
            if (m_pos + 1 >= m_args.size())
                throw Failure{kUsage, name + " needs a value", "see cryvan-org --help"};
            value = m_args[m_pos + 1];
            m_pos += 2;
            return true;
        }
        if (arg.compare(0, name.size() + 1, name + "=") == 0) {
            value = arg.substr(name.size() + 1);
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Flag(const std::string& name) {
        if (m_pos < m_args.size() && m_args[m_pos] == name) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Done() const { return m_pos >= m_args.size(); }
    const std::string& Peek() const { return m_args[m_pos]; }
    std::string Take() { return m_args[m_pos++]; }

  private:
    std::vector<std::string> m_args;
    std::size_t m_pos = 0;
};

[[noreturn]] void Unexpected(const std::string& arg) {
    throw Failure{kUsage, "unexpected argument '" + arg + "'", "see cryvan-org --help"};
}

bool OnOff(const std::string& value) {
    if (value == "on")
        return true;
    if (value == "off")
        return false;
    throw Failure{kUsage, "--recovery takes on or off, not '" + value + "'", ""};
}

int ParseFd(const std::string& value) {
    char* end = nullptr;
    errno = 0;
    const long fd = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || fd < 0 || fd > 1048576)
        throw Failure{kUsage, "--password-fd takes a file descriptor number, not '" + value + "'",
                      ""};
    return static_cast<int>(fd);
}

// --- File errors ----------------------------------------------------------------------------

[[noreturn]] void FileFailure(const std::string& doing, const std::string& path,
                              const std::exception& e, const std::string& hint = "") {
    throw Failure{kFileError, "cannot " + doing + " " + path + ": " + e.what(), hint};
}

Organisation OpenRecord(const std::string& path) {
    Organisation record;
    try {
        record.Open(path);
    } catch (const OS::SystemError& e) {
        FileFailure("read", path, e);
    } catch (const std::exception& e) {
        throw Failure{kInvalid, path + " is not a valid organisation record (" + e.what() + ")",
                      ""};
    }
    return record;
}

// Who can read the key file, in words.
std::string KeyReaders(const std::string& keyPath) {
    struct stat st {};
    if (lstat(keyPath.c_str(), &st) != 0)
        return "missing";
    std::string readers = st.st_uid == 0 ? "root" : "its owner";
    if (st.st_mode & S_IRGRP) {
        const group* g = getgrgid(st.st_gid);
        readers += ", group " + (g ? std::string(g->gr_name) : std::to_string(st.st_gid));
    }
    if (st.st_mode & S_IROTH)
        readers = "EVERY USER";
    return "readable by " + readers;
}

// Writes the record and its key file, lets the administrators' group read the key file when
// root writes it, and says where the key is.
std::string Save(const Organisation& record, const std::string& output) {
    const std::string keyPath = Organisation::KeyFileFor(output);
    try {
        record.SaveAs(output);
        const std::string group = OS::ShareWithAdministrators(keyPath);
        return "Private key: " + keyPath + " (" +
               (group.empty() ? KeyReaders(keyPath) : "readable by root, group " + group) + ")\n";
    } catch (const OS::SystemError& e) {
        FileFailure("write", output, e,
                    "the all-users folder is writable only by root: run with sudo, or write "
                    "elsewhere with --output");
    }
}

// --- Commands -----------------------------------------------------------------------------

int Create(Args& args) {
    std::optional<std::string> name;
    bool recovery = true;
    bool programFolder = false;
    std::string output = DefaultRecordPath();
    std::optional<int> fd;
    bool force = false;
    while (!args.Done()) {
        std::string value;
        if (args.Option("--name", value)) {
            name = value;
        } else if (args.Option("--recovery", value)) {
            recovery = OnOff(value);
        } else if (args.Option("--folder", value)) {
            if (value != "all-users" && value != "program")
                throw Failure{kUsage, "--folder takes all-users or program, not '" + value + "'",
                              ""};
            programFolder = value == "program";
        } else if (args.Option("--output", value)) {
            output = value;
        } else if (args.Option("--password-fd", value)) {
            fd = ParseFd(value);
        } else if (args.Flag("--force")) {
            force = true;
        } else {
            Unexpected(args.Peek());
        }
    }
    if (!name)
        throw Failure{kUsage, "create needs --name NAME", "see cryvan-org --help"};
    if (!Organisation::ValidName(*name))
        throw Failure{kUsage,
                      "the organisation name must have 1 to " +
                          std::to_string(Organisation::kMaxNameLength) +
                          " bytes and no control characters",
                      ""};
    if (output.empty() || output.back() == '/')
        throw Failure{kUsage, "--output must name a file", ""};
    try {
        if (!force && OS::File::Info(output, true).Exists())
            throw Failure{kFileError, output + " already exists",
                          "--force replaces it; containers' recovery signed with the old key "
                          "then stops checking"};
    } catch (const OS::File::Error& e) {
        FileFailure("examine", output, e);
    }

    Secret password = NewSecret();
    NewPassword(fd, password);

    Organisation record;
    record.Create(*name, password.c_str(), recovery, programFolder);
    const std::string keyLine = Save(record, output);
    std::cout << "Wrote " << output << "\n"
              << keyLine << "Key fingerprint: " << record.Fingerprint() << "\n";
    return kOk;
}

int Show(Args& args) {
    std::string path = DefaultRecordPath();
    if (!args.Done() && args.Peek().compare(0, 2, "--") != 0)
        path = args.Take();
    if (!args.Done())
        Unexpected(args.Peek());
    const Organisation record = OpenRecord(path);
    const App::Folders folders = App::Folders::FromEnvironment();
    const std::string& folder = record.ProgramFolder() ? folders.program : folders.allUsers;
    const bool valid = record.Check();
    std::cout << "Record:           " << path << "\n"
              << "Organisation:     " << record.Name() << "\n"
              << "Data recovery:    " << (record.RecoveryApplies() ? "applies" : "does not apply")
              << "\n"
              << "Recovery folder:  " << (record.ProgramFolder() ? "program" : "all-users") << " ("
              << (folder.empty() ? "unavailable" : folder) << ")\n"
              << "Flags:            0x" << std::hex << unsigned(record.Flags()) << std::dec << "\n"
              << "Key fingerprint:  " << record.Fingerprint() << "\n"
              << "Private key:      "
              << (record.Version() == Organisation::kVersionWithKey
                      ? "inside the record, readable by every user who can read it"
                      : Organisation::KeyFileFor(path) + " (" +
                            KeyReaders(Organisation::KeyFileFor(path)) + ")")
              << "\n"
              << "Signature:        " << (valid ? "valid" : "INVALID") << "\n";
    if (record.Version() == Organisation::kVersionWithKey)
        std::cerr << "hint: cryvan-org protect-key " << path
                  << " moves the private key to a file only administrators can read\n";
    if (!valid)
        throw Failure{kInvalid, "the record's signature does not verify",
                      "the record was altered or damaged; replace it with the original"};
    return kOk;
}

int Verify(Args& args) {
    std::string orgPath = DefaultRecordPath();
    std::optional<std::string> recoveryPath;
    while (!args.Done()) {
        std::string value;
        if (args.Option("--org", value))
            orgPath = value;
        else if (!recoveryPath && args.Peek().compare(0, 2, "--") != 0)
            recoveryPath = args.Take();
        else
            Unexpected(args.Peek());
    }
    if (!recoveryPath)
        throw Failure{kUsage, "verify needs the path of \"Data Recovery.bin\"",
                      "see cryvan-org --help"};
    const Organisation record = OpenRecord(orgPath);
    if (!record.Check())
        throw Failure{kInvalid, "the organisation record " + orgPath + " fails its own signature",
                      "cryvan-org show " + orgPath};

    // Verification asks no questions: key files are only read when a container is opened.
    FCryptEng::SilentCallback callback;
    FCryptEng::AdminRecovery config(&callback);
    try {
        config.Open(*recoveryPath);
    } catch (const OS::SystemError& e) {
        FileFailure("read", *recoveryPath, e);
    } catch (const std::exception& e) {
        throw Failure{kInvalid,
                      *recoveryPath + " is not a valid data-recovery file (" + e.what() + ")", ""};
    }
    const bool valid = config.CheckSignature(record.Keys());
    std::cout << "Organisation:     " << record.Name() << "\n"
              << "Data recovery:    " << *recoveryPath << "\n"
              << "Signature:        " << (valid ? "valid" : "INVALID") << "\n"
              << "Administrators:   N = " << config.GetN() << ", K = " << config.GetK() << "\n"
              << "Emergency passwords permitted: " << (config.GetPermitEP() ? "yes" : "no") << "\n";
    for (std::uint16_t i = 0; i < config.GetN(); ++i)
        std::cout << "  " << config.GetName(i).value_or("") << "\n";
    if (!valid)
        throw Failure{kInvalid, "\"Data Recovery.bin\" is not signed by this organisation's key",
                      "it was altered, or signed for another organisation record"};
    return kOk;
}

int ProtectKey(Args& args) {
    std::string path = DefaultRecordPath();
    std::optional<int> fd;
    while (!args.Done()) {
        std::string value;
        if (args.Option("--password-fd", value))
            fd = ParseFd(value);
        else if (args.Peek().compare(0, 2, "--") != 0)
            path = args.Take();
        else
            Unexpected(args.Peek());
    }
    Organisation record = OpenRecord(path);
    if (!record.Check())
        throw Failure{kInvalid, "the organisation record " + path + " fails its own signature",
                      "cryvan-org show " + path};
    if (record.Version() != Organisation::kVersionWithKey) {
        std::cout << "The private key is already in " << Organisation::KeyFileFor(path) << "\n";
        return kOk;
    }
    // The record is signed again, so the password must open the key it holds.
    Secret password = NewSecret();
    Terminal tty;
    ReadPassword(fd, password, tty);
    const std::optional<FCryptEng::KeyPair> keys = record.OpenKey(password.c_str());
    if (!keys)
        throw Failure{kPasswordError, "the organisation password is wrong", ""};
    record.SeparateKey();
    record.Sign(*keys);
    const std::string keyLine = Save(record, path);
    std::cout << "Rewrote " << path << " without its private key\n" << keyLine;
    return kOk;
}

int Run(int argc, char** argv) {
    if (argc < 2)
        throw Failure{kUsage, "no command given", "see cryvan-org --help"};
    const std::string command = argv[1];
    Args args(argc, argv, 2);
    if (command == "help" || command == "--help" || command == "-h") {
        Usage(std::cout);
        return kOk;
    }
    if (command == "create")
        return Create(args);
    if (command == "show")
        return Show(args);
    if (command == "verify")
        return Verify(args);
    if (command == "protect-key")
        return ProtectKey(args);
    throw Failure{kUsage, "unknown command '" + command + "'", "see cryvan-org --help"};
}

}  // namespace

int main(int argc, char** argv) {
    App::OpenClosedStandardDescriptors();
    try {
        return Run(argc, argv);
    } catch (const Failure& f) {
        std::cout.flush();
        std::cerr << "error: " << f.text << "\n";
        if (!f.hint.empty())
            std::cerr << "hint: " << f.hint << "\n";
        return f.code;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "error: " << e.what() << "\n";
        return kFileError;
    }
}
