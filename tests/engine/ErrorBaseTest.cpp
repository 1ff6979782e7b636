#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/FileCryptor.h"
#include "filters/Zlib.h"
#include "format/DirEntry.h"
#include "format/DirFooter.h"
#include "format/Footer.h"
#include "format/FooterEntry.h"
#include "format/KeyEntry.h"
#include "format/KeyFooter.h"
#include "format/KeyPair.h"
#include "format/KeySet.h"
#include "os/Config.h"
#include "os/Directory.h"
#include "os/Errors.h"
#include "os/File.h"
#include "recovery/AdminRecovery.h"
#include "recovery/EmergencyPassword.h"
#include "recovery/Organisation.h"
#include "recovery/Signed.h"

namespace {

using namespace FCryptEng;

// Every layer's failure is caught by the one base, its text as the layer wrote it.
TEST(ErrorBase, CatchesEveryLayersErrorWithItsText) {
    const struct {
        std::function<void()> raise;
        const char* text;
    } cases[] = {
        {[] { throw OS::File::Error(OS::ErrorCode::NotFound); }, "File not found"},
        {[] { throw OS::Directory::Error(OS::ErrorCode::NotEmpty); }, "Directory not empty"},
        {[] { throw OS::File::NameTooLong(); }, "File name too long"},
        {[] { throw OS::Config::Err(); }, "\"Config error\""},
        {[] { throw CryptoP2::ZlibInflater::Err(CryptoP2::ZlibInflater::kDamaged); },
         "Zlib stream damaged"},
        {[] { throw FooterEntry::Err(); }, "\"FooterEntry error\""},
        {[] { throw Footer::Err("Footer MAC mismatch"); }, "Footer MAC mismatch"},
        {[] { throw DirFooter::Err("Corrupt input file"); }, "Corrupt input file"},
        {[] { throw DirEntry::Err(); }, "\"DirEntry error\""},
        {[] { throw DirEntry::Err("Size way too small"); }, "Size way too small"},
        {[] { throw KeySet::Err(); }, "\"KeySet error\""},
        {[] { throw KeyEntry::Err(); }, "\"KeyEntry error\""},
        {[] { throw KeyFooter::Err(); }, "\"KeyFooter error\""},
        {[] { throw KeyPair::Err(); }, "\"KeyPair error\""},
        {[] { throw Signed::Err(); }, "\"Signed file error\""},
        {[] { throw Signed::Null(); }, "\"Signed file empty\""},
        {[] { throw EmergencyPassword::Err(); }, "\"EP error\""},
        {[] { throw AdminRecovery::Err(); }, "\"AR Error\""},
        {[] { throw AdminRecovery::Null(); }, "\"AR Null\""},
        {[] { throw Organisation::Err(); }, "\"Organisation error\""},
        {[] { throw FileCryptorErr("No input files set"); }, "No input files set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            c.raise();
            ADD_FAILURE() << "nothing raised";
        } catch (const OS::Error& e) {
            EXPECT_STREQ(e.what(), c.text);
            // A copy, as a handler that keeps the error makes, keeps the text too.
            const OS::Error copy = e;
            EXPECT_STREQ(copy.what(), c.text);
        }
    }
}

TEST(ErrorBase, PlatformFailuresAreOneTypeThatKeepsItsCode) {
    for (const bool file : {true, false}) {
        try {
            if (file)
                OS::ReadFile("/nonexistent-folder-of-this-test/f");
            else
                OS::Directory::IsEmpty("/nonexistent-folder-of-this-test");
            ADD_FAILURE() << "nothing raised";
        } catch (const OS::SystemError& e) {
            EXPECT_EQ(e.code, OS::ErrorCode::NotFound);
            EXPECT_STREQ(e.what(), file ? "File not found" : "Directory not found");
        }
    }
    // Failures that are not the platform's stay out of its handlers.
    EXPECT_THROW(
        try { throw KeySet::Err(); } catch (const OS::SystemError&){}, KeySet::Err);
}

}  // namespace
