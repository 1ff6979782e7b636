// How long a new password would hold against someone who has the encrypted file and guesses
// offline. An estimate to warn by, never a rule: the pages accept any password the rules allow.
#pragma once

#include <string>
#include <vector>

#include "app/core/Secrets.h"

namespace App {

// PBKDF2-SHA256 with 1,000 iterations per guess: about this many a second on one core of an
// ordinary computer (bench/password_guess_bench measures this machine).
inline constexpr double kGuessesPerSecondOneCore = 4000.0;
// Assumed for one current graphics card running a password-cracking program on this cost.
inline constexpr double kGuessesPerSecondGraphicsCard = 1.0e7;

struct PasswordStrength {
    int score = 0;           // 0 very weak .. 4 very strong
    double guessesLog2 = 0;  // the estimated number of guesses, as a power of two
    std::string words;       // "very weak" .. "very strong"
    std::string oneCore;     // the time to guess it on one core: "about 3 hours"
    std::string graphicsCard;
    bool weak = false;
};

// Nothing is kept: the estimate reads the password in place.
PasswordStrength EstimateStrength(const Secret& password);

// A duration in plain words: "less than a second", "about 5 minutes", "about 2 years", "more
// than a thousand years".
std::string DurationWords(double seconds);

// The lines a front end shows under a new password's field; none for an empty password.
std::vector<std::string> StrengthLines(const Secret& password);

}  // namespace App
