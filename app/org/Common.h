// What the organisation tool's commands share: their arguments, the organisation password, the
// record and its key file on disk.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/core/Secrets.h"
#include "app/org/Command.h"
#include "recovery/Organisation.h"

namespace Org {

// "Organisation.bin" in the all-users folder.
std::string DefaultRecordPath();

// The command's arguments, read front to back.
class Args {
  public:
    explicit Args(const std::vector<std::string>& args) : m_args(args) {}

    // The row of `options` that the next argument is ("--name VALUE", "--name=VALUE" or a flag),
    // its value in `value`; nullptr when it is none of them. A value of a row that lists its
    // words ("on|off") must be one of them.
    const OrgOption* Next(const std::vector<OrgOption>& options, std::string& value);
    bool Done() const { return m_pos >= m_args.size(); }
    const std::string& Peek() const { return m_args[m_pos]; }
    std::string Take() { return m_args[m_pos++]; }
    // The next argument is not a "--" option.
    bool NextIsValue() const { return !Done() && Peek().compare(0, 2, "--") != 0; }
    [[noreturn]] void Unexpected() const;

  private:
    // "--name VALUE" or "--name=VALUE"; false when the next argument is no such option.
    bool Option(const std::string& name, std::string& value);
    bool Flag(const std::string& name);

    const std::vector<std::string>& m_args;
    std::size_t m_pos = 0;
};

// Where the organisation password comes from: --password-fd N, --password-file PATH, else asked
// on the input.
class PasswordSource {
  public:
    static constexpr OrgOption kFd{"--password-fd", "N",
                                   "read the organisation password from descriptor N (its first "
                                   "line)",
                                   kOrNext};
    static constexpr OrgOption kFile{"--password-file", "PATH",
                                     "read the organisation password from the file's first line"};

    // Takes `value` when `option` is kFd or kFile; false when it is neither.
    bool Take(const OrgOption& option, const std::string& value);
    // The password, checked for its length. `confirm`: asked a second time when typed at a
    // terminal.
    App::Secret Read(Io& io, bool confirm) const;

  private:
    std::optional<int> m_fd;
    std::optional<std::string> m_file;
};

FCryptEng::Organisation OpenRecord(const std::string& path);
// The record's own signature, which every command that trusts it checks first.
void CheckRecord(const FCryptEng::Organisation& record, const std::string& path);
// Writes the record and its key file; the line that says where the key is.
std::string Save(const FCryptEng::Organisation& record, const std::string& output);
// Who can read the key file, in words.
std::string KeyReaders(const std::string& keyPath);
bool IsPlatformError(const std::exception& e);
[[noreturn]] void FileFailure(const std::string& doing, const std::string& path,
                              const std::exception& e, const std::string& hint = "");

}  // namespace Org
