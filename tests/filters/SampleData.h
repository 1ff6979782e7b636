// Inputs for the compression tests: random bytes and text that compresses as prose does.
#pragma once

#include <random>
#include <string>

namespace cryvan_test {

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Words, spaces and line ends in random order.
inline std::string Text(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"the",     "container", "holds", "every",  "file",
                                         "folder",  "password",  "key",   "stored", "encrypted",
                                         "and",     "of",        "a",     "to",     "directory",
                                         "entries", "with",      "times", "size",   "name"};
    std::mt19937 gen(seed);
    std::string s;
    while (s.size() < size) {
        s += kWords[gen() % 20];
        s += gen() % 12 == 0 ? '\n' : ' ';
    }
    s.resize(size);
    return s;
}

}  // namespace cryvan_test
