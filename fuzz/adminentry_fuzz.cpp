// Fuzzes the administrators' key entry: the input is an entry body as it sits in a key footer.
// Whatever parses is offered the password "fuzz" until it stops asking for more
// administrators; key-file requests are always cancelled.
#include <cryptopp/filters.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "recovery/AdminKeyEntry.h"
#include "recovery/AdminRecovery.h"

namespace {

using namespace FCryptEng;

using cryvan_fuzz::NoAnswers;

// Every administrator costs a key derivation per password: only small entries are unlocked.
constexpr std::uint16_t kMaxTried = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NoAnswers callback;
    std::unique_ptr<KeyEntry> read;
    try {
        CryptoPP::StringSource source(data, size, true);
        read = AdminKeyEntry::Read(&callback, source, std::uint32_t(size));
    } catch (const KeyEntry::Err&) {
        return 0;
    } catch (const KeySet::Err&) {
        return 0;
    } catch (const AdminRecovery::Err&) {
        return 0;
    } catch (const KeyPair::Err&) {
        return 0;
    }
    auto& entry = static_cast<AdminKeyEntry&>(*read);
    if (entry.GetN() > kMaxTried)
        return 0;
    for (int attempt = 0; attempt <= entry.GetN(); ++attempt) {
        std::unique_ptr<KeySet> keys;
        UnlockResult result = UnlockResult::Nothing;
        try {
            result = entry.TryPassword("fuzz", keys);
        } catch (const KeyEntry::Err&) {
            break;  // a share that decrypted to less than its index
        }
        // An entry that was tried answers Wrong to Failed.
        if (static_cast<int>(result) < static_cast<int>(UnlockResult::Wrong) ||
            static_cast<int>(result) > static_cast<int>(UnlockResult::Failed) ||
            (result == UnlockResult::Unlocked) != bool(keys) || entry.NumUnlocked() > entry.GetN())
            __builtin_trap();
        if (result != UnlockResult::MoreAdmins)
            break;
    }
    return 0;
}
