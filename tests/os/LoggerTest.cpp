#include "os/Logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LogFileTest : public ::testing::Test {
  protected:
    void SetUp() override { OS::Logger::Setup(false, false, false); }
    void TearDown() override { OS::Logger::Teardown(); }
    cryvan_test::TempDir dir;
};

TEST_F(LogFileTest, PrivateWarningsAndErrorsOnlyInMissingFolders) {
    const std::string path = dir / "state/deep/cryvan.log";
    ASSERT_TRUE(OS::Logger::OpenLogFile(path, 1 << 20));
    OS::Logger::Log(OS::LOG_WARN, "kept: a.txt: read-only folder");
    OS::Logger::Log(OS::LOG_ERROR, "failed: b.txt: corrupt");
    OS::Logger::Log(OS::LOG_INFO, "encrypted c.txt");
    OS::Logger::Log(OS::LOG_TRACE, "enter d");
    // Each line says when and by which process it was written.
    const std::string pid = "[" + std::to_string(getpid()) + "] ";
    const std::regex line("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ \\[\\d+\\] (.*)\n");
    std::vector<std::string> lines;
    const std::string text = Slurp(path);
    for (std::sregex_iterator m(text.begin(), text.end(), line), end; m != end; ++m)
        lines.push_back((*m)[1]);
    EXPECT_EQ(lines, (std::vector<std::string>{":WARN: kept: a.txt: read-only folder",
                                               ":ERROR: failed: b.txt: corrupt"}))
        << text;
    EXPECT_NE(text.find(pid), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A file someone else made readable is made private again; a link is never followed.
    OS::Logger::Teardown();
    chmod(path.c_str(), 0644);
    ASSERT_TRUE(OS::Logger::OpenLogFile(path, 1 << 20));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "link.log").c_str()), 0);
    EXPECT_FALSE(OS::Logger::OpenLogFile(dir / "link.log", 1 << 20));
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}

TEST_F(LogFileTest, AFullLogMovesAsideOnceAndStaysCapped) {
    const std::string path = dir / "cryvan.log";
    const std::uint64_t cap = 1000;
    ASSERT_TRUE(OS::Logger::OpenLogFile(path, cap));
    const std::string line(90, 'x');
    for (int i = 0; i < 100; ++i)
        OS::Logger::Log(OS::LOG_ERROR, line + std::to_string(i));
    const auto size = std::filesystem::file_size(path);
    const auto older = std::filesystem::file_size(path + ".1");
    EXPECT_LE(size, cap + 100);
    EXPECT_LE(older, cap + 100);
    EXPECT_GE(older, cap);
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));
    // The newest line is in the current file, whole.
    EXPECT_NE(Slurp(path).find(line + "99\n"), std::string::npos);
}

}  // namespace
