#include "app/console/LineInput.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <istream>
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
    if (haveTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(m_fd, TCSAFLUSH, &quiet);
    }
    std::optional<App::Secret> text(std::in_place, kMaxLine);
    if (!RawSecret(*text))
        text.reset();
    if (haveTerm)
        tcsetattr(m_fd, TCSAFLUSH, &old);
    else
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
