#include <optional>

#include "app/org/Commands.h"
#include "app/org/Common.h"
#include "format/CryptorCallback.h"
#include "recovery/AdminRecovery.h"

namespace Org {

using App::ExitStatus;
using FCryptEng::Organisation;

namespace {

constexpr OrgOption kOrg{
    "--org", "PATH",
    "the organisation record (by default Organisation.bin in the all-users folder)"};

}  // namespace

std::string VerifyCommand::Summary() const {
    return "Checks the signature of \"Data Recovery.bin\" with the organisation's public key "
           "and prints N, K, whether emergency passwords are permitted, and the "
           "administrators' names.";
}

std::vector<OrgOption> VerifyCommand::Options() const {
    return {kOrg,
            {nullptr, "DATA_RECOVERY_PATH", "the data-recovery configuration to check", kRequired}};
}

ExitStatus VerifyCommand::Run(const std::vector<std::string>& arguments, Io& io) {
    Args args(arguments);
    std::string orgPath = DefaultRecordPath();
    std::optional<std::string> recoveryPath;
    const std::vector<OrgOption> options = Options();
    while (!args.Done()) {
        std::string value;
        if (args.Next(options, value))
            orgPath = value;
        else if (!recoveryPath && args.NextIsValue())
            recoveryPath = args.Take();
        else
            args.Unexpected();
    }
    if (!recoveryPath)
        throw Failure(ExitStatus::InvalidCommandLine,
                      "verify needs the path of \"Data Recovery.bin\"", "see cryvan-org --help");
    const Organisation record = OpenRecord(orgPath);
    CheckRecord(record, orgPath);

    // Verification asks no questions: key files are only read when a container is opened.
    FCryptEng::SilentCallback callback;
    FCryptEng::AdminRecovery config(&callback);
    try {
        config.Open(*recoveryPath);
    } catch (const std::exception& e) {
        if (IsPlatformError(e))
            FileFailure("read", *recoveryPath, e);
        throw Failure(ExitStatus::Failed,
                      *recoveryPath + " is not a valid data-recovery file (" + e.what() + ")");
    }
    const bool valid = config.CheckSignature(record.Keys());
    io.out << "Organisation:     " << record.Name() << "\n"
           << "Data recovery:    " << *recoveryPath << "\n"
           << "Signature:        " << (valid ? "valid" : "INVALID") << "\n"
           << "Administrators:   N = " << config.GetN() << ", K = " << config.GetK() << "\n"
           << "Emergency passwords permitted: " << (config.GetPermitEP() ? "yes" : "no") << "\n";
    for (std::uint16_t i = 0; i < config.GetN(); ++i)
        io.out << "  " << config.GetName(i).value_or("") << "\n";
    if (!valid)
        throw Failure(ExitStatus::Failed,
                      "\"Data Recovery.bin\" is not signed by this organisation's key",
                      "it was altered, or signed for another organisation record");
    return ExitStatus::Success;
}

}  // namespace Org
