// What the fuzz targets share: a scratch file for readers that only take a path, and the
// callback that answers every question with no.
#pragma once

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "format/CryptorCallback.h"

namespace cryvan_fuzz {

// One in-memory file per process, reached by its /proc name; it disappears with the process
// whichever way the fuzzer ends it.
inline const std::string& ScratchPath() {
    static const std::string path = [] {
        const int fd = memfd_create("cryvan-fuzz", 0);
        if (fd < 0)
            std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

inline void WriteScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(ScratchPath().c_str(), "wb");
    if (!out || (size > 0 && std::fwrite(data, 1, size, out) != size) || std::fclose(out) != 0)
        std::abort();  // the harness itself failed, not the reader
}

using NoAnswers = FCryptEng::SilentCallback;

}  // namespace cryvan_fuzz
