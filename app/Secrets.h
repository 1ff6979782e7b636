// Passwords typed into the application's fields are held in std::string; these keep the text
// from lingering in memory once a field changes or goes.
#pragma once

#include <string>

#include <cryptopp/misc.h>

namespace App {

inline void WipeString(std::string& s) {
    if (!s.empty())
        CryptoPP::SecureWipeBuffer(reinterpret_cast<CryptoPP::byte*>(&s[0]), s.size());
    s.clear();
}

// Replaces a secret in place; a field given its own text keeps it.
inline void AssignSecret(std::string& field, const std::string& text) {
    if (&field == &text)
        return;
    WipeString(field);
    field = text;
}

}  // namespace App
