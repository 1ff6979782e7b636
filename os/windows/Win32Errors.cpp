#include <windows.h>

#include "os/Errors.h"

namespace OS {
namespace {

struct Mapping {
    DWORD err;
    ErrorCode fileCode;
    ErrorCode directoryCode;
};

constexpr ErrorCode kFailed = ErrorCode::Failed;

// The system's error numbers to the codes of both layers; every other number reads as Failed.
constexpr Mapping kMappings[] = {
    {ERROR_FILE_NOT_FOUND, ErrorCode::NotFound, ErrorCode::NotFound},
    {ERROR_PATH_NOT_FOUND, ErrorCode::NotFound, ErrorCode::NotFound},
    {ERROR_ACCESS_DENIED, ErrorCode::Denied, ErrorCode::Denied},
    {ERROR_INVALID_DRIVE, ErrorCode::InvalidDrive, ErrorCode::InvalidDrive},
    {ERROR_WRITE_PROTECT, ErrorCode::WriteProtected, ErrorCode::WriteProtected},
    {ERROR_WRITE_FAULT, ErrorCode::WriteFault, ErrorCode::WriteFault},
    {ERROR_READ_FAULT, ErrorCode::ReadFault, ErrorCode::ReadFault},
    {ERROR_SHARING_VIOLATION, ErrorCode::InUse, ErrorCode::InUse},
    {ERROR_LOCK_VIOLATION, ErrorCode::InUse, ErrorCode::InUse},
    {ERROR_FILE_EXISTS, ErrorCode::Exists, ErrorCode::Exists},
    {ERROR_ALREADY_EXISTS, ErrorCode::Exists, ErrorCode::Exists},
    {ERROR_DISK_FULL, ErrorCode::DiskFull, kFailed},
    {ERROR_DIR_NOT_EMPTY, kFailed, ErrorCode::NotEmpty},
};

}  // namespace

std::optional<ErrorCode> MapWindowsError(unsigned long err, ErrorLayer layer, IoOp) {
    if (err == ERROR_SUCCESS)
        return std::nullopt;
    for (const Mapping& m : kMappings) {
        if (m.err == err)
            return layer == ErrorLayer::File ? m.fileCode : m.directoryCode;
    }
    return kFailed;
}

}  // namespace OS
