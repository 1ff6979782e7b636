// The strength estimate shown under new passwords: bands from the estimator, times in words.
#include <gtest/gtest.h>

#include "app/AppTestSupport.h"
#include "app/core/PasswordStrength.h"

namespace {

TEST(PasswordStrengthTest, CommonPasswordsAreWeakAndLongRandomOnesStrong) {
    struct Case {
        const char* password;
        int minScore, maxScore;
        bool weak;
    } const cases[] = {
        {"password", 0, 0, true},
        {"123456", 0, 0, true},
        {"Password1", 0, 1, true},
        {"letmein2024", 0, 2, true},
        {"Harbour lights at 6", 4, 4, false},
        {"kX9#qL2$vB7!mN4p", 4, 4, false},
        {"QH7KD-2MZPA-X9RTB-WC4NE-8JFLS", 4, 4, false},  // a generated one
    };
    for (const Case& c : cases) {
        const App::PasswordStrength s = App::EstimateStrength(cryvan_test::SecretOf(c.password));
        EXPECT_GE(s.score, c.minScore) << c.password;
        EXPECT_LE(s.score, c.maxScore) << c.password;
        EXPECT_EQ(s.weak, c.weak) << c.password;
    }
    // Longer is never judged weaker when it only adds to the same password.
    EXPECT_LE(App::EstimateStrength(cryvan_test::SecretOf("tulip")).guessesLog2,
              App::EstimateStrength(cryvan_test::SecretOf("tulip harbour anvil")).guessesLog2);
}

TEST(PasswordStrengthTest, TimesInPlainWords) {
    struct Case {
        double seconds;
        const char* words;
    } const cases[] = {
        {0, "less than a second"},
        {0.4, "less than a second"},
        {1, "about 1 second"},
        {59, "about 59 seconds"},
        {60, "about 1 minute"},
        {3 * 3600 + 100, "about 3 hours"},
        {86400 * 2.4, "about 2 days"},
        {86400 * 45, "about 1 month"},
        {86400 * 365.25 * 9, "about 9 years"},
        {86400 * 365.25 * 250, "about 3 centuries"},
        {86400 * 365.25 * 5000, "more than a thousand years"},
        {1e300 * 1e300, "more than a thousand years"},  // beyond any double
    };
    for (const Case& c : cases)
        EXPECT_EQ(App::DurationWords(c.seconds), c.words) << c.seconds;
}

TEST(PasswordStrengthTest, LinesWarnOnlyAboutWeakPasswords) {
    EXPECT_TRUE(App::StrengthLines(cryvan_test::SecretOf("")).empty());
    const auto weak = App::StrengthLines(cryvan_test::SecretOf("password1"));
    ASSERT_EQ(weak.size(), 2u);
    EXPECT_NE(weak[0].find("Strength: very weak."), std::string::npos) << weak[0];
    EXPECT_NE(weak[0].find("less than a second on one computer core"), std::string::npos);
    const auto strong = App::StrengthLines(cryvan_test::SecretOf("Harbour lights at 6"));
    ASSERT_EQ(strong.size(), 1u);
    EXPECT_NE(strong[0].find("very strong"), std::string::npos) << strong[0];
}

}  // namespace
