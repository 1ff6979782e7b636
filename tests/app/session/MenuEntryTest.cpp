// What a file manager's entry puts into the wizard for each of the pop-up menu's six settings,
// and the list of what shredding destroys.
#include "app/session/MenuEntry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/AppTestSupport.h"

namespace {

using namespace cryvan_test;
using App::MenuSettings;
using App::MenuVerb;
using App::PagesValues;
using FCryptEng::InputDeletionMode;

TEST(MenuEntry, EncryptAndDecryptTakeTheirListsDeletionAndConfirmation) {
    const InputDeletionMode modes[] = {InputDeletionMode::Keep, InputDeletionMode::Recycle,
                                       InputDeletionMode::Delete, InputDeletionMode::Overwrite,
                                       InputDeletionMode::Eradicate};
    for (std::uint32_t index = 0; index < 6; ++index) {
        for (bool confirm : {false, true}) {
            SCOPED_TRACE(testing::Message() << "index " << index << " confirm " << confirm);
            // An index past the list is read as its default by the settings; here it keeps.
            const InputDeletionMode expected = index < 5 ? modes[index] : InputDeletionMode::Keep;
            MenuSettings s;
            s.encryptDeletion = s.decryptDeletion = index;
            s.confirmEncrypt = s.confirmDecrypt = confirm;

            PagesValues enc;
            EXPECT_EQ(ApplyMenuRequest(MenuVerb::Encrypt, {"/a/x.txt", "/a/y"}, s, enc), "");
            EXPECT_EQ(enc.operation, PagesValues::Operation::Encrypt);
            EXPECT_EQ(enc.pendingInputs, (std::vector<std::string>{"/a/x.txt", "/a/y"}));
            EXPECT_EQ(enc.encDeletion, expected);
            EXPECT_EQ(enc.encNoConfirm, !confirm);
            EXPECT_TRUE(enc.encProposeBeside);
            EXPECT_FALSE(enc.encOutputFromCommandLine);  // proposed, not taken

            for (MenuVerb verb : {MenuVerb::Decrypt, MenuVerb::Open}) {
                PagesValues dec;
                EXPECT_EQ(ApplyMenuRequest(verb, {"/a/x.aes"}, s, dec), "");
                EXPECT_EQ(dec.operation, PagesValues::Operation::Decrypt);
                EXPECT_EQ(dec.decContainer, "/a/x.aes");
                EXPECT_EQ(dec.decDeletion, expected);
                EXPECT_EQ(dec.decNoConfirm, !confirm);
            }
        }
    }
}

TEST(MenuEntry, ShredTakesTheMenusOwnListAndIsOffAtNone) {
    const struct {
        std::uint32_t index;
        std::optional<InputDeletionMode> mode;
    } cases[] = {
        {0, std::nullopt},
        {1, InputDeletionMode::Overwrite},
        {2, InputDeletionMode::Eradicate},
        {3, std::nullopt},  // not an index of this list
    };
    for (const auto& c : cases) {
        for (bool confirm : {false, true}) {
            SCOPED_TRACE(testing::Message() << "index " << c.index << " confirm " << confirm);
            MenuSettings s;
            s.menuDeletion = c.index;
            s.confirmMenu = confirm;
            PagesValues v;
            const std::string refused = ApplyMenuRequest(MenuVerb::Shred, {"/a/x"}, s, v);
            if (!c.mode) {
                EXPECT_EQ(refused, App::kShredOffText);
                EXPECT_FALSE(v.shredMode);
                EXPECT_TRUE(v.pendingInputs.empty());
                continue;
            }
            EXPECT_EQ(refused, "");
            EXPECT_EQ(v.shredMode, c.mode);
            EXPECT_EQ(v.shredConfirm, confirm);
            EXPECT_EQ(v.operation, PagesValues::Operation::None);
            EXPECT_EQ(v.pendingInputs, std::vector<std::string>{"/a/x"});
        }
    }
}

TEST(MenuEntry, RequestsWithoutFilesOrWithTooManyAreToldApart) {
    MenuSettings s;
    const struct {
        MenuVerb verb;
        std::vector<std::string> files;
        PagesValues::Operation operation;
        const char* refused;
    } cases[] = {
        {MenuVerb::Encrypt, {}, PagesValues::Operation::Encrypt, ""},  // the file page
        {MenuVerb::Decrypt, {}, PagesValues::Operation::Decrypt, ""},  // the container page
        {MenuVerb::Open, {}, PagesValues::Operation::None, ""},        // the first page
        {MenuVerb::Decrypt,
         {"/a.aes", "/b.aes"},
         PagesValues::Operation::Decrypt,
         "--menu decrypt takes one container at a time, not 2 files"},
        {MenuVerb::Shred,
         {},
         PagesValues::Operation::None,
         "--menu shred needs the files to shred"},
        {MenuVerb::Encrypt,
         {""},
         PagesValues::Operation::None,
         "--menu was given an empty file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        PagesValues v;
        EXPECT_EQ(ApplyMenuRequest(c.verb, c.files, s, v), c.refused);
        EXPECT_EQ(v.operation, c.operation);
        EXPECT_TRUE(v.pendingInputs.empty());
        EXPECT_TRUE(v.decContainer.empty() || c.files.size() == 1);
    }
    // Names are a file manager's, never options: "-e" is a file in the current folder.
    PagesValues v;
    ASSERT_EQ(ApplyMenuRequest(MenuVerb::Encrypt, {"-e", "/c"}, s, v), "");
    EXPECT_EQ(v.pendingInputs,
              (std::vector<std::string>{std::filesystem::current_path() / "-e", "/c"}));
}

TEST(MenuEntry, TheVerbsAreTheWordsAsTyped) {
    EXPECT_EQ(App::MenuVerbNamed("encrypt"), MenuVerb::Encrypt);
    EXPECT_EQ(App::MenuVerbNamed("decrypt"), MenuVerb::Decrypt);
    EXPECT_EQ(App::MenuVerbNamed("shred"), MenuVerb::Shred);
    EXPECT_EQ(App::MenuVerbNamed("open"), MenuVerb::Open);
    EXPECT_EQ(App::MenuVerbNamed("Encrypt"), std::nullopt);
    EXPECT_EQ(App::MenuVerbNamed("-e"), std::nullopt);
}

TEST(MenuEntry, ShredListsFoldersFirstLinksAsThemselvesAndEachNameOnce) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir / "d/sub");
    WriteText(dir / "d/a", "a");
    WriteText(dir / "d/sub/b", "b");
    WriteText(dir / "outside", "o");
    fs::create_directory_symlink(dir / "outside-folder", dir / "d/linked");
    fs::create_directories(dir / "outside-folder");
    WriteText(dir / "outside-folder/kept", "k");

