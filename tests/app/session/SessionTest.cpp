// The application session in process: its options, the preferences result and how the end of a
// front end's loop becomes an exit status.
#include "app/session/Session.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/AppTestSupport.h"
#include "app/text/TerminalDialogs.h"
#include "os/Logger.h"

namespace {

using namespace cryvan_test;
using App::ExitStatus;
using App::PreferencesResult;
using App::Session;

class SessionRun : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeSampleTree(dir);
        WriteText(dir / "pw", "secret1\n");
    }

    // A session whose preferences renderer answers `preferences`.
    std::unique_ptr<Session> Make(PreferencesResult preferences = PreferencesResult::Cancelled) {
        out.str("");
        err.str("");
        return std::make_unique<Session>(
            App::SessionParts{"cryvan", dialogs, dialogs,
                              [this, preferences](App::CryvanPrefs& sheet) {
                                  rendered = &sheet;
                                  return preferences;
                              },
                              [] { return std::string("the help\n"); }, out, err},
            MakeFolders(dir));
    }

    TempDir dir;
    std::istringstream typed;
    std::ostringstream out, err;
    App::StreamInput input{typed, out, false};
    Text::TerminalDialogs dialogs{input, out, err};
    App::CryvanPrefs* rendered = nullptr;
};

TEST_F(SessionRun, ThePreferencesSheetEndsWithWhatItsRendererSaid) {
    const struct {
        PreferencesResult result;
        ExitStatus status;
    } cases[] = {
        {PreferencesResult::Ok, ExitStatus::Success},
        {PreferencesResult::Cancelled, ExitStatus::Cancelled},
        {PreferencesResult::NoInput, ExitStatus::NoInput},
    };
    for (const auto& c : cases) {
        auto session = Make(c.result);
        dialogs.SetPreferences([&session] { return session->ShowPreferences(); });
        rendered = nullptr;
        EXPECT_EQ(session->Start({"-prefs"}), c.status);
        EXPECT_NE(rendered, nullptr);
        dialogs.SetPreferences(nullptr);
    }
}

TEST_F(SessionRun, FrontEndOptionsEndTheProgramOrFillTheWizard) {
    EXPECT_EQ(Make()->Start({"--help", "-e"}), ExitStatus::Success);
    EXPECT_EQ(out.str(), "the help\n");

    const struct {
        std::vector<std::string> args;
        const char* error;
    } usage[] = {
        {{"--nonsense"}, "cryvan: unknown option '--nonsense'\n"},
        {{"--password-file"}, "cryvan: --password-file needs a value\n"},
        {{"--password-fd", "x3", "-d"},
         "cryvan: --password-fd needs a descriptor number, not 'x3'\n"},
        {{"--password-file", dir / "pw", "--password-fd", "0"},
         "cryvan: give --password-fd or --password-file once\n"},
        {{"--password-file", dir / "pw", "-e", "-p", "secret1"},
         "cryvan: --password-fd and --password-file need -e or -d and no -p\n"},
        {{"-x"}, "cryvan: invalid command line: '-x' is not valid there\n"},
    };
    for (const auto& c : usage) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(Make()->Start(App::Arguments(c.args)), ExitStatus::InvalidCommandLine);
        EXPECT_EQ(err.str().rfind(c.error, 0), 0u) << err.str();
    }

    // The password from a file is handed to the page as -p would be, and the wizard starts.
    auto session = Make();
    EXPECT_EQ(session->Start({"--password-file", dir / "pw", "-d", "-c", dir / "none.aes"}),
              std::nullopt);
    EXPECT_TRUE(session->TheWizard().CommandLineValues().decPasswordFromCommandLine);
}

TEST_F(SessionRun, VerboseLastsForTheSessionOnly) {
    {
        auto session = Make();
        ASSERT_EQ(session->Start({"--verbose", "-e"}), std::nullopt);
        OS::Logger::Log(OS::LOG_INFO, "during the session");
    }
    OS::Logger::Log(OS::LOG_INFO, "after the session");
    EXPECT_NE(err.str().find("during the session"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("after the session"), std::string::npos) << err.str();
}

TEST_F(SessionRun, HowTheLoopEndedBecomesTheExitStatus) {
    // Closed before anything ran: cancelled.
    {
        auto session = Make();
        ASSERT_EQ(session->Start({"-e"}), std::nullopt);
        EXPECT_EQ(session->End(Session::Ending::Finished), ExitStatus::Cancelled);
    }
    // A page that waits: no input; with the page's reason: failed, and the reason said.
    {
        auto session = Make();
        ASSERT_EQ(session->Start({}), std::nullopt);
        EXPECT_EQ(session->End(Session::Ending::Stopped), ExitStatus::NoInput);
        EXPECT_NE(err.str().find("stopped on the page \"Welcome to Cryvan\""), std::string::npos);
        session->TheWizard().Context().Refuse("/x.aes: The input file is corrupt.");
        EXPECT_EQ(session->End(Session::Ending::Stopped), ExitStatus::Failed);
        EXPECT_NE(err.str().find("cryvan: /x.aes: The input file is corrupt.\n"),
                  std::string::npos);
    }
}

}  // namespace

// A toolkit's queued call: what the run hands over, and its end, reach the front end through
// the waker it gave, besides the descriptor.
TEST_F(SessionRun, TheFrontEndsWakerHearsOfTheRun) {
    int woken = 0;
    App::SessionParts parts{"cryvan",
                            dialogs,
                            dialogs,
                            [](App::CryvanPrefs&) { return PreferencesResult::Cancelled; },
                            [] { return std::string(); },
                            out,
                            err,
                            [&woken] { ++woken; }};
    Session session(parts, MakeFolders(dir));
    ASSERT_EQ(session.Start({"-e"}), std::nullopt);
    App::Handover& handover = session.TheWizard().Runner().Handover();
    EXPECT_TRUE(handover.Attached());
    handover.Notify();
    EXPECT_EQ(woken, 1);
}
