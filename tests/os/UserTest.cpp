#include "os/User.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

#ifdef _WIN32
// The variable for one test, put back as it was.
class EnvVar {
  public:
    EnvVar(const wchar_t* name, const wchar_t* value) : m_name(name) {
        wchar_t old[1024];
        const DWORD length = GetEnvironmentVariableW(name, old, 1024);
        m_had = length > 0 && length < 1024;
        if (m_had)
            m_old.assign(old, length);
        SetEnvironmentVariableW(name, value);
    }
    ~EnvVar() { SetEnvironmentVariableW(m_name, m_had ? m_old.c_str() : nullptr); }

  private:
    const wchar_t* m_name;
    bool m_had = false;
    std::wstring m_old;
};

// Asked of the token's group list directly, not through a membership check.
bool TokenHasEnabledAdministrators() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    const bool read = size && GetTokenInformation(token, TokenGroups, buffer.data(), size, &size);
    CloseHandle(token);
    if (!read)
        return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &admins))
        return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        const SID_AND_ATTRIBUTES& g = groups->Groups[i];
        if (EqualSid(g.Sid, admins) && (g.Attributes & SE_GROUP_ENABLED) &&
            !(g.Attributes & SE_GROUP_USE_FOR_DENY_ONLY))
            found = true;
    }
    FreeSid(admins);
    return found;
}

TEST(User, AdministratorAnswerFollowsTheTokenGroups) {
    EXPECT_EQ(OS::IsAdministrator(), TokenHasEnabledAdministrators());
}

TEST(User, NameIsTheLogOnName) {
    wchar_t name[257];
    const DWORD length = GetEnvironmentVariableW(L"USERNAME", name, 257);
    if (length == 0 || length >= 257)
        GTEST_SKIP() << "no USERNAME to compare with";
    EXPECT_EQ(std::filesystem::path(OS::UserName()), std::filesystem::path(name));
}

TEST(User, KnownFoldersExist) {
    const std::string profile = OS::KnownFolderPath(OS::KnownFolder::Profile);
    const struct {
        OS::KnownFolder folder;
        bool inProfile;
    } cases[] = {
        {OS::KnownFolder::Profile, true},      {OS::KnownFolder::Documents, true},
        {OS::KnownFolder::Desktop, true},      {OS::KnownFolder::RoamingAppData, true},
        {OS::KnownFolder::LocalAppData, true}, {OS::KnownFolder::ProgramData, false},
    };
    for (const auto& c : cases) {
        const std::string path = OS::KnownFolderPath(c.folder);
        SCOPED_TRACE(path);
        ASSERT_FALSE(path.empty());
        EXPECT_TRUE(std::filesystem::path(path).is_absolute());
        EXPECT_NE(path.back(), '\\');
        EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(path)));
        EXPECT_EQ(path.rfind(profile + "\\", 0) == 0 || path == profile, c.inProfile);
    }
    std::string home;
    ASSERT_TRUE(OS::HomeFolder(home));
    EXPECT_EQ(home, profile);
}

TEST(User, FoldersFromTheEnvironmentMustBeAbsolute) {
    const struct {
        const wchar_t* value;
        bool found;
        std::string folder;
    } cases[] = {
        {L"C:\\Users\\a\\", true, "C:\\Users\\a"},
        {L"d:/data//", true, "d:/data"},
        {L"\\\\server\\share", true, "\\\\server\\share"},
        {L"C:", false, ""},  // the current folder of drive C
        {L"C:relative", false, ""},
        {L"\\rooted-on-the-current-drive", false, ""},
        {L"relative\\folder", false, ""},
        {L"", false, ""},
        {nullptr, false, ""},
    };
    for (const auto& c : cases) {
        EnvVar variable(L"CRYVAN_TEST_FOLDER", c.value);
        std::string folder = "untouched";
        EXPECT_EQ(OS::FolderFromEnvironment("CRYVAN_TEST_FOLDER", folder), c.found) << c.folder;
        EXPECT_EQ(folder, c.found ? c.folder : "untouched");
    }
}
#else
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
#endif

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
