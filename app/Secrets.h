// Passwords live in wiping memory: Secret for the fields of the pages and dialogs, WipeString
// for the std::string copies a line reader or a caller still hands in, wiped once copied.
#pragma once

#include <cryptopp/misc.h>
#include <cryptopp/secblock.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

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

// A password field: text of at most `capacity` bytes in a block that is wiped when it changes
// and when it goes, always followed by a zero byte for the engine's C string.
class Secret {
  public:
    explicit Secret(std::size_t capacity = 256) : m_block(capacity + 1) { Clear(); }

    void Assign(std::string_view text) {
        Clear();
        m_size = std::min(text.size(), m_block.size() - 1);
        if (m_size)
            std::memcpy(m_block.data(), text.data(), m_size);
    }
    // Overwrites every byte; the field is then empty.
    void Clear() {
        CryptoPP::SecureWipeBuffer(m_block.data(), m_block.size());
        m_size = 0;
    }

    const char* c_str() const { return reinterpret_cast<const char*>(m_block.data()); }
    std::string_view View() const { return std::string_view(c_str(), m_size); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Every byte of the block, for checking that a wiped field holds nothing.
    bool AllZero() const {
        return std::all_of(m_block.begin(), m_block.end(), [](CryptoPP::byte b) { return b == 0; });
    }

  private:
    CryptoPP::SecByteBlock m_block;
    std::size_t m_size = 0;
};

inline bool operator==(const Secret& a, std::string_view b) {
    return a.View() == b;
}
inline bool operator==(const Secret& a, const Secret& b) {
    return a.View() == b.View();
}
inline bool operator!=(const Secret& a, const Secret& b) {
    return !(a == b);
}

}  // namespace App
