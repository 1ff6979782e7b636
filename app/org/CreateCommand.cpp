#include <optional>

#include "app/org/Commands.h"
#include "app/org/Common.h"
#include "os/File.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

namespace {

// The help states the limit in words.
static_assert(Organisation::kMaxNameLength == 256, "say the new limit in --name's help");
constexpr OrgOption kName{
    "--name", "NAME", "the organisation's name: 1 to 256 bytes, no control characters", kRequired};
constexpr OrgOption kRecovery{"--recovery", "on|off",
                              "whether data recovery applies to the organisation's users "
                              "(default on)"};
constexpr OrgOption kFolder{"--folder", "all-users|program",
                            "which folder holds \"Data Recovery.bin\": the all-users folder "
                            "(default) or the program folder"};
constexpr OrgOption kOutput{
    "--output", "PATH",
    "where to write the record (by default Organisation.bin in the all-users folder)"};
constexpr OrgOption kForce{"--force", "",
                           "replace an existing record; every \"Data Recovery.bin\" signed with "
                           "the old key then fails its check"};

}  // namespace

std::string CreateCommand::Summary() const {
    return "Makes a new organisation key pair, seals its private key under the organisation "
           "password and writes the record, signed with that key pair. The sealed private key "
           "goes to \"Organisation Key.bin\" beside the record, readable by root and the first "
           "of the groups sudo, wheel, admin when root writes it (by its owner only otherwise); "
           "every user reads the record. The password is asked twice on the terminal, without "
           "echo, or read as one line from standard input, descriptor N or the file (for "
           "scripts). It must have " +
           std::to_string(Organisation::kMinPasswordLength) + " to " +
           std::to_string(Organisation::kMaxPasswordLength) +
           " characters: the preferences' password box takes no more.";
}

std::vector<OrgOption> CreateCommand::Options() const {
    return {kName, kRecovery, kFolder, kOutput, PasswordSource::kFd, PasswordSource::kFile, kForce};
}

ExitStatus CreateCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::optional<std::string> name;
    bool recovery = true;
    bool programFolder = false;
    std::string output = DefaultRecordPath();
    PasswordSource source;
    bool force = false;
    const std::vector<OrgOption> options = Options();
    while (!args.Done()) {
        std::string value;
        const OrgOption* option = args.Next(options, value);
        if (!option)
            args.Unexpected();
        if (SameOption(*option, kName))
            name = value;
        else if (SameOption(*option, kRecovery))
            recovery = value == "on";
        else if (SameOption(*option, kFolder))
            programFolder = value == "program";
        else if (SameOption(*option, kOutput))
            output = value;
        else if (SameOption(*option, kForce))
            force = true;
        else
            source.Take(*option, value);
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
