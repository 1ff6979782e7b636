// Destroying inputs on Windows: where the system differs from POSIX (sharing, the read-only flag,
// hard links through the file index, renames that must not replace).
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "os/Destroy.h"
#include "os/DestroyParts.h"
#include "os/File.h"
#include "os/windows/Wide.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::WriteFile;

void SetReadOnly(const std::string& name) {
    ASSERT_TRUE(SetFileAttributesW(OS::SystemPath(name).c_str(), FILE_ATTRIBUTE_READONLY));
}

bool Exists(const std::string& name) {
    return GetFileAttributesW(OS::SystemPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WindowsDestroy, OverwriteAndEradicateRemoveTheFileAndEndTheProgress) {
    for (const std::size_t size : {std::size_t(0), std::size_t(100), std::size_t(40000)}) {
        for (const bool eradicate : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (eradicate ? " eradicate" : " overwrite"));
            TempDir dir;
            fs::create_directory(dir / "files");
            const std::string name = dir / "files/a.b.txt";
            WriteText(name, std::string(size, 'A'));
            OS::ProgressWord percent{0}, counter{200};
            WriteFile w(name, OS::WriteMode::Replace);
            w.SetProgress(0, &percent, &counter, 1000);
            const bool trusted = eradicate ? w.Eradicate() : w.Overwrite();
            EXPECT_EQ(trusted, OS::IsSecureMedium(OS::File::Info(dir / "files", true)));
            EXPECT_EQ(w.DestroyNote(), "");
            EXPECT_TRUE(fs::is_empty(dir / "files"));
            EXPECT_EQ(w.GetInfo().Name(), "a.b.txt");
            EXPECT_EQ(percent, 100u);
            EXPECT_EQ(counter, 1000u);
        }
    }
}

