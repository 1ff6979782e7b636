// cryvan --list FILE and cryvan --test FILE: a container opened with its password and read,
// never written to, with nothing written anywhere else either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "app/console/LineInput.h"
#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"
#include "app/text/TerminalDialogs.h"
#include "format/DirEntry.h"

namespace Text {

// Where a command reads and writes: the front end's own.
struct CheckTerminal {
    App::LineInput& in;
    TerminalDialogs& dialogs;  // the administrators' passwords and key files
    std::ostream& out;         // the listing, the progress and the verdict
    std::ostream& err;         // failures and damaged files
    bool outTerminal;          // progress redrawn on one line, else plain lines
};

// When the front end's options in `args` (without the program's name) ask for --list or --test,
// runs it and returns its status; nullopt when they ask for neither.
std::optional<App::ExitStatus> RunCheckCommand(const App::Arguments& args,
                                               const CheckTerminal& terminal);

// "drhsa": directory, read-only, hidden, system, archive; "-" for each one not set.
std::string AttributeLetters(std::uint32_t attributes);

// One line of the listing: attributes, plain size right-aligned to `sizeWidth`, "compressed",
// "stored" or "-" for a folder, the modification time in local time, and the stored path with
// "/" between its parts (a folder's ending in "/"), its control characters escaped.
std::string ListingLine(const FCryptEng::DirEntry& entry, std::size_t sizeWidth);

}  // namespace Text
