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

class Command {
  public:
    virtual ~Command() = default;
    virtual const char* Name() const = 0;
    // The command's line of the usage: "create --name NAME [...]".
    virtual std::string Usage() const = 0;
    // What it does, indented lines for --help.
    virtual std::string Description() const = 0;
    // `args` follow the command's name. Raises Failure; a result written to `io.out` may
    // come before one.
    virtual App::ExitStatus Run(const std::vector<std::string>& args, Io& io) = 0;
};

// Every command, in the order --help lists them.
std::vector<std::unique_ptr<Command>> Commands();

// The whole tool: `args` without the program's name. Failures and unexpected errors are
// reported on `io.err` and become the status.
App::ExitStatus RunTool(const std::vector<std::string>& args, Io& io);
std::string HelpText();

}  // namespace Org
