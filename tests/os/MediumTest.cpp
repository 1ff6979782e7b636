// Whether an overwrite can be trusted, by the type of drive, on Windows.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/Destroy.h"
#include "support/TempDir.h"

namespace {

using OS::ErrorCode;

// A drive letter nothing is mapped to; 0 when every one is taken.
char FreeLetter() {
    const DWORD used = GetLogicalDrives();
    for (int i = 25; i >= 3; --i) {
        if (!(used & (1u << i)))
            return static_cast<char>('A' + i);
    }
    return 0;
}

TEST(Medium, DriveTypesDecide) {
    const struct {
        unsigned type;
        bool secure;
    } trusted[] = {{DRIVE_REMOVABLE, true},
                   {DRIVE_FIXED, true},
                   {DRIVE_REMOTE, false},
                   {DRIVE_CDROM, false},
                   {DRIVE_RAMDISK, false}};
    for (const auto& c : trusted)
        EXPECT_EQ(OS::IsSecureDriveType(c.type), c.secure) << c.type;
    const struct {
        unsigned type;
        ErrorCode code;
    } raised[] = {{DRIVE_UNKNOWN, ErrorCode::InvalidDrive},
                  {DRIVE_NO_ROOT_DIR, ErrorCode::InvalidDrive},
                  {7, ErrorCode::Failed},
                  {0xffffffffu, ErrorCode::Failed}};
    for (const auto& c : raised) {
        try {
            OS::IsSecureDriveType(c.type);
            ADD_FAILURE() << c.type << " raised nothing";
        } catch (const OS::File::Error& e) {
            EXPECT_EQ(e.code, c.code) << c.type;
        }
    }
}

TEST(Medium, TheDriveHoldingThePathAnswers) {
    cryvan_test::TempDir tmp;
    EXPECT_EQ(OS::DriveTypeOf("C:\\"), static_cast<unsigned>(DRIVE_FIXED));
    EXPECT_EQ(OS::DriveTypeOf("c:/windows"), static_cast<unsigned>(DRIVE_FIXED));
    // A name not there yet is on the drive of its folder.
    EXPECT_EQ(OS::DriveTypeOf("C:\\no\\such\\folder\\"), static_cast<unsigned>(DRIVE_FIXED));
    EXPECT_EQ(OS::DriveTypeOf(tmp / "file"), static_cast<unsigned>(DRIVE_FIXED));
    const char free = FreeLetter();
    ASSERT_NE(free, 0);
    EXPECT_EQ(OS::DriveTypeOf(std::string(1, free) + ":\\folder\\"),
              static_cast<unsigned>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(OS::DriveTypeOf(""), static_cast<unsigned>(DRIVE_NO_ROOT_DIR));

    cryvan_test::WriteText(tmp / "file", "x");
    EXPECT_TRUE(OS::IsSecureMedium(OS::File::Info(tmp / "file", false)));
    try {
        OS::IsSecureMedium(OS::File::Info::Named(std::string(1, free) + ":\\folder\\file"));
        ADD_FAILURE() << "a drive that is not there raised nothing";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, ErrorCode::InvalidDrive);
        EXPECT_STREQ(e.what(), "Invalid drive");
    }
}

}  // namespace
#endif