    const std::vector<std::string> list =
        App::ShredList({dir / "d/", dir / "d/a", dir / "outside"});
    const std::string d = dir / "d";
    const auto at = [&](const std::string& name) {
        return std::find(list.begin(), list.end(), name) - list.begin();
    };
    EXPECT_EQ(list.size(), 6u);  // d, d/a, d/sub, d/sub/b, d/linked, outside
    EXPECT_EQ(at(d), 0);
    EXPECT_LT(at(d + "/sub"), at(d + "/sub/b"));
    EXPECT_LT(at(d + "/linked"), long(list.size()));
    EXPECT_EQ(at(d + "/linked/kept"), long(list.size()));  // never entered
    EXPECT_EQ(std::count(list.begin(), list.end(), d + "/a"), 1);

    EXPECT_THROW(App::ShredList({dir / "missing"}), std::runtime_error);
}

TEST(MenuEntry, TheCountQuestionNamesHowManyAndWhatGoes) {
    EXPECT_EQ(App::ShredCountQuestion(InputDeletionMode::Overwrite, 1),
              "Overwrite 1 file? Its contents cannot be recovered afterwards.");
    EXPECT_EQ(App::ShredCountQuestion(InputDeletionMode::Eradicate, 12),
              "Eradicate 12 files? Their contents and names cannot be recovered afterwards.");
}

}  // namespace
