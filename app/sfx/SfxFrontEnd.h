// The self-decrypting container's flow on a terminal: the password, the destination folder, a
// progress bar with "Run as background task" and Cancel, the outcome and, when asked for, the
// deletion of its own file. Without a person at the terminal every question takes its safe
// answer, so nothing waits for input that will never come.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/console/LineInput.h"
#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"

namespace Sfx {

// `args` without the program's name; `self` the program's own file (nullopt-free: the caller
// reports a missing one). Returns the exit status.
App::ExitStatus RunFrontEnd(const App::Arguments& args, const std::string& self,
                            App::LineInput& input, std::ostream& out);
// The same with failures, warnings and --verbose lines on `err`.
App::ExitStatus RunFrontEnd(const App::Arguments& args, const std::string& self,
                            App::LineInput& input, std::ostream& out, std::ostream& err);

// Ctrl+C while a run goes: the Cancel button at the next turn. Async-signal-safe.
void RequestCancel();

}  // namespace Sfx
