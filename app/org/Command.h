// The organisation tool's commands: each one a class behind this interface, run in process
// with the streams and the password input it is handed.
#pragma once

#include <exception>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/console/LineInput.h"
#include "app/core/ExitStatus.h"

namespace Org {

// What a command reads and writes: its results on `out`, errors and hints on `err`, passwords
// typed on `input`.
struct Io {
    std::ostream& out;
    std::ostream& err;
    App::LineInput& input;
};

// A command that cannot go on: reported as "error: <text>" (and "hint: <hint>") with its status.
class Failure : public std::exception {
  public:
    Failure(App::ExitStatus status, std::string text, std::string hint = "")
        : m_status(status), m_text(std::move(text)), m_hint(std::move(hint)) {}
    const char* what() const noexcept override { return m_text.c_str(); }
    App::ExitStatus Status() const { return m_status; }
    const std::string& Hint() const { return m_hint; }

  private:
    App::ExitStatus m_status;
    std::string m_text;
    std::string m_hint;
};

// One option of a command, or its operand: the usage line, --help, the parser, the manual page
// and the shell completions all read these, so none of them can drift from the others.
struct OrgOption {
    const char* spelling;   // "--name"; nullptr for the operand, a word that is no option
    const char* valueName;  // "NAME", "PATH", "on|off" (the only words taken); "" for a flag
    const char* help;
    unsigned flags = 0;
};

// OrgOption::flags.
inline constexpr unsigned kRequired = 1u << 0;  // shown without brackets
inline constexpr unsigned kOrNext = 1u << 1;    // "[this | the next]": one of the two

// "--name NAME", or the operand's value name.
std::string OptionSynopsis(const OrgOption& option);
// Whether two rows are the same option (the same spelling, or both the operand).
bool SameOption(const OrgOption& a, const OrgOption& b);

class Command {
  public:
    virtual ~Command() = default;
    virtual const char* Name() const = 0;
    // What it does, one paragraph unwrapped.
    virtual std::string Summary() const = 0;
    // Its options and operand, in the order of its usage line.
    virtual std::vector<OrgOption> Options() const = 0;
    // `args` follow the command's name. Raises Failure; a result written to `io.out` may
    // come before one.
    virtual App::ExitStatus Run(const std::vector<std::string>& args, Io& io) = 0;

    // The command's line of the usage, wrapped: "create --name NAME [...]".
    std::string Usage() const;
    // The summary and the options, indented lines for --help.
    std::string Description() const;
};

// Every command, in the order --help lists them.
std::vector<std::unique_ptr<Command>> Commands();

// The whole tool: `args` without the program's name. Failures and unexpected errors are
// reported on `io.err` and become the status.
App::ExitStatus RunTool(const std::vector<std::string>& args, Io& io);
std::string HelpText();

}  // namespace Org
