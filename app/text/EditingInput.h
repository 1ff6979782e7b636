// The terminal program's input: the plain terminal reader with line editing, history and
// file-name completion on Tab. The decrypt-only program reads plain lines instead, so that it
// needs no shared library.
#pragma once

#include <iosfwd>
#include <memory>

#include "app/console/LineInput.h"

namespace Text {

class EditingInput : public App::TerminalInput {
  public:
    explicit EditingInput(std::ostream& out, int fd = 0);

  protected:
    std::optional<std::string> Edited(const std::string& prompt) override;
};

// Standard input for the terminal program: EditingInput on a terminal, else a stream.
std::unique_ptr<App::LineInput> EditingStandardInput(std::ostream& out);

}  // namespace Text
