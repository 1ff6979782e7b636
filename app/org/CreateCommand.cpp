#include <optional>

#include "app/org/Commands.h"
#include "app/org/Common.h"
#include "os/File.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

std::string CreateCommand::Usage() const {
    return "create --name NAME [--recovery on|off] [--folder all-users|program]\n"
           "       [--output PATH] [--password-fd N | --password-file PATH] [--force]";
}

std::string CreateCommand::Description() const {
    return "    Makes a new organisation key pair, seals its private key under the\n"
           "    organisation password and writes the record, signed with that key pair.\n"
           "    The sealed private key goes to \"Organisation Key.bin\" beside the record,\n"
           "    readable by root and the first of the groups sudo, wheel, admin when root\n"
           "    writes it (by its owner only otherwise); every user reads the record.\n"
           "    The password is asked twice on the terminal, without echo, or read as one\n"
           "    line from standard input, descriptor N or the file (for scripts). It must\n"
           "    have " +
           std::to_string(Organisation::kMinPasswordLength) + " to " +
           std::to_string(Organisation::kMaxPasswordLength) +
           " characters: the preferences' password box takes no more.\n"
           "    --recovery   whether data recovery applies to the organisation's users\n"
           "                 (default on)\n"
           "    --folder     which folder holds \"Data Recovery.bin\": the all-users folder\n"
           "                 (default) or the program folder\n"
           "    --output     where to write the record (default PATH below)\n"
           "    --force      replace an existing record; every \"Data Recovery.bin\" signed\n"
           "                 with the old key then fails its check\n";
}

ExitStatus CreateCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::optional<std::string> name;
    bool recovery = true;
    bool programFolder = false;
    std::string output = DefaultRecordPath();
    PasswordSource source;
    bool force = false;
    while (!args.Done()) {
        std::string value;
        if (args.Option("--name", value)) {
            name = value;
        } else if (args.Option("--recovery", value)) {
            if (value != "on" && value != "off")
                throw Failure(ExitStatus::InvalidCommandLine,
                              "--recovery takes on or off, not '" + value + "'");
            recovery = value == "on";
        } else if (args.Option("--folder", value)) {
            if (value != "all-users" && value != "program")
                throw Failure(ExitStatus::InvalidCommandLine,
                              "--folder takes all-users or program, not '" + value + "'");
            programFolder = value == "program";
        } else if (args.Option("--output", value)) {
            output = value;
        } else if (source.Take(args)) {
        } else if (args.Flag("--force")) {
            force = true;
        } else {
            args.Unexpected();
        }
    }
    if (!name)
        throw Failure(ExitStatus::InvalidCommandLine, "create needs --name NAME",
                      "see cryvan-org --help");
    if (!Organisation::ValidName(*name))
        throw Failure(ExitStatus::InvalidCommandLine,
                      "the organisation name must have 1 to " +
                          std::to_string(Organisation::kMaxNameLength) +
                          " bytes and no control characters");
    if (output.empty() || output.back() == '/')
        throw Failure(ExitStatus::InvalidCommandLine, "--output must name a file");
    try {
        if (!force && OS::File::Info(output, true).Exists())
            throw Failure(ExitStatus::Failed, output + " already exists",
                          "--force replaces it; containers' recovery signed with the old key "
                          "then stops checking");
    } catch (const OS::File::Error& e) {
        FileFailure("examine", output, e);
    }

    const App::Secret password = source.Read(io, true);
    Organisation record;
    record.Create(*name, password.c_str(), recovery, programFolder);
    const std::string keyLine = Save(record, output);
    io.out << "Wrote " << output << "\n"
           << keyLine << "Key fingerprint: " << record.Fingerprint() << "\n";
    return ExitStatus::Success;
}

}  // namespace Org
