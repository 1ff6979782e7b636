#include <optional>

#include "app/org/Commands.h"
#include "app/org/Common.h"
#include "format/KeyPair.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

std::string ProtectKeyCommand::Usage() const {
    return "protect-key [PATH] [--password-fd N | --password-file PATH]";
}

std::string ProtectKeyCommand::Description() const {
    return "    Moves the private key of a record made by an earlier version, which keeps it\n"
           "    inside the record where every user can read it, to the key file above, and\n"
           "    signs the record again (the organisation password is asked once). The key\n"
           "    pair stays the same: \"Data Recovery.bin\" files keep their signature.\n";
}

ExitStatus ProtectKeyCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::string path = DefaultRecordPath();
    PasswordSource source;
    while (!args.Done()) {
        if (source.Take(args))
            continue;
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
