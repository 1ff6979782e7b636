#include "app/core/PasswordStrength.h"

#include <zxcvbn.h>

#include <cmath>

#include "app/core/Texts.h"

namespace App {

namespace {

// The usual bands of the estimator, by guesses: 10^3, 10^6, 10^8, 10^10.
int Score(double log2Guesses) {
    const double log10Guesses = log2Guesses * std::log10(2.0);
    if (log10Guesses < 3)
        return 0;
    if (log10Guesses < 6)
        return 1;
    if (log10Guesses < 8)
        return 2;
    if (log10Guesses < 10)
        return 3;
    return 4;
}

const char* const kWords[] = {"very weak", "weak", "fair", "strong", "very strong"};

}  // namespace

std::string DurationWords(double seconds) {
    struct Unit {
        double seconds;
        const char* one;
        const char* many;
    };
    static const Unit units[] = {
        {365.25 * 86400 * 100, "century", "centuries"},
        {365.25 * 86400, "year", "years"},
        {30.44 * 86400, "month", "months"},
        {86400, "day", "days"},
        {3600, "hour", "hours"},
        {60, "minute", "minutes"},
        {1, "second", "seconds"},
    };
    if (!(seconds >= 1))
        return "less than a second";
    if (seconds >= 365.25 * 86400 * 1000)
        return "more than a thousand years";
    for (const Unit& unit : units) {
        if (seconds < unit.seconds)
            continue;
        const long count = std::lround(seconds / unit.seconds);
        return Format("about %ld %s", count, count == 1 ? unit.one : unit.many);
    }
    return "less than a second";
}

PasswordStrength EstimateStrength(const Secret& password) {
    PasswordStrength out;
    if (password.View().empty()) {
        out.words = kWords[0];
        out.oneCore = out.graphicsCard = DurationWords(0);
        out.weak = true;
        return out;
    }
    // The estimator reads the wiping buffer in place; with no match list asked for, it keeps
    // nothing of the password.
    out.guessesLog2 = ZxcvbnMatch(password.c_str(), nullptr, nullptr);
    out.score = Score(out.guessesLog2);
    out.words = kWords[out.score];
    const double guesses = std::exp2(out.guessesLog2);
    out.oneCore = DurationWords(guesses / kGuessesPerSecondOneCore);
    out.graphicsCard = DurationWords(guesses / kGuessesPerSecondGraphicsCard);
    out.weak = out.score < 3;
    return out;
}

std::vector<std::string> StrengthLines(const Secret& password) {
    if (password.View().empty())
        return {};
    const PasswordStrength s = EstimateStrength(password);
    std::vector<std::string> lines{
        "Strength: " + s.words + ". Someone with the encrypted file would need " + s.oneCore +
        " on one computer core to guess it, " + s.graphicsCard + " on a graphics card."};
    if (s.weak)
        lines.push_back(
            "This password is easy to guess. A longer one, several unrelated words, or "
            "'Generate Password' protects the file far better.");
    return lines;
}

}  // namespace App
