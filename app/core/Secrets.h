// Passwords live in wiping memory: Secret holds every password the application keeps or
// passes on, from the line that was read to the field that hands it to the engine. WipeString
// is for text that arrived as a std::string anyway (a whole command line), wiped once copied.
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

// A password: text of at most `capacity` bytes in a block reserved once, wiped when it changes
// and when it goes, always followed by a zero byte for the engine's C string. Copies are deep.
class Secret {
  public:
    explicit Secret(std::size_t capacity = 256) : m_block(capacity + 1) { Clear(); }
    // Cut to `capacity` when longer.
    Secret(std::string_view text, std::size_t capacity) : Secret(capacity) { Assign(text); }

    // The text may be this secret's own (a field set from what it shows): moved, then the rest
    // wiped.
    void Assign(std::string_view text) {
        const std::size_t size = std::min(text.size(), capacity());
        if (size)
            std::memmove(m_block.data(), text.data(), size);
        CryptoPP::SecureWipeBuffer(m_block.data() + size, m_block.size() - size);
        m_size = size;
    }
    // Typing: one more byte, in the room reserved at construction. False when full.
    bool push_back(char c) {
        if (m_size >= capacity())
            return false;
        m_block[m_size++] = static_cast<CryptoPP::byte>(c);
        return true;
    }
    void pop_back() {
        if (m_size)
            m_block[--m_size] = 0;
    }
    // Overwrites every byte; the field is then empty.
    void Clear() {
        CryptoPP::SecureWipeBuffer(m_block.data(), m_block.size());
        m_size = 0;
    }

    const char* c_str() const { return reinterpret_cast<const char*>(m_block.data()); }
    std::string_view View() const { return std::string_view(c_str(), m_size); }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_block.empty() ? 0 : m_block.size() - 1; }
    bool empty() const { return m_size == 0; }
    // Every byte of the block, for checking that a wiped field holds nothing.
    bool AllZero() const {
        return std::all_of(m_block.begin(), m_block.end(), [](CryptoPP::byte b) { return b == 0; });
    }

  private:
    CryptoPP::SecByteBlock m_block;
    std::size_t m_size = 0;
};

// In time that depends on the lengths only, not on where the texts differ.
inline bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    return a.empty() ||
           CryptoPP::VerifyBufsEqual(reinterpret_cast<const CryptoPP::byte*>(a.data()),
                                     reinterpret_cast<const CryptoPP::byte*>(b.data()), a.size());
}

inline bool operator==(const Secret& a, std::string_view b) {
    return SameText(a.View(), b);
}
inline bool operator==(const Secret& a, const Secret& b) {
    return SameText(a.View(), b.View());
}
inline bool operator!=(const Secret& a, const Secret& b) {
    return !(a == b);
}

}  // namespace App
