// The process-wide random generator: one auto-seeded pool, created on first use and kept until
// exit. Every key, salt, IV and random padding comes from it; it may be used from any thread.
#pragma once

#include <cryptopp/cryptlib.h>

namespace CryptoP2 {

CryptoPP::RandomNumberGenerator& GlobalRNG();

}  // namespace CryptoP2
