#include "resources/StandAloneImage.h"

// The image files are named by the build (CRYVAN_STANDALONE_IMAGE, CRYVAN_WINDOWS_IMAGE); the
// assembler copies each into read-only data between two symbols, so its size is known without a
// generated source.
#define CRYVAN_IMAGE(name, file)                                            \
    __asm__(                                                                \
        ".pushsection .rodata\n"                                            \
        ".balign 16\n" #name                                                \
        "_begin:\n"                                                         \
        ".incbin \"" file "\"\n" #name                                      \
        "_end:\n"                                                           \
        ".popsection\n");                                                   \
    extern "C" const unsigned char name##_begin_[] __asm__(#name "_begin"); \
    extern "C" const unsigned char name##_end_[] __asm__(#name "_end");

CRYVAN_IMAGE(cryvan_standalone_image, CRYVAN_STANDALONE_IMAGE)
#ifdef CRYVAN_WINDOWS_IMAGE
CRYVAN_IMAGE(cryvan_windows_image, CRYVAN_WINDOWS_IMAGE)
#endif

namespace Resources {

Image StandAloneImage() {
    return {
        cryvan_standalone_image_begin_,
        static_cast<std::size_t>(cryvan_standalone_image_end_ - cryvan_standalone_image_begin_)};
}

Image WindowsStandAloneImage() {
#ifdef CRYVAN_WINDOWS_IMAGE
    return {cryvan_windows_image_begin_,
            static_cast<std::size_t>(cryvan_windows_image_end_ - cryvan_windows_image_begin_)};
#else
    return {nullptr, 0};
#endif
}

}  // namespace Resources
