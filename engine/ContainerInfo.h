// What a container says about its ways in, read without a password: the kind of header, the
// size, and the key entries of its key footer. The key footer's MAC is keyed by the keys it
// protects, so none of this is authenticated: callers present it as unverified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/Errors.h"

namespace FCryptEng {

class KeyFooter;

struct ContainerInfo {
    // The footers cannot be read as a container's: the text says what is wrong.
    class Damaged : public OS::Error {
      public:
        explicit Damaged(const std::string& text) : OS::Error(text) {}
    };

    enum class Header {
        Text,            // the 35-byte text of a plain container
        LinuxProgram,    // a self-decrypting program for this system
        WindowsProgram,  // a self-decrypting program for the other one
        Other,
    };

    struct Administrators {
        std::uint16_t k = 0;  // as stored: 0 means one administrator, like 1
        std::uint16_t n = 0;
        // Each administrator's encrypted name as stored, in list order.
        std::vector<std::string> encryptedNames;

        std::uint16_t Needed() const { return k == 0 ? 1 : k; }
    };

    Header header = Header::Other;
    std::uint64_t size = 0;
    std::size_t passwordEntries = 0;
    // Each emergency entry's sealed private-key record (tag, length, body) as stored.
    std::vector<std::string> emergencyEntries;
    // The first administrators' entry, if any.
    std::optional<Administrators> administrators;
    std::size_t unknownRecords = 0;

    // Raises OS::File::Error when the file cannot be read, Damaged when its footers are not a
    // container's. Nothing is trusted that the bytes there do not bear out.
    static ContainerInfo Read(const std::string& path);
    // The ways in of a key footer already read (an engine's); header and size stay unknown.
    static ContainerInfo OfKeyFooter(KeyFooter& footer);
};

// "text", "linux-program", "windows-program", "other".
const char* HeaderWord(ContainerInfo::Header header);

}  // namespace FCryptEng
