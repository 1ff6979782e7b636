// Where the terminal programs read what the user types: lines, paths and passwords (without
// echo). One implementation reads any
// stream, so that tests and scripts drive the front end; the other reads the real terminal.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "app/core/Secrets.h"

namespace App {

// Longest line kept; longer lines are cut. Room for a password is reserved once at this size.
inline constexpr std::size_t kMaxLine = 4096;

class LineInput {
  public:
    virtual ~LineInput() = default;
    // One line without its end; nullopt at the end of the input.
    virtual std::optional<std::string> Line(const std::string& prompt) = 0;
    // The same where a path is asked.
    virtual std::optional<std::string> Path(const std::string& prompt) { return Line(prompt); }
    // A password: not echoed on a terminal, read straight into wiping memory.
    virtual std::optional<App::Secret> Secret(const std::string& prompt) = 0;
    // A line typed while a run goes, waiting at most `timeoutMs`, or less when `wakeFd` (the
    // hand-over's, -1 for none) becomes readable; nullopt when no line came.
    virtual std::optional<std::string> Poll(int timeoutMs, int wakeFd = -1) = 0;
    // Whether a person can answer questions (input is a terminal).
    virtual bool Terminal() const = 0;
    // The input has ended.
    virtual bool Ended() const = 0;
};

// Reads lines from a stream; prompts go to `out`. `terminal` says whether questions may wait
// for an answer.
class StreamInput : public LineInput {
  public:
    StreamInput(std::istream& in, std::ostream& out, bool terminal)
        : m_in(in), m_out(out), m_terminal(terminal) {}

    std::optional<std::string> Line(const std::string& prompt) override;
    std::optional<App::Secret> Secret(const std::string& prompt) override;
    // A stream cannot be polled without taking lines meant for later pages: just waits.
    std::optional<std::string> Poll(int timeoutMs, int wakeFd = -1) override;
    bool Terminal() const override { return m_terminal; }
    bool Ended() const override { return m_ended; }

  private:
    std::istream& m_in;
    std::ostream& m_out;
    bool m_terminal;
    bool m_ended = false;
};

// The real terminal on file descriptor `fd` (standard input): plain lines, passwords with echo
// off, lines typed during a run polled.
class TerminalInput : public LineInput {
  public:
    explicit TerminalInput(std::ostream& out, int fd = 0);
    ~TerminalInput() override;
    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    std::optional<std::string> Line(const std::string& prompt) override;
    std::optional<std::string> Path(const std::string& prompt) override;
    std::optional<App::Secret> Secret(const std::string& prompt) override;
    std::optional<std::string> Poll(int timeoutMs, int wakeFd = -1) override;
    bool Terminal() const override { return true; }
    bool Ended() const override { return m_ended; }

  protected:
    // One prompted line; a front end with line editing replaces it.
    virtual std::optional<std::string> Edited(const std::string& prompt);
    void SetEnded() { m_ended = true; }

    std::ostream& m_out;

  private:
    std::optional<std::string> RawLine();
    // One line read a byte at a time, kept only in `text`; false at the end of the input.
    bool RawSecret(App::Secret& text);

    int m_fd;
    bool m_ended = false;
};

// Standard input as the programs read it: the real terminal when it is one, else a stream on
// which no question waits for an answer. Prompts go to `out`. The terminal program's own adds
// line editing (app/text/EditingInput.h).
std::unique_ptr<LineInput> StandardInput(std::ostream& out);

// Reads a password from a descriptor or a file: the first line, without its end.
App::Secret ReadPasswordFd(int fd);
App::Secret ReadPasswordFile(const std::string& path);

}  // namespace App
