// Small pieces every terminal screen uses: answers as typed, progress bars, Ctrl+C.
#pragma once

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <string>

namespace App {

inline std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

inline std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "[####----]" for a percentage.
inline std::string Bar(std::uint32_t percent, int width = 40, char empty = '-') {
    const int filled = static_cast<int>(std::min<std::uint32_t>(percent, 100) * width / 100);
    return "[" + std::string(filled, '#') + std::string(width - filled, empty) + "]";
}

// Sends Ctrl+C to `handler` while installed; the previous handling comes back afterwards.
class SigintScope {
  public:
    explicit SigintScope(void (*handler)(int)) {
        struct sigaction sa {};
        sa.sa_handler = handler;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &m_old);
    }
    ~SigintScope() { sigaction(SIGINT, &m_old, nullptr); }
    SigintScope(const SigintScope&) = delete;
    SigintScope& operator=(const SigintScope&) = delete;

  private:
    struct sigaction m_old {};
};

}  // namespace App
