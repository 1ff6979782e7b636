#include "app/core/ExitStatus.h"

#include <ostream>

#include "app/core/OperationRunner.h"
#include "app/core/Options.h"

namespace App {

const char* Meaning(ExitStatus status) {
    for (const ExitStatusRow& row : kExitStatuses)
        if (row.status == status)
            return row.meaning;
    return "";
}

std::ostream& operator<<(std::ostream& out, ExitStatus status) {
    return out << Code(status) << " (" << Meaning(status) << ")";
}

std::string ExitStatusHelp(std::size_t width) {
    std::string text = "Exit status:\n";
    for (const ExitStatusRow& row : kExitStatuses)
        text += HangingIndent("  " + std::to_string(Code(row.status)), row.meaning, 5, width);
    return text;
}

ExitStatus StatusOfRun(const OperationRunner& runner) {
    if (runner.RunFailed())
        return ExitStatus::Failed;
    if (runner.RunCancelled())
        return ExitStatus::Cancelled;
    if (runner.RunWarned())
        return ExitStatus::Warnings;
    return ExitStatus::Success;
}

}  // namespace App
