// The one wiping buffer that holds every password the application keeps.
#include "app/core/Secrets.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using App::Secret;

// Assigned from text that may be its own: a field set from what it shows must keep it, and no
// byte of the old password may stay behind the new end.
TEST(SecretTest, AssignKeepsItsOwnTextAndWipesTheRest) {
    struct Case {
        const char* what;
        std::size_t from, length;  // into the secret's own text; npos: outside text
        std::string outside;
        std::string expected;
    } const cases[] = {
        {"its whole own text", 0, 12, "", "correct zeal"},
        {"the end of its own text", 8, 4, "", "zeal"},
        {"the start of its own text", 0, 7, "", "correct"},
        {"other text", std::string::npos, 0, "new", "new"},
        {"longer than its room", std::string::npos, 0, std::string(20, 'x'), std::string(16, 'x')},
        {"nothing", std::string::npos, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Secret secret("correct zeal", 16);
        if (c.from == std::string::npos)
            secret.Assign(c.outside);
        else
            secret.Assign(std::string_view(secret.c_str() + c.from, c.length));
        EXPECT_EQ(std::string(secret.c_str(), secret.size()), c.expected);
        // Past the new end, through the terminator and the room beyond: zeros only.
        const char* bytes = secret.c_str();
        for (std::size_t i = secret.size(); i <= secret.capacity(); ++i)
            EXPECT_EQ(bytes[i], '\0') << "byte " << i;
    }
}

}  // namespace
