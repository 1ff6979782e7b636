#include "os/Errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "os/Directory.h"
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

// The numbers the handlers and the texts are keyed by; -1 for none.
int CodeOf(std::optional<OS::ErrorCode> code) {
    return code ? static_cast<int>(*code) : -1;
}

TEST(Errors, ErrnoMapsToTheCodeOfEachLayer) {
    for (const Case& c : kCases) {
        SCOPED_TRACE("errno " + std::to_string(c.err));
        EXPECT_EQ(CodeOf(OS::MapErrno(c.err, ErrorLayer::File, c.op)), c.fileCode);
        EXPECT_EQ(CodeOf(OS::MapErrno(c.err, ErrorLayer::Directory, c.op)), c.directoryCode);
    }
}

TEST(Errors, RaiseCarriesCodeAndFixedText) {
    try {
        OS::File::RaiseError(ENOSPC, IoOp::Write);
        FAIL() << "no exception";
    } catch (const OS::File::Error& e) {
        EXPECT_EQ(e.code, OS::ErrorCode::DiskFull);
        EXPECT_STREQ(e.what(), "Disk full");
    }
    try {
        OS::RaiseErrno<ErrorLayer::Directory>(ENOSPC);
        FAIL() << "no exception";
    } catch (const OS::Directory::Error& e) {
        EXPECT_EQ(e.code, OS::ErrorCode::Failed);
        EXPECT_STREQ(e.what(), "Directory operation failed");
    }
    EXPECT_NO_THROW(OS::File::RaiseError(0));
}

TEST(Errors, TextsOfBothTablesByTheirNumbers) {
    // The names keep the numbers of the tables, which handlers were written against.
    const char* const file[] = {
        "File operation failed", "File not found",
        "File already exists",   "File permissions do not allow requested operation",
        "File read error",       "File write error",
        "File in use",           "File media is write-protected",
        "Invalid drive",         "Disk full",
    };
    const char* const directory[] = {
        "Directory operation failed",
        "Directory not found",
        "Directory already exists",
        "Directory permissions do not allow requested operation",
        "Directory read error",
        "Directory write error",
        "Directory in use",
        "Directory media is write-protected",
        "Invalid drive",
        "Directory not empty",
    };
    for (int n = 0; n < 10; ++n) {
        SCOPED_TRACE(n);
        EXPECT_STREQ(OS::File::Error(OS::ErrorCode(n)).what(), file[n]);
        EXPECT_STREQ(OS::Directory::Error(OS::ErrorCode(n)).what(), directory[n]);
    }
    EXPECT_STREQ(OS::File::Error(OS::ErrorCode::InUse).what(), "File in use");
    EXPECT_STREQ(OS::Directory::Error(OS::ErrorCode::NotEmpty).what(), "Directory not empty");
    // Codes outside the table fall back to the generic text rather than reading past it.
    const OS::File::Error outside(OS::ErrorCode(42));
    EXPECT_STREQ(outside.what(), "File operation failed");
    EXPECT_EQ(outside.code, OS::ErrorCode::Failed);
}

}  // namespace
