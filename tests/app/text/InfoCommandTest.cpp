// cryvan --info: the human and JSON answers on containers with each kind of way in, matched
// against the user's emergency password and a data-recovery configuration, and the exit
// statuses of everything that is not a readable container.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/text/InfoCommand.h"
#include "app/text/TerminalFixture.h"
#include "engine/ContainerInfo.h"
#include "engine/WaysInSupport.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"

namespace {

using namespace cryvan_test;
using App::ExitStatus;
using FCryptEng::AdminRecovery;
using FCryptEng::ContainerInfo;
using FCryptEng::EmergencyPassword;

class InfoCommand : public TerminalFixture {
  protected:
    static void SetUpTestSuite() { s_ways = std::make_unique<SampleWaysIn>(); }
    static void TearDownTestSuite() { s_ways.reset(); }

    // The user's own emergency password file, where the front end's configuration finds it.
    void InstallMine() {
        s_ways->mine->SaveAs(MakeFolders(dir).perUser + "Emergency Password.bin");
    }

    std::string Make(const std::vector<const FCryptEng::RecoverySource*>& recoveries) {
        WriteText(dir / "a.txt", "alpha");
        const std::string box = dir / "box.aes";
        EngineRun run;
        run.prepare = [&](FCryptEng::FileEncryptor& enc) {
            for (const auto* r : recoveries)
                enc.AddRecovery(*r);
        };
        EXPECT_EQ(run.Encrypt({dir / "a.txt"}, box, {"user's password"}), OperationState::Finished);
        return box;
    }

