#include "app/core/GeneratePassword.h"

#include <cryptopp/secblock.h>

#include "filters/Random.h"
#include "os/Logger.h"

namespace App {

Secret GeneratePassword() {
    OS::Trace t("GeneratePassword()");
    constexpr int kGroups = 5, kGroupSize = 5;
    CryptoPP::SecByteBlock bytes(kGroups * kGroupSize);
    CryptoP2::GlobalRNG().GenerateBlock(bytes.data(), bytes.size());
    Secret password(kGroups * (kGroupSize + 1) - 1);
    for (int i = 0; i < kGroups * kGroupSize; ++i) {
        if (i > 0 && i % kGroupSize == 0)
            password.push_back('-');
        password.push_back(kPasswordAlphabet[bytes[i] & 0x1F]);
    }
    return password;
}

}  // namespace App
