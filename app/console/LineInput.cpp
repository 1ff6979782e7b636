#include "app/console/LineInput.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <thread>

namespace App {

namespace {

void StripLineEnd(std::string& s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
}

// Echo comes back however the program ends while a password is typed, a signal included.
int g_echoFd = -1;
termios g_echoSaved{};
volatile std::sig_atomic_t g_echoOff = 0;

void RestoreEcho() {
    if (g_echoOff) {
        tcsetattr(g_echoFd, TCSAFLUSH, &g_echoSaved);
        g_echoOff = 0;
    }
}

extern "C" void RestoreEchoAndRaise(int sig) {
    RestoreEcho();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

constexpr int kEchoSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// Echo off on `fd` while it lives; the signals that would end the program restore it first
// (those with a handler of their own keep it).
class EchoOff {
  public:
    EchoOff(int fd, const termios& old) {
        g_echoFd = fd;
        g_echoSaved = old;
        struct sigaction sa {};
        sa.sa_handler = RestoreEchoAndRaise;
        sigemptyset(&sa.sa_mask);
        for (std::size_t i = 0; i < std::size(kEchoSignals); ++i) {
            sigaction(kEchoSignals[i], nullptr, &m_old[i]);
            m_taken[i] = m_old[i].sa_handler == SIG_DFL;
            if (m_taken[i])
                sigaction(kEchoSignals[i], &sa, nullptr);
        }
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        g_echoOff = 1;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        RestoreEcho();
        for (std::size_t i = 0; i < std::size(kEchoSignals); ++i)
            if (m_taken[i])
                sigaction(kEchoSignals[i], &m_old[i], nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    struct sigaction m_old[std::size(kEchoSignals)]{};
    bool m_taken[std::size(kEchoSignals)] = {};
};

}  // namespace

std::optional<std::string> StreamInput::Line(const std::string& prompt) {
    m_out << prompt << std::flush;
    std::string line;
    if (m_ended || !std::getline(m_in, line)) {
        m_ended = true;
        m_out << "\n";
        return std::nullopt;
    }
    StripLineEnd(line);
    // Echo what a script typed, so that the transcript reads as a session.
    if (!m_terminal)
        m_out << "\n";
    return line;
}

std::optional<App::Secret> StreamInput::Secret(const std::string& prompt) {
    m_out << prompt << std::flush;
    std::optional<App::Secret> text(std::in_place, kMaxLine);
    // A byte at a time into the reserved room: getline would grow a string.
    bool any = false;
    char c = 0;
    while (!m_ended && m_in.get(c)) {
        any = true;
        if (c == '\n')
            break;
        text->push_back(c);
    }
    c = 0;
    if (!any) {
        m_ended = true;
        m_out << "\n";
        return std::nullopt;
    }
    while (!text->empty() && text->View().back() == '\r')
        text->pop_back();
    if (!m_terminal)
        m_out << "\n";
    return text;
}

std::optional<std::string> StreamInput::Poll(int timeoutMs, int wakeFd) {
    if (wakeFd < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return std::nullopt;
    }
    pollfd p{wakeFd, POLLIN, 0};
    while (poll(&p, 1, timeoutMs) < 0 && errno == EINTR) {
    }
    return std::nullopt;
}

TerminalInput::TerminalInput(std::ostream& out, int fd) : m_out(out), m_fd(fd) {}

TerminalInput::~TerminalInput() = default;

std::optional<std::string> TerminalInput::Edited(const std::string& prompt) {
    m_out << prompt << std::flush;
    return RawLine();
}

std::optional<std::string> TerminalInput::Line(const std::string& prompt) {
    return Edited(prompt);
}

std::optional<std::string> TerminalInput::Path(const std::string& prompt) {
    return Edited(prompt);
}

bool TerminalInput::RawSecret(App::Secret& text) {
    if (!ReadSecretLine(m_fd, text)) {
        m_ended = true;
        return false;
    }
    return true;
}

std::optional<std::string> TerminalInput::RawLine() {
    App::Secret text(kMaxLine);
    if (!RawSecret(text))
        return std::nullopt;
    return std::string(text.View());
}

std::optional<App::Secret> TerminalInput::Secret(const std::string& prompt) {
    m_out << prompt << std::flush;
    termios old{};
    const bool haveTerm = tcgetattr(m_fd, &old) == 0;
    std::optional<EchoOff> echoOff;
    if (haveTerm)
        echoOff.emplace(m_fd, old);
    std::optional<App::Secret> text(std::in_place, kMaxLine);
    if (!RawSecret(*text))
        text.reset();
    if (!haveTerm)
        m_out << "\n";
    return text;
}

std::optional<std::string> TerminalInput::Poll(int timeoutMs, int wakeFd) {
    pollfd p[2] = {{m_ended ? -1 : m_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (poll(p, 2, timeoutMs) <= 0 || !(p[0].revents & (POLLIN | POLLHUP)))
        return std::nullopt;
    return RawLine();
}

std::unique_ptr<LineInput> StandardInput(std::ostream& out) {
    if (isatty(STDIN_FILENO))
        return std::make_unique<TerminalInput>(out, STDIN_FILENO);
    return std::make_unique<StreamInput>(std::cin, out, false);
}

}  // namespace App
