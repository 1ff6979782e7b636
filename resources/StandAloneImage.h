// The decrypt-only programs that head a self-decrypting container, embedded in this program at
// build time and written unchanged in front of the container's stored files: one for Linux and,
// when the build has the Windows tools, one for Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Resources {

struct Image {
    const std::uint8_t* bytes;
    std::size_t size;
};

// Live in the program's read-only data for the whole run: never copied, never freed.
Image StandAloneImage();
// Empty ({nullptr, 0}) in a build without the Windows tools.
Image WindowsStandAloneImage();

}  // namespace Resources
