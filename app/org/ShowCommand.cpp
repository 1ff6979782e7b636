#include "app/config/Folders.h"
#include "app/org/Commands.h"
#include "app/org/Common.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

std::string ShowCommand::Summary() const {
    return "Prints the record's name, flags, the folder of \"Data Recovery.bin\", the key "
           "fingerprint (SHA-256 of the public key's DER encoding) and whether the record's "
           "signature is valid.";
}

std::vector<OrgOption> ShowCommand::Options() const {
    return {{nullptr, "PATH", "the record (by default Organisation.bin in the all-users folder)"}};
}

ExitStatus ShowCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::string path = DefaultRecordPath();
    if (args.NextIsValue())
        path = args.Take();
    if (!args.Done())
        args.Unexpected();
    const Organisation record = OpenRecord(path);
    const App::Folders folders = App::Folders::FromEnvironment();
    const std::string& folder = record.ProgramFolder() ? folders.program : folders.allUsers;
    const bool valid = record.Check();
    io.out << "Record:           " << path << "\n"
           << "Organisation:     " << record.Name() << "\n"
           << "Data recovery:    " << (record.RecoveryApplies() ? "applies" : "does not apply")
           << "\n"
           << "Recovery folder:  " << (record.ProgramFolder() ? "program" : "all-users") << " ("
           << (folder.empty() ? "unavailable" : folder) << ")\n"
           << "Flags:            0x" << std::hex << unsigned(record.Flags()) << std::dec << "\n"
           << "Key fingerprint:  " << record.Fingerprint() << "\n"
           << "Private key:      "
           << (record.Version() == Organisation::kVersionWithKey
                   ? "inside the record, readable by every user who can read it"
                   : Organisation::KeyFileFor(path) + " (" +
                         KeyReaders(Organisation::KeyFileFor(path)) + ")")
           << "\n"
           << "Signature:        " << (valid ? "valid" : "INVALID") << "\n";
    if (record.Version() == Organisation::kVersionWithKey)
        io.err << "hint: cryvan-org protect-key " << path
               << " moves the private key to a file only administrators can read\n";
    if (!valid)
        throw Failure(ExitStatus::Failed, "the record's signature does not verify",
                      "the record was altered or damaged; replace it with the original");
    return ExitStatus::Success;
}

}  // namespace Org
