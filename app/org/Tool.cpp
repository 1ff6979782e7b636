#include <exception>

#include "app/org/Command.h"
#include "app/org/Commands.h"
#include "app/org/Common.h"

namespace Org {

using App::ExitStatus;

std::vector<std::unique_ptr<Command>> Commands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<CreateCommand>());
    commands.push_back(std::make_unique<ShowCommand>());
    commands.push_back(std::make_unique<ProtectKeyCommand>());
    commands.push_back(std::make_unique<VerifyCommand>());
    return commands;
}

std::string HelpText() {
    std::string text =
        "Usage: cryvan-org COMMAND [OPTIONS]\n"
        "\n"
        "Creates and inspects Cryvan's organisation record (\"Organisation.bin\"), and checks\n"
        "an organisation's data-recovery configuration (\"Data Recovery.bin\") against it.\n"
        "\n"
        "Commands:\n";
    for (const std::unique_ptr<Command>& command : Commands()) {
        std::string usage = command->Usage();
        for (std::size_t at = 0; (at = usage.find('\n', at)) != std::string::npos; at += 3)
            usage.insert(at + 1, "  ");
        text += "  " + usage + "\n" + command->Description();
    }
    text +=
        "  help, --help, -h\n"
        "    This text.\n"
        "\n"
        "PATH defaults to " +
        DefaultRecordPath() +
        "\n"
        "(\"Organisation.bin\" in the all-users folder: Tenvik-Labs/Cryvan/ under the first of\n"
        "$XDG_CONFIG_DIRS, default /etc/xdg). Cryvan looks for the record there, then in its\n"
        "program folder; without one, data recovery does not apply, and a record that does\n"
        "not open or check makes the data-recovery settings invalid.\n"
        "\n" +
        App::ExitStatusHelp();
    return text;
}

ExitStatus RunTool(const std::vector<std::string>& args, Io& io) {
    try {
        if (args.empty())
            throw Failure(ExitStatus::InvalidCommandLine, "no command given",
                          "see cryvan-org --help");
        const std::string& name = args[0];
        if (name == "help" || name == "--help" || name == "-h") {
            io.out << HelpText();
            return ExitStatus::Success;
        }
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const std::unique_ptr<Command>& command : Commands())
            if (name == command->Name())
                return command->Run(rest, io);
        throw Failure(ExitStatus::InvalidCommandLine, "unknown command '" + name + "'",
                      "see cryvan-org --help");
    } catch (const Failure& f) {
        io.out.flush();
        io.err << "error: " << f.what() << "\n";
        if (!f.Hint().empty())
            io.err << "hint: " << f.Hint() << "\n";
        return f.Status();
    } catch (const std::exception& e) {
        io.out.flush();
        // A file the platform could not read or write is a failure like those above.
        io.err << "error: " << e.what() << "\n";
        return IsPlatformError(e) ? ExitStatus::Failed : ExitStatus::Unexpected;
    }
}

}  // namespace Org
