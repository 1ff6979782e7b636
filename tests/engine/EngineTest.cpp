#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "engine/EngineTestSupport.h"
#include "engine/FileDecryptor.h"
#include "engine/FileEncryptor.h"
#include "os/File.h"

namespace {

using namespace cryvan_test;

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        in = dir / "in";
        out = dir / "out";
        container = dir / "box.aes";
        fs::create_directories(in + "/docs/sub/deeper");
        fs::create_directories(out);
        WriteText(in + "/docs/empty.txt", "");
        WriteText(in + "/docs/small.txt", TextBytes(1023));
        WriteText(in + "/docs/exact-random.bin", RandomBytes(1024));
        WriteText(in + "/docs/text.txt", TextBytes(300000));
        WriteText(in + "/docs/random.bin", RandomBytes(150000));
        WriteText(in + "/docs/sub/deep.txt", "deep\n");
        WriteText(in + "/docs/sub/ro.txt", "read only\n");
        WriteText(in + "/docs/.hidden", "dot file\n");
        MakeReadOnly(in + "/docs/sub/ro.txt");
        for (const auto& e : fs::recursive_directory_iterator(in + "/docs"))
            if (!e.is_directory())
                SetModTime(e.path().string(), 1735787045, 6);
    }

    TempDir dir;
    std::string in, out, container;
    EngineRun run;
};

TEST_F(Engine, FolderTreeRoundTripsExactly) {
    ASSERT_EQ(run.Encrypt(Expand(in + "/docs"), container, {"pw"}), OperationState::Finished);
    EXPECT_EQ(run.status.fileCount.load(), 8u);
    EXPECT_EQ(run.status.folderCount.load(), 3u);
    EXPECT_EQ(run.status.overallPercent.load(), 100u);
    // The plain container starts with its 35-byte text.
    EXPECT_EQ(ReadText(container).substr(0, 35), "Cryvan encrypted file - do not edit");

    EngineRun dec;
    ASSERT_EQ(dec.Decrypt(container, "pw", out), OperationState::Finished);
    EXPECT_EQ(Tree(out), Tree(in));
    // Times and the read-only attribute come back.
    const OS::File::Info ro(out + "/docs/sub/ro.txt", false);
    EXPECT_TRUE(ro.Attributes() & OS::ATTR_READONLY);
    EXPECT_EQ(ro.ModTime().PackedDate(), 0x07E90102u);
    EXPECT_EQ(ro.ModTime().TimeOfDay(), 11045006u);
    EXPECT_EQ(dec.status.fileCount.load(), 8u);
    EXPECT_EQ(dec.status.overallPercent.load(), 100u);
    // Nothing but the results: no temporary files anywhere.
    for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
        EXPECT_EQ(e.path().filename().string().find(".cryvan-"), std::string::npos) << e.path();
}

TEST_F(Engine, CompressionFollowsTheSample) {
    ASSERT_EQ(run.Encrypt(Expand(in + "/docs"), container, {"pw"}), OperationState::Finished);
    FCryptEng::UnlockResult result = FCryptEng::UnlockResult::Nothing;
    EngineRun dec;
    auto d = dec.Open(container, "pw", &result);
    ASSERT_EQ(result, FCryptEng::UnlockResult::Unlocked);
    std::map<std::string, bool> compressed;
    for (std::size_t i = 0; const auto* e = d->Directory().GetEntry(i); ++i)
        compressed[e->Name()] = e->Compress();
    EXPECT_TRUE(compressed.at("docs\\small.txt"));  // under the sample: always
    EXPECT_TRUE(compressed.at("docs\\empty.txt"));
    EXPECT_FALSE(compressed.at("docs\\exact-random.bin"));  // a random sample does not pay
    EXPECT_TRUE(compressed.at("docs\\text.txt"));
    EXPECT_FALSE(compressed.at("docs\\random.bin"));
}

}  // namespace
