// What offering a password to a container did: one answer from the key entries, through the
// key footer and the decrypting driver, up to the pages that ask for the password.
#pragma once

namespace FCryptEng {

enum class UnlockResult : int {
    Nothing = 0,          // no entry to try, or nothing to unlock (encrypting)
    Wrong = 1,            // does not open with this text
    Unlocked = 2,         // the footer key set is out
    MoreAdmins = 3,       // an administrator accepted, more administrators are needed
    Cancelled = 4,        // the user cancelled a request (a key file, a further password)
    KeyFileUnusable = 5,  // an administrator's key file could not be used
    Failed = 6,           // the administrators' shares did not rebuild the secret, or damage
};

}  // namespace FCryptEng
