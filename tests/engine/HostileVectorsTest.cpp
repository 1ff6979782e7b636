// Every broken container in tests/vectors/hostile against the outcome written beside it in
// NAME.expect: refused when it is chosen, a password that does not open it, or a run whose files
// come out or fail as listed. tests/vectors/MakeHostileVectors.cpp makes both.
//
// NAME.expect, one key and its value a line ('#' starts a comment):
//   password TEXT          the password tried
//   refused TEXT           reading the footers fails with exactly this text; nothing else follows
//   unlock RESULT          opens, wrong, nothing (no entry to try) or corrupt
//   reason TEXT            with corrupt: why, as the error log says
//   warning TEXT           a warning logged while opening, in order (none when there is no line)
//   run finished|failed    decrypting every entry into a new folder
//   failure NAME: TEXT     with failed: the file and the reason the run names
//   folder NAME, file NAME SIZE SHA256   everything the run leaves, nothing more
// Each run is asked to delete the container afterwards: it must be gone after a finished run
// and untouched after any other outcome, even when the caller runs a container that did not open.
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/EngineTestSupport.h"
#include "os/Logger.h"

namespace {

using namespace cryvan_test;

std::string VectorsFolder() {
    if (const char* dir = std::getenv("CRYVAN_HOSTILE_VECTORS"); dir && *dir)
        return dir;
    return CRYVAN_HOSTILE_VECTORS_DIR;
}

std::vector<std::string> VectorNames() {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(VectorsFolder(), ec)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".aes" || ext == ".expect")
            names.insert(e.path().stem().string());
    }
    return {names.begin(), names.end()};
}

struct Expectation {
    std::string password, refused, unlock, reason, run, failure;
    std::vector<std::string> warnings;
    std::map<std::string, std::string> out;  // relative name: "folder" or "SIZE SHA256"
};

Expectation ReadExpectation(const std::string& path) {
    Expectation want;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "password")
            want.password = value;
        else if (key == "refused")
            want.refused = value;
        else if (key == "unlock")
            want.unlock = value;
        else if (key == "reason")
            want.reason = value;
        else if (key == "warning")
            want.warnings.push_back(value);
        else if (key == "run")
            want.run = value;
        else if (key == "failure")
            want.failure = value;
        else if (key == "folder")
            want.out[value] = "folder";
        else if (key == "file")
            want.out[value.substr(0, value.find(' '))] = value.substr(value.find(' ') + 1);
        else
            ADD_FAILURE() << path << ": unknown line " << line;
    }
    return want;
}

std::string Sha256Hex(const std::string& bytes) {
    std::string hex;
    CryptoPP::SHA256 sha;
    CryptoPP::StringSource(
        bytes, true,
        new CryptoPP::HashFilter(sha,
                                 new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    return hex;
}

// What a run left below `root`, described as the expectations are.
std::map<std::string, std::string> Left(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(root, ec)) {
        const std::string rel = e.path().lexically_relative(root).generic_string();
        if (e.is_directory()) {
            out[rel] = "folder";
        } else {
            const std::string bytes = ReadText(e.path().string());
            out[rel] = std::to_string(bytes.size()) + " " + Sha256Hex(bytes);
        }
    }
    return out;
}

std::string UnlockName(std::optional<FCryptEng::UnlockResult> result) {
    using FCryptEng::UnlockResult;
    if (!result)
        return "refused";
    switch (*result) {
        case UnlockResult::Nothing:
            return "nothing";
        case UnlockResult::Wrong:
            return "wrong";
        case UnlockResult::Unlocked:
            return "opens";
        case UnlockResult::Failed:
            return "corrupt";
        default:
            return "result " + std::to_string(static_cast<int>(*result));
    }
}

// Warning and error lines logged while it lives, without their level tags.
class LogLines {
  public:
    LogLines() { OS::Logger::Register(OS::LOG_WARN | OS::LOG_ERROR, &m_out); }
    ~LogLines() { OS::Logger::Register(0, &m_out); }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    std::vector<std::string> Take(const std::string& level) {
        std::vector<std::string> lines;
        std::istringstream in(m_out.str());
        const std::string tag = ":" + level + ": ";
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, tag.size(), tag) == 0)
                lines.push_back(line.substr(tag.size()));
        return lines;
    }
    void Clear() { m_out.str(""); }

  private:
    std::ostringstream m_out;
};

class HostileVector : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileVector, DoesWhatItsExpectationSays) {
    const std::string stem = VectorsFolder() + "/" + GetParam();
    ASSERT_TRUE(fs::is_regular_file(stem + ".aes")) << "no container beside " << stem << ".expect";
    ASSERT_TRUE(fs::is_regular_file(stem + ".expect"))
        << "no expectation beside " << stem << ".aes";
    const Expectation want = ReadExpectation(stem + ".expect");
    ASSERT_FALSE(want.password.empty());

    TempDir dir;
    const std::string box = dir / "box.aes";
    const std::string out = dir / "out";
    const std::string original = ReadText(stem + ".aes");
    WriteText(box, original);

    LogLines log;
    EngineRun run;
    auto dec = FileCryptor::Create(true, &run.status, &run.callback);
    dec->CipherFile(box);
    std::string refused;
    try {
        dec->ClearPassword();
    } catch (const std::exception& e) {
        refused = e.what();
    }
    EXPECT_EQ(refused, want.refused);
    std::optional<FCryptEng::UnlockResult> result;
    if (refused.empty())
        result = dec->Password(want.password.c_str());
    if (want.refused.empty()) {
        EXPECT_EQ(UnlockName(result), want.unlock);
    }
    EXPECT_EQ(log.Take("WARN"), want.warnings);

    dec->ClearPlainFiles();
    for (std::size_t i = 0; i < dec->NumPlainFiles(false); ++i)
        dec->SetPlainFile(i);
    dec->SetPathAndMode(FCryptEng::PathMode::Common, out + "/");
    // Destroyed only after a run that wrote every stored file.
    dec->InputDeletion(InputDeletionMode::Delete, false);

    const std::vector<std::string> why = {box + ": " + want.reason};
    EXPECT_EQ(log.Take("ERROR"), want.reason.empty() ? std::vector<std::string>() : why);
    log.Clear();

    if (result != FCryptEng::UnlockResult::Unlocked) {
        // Whatever the caller does next, a container that did not open is neither read into
        // files nor destroyed.
        dec->Begin();
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_TRUE(ReadText(box) == original) << "the container was changed or removed";
        return;
    }

    dec->Begin();
    if (want.run == "finished") {
        EXPECT_EQ(run.status.State(), OperationState::Finished) << run.status.failure;
        EXPECT_EQ(run.status.failure, "");
        EXPECT_EQ(log.Take("ERROR"), std::vector<std::string>());
        EXPECT_FALSE(fs::exists(box));
    } else {
        ASSERT_EQ(want.run, "failed");
        EXPECT_EQ(run.status.State(), OperationState::Failed);
        EXPECT_EQ(run.status.failure, out + "/" + want.failure);
        EXPECT_EQ(log.Take("ERROR"), std::vector<std::string>{out + "/" + want.failure});
        EXPECT_TRUE(ReadText(box) == original) << "the container was changed or removed";
    }
    EXPECT_EQ(log.Take("WARN"), std::vector<std::string>());
    EXPECT_EQ(Left(out), want.out);
}

// Test names take letters, digits and underscores only.
std::string CaseName(const ::testing::TestParamInfo<std::string>& param) {
    std::string name = param.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileVector, ::testing::ValuesIn(VectorNames()), CaseName);

}  // namespace
