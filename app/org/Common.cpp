#include "app/org/Common.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "app/config/Folders.h"
#include "os/Errors.h"
#include "os/File.h"
#include "os/User.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

namespace {

const char kSeeHelp[] = "see cryvan-org --help";

int ParseFd(const std::string& value) {
    char* end = nullptr;
    errno = 0;
    const long fd = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || fd < 0 || fd > 1048576)
        throw Failure(ExitStatus::InvalidCommandLine,
                      "--password-fd takes a file descriptor number, not '" + value + "'");
    return static_cast<int>(fd);
}

void CheckPassword(const App::Secret& password) {
    // c_str() hands it on: an embedded NUL would cut it short.
    if (password.View().find('\0') != std::string_view::npos)
        throw Failure(ExitStatus::Failed, "the password holds a NUL byte");
    if (password.size() < Organisation::kMinPasswordLength ||
        password.size() > Organisation::kMaxPasswordLength)
        throw Failure(ExitStatus::Failed,
                      "the organisation password must have " +
                          std::to_string(Organisation::kMinPasswordLength) + " to " +
                          std::to_string(Organisation::kMaxPasswordLength) + " characters");
}

App::Secret Ask(Io& io, const char* prompt) {
    std::optional<App::Secret> typed = io.input.Secret(prompt);
    if (!typed)
        throw Failure(ExitStatus::NoInput, "no organisation password was given",
                      "type it at the prompt, or give it with --password-fd N or "
                      "--password-file PATH");
    return std::move(*typed);
}

}  // namespace

std::string DefaultRecordPath() {
    return App::AllUsersFolder() + Organisation::kFileName;
}

bool Args::Option(const std::string& name, std::string& value) {
    if (m_pos >= m_args.size())
        return false;
    const std::string& arg = m_args[m_pos];
    if (arg == name) {
        if (m_pos + 1 >= m_args.size())
            throw Failure(ExitStatus::InvalidCommandLine, name + " needs a value", kSeeHelp);
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

const OrgOption* Args::Next(const std::vector<OrgOption>& options, std::string& value) {
    for (const OrgOption& option : options) {
        if (!option.spelling)
            continue;
        if (!*option.valueName) {
            if (Flag(option.spelling))
                return &option;
            continue;
        }
        if (!Option(option.spelling, value))
            continue;
        const std::string_view words = option.valueName;
        if (words.find('|') == std::string_view::npos)
            return &option;
        std::vector<std::string_view> allowed;
        for (std::size_t at = 0; at <= words.size();) {
            const std::size_t bar = std::min(words.find('|', at), words.size());
            allowed.push_back(words.substr(at, bar - at));
            at = bar + 1;
        }
        for (const std::string_view word : allowed)
            if (value == word)
                return &option;
        std::string listed;
        for (std::size_t i = 0; i < allowed.size(); ++i)
            listed += (i == 0                    ? ""
                       : i + 1 == allowed.size() ? " or "
                                                 : ", ") +
                      std::string(allowed[i]);
        throw Failure(ExitStatus::InvalidCommandLine,
                      std::string(option.spelling) + " takes " + listed + ", not '" + value + "'");
    }
    return nullptr;
}

bool Args::Flag(const std::string& name) {
    if (m_pos < m_args.size() && m_args[m_pos] == name) {
        ++m_pos;
        return true;
    }
    return false;
}

void Args::Unexpected() const {
    throw Failure(ExitStatus::InvalidCommandLine, "unexpected argument '" + Peek() + "'", kSeeHelp);
}

bool PasswordSource::Take(const OrgOption& option, const std::string& value) {
    if (SameOption(option, kFd)) {
        if (m_fd || m_file)
            throw Failure(ExitStatus::InvalidCommandLine,
                          "give --password-fd or --password-file once");
        m_fd = ParseFd(value);
        return true;
    }
    if (SameOption(option, kFile)) {
        if (m_fd || m_file)
            throw Failure(ExitStatus::InvalidCommandLine,
                          "give --password-fd or --password-file once");
        m_file = value;
        return true;
    }
    return false;
}

App::Secret PasswordSource::Read(Io& io, bool confirm) const {
    if (m_fd || m_file) {
        App::Secret password(0);
        try {
            password = m_fd ? App::ReadPasswordFd(*m_fd) : App::ReadPasswordFile(*m_file);
        } catch (const std::runtime_error& e) {
            throw Failure(ExitStatus::InvalidCommandLine, e.what());
        }
        CheckPassword(password);
        return password;
    }
    App::Secret password = Ask(io, "Organisation password: ");
    CheckPassword(password);
    // Typed unseen, so typed twice; a script's line is what it is.
    if (confirm && io.input.Terminal()) {
        const App::Secret again = Ask(io, "Repeat the organisation password: ");
        if (!(again == password))
            throw Failure(ExitStatus::Failed, "the two passwords do not match");
    }
    return password;
}

bool IsPlatformError(const std::exception& e) {
    return dynamic_cast<const OS::File::Error*>(&e) ||
           dynamic_cast<const OS::PlatformError<OS::ErrorLayer::Directory>*>(&e);
}

void FileFailure(const std::string& doing, const std::string& path, const std::exception& e,
                 const std::string& hint) {
    throw Failure(ExitStatus::Failed, "cannot " + doing + " " + path + ": " + e.what(), hint);
}

Organisation OpenRecord(const std::string& path) {
    Organisation record;
    try {
        record.Open(path);
    } catch (const std::exception& e) {
        if (IsPlatformError(e))
            FileFailure("read", path, e);
        throw Failure(ExitStatus::Failed,
                      path + " is not a valid organisation record (" + e.what() + ")");
    }
    return record;
}

void CheckRecord(const Organisation& record, const std::string& path) {
    if (!record.Check())
        throw Failure(ExitStatus::Failed,
                      "the organisation record " + path + " fails its own signature",
                      "cryvan-org show " + path);
}

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

std::string Save(const Organisation& record, const std::string& output) {
    const std::string keyPath = Organisation::KeyFileFor(output);
    try {
        record.SaveAs(output);
        // The administrators' group may read the key file when root writes it.
        const std::string group = OS::ShareWithAdministrators(keyPath);
        return "Private key: " + keyPath + " (" +
               (group.empty() ? KeyReaders(keyPath) : "readable by root, group " + group) + ")\n";
    } catch (const std::exception& e) {
        if (!IsPlatformError(e))
            throw;
        FileFailure("write", output, e,
                    "the all-users folder is writable only by root: run with sudo, or write "
                    "elsewhere with --output");
    }
}

}  // namespace Org
