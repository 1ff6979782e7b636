// Failures of every layer: one base carrying the fixed text, and the platform's file and
// directory errors, each with a code 0-9 and its fixed text.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace OS {

// The base of every failure the layers raise, whatever its nested name: a handler that need
// not tell failures apart catches this one type and shows what() as it stands.
class Error : public std::runtime_error {
  public:
    explicit Error(const char* text) : std::runtime_error(text) {}
    explicit Error(const std::string& text) : std::runtime_error(text) {}
    // A code is not a text: 0 would otherwise become a null text.
    explicit Error(int) = delete;
};

enum class ErrorLayer { File, Directory };

// The numbered platform errors. The numbers are the ones handlers and texts are keyed by; 9
// reads "Disk full" for a file and "Directory not empty" for a folder.
enum class ErrorCode : int {
    Failed = 0,
    NotFound = 1,
    Exists = 2,
    Denied = 3,
    ReadFault = 4,
    WriteFault = 5,
    InUse = 6,
    WriteProtected = 7,
    InvalidDrive = 8,
    DiskFull = 9,
    NotEmpty = 9,
};

// What the failed call was doing: an I/O error reads differently for a read and a write.
enum class IoOp { Other, Read, Write };

// The code an errno value stands for in the given layer; none for 0 (no error).
std::optional<ErrorCode> MapErrno(int err, ErrorLayer layer, IoOp op = IoOp::Other);

// A code outside the table reads as Failed.
const char* ErrorText(ErrorLayer layer, ErrorCode code);

// A failed system call, of a file or a folder: handlers tell them apart by `code` alone.
class SystemError : public Error {
  public:
    ErrorCode code;

  protected:
    SystemError(ErrorLayer layer, ErrorCode c, const char* text = nullptr);
};

template <ErrorLayer L>
class PlatformError : public SystemError {
  public:
    explicit PlatformError(ErrorCode c) : SystemError(L, c) {}

  protected:
    PlatformError(ErrorCode c, const char* text) : SystemError(L, c, text) {}
};

// Throws the error that errno `err` maps to; returns quietly when err is 0.
template <ErrorLayer L>
void RaiseErrno(int err, IoOp op = IoOp::Other) {
    if (const std::optional<ErrorCode> code = MapErrno(err, L, op))
        throw PlatformError<L>(*code);
}

#ifdef _WIN32
// The code a Windows error (GetLastError) stands for in the given layer; none for 0 (os/windows).
std::optional<ErrorCode> MapWindowsError(unsigned long err, ErrorLayer layer,
                                         IoOp op = IoOp::Other);

template <ErrorLayer L>
void RaiseWindowsError(unsigned long err, IoOp op = IoOp::Other) {
    if (const std::optional<ErrorCode> code = MapWindowsError(err, L, op))
        throw PlatformError<L>(*code);
}
#endif

}  // namespace OS
