#include "app/text/EditingInput.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <ostream>

namespace Text {

EditingInput::EditingInput(std::ostream& out, int fd) : App::TerminalInput(out, fd) {
    // Tab completes file names (libedit's default for its readline interface).
    rl_readline_name = "cryvan";
}

std::optional<std::string> EditingInput::Edited(const std::string& prompt) {
    m_out << std::flush;
    std::unique_ptr<char, decltype(&std::free)> line(readline(prompt.c_str()), &std::free);
    if (!line) {
        SetEnded();
        m_out << "\n";
        return std::nullopt;
    }
    std::string text(line.get());
    if (!text.empty())
        add_history(line.get());
    return text;
}

std::unique_ptr<App::LineInput> EditingStandardInput(std::ostream& out) {
    if (isatty(STDIN_FILENO))
        return std::make_unique<EditingInput>(out, STDIN_FILENO);
    return std::make_unique<App::StreamInput>(std::cin, out, false);
}

}  // namespace Text
