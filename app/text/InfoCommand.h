// cryvan --info FILE [--json]: what a container says about its ways in, read without a password
// and matched against this user's emergency password and this machine's data-recovery
// configuration. Nothing it says is verified: only a password can check the key footer.
#pragma once

#include <ostream>
#include <string>

#include "app/config/ContainerWays.h"
#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"

namespace App {
class UserConfig;
}

namespace Text {

// The front end's options ask for --info (or --json, which belongs to it).
bool WantsInfo(const App::Arguments& args);

// Runs --info from the whole argument list (without the program's name). 0 with the answer on
// `out`; 2 when the file cannot be read or its footers are damaged, 1 for a usage error, each
// with the reason on `err`.
App::ExitStatus RunInfo(const App::Arguments& args, const App::UserConfig& config,
                        std::ostream& out, std::ostream& err);

// The two forms of the answer.
std::string InfoText(const std::string& path, const App::ContainerWays& ways);
std::string InfoJson(const std::string& path, const App::ContainerWays& ways);
// A JSON string literal, quotes included; bytes that are not UTF-8 are escaped one by one as
// \u00XX so that the object stays valid whatever a name holds.
std::string JsonString(const std::string& text);

}  // namespace Text
