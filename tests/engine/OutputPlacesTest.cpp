// Where whole runs write: never through a symbolic link below the destination, and every name a
// folder holds and back, while names that could not come back are refused before encrypting.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>

#include "engine/EngineTestSupport.h"
#include "support/Folders.h"

namespace {

using namespace cryvan_test;

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class OutputPlaces : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(in + "/f/sub");
        fs::create_directories(out);
        fs::create_directories(outside);
        WriteText(in + "/f/a.txt", TextBytes(5000));
        WriteText(in + "/f/sub/c.txt", "c\n");
    }

    TempDir dir;
    const std::string in = dir / "in", out = dir / "out", outside = dir / "outside";
    const std::string box = dir / "box.aes";
};

struct LinkCase {
    const char* what;
    std::function<void(const std::string& out, const std::string& outside)> setUp;
    bool yesToAll;  // the user would replace every existing file
    std::vector<std::string> warnings;
};

TEST_F(OutputPlaces, NothingIsWrittenThroughALinkBelowTheDestination) {
    const char* inPath = ": skipped, a symbolic link is in its path";
    const char* inPlace = ": skipped, a symbolic link stands in its place";
    if (!LinksWork())
        GTEST_SKIP() << "this system makes no links for this user";
    // Windows tells a link to a folder from one to a file; one that leads nowhere is a file's.
    auto link = [](const std::string& target, const std::string& at) {
        std::error_code ec;
        if (fs::is_directory(target))
            fs::create_directory_symlink(target, at, ec);
        else
            fs::create_symlink(target, at, ec);
        ASSERT_FALSE(ec) << ec.message();
    };
    const std::vector<LinkCase> cases = {
        {"a folder link",
         [&](auto& o, auto& x) {
             fs::create_directories(o + "/f");
             link(x, o + "/f/sub");
         },
         false,
         {std::string("f\\sub") + inPath, std::string("f\\sub\\c.txt") + inPath}},
        {"a folder link to a file that would be replaced",
         [&](auto& o, auto& x) {
             fs::create_directories(o + "/f");
             WriteText(x + "/c.txt", "outside");
             link(x, o + "/f/sub");
         },
         true,
         {std::string("f\\sub") + inPath, std::string("f\\sub\\c.txt") + inPath}},
        {"a link in the file's place",
         [&](auto& o, auto& x) {
             fs::create_directories(o + "/f");
             WriteText(x + "/a.txt", "outside");
             link(x + "/a.txt", o + "/f/a.txt");
         },
         false,
         {std::string("f\\a.txt") + inPlace}},
        {"a link in the file's place, replacing everything",
         [&](auto& o, auto& x) {
             fs::create_directories(o + "/f");
             WriteText(x + "/a.txt", "outside");
             link(x + "/a.txt", o + "/f/a.txt");
         },
         true,
         {std::string("f\\a.txt") + inPlace}},
        {"a dangling link in the file's place",
         [&](auto& o, auto& x) {
             fs::create_directories(o + "/f");
             link(x + "/new.txt", o + "/f/a.txt");
         },
         false,
         {std::string("f\\a.txt") + inPlace}},
        // Last: a run that writes everything deletes the container.
        {"the destination folder's own link is followed: the user chose it",
         [&](auto& o, auto& x) {
             fs::remove(o);
             link(x, o);
         },
         false,
         {}},
    };
    EngineRun enc;
    ASSERT_EQ(enc.Encrypt(Expand(in + "/f"), box, {"pw"}), OperationState::Finished);
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveAll(out);
        RemoveAll(outside);
        fs::create_directories(out);
        fs::create_directories(outside);
        c.setUp(out, outside);
        const auto outsideBefore = Listing(outside);
        std::map<std::string, std::string> linksBefore;
        for (const auto& [name, what] : Listing(out))
            if (what.rfind("-> ", 0) == 0)
                linksBefore[name] = what;

        EngineRun dec;
        if (c.yesToAll)
            dec.callback.overwriteAnswers = {ScriptedCallback::YesToAll};
        dec.callback.deletionAnswers = {false};
        // Declining to delete the container leaves the run where it stopped.
        EXPECT_NE(dec.Decrypt(box, "pw", out, {}, InputDeletionMode::Delete),
                  OperationState::Failed);
        std::vector<std::string> warnings = c.warnings;
        // Not everything came out: the container is kept, and the run says so.
        if (!warnings.empty())
            warnings.push_back(box + ": kept, not every file was written");
        EXPECT_EQ(dec.status.warnings, warnings);
        if (c.warnings.empty()) {
            // Written where the user's link leads; all came out, so the container went.
            EXPECT_EQ(Listing(outside), Listing(in));
            EXPECT_FALSE(fs::exists(box));
            continue;
        }
        EXPECT_EQ(Listing(outside), outsideBefore);
        const auto after = Listing(out);
        for (const auto& [name, what] : linksBefore)
            EXPECT_EQ(after.at(name), what) << name;
        EXPECT_EQ(ReadText(out + "/f/a.txt") == ReadText(in + "/f/a.txt"),
                  linksBefore.count("f/a.txt") == 0);
        // Not everything came out: the container is not destroyed without asking.
        EXPECT_TRUE(fs::exists(box));
        for (const std::string& q : dec.callback.asked)
            EXPECT_NE(q.rfind("overwrite", 0), 0u) << q;  // a link is no file to replace
    }
}

struct NameCase {
    const char* what;
    std::string relative;  // below in/
    bool fits;
};

// Every name a folder holds comes back, after its input was eradicated; a name that would not
// fit once stored is refused before anything is written or destroyed.
TEST_F(OutputPlaces, EveryNameAFolderHoldsComesBack) {
    constexpr std::size_t kNameMax = 255;  // bytes here, UTF-16 units on Windows
    const std::string longest(kNameMax, 'n');
    const std::vector<NameCase> cases = {
        {"the longest name at the top", longest, true},
        {"the longest name in a folder", "deep/" + longest, true},
#ifndef _WIN32
        // (No Windows name holds either.)
        {"a backslash, stored three bytes wide", std::string(kNameMax - 2, 'b') + "\\", false},
        {"a colon as the second character, stored three bytes wide",
         "c:" + std::string(kNameMax - 3, 'c'), false},
#endif
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string source = dir / "src", restored = dir / "restored";
        RemoveAll(source);
        RemoveAll(restored);
        fs::remove(box);
        const std::string input = source + "/" + c.relative;
        fs::create_directories(fs::path(input).parent_path());
        const std::string content = RandomBytes(3000);
        WriteText(input, content);

        EngineRun enc;
        const std::size_t cut = c.relative.find('/');
        const std::vector<std::string> inputs =
            cut == std::string::npos ? std::vector<std::string>{input}
                                     : Expand(source + "/" + c.relative.substr(0, cut));
        EXPECT_EQ(enc.Encrypt(inputs, box, {"pw"}, InputDeletionMode::Eradicate),
                  c.fits ? OperationState::Finished : OperationState::Failed);
        if (!c.fits) {
            EXPECT_FALSE(fs::exists(box));
            EXPECT_EQ(ReadText(input), content);
            continue;
        }
        EXPECT_FALSE(fs::exists(input));
        EngineRun dec;
        ASSERT_EQ(dec.Decrypt(box, "pw", restored), OperationState::Finished);
        EXPECT_EQ(ReadText(restored + "/" + c.relative), content);
    }
}

}  // namespace
