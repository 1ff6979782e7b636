// Runs the built cryvan-org as its users would: the program around the commands, which
// OrgCommandsTest runs in process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppTestSupport.h"
#include "recovery/Organisation.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::EnvVar;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using FCryptEng::Organisation;

constexpr const char* kPassword = "organisation words";

std::string Quote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class OrgTool : public ::testing::Test {
  protected:
    // The password input arrives on descriptor 3, as a script would hand it over.
    Result Run(const std::vector<std::string>& args, const std::string& input = "") const {
        WriteText(tmp / "input", input);
        std::string command = Quote(CRYVAN_ORG_BIN);
        for (const std::string& a : args)
            command += " " + Quote(a);
        command += " 3<" + Quote(tmp / "input") + " </dev/null >" + Quote(tmp / "out") + " 2>" +
                   Quote(tmp / "err");
        const int status = std::system(command.c_str());
        Result r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadText(tmp / "out");
        r.err = ReadText(tmp / "err");
        return r;
    }

    Result Create(const std::string& path, const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> args{"create",        "--name", "Harbour Works", "--output", path,
                                      "--password-fd", "3"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args, std::string(kPassword) + "\n");
    }

    TempDir tmp;
    EnvVar configDirs{"XDG_CONFIG_DIRS", (tmp / "etc").c_str()};
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The program's own part: arguments as the shell splits them, the password on a descriptor or
// standard input, results on standard output, errors on standard error, the exit statuses.
TEST_F(OrgTool, ArgumentsStreamsAndExitStatuses) {
    const std::string record = tmp / "Organisation.bin";
    const Result created = Create(record);
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_TRUE(Contains(created.out, "Wrote " + record));
    EXPECT_EQ(created.err, "");

    const Result shown = Run({"show", record});
    EXPECT_EQ(shown.code, 0) << shown.err;
    EXPECT_TRUE(Contains(shown.out, "Signature:        valid"));

    const Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(Contains(help.out, "Exit status:"));

    const Result none = Run({});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err.rfind("error: no command given\nhint: ", 0), 0u) << none.err;

    // Standard input is /dev/null here: nothing to read the password from.
    const Result noInput = Run({"create", "--name", "A", "--output", tmp / "a.bin"});
    EXPECT_EQ(noInput.code, 4) << noInput.err;
    const Result missing = Run({"show", tmp / "none.bin"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err.rfind("error: cannot read ", 0), 0u) << missing.err;
    EXPECT_FALSE(fs::exists(tmp / "a.bin"));
}

TEST_F(OrgTool, APasswordPipedToStandardInputIsReadOnce) {
    const std::string record = tmp / "piped.bin";
    WriteText(tmp / "typed", std::string(kPassword) + "\n");
    const std::string command = Quote(CRYVAN_ORG_BIN) + " create --name Acme --output " +
                                Quote(record) + " <" + Quote(tmp / "typed") + " >" +
                                Quote(tmp / "out") + " 2>" + Quote(tmp / "err");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadText(tmp / "err");
    EXPECT_FALSE(Contains(ReadText(tmp / "out"), "password")) << "prompts go to standard error";
    Organisation org;
    org.Open(record);
    EXPECT_TRUE(org.OpenKey(kPassword));
}

}  // namespace
