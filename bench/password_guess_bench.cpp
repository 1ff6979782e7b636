// How fast one core tries passwords against a container: one key derivation (PBKDF2-SHA256,
// 1,000 iterations) per guess. Prints guesses per second; the strength estimate assumes about
// this figure.
#include <chrono>
#include <cstdio>

#include <cryptopp/secblock.h>

#include "filters/KeyDerivation.h"

int main() {
    CryptoPP::SecByteBlock salt(16);
    for (std::size_t i = 0; i < salt.size(); ++i)
        salt[i] = static_cast<CryptoPP::byte>(i * 7);
    char guess[16];
    const int rounds = 4000;
    const auto start = std::chrono::steady_clock::now();
    unsigned sink = 0;
    for (int i = 0; i < rounds; ++i) {
        std::snprintf(guess, sizeof guess, "guess%06d", i);
        sink += CryptoP2::DerivePasswordKey(guess, salt)[0];
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("password guesses on one core: %.0f a second (%d in %.2f s, check %u)\n",
                rounds / seconds, rounds, seconds, sink & 1u);
    return 0;
}
