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
    ErrorCode fileCode;
    ErrorCode directoryCode;
};

constexpr ErrorCode kFailed = ErrorCode::Failed;

// The one table from errno to the codes of both layers. EIO depends on the direction.
constexpr Mapping kMappings[] = {
    {ENOENT, ErrorCode::NotFound, ErrorCode::NotFound},
    {ENOTDIR, ErrorCode::NotFound, ErrorCode::NotFound},
    {EEXIST, ErrorCode::Exists, ErrorCode::Exists},
    {EACCES, ErrorCode::Denied, ErrorCode::Denied},
    {EPERM, ErrorCode::Denied, ErrorCode::Denied},
    {EISDIR, ErrorCode::Denied, ErrorCode::Denied},
    {EBUSY, ErrorCode::InUse, ErrorCode::InUse},
    {ETXTBSY, ErrorCode::InUse, ErrorCode::InUse},
    {EWOULDBLOCK, ErrorCode::InUse, ErrorCode::InUse},
    {EROFS, ErrorCode::WriteProtected, ErrorCode::WriteProtected},
    {ENXIO, ErrorCode::InvalidDrive, ErrorCode::InvalidDrive},
    {ENODEV, ErrorCode::InvalidDrive, ErrorCode::InvalidDrive},
    {ENOSPC, ErrorCode::DiskFull, kFailed},
#ifdef EDQUOT
    {EDQUOT, ErrorCode::DiskFull, kFailed},
#endif
    {EFBIG, ErrorCode::DiskFull, kFailed},
    {ENOTEMPTY, kFailed, ErrorCode::NotEmpty},
};

}  // namespace

std::optional<ErrorCode> MapErrno(int err, ErrorLayer layer, IoOp op) {
    if (err == 0)
        return std::nullopt;
    if (err == EIO) {
        if (op == IoOp::Read)
            return ErrorCode::ReadFault;
        if (op == IoOp::Write)
            return ErrorCode::WriteFault;
        return kFailed;
    }
    for (const Mapping& m : kMappings) {
        if (m.err == err)
            return layer == ErrorLayer::File ? m.fileCode : m.directoryCode;
    }
    return kFailed;
}

const char* ErrorText(ErrorLayer layer, ErrorCode code) {
    int index = static_cast<int>(code);
    if (index < 0 || index > 9)
        index = 0;
    return layer == ErrorLayer::File ? kFileTexts[index] : kDirectoryTexts[index];
}

SystemError::SystemError(ErrorLayer layer, ErrorCode c, const char* text)
    : Error(text ? text : ErrorText(layer, c)),
      code(static_cast<int>(c) >= 0 && static_cast<int>(c) <= 9 ? c : kFailed) {}

}  // namespace OS
