#include "os/User.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

TEST(User, AdministratorDecision) {
    const struct {
        uid_t uid;
        std::vector<std::string> groups;
        bool admin;
    } cases[] = {
        {0, {}, true},
        {1000, {}, false},
        {1000, {"users", "sudo"}, true},
        {1000, {"wheel"}, true},
        {1000, {"admin"}, true},
        {1000, {"adm", "sudoers", "Sudo", "wheels", ""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.groups));
        EXPECT_EQ(OS::IsAdministratorAccount(c.uid, c.groups), c.admin);
    }
}

TEST(User, RootIsAdministrator) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root's answer is known without the group database";
    EXPECT_TRUE(OS::IsAdministrator());
}

TEST(User, NameComesFromTheAccountDatabase) {
    const passwd* entry = getpwuid(geteuid());
    if (!entry)
        GTEST_SKIP() << "no account record";
    EXPECT_EQ(OS::UserName(), entry->pw_name);
}

TEST(User, NameBufferContract) {
    const std::string name = OS::UserName();
    ASSERT_FALSE(name.empty());
    const std::size_t needed = name.size() + 1;
    std::vector<char> buffer(needed + 8, 'x');

    for (std::size_t given : {std::size_t{0}, needed - 1}) {
        std::size_t size = given;
        EXPECT_FALSE(OS::UserName(buffer.data(), size));
        EXPECT_EQ(size, needed);
        EXPECT_EQ(buffer[0], 'x');
    }
    std::size_t size = 257;
    EXPECT_FALSE(OS::UserName(nullptr, size));
    EXPECT_EQ(size, needed);

    for (std::size_t given : {needed, needed + 8}) {
        size = given;
        EXPECT_TRUE(OS::UserName(buffer.data(), size));
        EXPECT_EQ(size, needed);
        EXPECT_EQ(std::string(buffer.data()), name);
    }
}

}  // namespace
