// The exit statuses of every program (cryvan, the decrypt-only program, cryvan-org), fixed for
// scripts: one table, printed by each program's --help and written out once in the README.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace App {

class OperationRunner;

enum class ExitStatus : int {
    Success = 0,
    InvalidCommandLine = 1,
    Failed = 2,
    Cancelled = 3,
    NoInput = 4,  // input was needed but none was available
    Unexpected = 5,
    Warnings = 6,  // finished, but something asked for could not be done
};

struct ExitStatusRow {
    ExitStatus status;
    const char* meaning;
};

inline constexpr ExitStatusRow kExitStatuses[] = {
    {ExitStatus::Success, "finished successfully"},
    {ExitStatus::InvalidCommandLine, "invalid command line"},
    {ExitStatus::Failed, "failed; standard error says why"},
    {ExitStatus::Cancelled, "cancelled"},
    {ExitStatus::NoInput, "input was needed but none was available"},
    {ExitStatus::Unexpected, "unexpected error"},
    {ExitStatus::Warnings,
     "finished, but something asked for could not be done (an input kept, a file not written or "
     "skipped for safety); standard error lists each with its reason"},
};

inline int Code(ExitStatus status) {
    return static_cast<int>(status);
}

const char* Meaning(ExitStatus status);
// The number and its meaning, for messages and test failures.
std::ostream& operator<<(std::ostream& out, ExitStatus status);

// "Exit status:" and one line per status, wrapped to `width` columns, for --help.
std::string ExitStatusHelp(std::size_t width = 80);

// The status of a run that has ended: failed, cancelled, finished with warnings or not.
ExitStatus StatusOfRun(const OperationRunner& runner);

}  // namespace App
