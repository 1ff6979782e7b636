#include "app/core/GeneratePassword.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(GeneratePasswordTest, FiveGroupsOfFiveFromTheAlphabet) {
    const std::string alphabet = App::kPasswordAlphabet;
    ASSERT_EQ(alphabet.size(), 32u);
    std::set<char> used;
    std::set<std::string> seen;
    for (int round = 0; round < 200; ++round) {
        const App::Secret generated = App::GeneratePassword();
        const std::string password(generated.View());
        ASSERT_EQ(password.size(), 29u);
        for (std::size_t i = 0; i < password.size(); ++i) {
            if (i % 6 == 5) {
                EXPECT_EQ(password[i], '-') << password;
            } else {
                EXPECT_NE(alphabet.find(password[i]), std::string::npos) << password;
                used.insert(password[i]);
            }
        }
        seen.insert(password);
    }
    // 5000 symbols reach every one of the 32 and never repeat a whole password.
    EXPECT_EQ(used.size(), 32u);
    EXPECT_EQ(seen.size(), 200u);
    for (char c : std::string("IO01"))
        EXPECT_EQ(used.count(c), 0u);
}

}  // namespace
