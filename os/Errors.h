// Platform failures: one exception type per layer, each carrying a code 0-9 and its fixed text.
#pragma once

#include <exception>

namespace OS {

enum class ErrorLayer { File, Directory };

// What the failed call was doing: an I/O error reads differently for a read and a write.
enum class IoOp { Other, Read, Write };

// The code an errno value stands for in the given layer; -1 for 0 (no error).
int MapErrno(int err, ErrorLayer layer, IoOp op = IoOp::Other);

const char* ErrorText(ErrorLayer layer, int code);

template <ErrorLayer L>
class PlatformError : public std::exception {
  public:
    explicit PlatformError(int c) : code(c >= 0 && c <= 9 ? c : 0) {}
    const char* what() const noexcept override { return ErrorText(L, code); }

    int code;
};

// Throws the error that errno `err` maps to; returns quietly when err is 0.
template <ErrorLayer L>
void RaiseErrno(int err, IoOp op = IoOp::Other) {
    const int code = MapErrno(err, L, op);
    if (code >= 0)
        throw PlatformError<L>(code);
}

}  // namespace OS
