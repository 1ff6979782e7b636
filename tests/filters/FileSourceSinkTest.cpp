#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PipelineRecorder.h"
#include "filters/SimpleFileSink.h"
#include "filters/SimpleFileSource.h"
#include "support/TempDir.h"

namespace {

using CryptoP2::SimpleFileSink;
using CryptoP2::SimpleFileSource;
using cryvan_test::PipelineRecorder;
using Lengths = std::vector<std::size_t>;

class FileSourceSinkTest : public ::testing::Test {
  protected:
    std::string MakeFile(std::size_t size) {
        const std::string path = m_dir / ("in" + std::to_string(m_count++));
        cryvan_test::WriteText(path, cryvan_test::Pattern(size));
        return path;
    }

    cryvan_test::TempDir m_dir;
    int m_count = 0;
};

TEST_F(FileSourceSinkTest, SourceStreamsBlocksAndEndsOnce) {
    constexpr std::uint64_t kAll = SimpleFileSource::kNoLimit;
    struct Case {
        std::size_t fileSize;
        std::int64_t start;
        std::uint64_t limit;
        Lengths expected;
    };
    const Case cases[] = {
        {0, 0, kAll, {}},
        {150000, 0, kAll, {65536, 65536, 18928}},
        {65536, 0, kAll, {65536}},
        {150000, 0, 0, {}},                   // nothing read at all
        {1000, 10, 5000, {990}},              // the file ends before the limit
        {200000, 100, 70000, {65536, 4464}},  // the limit ends before the file
        {131072, 0, 131072, {65536, 65536}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fileSize) + " bytes from " + std::to_string(c.start) +
                     ", limit " + std::to_string(c.limit));
        OS::ReadFile file(MakeFile(c.fileSize));
        file.Open();
        file.Move(c.start, false);
        PipelineRecorder rec;
        if (c.limit == kAll)
            SimpleFileSource(file, true, new CryptoPP::Redirector(rec));
        else
            SimpleFileSource(file, c.limit, true, new CryptoPP::Redirector(rec));

        EXPECT_EQ(rec.DataLengths(), c.expected);
        ASSERT_FALSE(rec.events.empty());
        EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
        EXPECT_EQ(rec.events.back().kind, PipelineRecorder::MessageEnd);
        const std::string all = rec.AllBytes();
        EXPECT_EQ(all, cryvan_test::Pattern(c.fileSize).substr(std::size_t(c.start), all.size()));
        // Nothing is read beyond what was passed on.
        EXPECT_EQ(file.Move(0, true), std::uint64_t(c.start) + all.size());
        file.Close();
    }
}

TEST_F(FileSourceSinkTest, PumpMovesOneBlockAndReportsIt) {
    OS::ReadFile file(MakeFile(70000));
    file.Open();
    PipelineRecorder rec;
    SimpleFileSource source(file, false, new CryptoPP::Redirector(rec));

    EXPECT_EQ(source.Pump(0), 0u);  // asking for nothing does not end the stream
    EXPECT_EQ(source.Pump(10), 10u);
    EXPECT_EQ(source.Pump(), 65536u);
    EXPECT_EQ(source.Pump(), 70000u - 65546u);
    EXPECT_FALSE(source.SourceExhausted());
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 0u);
    EXPECT_EQ(source.Pump(), 0u);
    EXPECT_TRUE(source.SourceExhausted());
    EXPECT_EQ(source.Pump(), 0u);
    source.PumpAll();

    EXPECT_EQ(rec.DataLengths(), Lengths({10, 65536, 4454}));
    EXPECT_EQ(rec.Count(PipelineRecorder::MessageEnd), 1u);
    EXPECT_EQ(rec.AllBytes(), cryvan_test::Pattern(70000));
    file.Close();
}

TEST_F(FileSourceSinkTest, ReadErrorPropagates) {
    OS::ReadFile file(MakeFile(10));  // never opened
    EXPECT_THROW(SimpleFileSource(file, true), OS::File::Error);
}

