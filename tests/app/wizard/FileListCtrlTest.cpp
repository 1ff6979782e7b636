#include "app/wizard/FileListCtrl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using App::FileListCtrl;
using Replace = App::RunQuestions::Replace;
using cryvan_test::ScriptedDialogs;
using cryvan_test::TempDir;
using cryvan_test::WriteText;

class FileListCtrlTest : public ::testing::Test {
  protected:
    FileListCtrlTest() {
        fs::create_directories(dir / "src/sub");
        WriteText(dir / "src/a.txt", "a");
        WriteText(dir / "src/sub/b.txt", "b");
    }

    // Every row as its full name, folders marked with "*".
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& row : list.Rows())
            names.push_back((row.isFolder ? "*" : "") + row.path + row.name);
        return names;
    }
    std::size_t Questions() const { return dialogs.Shown().size(); }

    TempDir dir;
    ScriptedDialogs dialogs;
    FileListCtrl list{dialogs};
};

TEST_F(FileListCtrlTest, FolderRowsSplitAndCarryPositions) {
    list.changed = false;
    list.Add(dir / "src/");
    EXPECT_EQ(Names(), (std::vector<std::string>{"*" + dir / "src", dir / "src/a.txt",
                                                 "*" + dir / "src/sub", dir / "src/sub/b.txt"}));
    EXPECT_TRUE(list.changed);
    for (std::size_t i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Rows()[i].itemValue, i);
    EXPECT_EQ(list.Rows()[1].name, "a.txt");
    EXPECT_EQ(list.Rows()[1].path, dir / "src/");
}

TEST_F(FileListCtrlTest, RepeatsAreDropped) {
    WriteText(dir / "src/A.TXT", "upper");
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> adds;  // one Add or AddMany per element
        std::size_t rows;
    };
    const std::vector<Case> cases = {
        {"same file twice", {{dir / "src/a.txt"}, {dir / "src/a.txt"}}, 1},
        {"same file in one drop", {{dir / "src/a.txt", dir / "src/a.txt"}}, 1},
        {"file inside an added folder", {{dir / "src/sub"}, {dir / "src/sub/b.txt"}}, 2},
        {"file then its folder", {{dir / "src/sub/b.txt", dir / "src/sub"}}, 2},
        // Two names differing in letter case are two files here: both are kept.
        {"letter case", {{dir / "src/a.txt"}, {dir / "src/A.TXT"}}, 2},
    };
    for (const Case& c : cases) {
        FileListCtrl fresh(dialogs);
        for (const auto& add : c.adds)
            fresh.AddMany(add);
        EXPECT_EQ(fresh.Count(), c.rows) << c.what;
    }
}

TEST_F(FileListCtrlTest, HiddenEntriesIncludedSpecialFilesDropped) {
    fs::create_directories(dir / "src/.git");
    WriteText(dir / "src/.git/config", "c");
    WriteText(dir / "src/.hidden", "h");
    ASSERT_EQ(mkfifo((dir / "src/pipe").c_str(), 0600), 0);
    list.Add(dir / "src");
    const auto names = Names();
    for (const std::string& expected :
         {"*" + dir / "src/.git", dir / "src/.git/config", dir / "src/.hidden"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(std::find(names.begin(), names.end(), dir / "src/pipe"), names.end());

    list.Add(dir / "src/pipe");
    list.Add("/dev/null");
    EXPECT_EQ(Names(), names);
}

TEST_F(FileListCtrlTest, LinkToParentFolderDoesNotLoop) {
    fs::create_directory_symlink(dir / "src", dir / "src/sub/up");
    list.shortcutPolicy = FileListCtrl::ShortcutPolicy::AlwaysReplace;
    list.Add(dir / "src");
    EXPECT_EQ(Names(), (std::vector<std::string>{"*" + dir / "src", dir / "src/a.txt",
                                                 "*" + dir / "src/sub", dir / "src/sub/b.txt"}));
    EXPECT_EQ(Questions(), 0u);
}

TEST_F(FileListCtrlTest, ShortcutAnswers) {
    fs::create_symlink(dir / "src/a.txt", dir / "link1");
    fs::create_symlink(dir / "src/sub/b.txt", dir / "link2");
    fs::create_symlink(dir / "missing", dir / "dangling");

    list.Add(dir / "link1");  // no answer queued: Cancel
    EXPECT_EQ(list.Count(), 0u);
    ASSERT_EQ(Questions(), 1u);
    EXPECT_NE(dialogs.Shown()[0].find(FileListCtrl::kShortcutText), std::string::npos);

    dialogs.replaceAnswers = {Replace::No};
    list.Add(dir / "link1");
    EXPECT_EQ(Names(), std::vector<std::string>{dir / "link1"});

    dialogs.replaceAnswers = {Replace::YesToAll};
    list.AddMany({dir / "link1", dir / "link2"});
    EXPECT_EQ(Questions(), 3u);
    EXPECT_EQ(list.shortcutPolicy, FileListCtrl::ShortcutPolicy::AlwaysReplace);
    EXPECT_EQ(Names(), (std::vector<std::string>{dir / "link1", fs::canonical(dir / "src/a.txt"),
                                                 fs::canonical(dir / "src/sub/b.txt")}));

    // A link to nothing is a plain file and asks nothing.
    list.Add(dir / "dangling");
    EXPECT_EQ(Questions(), 3u);
    EXPECT_EQ(Names().back(), dir / "dangling");
}

TEST_F(FileListCtrlTest, NoToAllKeepsLinksSilently) {
    fs::create_symlink(dir / "src/a.txt", dir / "link1");
    fs::create_symlink(dir / "src/sub", dir / "link2");
    dialogs.replaceAnswers = {Replace::NoToAll};
    list.AddMany({dir / "link1", dir / "link2"});
    EXPECT_EQ(Questions(), 1u);
    EXPECT_EQ(Names(), (std::vector<std::string>{dir / "link1", dir / "link2"}));
}

TEST_F(FileListCtrlTest, FillSplitsStoredNamesAndSelectionRemoves) {
    list.Fill({"*docs", "docs\\a.txt", "*docs\\sub", "docs\\sub\\b.txt", "top.txt"});
    const auto& rows = list.Rows();
    ASSERT_EQ(rows.size(), 5u);
    struct Expect {
        const char* name;
        const char* path;
        bool folder;
    };
    const Expect expected[] = {{"docs", "", true},
                               {"a.txt", "docs\\", false},
                               {"sub", "docs\\", true},
                               {"b.txt", "docs\\sub\\", false},
                               {"top.txt", "", false}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, expected[i].name) << i;
        EXPECT_EQ(rows[i].path, expected[i].path) << i;
        EXPECT_EQ(rows[i].isFolder, expected[i].folder) << i;
        EXPECT_EQ(rows[i].itemValue, i);
    }

    list.changed = false;
    list.Rows()[1].selected = true;
    list.Rows()[3].selected = true;
    list.RemoveSelected();
    EXPECT_TRUE(list.changed);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Rows()[0].name, "docs");
    EXPECT_EQ(list.Rows()[1].name, "sub");
    EXPECT_EQ(list.Rows()[2].name, "top.txt");
    EXPECT_EQ(list.Rows()[2].itemValue, 4u);

    list.SelectAll();
    list.RemoveSelected();
    EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
