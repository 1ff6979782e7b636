// Fuzzes the key footer reader: the input is what follows the framing word (body and MAC).
#include <cryptopp/filters.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "format/KeyFooter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        CryptoPP::StringSource source(data, size, true);
        FCryptEng::KeyFooter footer(nullptr, source, std::uint32_t(size));
        // Each password entry costs a key derivation: try only small footers.
        if (footer.NumEntries() <= 4) {
            std::unique_ptr<FCryptEng::KeySet> keys;
            footer.TryPassword("fuzz", keys);
        }
    } catch (const std::exception&) {
        // Every refusal is an exception with a fixed text; only crashes, leaks and hangs count.
    }
    return 0;
}