TEST(WindowsDestroy, LeavesWhatItCannotOpen) {
    enum class Hold { ReadOnly, OpenWithoutSharing, OpenWithoutDeleteSharing };
    for (const Hold hold :
         {Hold::ReadOnly, Hold::OpenWithoutSharing, Hold::OpenWithoutDeleteSharing}) {
        for (const bool eradicate : {false, true}) {
            SCOPED_TRACE(int(hold) * 10 + eradicate);
            TempDir dir;
            const std::string name = dir / "kept.txt";
            WriteText(name, "precious");
            OS::Descriptor holder;
            if (hold == Hold::ReadOnly) {
                SetReadOnly(name);
            } else {
                const DWORD share =
                    hold == Hold::OpenWithoutSharing ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
                holder.Reset(CreateFileW(OS::SystemPath(name).c_str(), GENERIC_READ, share, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
                ASSERT_TRUE(holder.Valid());
            }
            WriteFile w(name, OS::WriteMode::Replace);
            EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
            EXPECT_NE(w.DestroyNote(), "");
            EXPECT_FALSE(w.IsOpen());
            holder.Reset();
            EXPECT_EQ(ReadText(name), "precious");
        }
    }

    // An empty file is never opened to be eradicated, so read-only does not keep it.
    TempDir dir;
    WriteText(dir / "empty", "");
    SetReadOnly(dir / "empty");
    WriteFile w(dir / "empty", OS::WriteMode::Replace);
    w.Eradicate();
    EXPECT_FALSE(Exists(dir / "empty"));
}

TEST(WindowsDestroy, AFileWithOtherNamesIsOnlyUnlinked) {
    for (const bool eradicate : {false, true}) {
        SCOPED_TRACE(eradicate ? "eradicate" : "overwrite");
        TempDir dir;
        WriteText(dir / "chosen", "shared content");
        ASSERT_TRUE(CreateHardLinkW(OS::SystemPath(dir / "other").c_str(),
                                    OS::SystemPath(dir / "chosen").c_str(), nullptr));
        WriteFile w(dir / "chosen", OS::WriteMode::Replace);
        EXPECT_FALSE(eradicate ? w.Eradicate() : w.Overwrite());
        EXPECT_FALSE(Exists(dir / "chosen"));
        EXPECT_EQ(ReadText(dir / "other"), "shared content");
        EXPECT_NE(w.DestroyNote().find("hard links"), std::string::npos) << w.DestroyNote();
    }
}

TEST(WindowsDestroy, OnlyTheFileReadIsDestroyedOrDeleted) {
    enum class Change { None, Grown, Replaced };
    for (const Change change : {Change::None, Change::Grown, Change::Replaced}) {
        for (int how = 0; how < 3; ++how) {
            SCOPED_TRACE(int(change) * 10 + how);
            TempDir dir;
            const std::string name = dir / "input.txt";
            WriteText(name, "original");
            const std::optional<OS::FileIdentity> read = OS::IdentityAt(name);
            ASSERT_TRUE(read);
            if (change == Change::Grown) {
                Sleep(20);
                WriteText(name, "original, and more");
            } else if (change == Change::Replaced) {
                WriteText(dir / "new", "original too");
                ASSERT_TRUE(MoveFileExW(OS::SystemPath(dir / "new").c_str(),
                                        OS::SystemPath(name).c_str(), MOVEFILE_REPLACE_EXISTING));
            }
            std::string note;
            if (how < 2) {
                WriteFile w(name, OS::WriteMode::Replace);
                w.ExpectIdentity(*read);
                how == 0 ? w.Overwrite() : w.Eradicate();
                note = w.DestroyNote();
            } else {
                const auto outcomes = OS::DeleteFileList({name}, false, {*read});
                ASSERT_EQ(outcomes.size(), 1u);
                EXPECT_EQ(outcomes[0].result,
                          change == Change::None ? OS::Removal::Removed : OS::Removal::Changed);
                note = outcomes[0].reason;
            }
            EXPECT_EQ(Exists(name), change != Change::None);
            if (change != Change::None) {
                EXPECT_NE(note.find("changed"), std::string::npos) << note;
                EXPECT_EQ(ReadText(name).substr(0, 8), "original");
            }
        }
    }
    TempDir dir;
    EXPECT_FALSE(OS::IdentityAt(dir / "missing"));
    EXPECT_FALSE(OS::IdentityAt(dir / "no-folder/missing"));
}

TEST(WindowsDeleteFileList, DeletesReadOnlyNamesAndReportsTheRest) {
    TempDir dir;
    WriteText(dir / "one", "1");
    WriteText(dir / "ro", "r");
    SetReadOnly(dir / "ro");
    WriteText(dir / "busy", "b");
    // Open elsewhere without delete sharing: Windows cannot remove it, and it is said so.
    OS::Descriptor holder(CreateFileW(OS::SystemPath(dir / "busy").c_str(), GENERIC_READ,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.Valid());

    const auto outcomes =
        OS::DeleteFileList({dir / "one", dir / "missing", dir / "ro", dir / "busy"}, false);
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].result, OS::Removal::Removed);
    EXPECT_EQ(outcomes[1].result, OS::Removal::Missing);
    EXPECT_EQ(outcomes[2].result, OS::Removal::Removed);
    EXPECT_EQ(outcomes[3].result, OS::Removal::Failed);
    EXPECT_NE(outcomes[3].reason, "");
    EXPECT_FALSE(Exists(dir / "one"));
    EXPECT_FALSE(Exists(dir / "ro"));
    holder.Reset();
    EXPECT_EQ(ReadText(dir / "busy"), "b");
}

TEST(WindowsDestroy, RenamesNeverReplaceATakenName) {
    using OS::DestroyParts::Moved;
    TempDir dir;
    WriteText(dir / "a", "a");
    WriteText(dir / "b", "b");
    int err = 0;
    EXPECT_EQ(OS::DestroyParts::MoveNoReplace(dir / "a", dir / "b", err), Moved::NameTaken);
    EXPECT_EQ(ReadText(dir / "b"), "b");
    EXPECT_EQ(OS::DestroyParts::MoveNoReplace(dir / "a", dir / "c", err), Moved::Done);
    EXPECT_EQ(ReadText(dir / "c"), "a");
    EXPECT_EQ(OS::DestroyParts::MoveNoReplace(dir / "a", dir / "d", err), Moved::Failed);
    EXPECT_TRUE(OS::DestroyParts::IsMissing(err));
}

}  // namespace

#endif  // _WIN32
