#include <optional>

#include "app/org/Commands.h"
#include "app/org/Common.h"
#include "format/KeyPair.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

std::string ProtectKeyCommand::Summary() const {
    return "Moves the private key of a record made by an earlier version, which keeps it inside "
           "the record where every user can read it, to the key file beside the record, and "
           "signs the record again (the organisation password is asked once). The key pair "
           "stays the same: \"Data Recovery.bin\" files keep their signature.";
}

std::vector<OrgOption> ProtectKeyCommand::Options() const {
    return {{nullptr, "PATH", "the record (by default Organisation.bin in the all-users folder)"},
            PasswordSource::kFd,
            PasswordSource::kFile};
}

ExitStatus ProtectKeyCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::string path = DefaultRecordPath();
    PasswordSource source;
    const std::vector<OrgOption> options = Options();
    while (!args.Done()) {
        std::string value;
        if (const OrgOption* option = args.Next(options, value)) {
            source.Take(*option, value);
            continue;
        }
        if (args.NextIsValue())
            path = args.Take();
        else
            args.Unexpected();
    }
    Organisation record = OpenRecord(path);
    CheckRecord(record, path);
    if (record.Version() != Organisation::kVersionWithKey) {
        io.out << "The private key is already in " << Organisation::KeyFileFor(path) << "\n";
        return ExitStatus::Success;
    }
    // The record is signed again, so the password must open the key it holds.
    const App::Secret password = source.Read(io, false);
    const std::optional<FCryptEng::KeyPair> keys = record.OpenKey(password.c_str());
    if (!keys)
        throw Failure(ExitStatus::Failed, "the organisation password is wrong");
    record.SeparateKey();
    record.Sign(*keys);
    const std::string keyLine = Save(record, path);
    io.out << "Rewrote " << path << " without its private key\n" << keyLine;
    return ExitStatus::Success;
}

}  // namespace Org
