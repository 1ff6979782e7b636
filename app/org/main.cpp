// cryvan-org: the organisation's tool. Creates and shows the organisation record
// ("Organisation.bin") and checks a data-recovery configuration ("Data Recovery.bin") against
// it; each command is a class of app/org.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/console/LineInput.h"
#include "app/core/StandardDescriptors.h"
#include "app/org/Command.h"

int main(int argc, char** argv) {
    App::OpenClosedStandardDescriptors();
    // Prompts on standard error, so that standard output holds only the results.
    const std::unique_ptr<App::LineInput> input = App::StandardInput(std::cerr);
    Org::Io io{std::cout, std::cerr, *input};
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return App::Code(Org::RunTool(args, io));
}
