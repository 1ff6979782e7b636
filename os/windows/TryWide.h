// The conversion to the API's UTF-16 for the services that answer instead of raising.
#pragma once

#include <string>

#include "os/Errors.h"
#include "os/windows/Wide.h"

namespace OS {

// False for text that is not valid UTF-8 or holds a NUL.
inline bool TryWide(const std::string& text, std::wstring& wide) {
    try {
        wide = Wide(text);
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace OS
