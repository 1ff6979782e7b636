#include "os/Errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "os/File.h"

namespace {

using OS::ErrorLayer;
using OS::IoOp;

struct Case {
    int err;
    IoOp op;
    int fileCode;
    int directoryCode;
};

// -1: no exception at all.
const Case kCases[] = {
    {0, IoOp::Other, -1, -1},     {ENOENT, IoOp::Other, 1, 1},
    {ENOTDIR, IoOp::Other, 1, 1}, {EEXIST, IoOp::Other, 2, 2},
    {EACCES, IoOp::Other, 3, 3},  {EPERM, IoOp::Other, 3, 3},
    {EIO, IoOp::Read, 4, 4},      {EIO, IoOp::Write, 5, 5},
    {EIO, IoOp::Other, 0, 0},     {EBUSY, IoOp::Other, 6, 6},
    {ETXTBSY, IoOp::Other, 6, 6}, {EWOULDBLOCK, IoOp::Other, 6, 6},
    {EROFS, IoOp::Other, 7, 7},   {ENXIO, IoOp::Other, 8, 8},
    {ENODEV, IoOp::Other, 8, 8},  {ENOSPC, IoOp::Write, 9, 0},
    {EDQUOT, IoOp::Write, 9, 0},  {ENOTEMPTY, IoOp::Other, 0, 9},
    {EINVAL, IoOp::Other, 0, 0},  {ENAMETOOLONG, IoOp::Other, 0, 0},
};

TEST(Errors, ErrnoMapsToTheCodeOfEachLayer) {
    for (const Case& c : kCases) {
        SCOPED_TRACE("errno " + std::to_string(c.err));
        EXPECT_EQ(OS::MapErrno(c.err, ErrorLayer::File, c.op), c.fileCode);
        EXPECT_EQ(OS::MapErrno(c.err, ErrorLayer::Directory, c.op), c.directoryCode);
    }
}

TEST(Errors, RaiseCarriesCodeAndFixedText) {
    try {
        OS::File::RaiseError(ENOSPC, IoOp::Write);
        FAIL() << "no exception";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, 9);
        EXPECT_STREQ(e.what(), "Disk full");
    }
    try {
        OS::RaiseErrno<ErrorLayer::Directory>(ENOSPC);
        FAIL() << "no exception";
    } catch (const OS::PlatformError<ErrorLayer::Directory>& e) {
        EXPECT_EQ(e.code, 0);
        EXPECT_STREQ(e.what(), "Directory operation failed");
    }
    EXPECT_NO_THROW(OS::File::RaiseError(0));
}

TEST(Errors, TextsOfBothTables) {
    EXPECT_STREQ(OS::File::Error(1).what(), "File not found");
    EXPECT_STREQ(OS::File::Error(6).what(), "File in use");
    EXPECT_STREQ(OS::PlatformError<ErrorLayer::Directory>(9).what(), "Directory not empty");
    EXPECT_STREQ(OS::PlatformError<ErrorLayer::Directory>(8).what(), "Invalid drive");
    EXPECT_STREQ(OS::File::Error(8).what(), "Invalid drive");
    // Codes outside the table fall back to the generic text rather than reading past it.
    EXPECT_STREQ(OS::File::Error(42).what(), "File operation failed");
}

}  // namespace
