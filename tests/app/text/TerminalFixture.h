// The terminal front end run in process on a sample tree: typed input from a string, what it
// shows in `out` and `err`.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "app/console/LineInput.h"
#include "app/core/ExitStatus.h"
#include "app/text/TerminalFrontEnd.h"
#include "support/TempDir.h"

namespace cryvan_test {

class TerminalFixture : public ::testing::Test {
  protected:
    // Runs the front end on `args` with `input` typed; `terminal` says whether questions may
    // wait for an answer.
    App::ExitStatus Run(const std::vector<std::string>& args, const std::string& input = "",
                        bool terminal = false) {
        std::istringstream in(input);
        out.str("");
        err.str("");
        App::StreamInput lines(in, out, terminal);
        Text::TerminalFrontEnd frontEnd(lines, out, err);
        return frontEnd.Run(args, MakeFolders(dir));
    }

    TempDir dir;
    std::ostringstream out, err;
};

}  // namespace cryvan_test
