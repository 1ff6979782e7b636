// Fuzzes the reader of a container's ways in without a password (cryvan --info): the input is a
// whole file, header, data and footers.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "engine/ContainerInfo.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cryvan_fuzz::WriteScratch(data, size);
    try {
        const FCryptEng::ContainerInfo info =
            FCryptEng::ContainerInfo::Read(cryvan_fuzz::ScratchPath());
        (void)info;
    } catch (const std::exception&) {
        // Damaged containers are refused with a reason; only crashes, leaks and hangs count.
    }
    return 0;
}