TEST_F(FileSourceSinkTest, FileToFileCopiesEveryByte) {
    const std::string in = MakeFile(200000);
    const std::string out = m_dir / "out";
    OS::ReadFile reader(in);
    OS::WriteFile writer(out);
    reader.Open();
    writer.Open();
    SimpleFileSource(reader, true, new SimpleFileSink(writer, nullptr));
    reader.Close();
    writer.Close();
    EXPECT_EQ(cryvan_test::ReadText(out), cryvan_test::Pattern(200000));
}

#ifndef _WIN32
// Files may grow to `limit` bytes until the handler raises the limit. The body runs in a child
// process so that the limit binds nothing else; it reports through its exit code.
int InChildWithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 100;
        try {
            std::signal(SIGXFSZ, SIG_IGN);  // over the limit: EFBIG, not a signal
            rlimit rl{};
            getrlimit(RLIMIT_FSIZE, &rl);
            rl.rlim_cur = limit;
            if (setrlimit(RLIMIT_FSIZE, &rl) == 0)
                code = body();
            else
                code = 101;
        } catch (...) {
            code = 102;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RaiseFileSizeLimit(rlim_t limit) {
    rlimit rl{};
    getrlimit(RLIMIT_FSIZE, &rl);
    rl.rlim_cur = std::min(limit, rl.rlim_max);
    setrlimit(RLIMIT_FSIZE, &rl);
}

// Each retry frees "space" by raising the limit to the next step; the codes it saw are kept.
class StepHandler : public FCryptEng::WriteErrorHandler {
  public:
    StepHandler(std::vector<rlim_t> steps, bool retry)
        : m_steps(std::move(steps)), m_retry(retry) {}
    bool RetryWrite(OS::ErrorCode errorCode) override {
        codes.push_back(static_cast<int>(errorCode));
        if (!m_retry || m_steps.empty())
            return false;
        RaiseFileSizeLimit(m_steps.front());
        m_steps.erase(m_steps.begin());
        return true;
    }
    std::vector<int> codes;

  private:
    std::vector<rlim_t> m_steps;
    bool m_retry;
};

TEST_F(FileSourceSinkTest, SinkRetriesFromFirstUnwrittenByte) {
    const std::string out = m_dir / "retried";
    const std::string data = cryvan_test::Pattern(5000);
    const int code = InChildWithFileSizeLimit(1000, [&] {
        StepHandler handler({2500, RLIM_INFINITY}, true);
        OS::WriteFile writer(out);
        writer.Open();
        { CryptoPP::StringSource(data, true, new SimpleFileSink(writer, &handler)); }
        writer.Close();
        return handler.codes == std::vector<int>({9, 9}) ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(cryvan_test::ReadText(out), data);
}

TEST_F(FileSourceSinkTest, UnretriedWriteErrorPropagates) {
    for (bool withHandler : {false, true}) {
        SCOPED_TRACE(withHandler ? "refusing handler" : "no handler");
        const std::string out = m_dir / (withHandler ? "refused" : "unhandled");
        const std::string data = cryvan_test::Pattern(5000);
        const int code = InChildWithFileSizeLimit(1000, [&] {
            StepHandler handler({RLIM_INFINITY}, false);
            OS::WriteFile writer(out);
            writer.Open();
            SimpleFileSink sink(writer, withHandler ? &handler : nullptr);
            int result = 1;
            try {
                sink.Put(reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
            } catch (const OS::File::Error& e) {
                result = e.code == OS::ErrorCode::DiskFull ? 0 : 2;
            }
            if (handler.codes != (withHandler ? std::vector<int>({9}) : std::vector<int>()))
                result = 3;
            writer.Close();
            return result;
        });
        EXPECT_EQ(code, 0);
        EXPECT_EQ(cryvan_test::ReadText(out), data.substr(0, 1000));
    }
}

#else
// A full disk is made with a file-size limit in a child process: Windows has neither.
TEST_F(FileSourceSinkTest, SinkRetriesFromFirstUnwrittenByte) {
    GTEST_SKIP() << "needs a per-process file-size limit, which Windows does not have";
}

TEST_F(FileSourceSinkTest, UnretriedWriteErrorPropagates) {
    GTEST_SKIP() << "needs a per-process file-size limit, which Windows does not have";
}
#endif

}  // namespace
