// The decrypt-only program that heads a self-decrypting container, embedded in this program at
// build time and written unchanged in front of the container's stored files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Resources {

struct Image {
    const std::uint8_t* bytes;
    std::size_t size;
};

// Lives in the program's read-only data for the whole run: never copied, never freed.
Image StandAloneImage();

}  // namespace Resources
