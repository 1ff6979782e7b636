// The self-decrypting container's flow on Windows: one window for the password and the
// destination folder, a progress window with "Run as background task" and Cancel, the run's
// questions as message boxes and dialogs, the outcome. With -p, -o and -q nothing is asked and
// no window opens: what would have been shown goes to the console, if there is one.
#pragma once

#include <ostream>
#include <string>

#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"

namespace Sfx::Win {

// `args` without the program's name; `self` the program's own file; `console` whether `out`
// reaches a console or a file (help and usage errors go there rather than to a box).
App::ExitStatus Run(const App::Arguments& args, const std::string& self, std::ostream& out,
                    bool console);

}  // namespace Sfx::Win
