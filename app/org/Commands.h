// The organisation tool's commands.
#pragma once

#include <string>
#include <vector>

#include "app/org/Command.h"

namespace Org {

// Makes a new organisation key pair and writes the record and its key file.
class CreateCommand : public Command {
  public:
    const char* Name() const override { return "create"; }
    std::string Summary() const override;
    std::vector<OrgOption> Options() const override;
    App::ExitStatus Run(const std::vector<std::string>& args, Io& io) override;
};

// Prints a record and whether its signature is valid.
class ShowCommand : public Command {
  public:
    const char* Name() const override { return "show"; }
    std::string Summary() const override;
    std::vector<OrgOption> Options() const override;
    App::ExitStatus Run(const std::vector<std::string>& args, Io& io) override;
};

// Checks "Data Recovery.bin" against the record's public key.
class VerifyCommand : public Command {
  public:
    const char* Name() const override { return "verify"; }
    std::string Summary() const override;
    std::vector<OrgOption> Options() const override;
    App::ExitStatus Run(const std::vector<std::string>& args, Io& io) override;
};

// Moves the private key of an earlier version's record out into the key file.
class ProtectKeyCommand : public Command {
  public:
    const char* Name() const override { return "protect-key"; }
    std::string Summary() const override;
    std::vector<OrgOption> Options() const override;
    App::ExitStatus Run(const std::vector<std::string>& args, Io& io) override;
};

}  // namespace Org
