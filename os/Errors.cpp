#include "os/Errors.h"

#include <cerrno>

namespace OS {
namespace {

const char* const kFileTexts[10] = {
    "File operation failed", "File not found",
    "File already exists",   "File permissions do not allow requested operation",
    "File read error",       "File write error",
    "File in use",           "File media is write-protected",
    "Invalid drive",         "Disk full",
};

const char* const kDirectoryTexts[10] = {
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

struct Mapping {
    int err;
    int fileCode;
    int directoryCode;
};

// The one table from errno to the codes of both layers. EIO depends on the direction.
constexpr Mapping kMappings[] = {
    {ENOENT, 1, 1},      {ENOTDIR, 1, 1}, {EEXIST, 2, 2}, {EACCES, 3, 3},
    {EPERM, 3, 3},       {EISDIR, 3, 3},  {EBUSY, 6, 6},  {ETXTBSY, 6, 6},
    {EWOULDBLOCK, 6, 6}, {EROFS, 7, 7},   {ENXIO, 8, 8},  {ENODEV, 8, 8},
    {ENOSPC, 9, 0},      {EDQUOT, 9, 0},  {EFBIG, 9, 0},  {ENOTEMPTY, 0, 9},
};

}  // namespace

int MapErrno(int err, ErrorLayer layer, IoOp op) {
    if (err == 0)
        return -1;
    if (err == EIO) {
        if (op == IoOp::Read)
            return 4;
        if (op == IoOp::Write)
            return 5;
        return 0;
    }
    for (const Mapping& m : kMappings) {
        if (m.err == err)
            return layer == ErrorLayer::File ? m.fileCode : m.directoryCode;
    }
    return 0;
}

const char* ErrorText(ErrorLayer layer, int code) {
    if (code < 0 || code > 9)
        code = 0;
    return layer == ErrorLayer::File ? kFileTexts[code] : kDirectoryTexts[code];
}

}  // namespace OS