    static inline std::unique_ptr<SampleWaysIn> s_ways;
};

TEST_F(InfoCommand, HumanAnswerNamesTheUsersOwnEmergencyEntry) {
    InstallMine();
    const std::string box = Make({s_ways->mine.get(), s_ways->config.get()});
    ASSERT_EQ(Run({"--info", box}), ExitStatus::Success) << err.str();
    EXPECT_EQ(out.str(), "File: " + box +
                             "\n"
                             "Header: the text of a plain container\n"
                             "Size: " +
                             std::to_string(fs::file_size(box)) +
                             " bytes\n"
                             "Not verified: without the password the key footer's MAC cannot be "
                             "checked.\n"
                             "Password entries: 1\n"
                             "Emergency entry: yours\n"
                             "Administrators: 2 of 3\n"
                             "  Not matched: 3 (no data-recovery configuration on this machine)\n"
                             "Unknown records: 0\n"
                             "Opens with: a password; your emergency password; 2 of 3 "
                             "administrators\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(InfoCommand, JsonAnswerForAnotherUsersEmergencyEntry) {
    InstallMine();
    const std::string box = Make({s_ways->theirs.get()});
    ASSERT_EQ(Run({"--text", "--info", box, "--json"}), ExitStatus::Success) << err.str();
    EXPECT_EQ(out.str(), "{\"file\": \"" + box +
                             "\", \"size\": " + std::to_string(fs::file_size(box)) +
                             ", \"header\": \"text\", \"verified\": false, \"passwordEntries\": 1, "
                             "\"emergencyEntries\": [{\"yours\": false}], \"administrators\": "
                             "null, \"configurationFound\": false, \"unknownRecords\": 0}\n");
    // --json before the file or before --info: the same answer.
    const std::string answer = out.str();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--info", "--json", box}, {"--json", "--info", box}}) {
        ASSERT_EQ(Run(args), ExitStatus::Success) << err.str();
        EXPECT_EQ(out.str(), answer);
    }
}

TEST_F(InfoCommand, AdministratorsAreMatchedByTheirEncryptedNames) {
    const std::string box = Make({s_ways->config.get()});
    // The same administrators, less Bo, and one of the same name as none of them.
    AdminRecovery local(*s_ways->config);
    ASSERT_TRUE(local.Remove("Bo"));
    ASSERT_TRUE(local.Add("Dee", "dee's password", false));
    AdminRecovery impostor(s_ways->callback.get());
    ASSERT_TRUE(impostor.Add("Ann", "ann's password", false));

    const App::ContainerWays ways = App::MatchWays(ContainerInfo::Read(box), nullptr, &local);
    EXPECT_NE(Text::InfoText(box, ways).find("Administrators: 2 of 3\n"
                                             "  Known here: Ann, Cy\n"
                                             "  Not matched: 1\n"),
              std::string::npos)
        << Text::InfoText(box, ways);
    EXPECT_NE(Text::InfoJson(box, ways).find("\"administrators\": {\"k\": 2, \"n\": 3, \"needed\": "
                                             "2, \"matched\": [\"Ann\", \"Cy\"], \"notMatched\": "
                                             "1}, \"configurationFound\": true"),
              std::string::npos)
        << Text::InfoJson(box, ways);

    const App::ContainerWays none = App::MatchWays(ContainerInfo::Read(box), nullptr, &impostor);
    EXPECT_TRUE(none.matchedAdministrators.empty());
    EXPECT_EQ(none.unmatchedAdministrators, 3u);
}

TEST_F(InfoCommand, FailuresAndUsage) {
    const std::string box = Make({});
    WriteText(dir / "junk.aes", RandomBytes(100));
    WriteText(dir / "cut.aes", ReadText(box).substr(0, fs::file_size(box) - 1));
    const struct {
        std::vector<std::string> args;
        ExitStatus status;
        std::string says;
    } cases[] = {
        {{"--info", dir / "missing.aes"}, ExitStatus::Failed, dir / "missing.aes: "},
        {{"--info", dir / "junk.aes"}, ExitStatus::Failed, "junk.aes: damaged container: "},
        {{"--info", dir / "cut.aes", "--json"}, ExitStatus::Failed, "cut.aes: damaged container: "},
        {{"--info", dir.Path()}, ExitStatus::Failed, "a folder, not a container"},
        {{"--json"}, ExitStatus::InvalidCommandLine, "--json goes with --info FILE"},
        {{"--info"}, ExitStatus::InvalidCommandLine, "--info needs a FILE"},
        {{"--info", box, box}, ExitStatus::InvalidCommandLine, "--info takes one FILE"},
        {{"--info", box, "--info", box}, ExitStatus::InvalidCommandLine, "give --info once"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(Run(c.args), c.status);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
}

TEST(InfoJsonString, EscapesWhatJsonCannotHoldAndKeepsUtf8) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nnext\ttab\r", "\"line\\nnext\\ttab\\r\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91\""},
        // Not UTF-8: each byte stands for itself.
        {"\xff", "\"\\u00ff\""},
        {"cut \xc3", "\"cut \\u00c3\""},
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},             // overlong
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text::JsonString(c.in), c.out) << c.in;
}

}  // namespace

namespace {

TEST(OpensWithLine, NamesEachWayOnce) {
    const auto ways = [](std::size_t passwords, std::vector<bool> yours,
                         std::optional<std::pair<int, int>> kn) {
        App::ContainerWays w;
        w.info.passwordEntries = passwords;
        w.info.emergencyEntries.assign(yours.size(), "record");
        w.emergencyYours = yours;
        if (kn) {
            w.info.administrators.emplace();
            w.info.administrators->k = std::uint16_t(kn->first);
            w.info.administrators->n = std::uint16_t(kn->second);
        }
        return w;
    };
    const struct {
        App::ContainerWays ways;
        const char* line;
    } cases[] = {
        {ways(1, {}, std::nullopt), "Opens with: a password"},
        {ways(3, {}, std::nullopt), "Opens with: any of 3 passwords"},
        {ways(1, {false}, std::pair(0, 1)),
         "Opens with: a password; another user's emergency password; 1 of 1 administrator"},
        {ways(0, {true, false, false}, std::pair(2, 3)),
         "Opens with: your emergency password; 2 other users' emergency passwords; 2 of 3 "
         "administrators"},
        // An administrators' entry that names no one opens with nothing.
        {ways(0, {}, std::pair(1, 0)), "Opens with: no way this program knows"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(App::OpensWithLine(c.ways), c.line);
}

}  // namespace
