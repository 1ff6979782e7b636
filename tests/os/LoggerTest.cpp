#include "os/Logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "support/TempDir.h"

namespace {

using OS::Logger;

class LoggerTest : public ::testing::Test {
  protected:
    void SetUp() override { Logger::Setup(false, false, false); }
    void TearDown() override { Logger::Teardown(); }
};

TEST_F(LoggerTest, LineFormatAndMasks) {
    std::ostringstream all, errors;
    Logger::Register(63, &all);
    Logger::Register(OS::LOG_ERROR, &errors);
    Logger::Log(OS::LOG_WARN, "Unrecognised tag reading Key Footer - ignoring this entry");
    Logger::Log(OS::LOG_ERROR, "Error closing file");
    EXPECT_EQ(all.str(),
              ":WARN: Unrecognised tag reading Key Footer - ignoring this entry\n"
              ":ERROR: Error closing file\n");
    EXPECT_EQ(errors.str(), ":ERROR: Error closing file\n");
}

TEST_F(LoggerTest, SharedBitsArePrefixedInLevelOrder) {
    std::ostringstream out;
    Logger::Register(OS::LOG_INFO | OS::LOG_FATAL, &out);
    Logger::Log(OS::LOG_INFO | OS::LOG_FATAL | OS::LOG_DEBUG, "x");
    EXPECT_EQ(out.str(), ":FATAL:INFO: x\n");
}

TEST_F(LoggerTest, RegisterReplacesAndRemoves) {
    std::ostringstream out;
    Logger::Register(OS::LOG_ERROR, &out);
    Logger::Register(OS::LOG_INFO, &out);  // replaces, does not add a second entry
    Logger::Log(OS::LOG_INFO, "once");
    Logger::Log(OS::LOG_ERROR, "not any more");
    EXPECT_EQ(out.str(), ":INFO: once\n");
    Logger::Register(0, &out);
    Logger::Log(OS::LOG_INFO, "gone");
    EXPECT_EQ(out.str(), ":INFO: once\n");
    EXPECT_FALSE(Logger::Wants(OS::LOG_INFO));
}

TEST_F(LoggerTest, ConsoleSplitsErrorsFromTheRest) {
    Logger::Setup(true, false, false);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Logger::Log(OS::LOG_ERROR, "bad");
    Logger::Log(OS::LOG_INFO, "fine");
    Logger::Log(OS::LOG_TRACE, "nowhere");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, ":ERROR: bad\n");
    EXPECT_EQ(out, ":INFO: fine\n");
}

TEST_F(LoggerTest, TraceScopeWritesOnlyWhenATraceSinkListens) {
    std::ostringstream out;
    Logger::Register(OS::LOG_INFO, &out);
    { OS::Trace t("KeySet::Wrap()"); }
    EXPECT_EQ(out.str(), "");
    Logger::Register(OS::LOG_TRACE, &out);
    { OS::Trace t("KeySet::Wrap()"); }
    EXPECT_EQ(out.str(), ":TRACE: enter KeySet::Wrap()\n:TRACE: leave KeySet::Wrap()\n");
}

TEST_F(LoggerTest, FilesInTheCurrentFolderAndState) {
    cryvan_test::TempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    cryvan_test::WriteText(dir / "log_release.txt", "stale\n");
    Logger::Setup(false, true, true);
    EXPECT_EQ(Logger::State(), 1);
    Logger::Log(OS::LOG_WARN, "w");
    Logger::Log(OS::LOG_DEBUG, "d");
    Logger::Log(OS::LOG_TRACE, "t");
    Logger::Teardown();
    EXPECT_EQ(Logger::State(), 2);
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(cryvan_test::ReadText(dir / "log_release.txt"), ":WARN: w\n");
    EXPECT_EQ(cryvan_test::ReadText(dir / "trace_release.txt"), ":TRACE: t\n");
}

}  // namespace
