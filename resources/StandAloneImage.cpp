#include "resources/StandAloneImage.h"

// The image file is named by the build (CRYVAN_STANDALONE_IMAGE); the assembler copies it into
// read-only data between two symbols, so its size is known without a generated source.
__asm__(
    ".pushsection .rodata\n"
    ".balign 16\n"
    "cryvan_standalone_image_begin:\n"
    ".incbin \"" CRYVAN_STANDALONE_IMAGE
    "\"\n"
    "cryvan_standalone_image_end:\n"
    ".popsection\n");

extern "C" {
extern const unsigned char cryvan_standalone_image_begin[] __asm__("cryvan_standalone_image_begin");
extern const unsigned char cryvan_standalone_image_end[] __asm__("cryvan_standalone_image_end");
}

namespace Resources {

Image StandAloneImage() {
    return {cryvan_standalone_image_begin,
            static_cast<std::size_t>(cryvan_standalone_image_end - cryvan_standalone_image_begin)};
}

}  // namespace Resources
