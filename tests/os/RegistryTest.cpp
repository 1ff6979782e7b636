// The settings store on Windows: REG_DWORD values in the registry.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "os/Config.h"
#include "os/User.h"

namespace {

using OS::Config;
using namespace std::string_literals;

// A key of its own below Software, removed with everything in it afterwards.
class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest()
        : m_name("Tenvik-Labs\\CryvanTest-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount64())),
          m_path(L"Software\\" + std::wstring(m_name.begin(), m_name.end())),
          config(m_name) {}
    ~RegistryTest() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_path.c_str());
    }

    // Written past the store, as another program could have.
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, m_path.c_str(), name, type, data, size),
                  ERROR_SUCCESS);
    }
    bool GetRaw(HKEY root, const wchar_t* name, DWORD& type, DWORD& value) const {
        DWORD size = sizeof value;
        return RegGetValueW(root, m_path.c_str(), name, RRF_RT_ANY, &type, &value, &size) ==
                   ERROR_SUCCESS &&
               size == sizeof value;
    }

    std::string m_name;
    std::wstring m_path;
    Config config;
};

TEST_F(RegistryTest, SetIntWritesRealDwordsThatGetIntReads) {
    for (std::uint32_t value : {0u, 1u, 0x12345678u, 0xffffffffu}) {
        config.SetInt(0, "Value", value);
        DWORD type = 0, stored = 0;
        ASSERT_TRUE(GetRaw(HKEY_CURRENT_USER, L"Value", type, stored));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(stored, value);
        std::uint32_t out = 5;
        EXPECT_TRUE(config.GetInt(0, "Value", out));
        EXPECT_EQ(out, value);
    }
    // The unnamed value and names the settings file would have to escape.
    for (const std::string& name : {""s, "quote\" back\\slash @=[x]"s, "\xc3\xa9t\xc3\xa9"s}) {
        config.SetInt(0, name, 42);
        std::uint32_t out = 0;
        EXPECT_TRUE(config.GetInt(0, name, out)) << name;
        EXPECT_EQ(out, 42u);
    }
    // Names are compared as the registry compares them.
    std::uint32_t out = 0;
    EXPECT_TRUE(config.GetInt(0, "VALUE", out));
    EXPECT_EQ(out, 0xffffffffu);
}

TEST_F(RegistryTest, AnythingButAFourByteDwordReadsAsMissing) {
    const DWORD dword = 7;
    const unsigned long long qword = 7;
    const wchar_t text[] = L"7";
    const unsigned char bytes[] = {7, 0, 0, 0};
    const unsigned char big[] = {0, 0, 0, 7};
    SetRaw(L"Text", REG_SZ, text, sizeof text);
    SetRaw(L"Expand", REG_EXPAND_SZ, text, sizeof text);
    SetRaw(L"Binary", REG_BINARY, bytes, sizeof bytes);
    SetRaw(L"BigEndian", REG_DWORD_BIG_ENDIAN, big, sizeof big);
    SetRaw(L"Qword", REG_QWORD, &qword, sizeof qword);
    SetRaw(L"Short", REG_DWORD, &dword, 2);
    SetRaw(L"Long", REG_BINARY, &qword, sizeof qword);
    SetRaw(L"Good", REG_DWORD, &dword, sizeof dword);
    for (const char* name :
         {"Text", "Expand", "Binary", "BigEndian", "Qword", "Short", "Long", "Absent"}) {
        std::uint32_t out = 99;
        EXPECT_FALSE(config.GetInt(0, name, out)) << name;
        EXPECT_EQ(out, 99u) << name;
    }
    std::uint32_t out = 99;
    EXPECT_TRUE(config.GetInt(0, "Good", out));
    EXPECT_EQ(out, 7u);
    // Nor does a key that is not there, or a root that is not one.
    EXPECT_FALSE(Config("Tenvik-Labs\\NoSuchKey-" + std::to_string(GetTickCount64()))
                     .GetInt(0, "Good", out));
    EXPECT_FALSE(config.GetInt(2, "Good", out));
    EXPECT_FALSE(config.GetInt(-1, "Good", out));
    EXPECT_EQ(out, 7u);
}

TEST_F(RegistryTest, SetIntFailuresRaiseTheConfigError) {
    auto raises = [&](const Config& c, int root, const std::string& name) {
        try {
            c.SetInt(root, name, 1);
        } catch (const Config::Err& e) {
            EXPECT_STREQ(e.what(), "\"Config error\"");
            return true;
        }
        return false;
    };
    EXPECT_TRUE(raises(config, 2, "Name"));
    EXPECT_TRUE(raises(config, -1, "Name"));
    // The registry would take the name only up to the NUL: another value.
    EXPECT_TRUE(raises(config, 0, "Nul\0after"s));
    EXPECT_TRUE(raises(config, 0, "\xff\xfe not UTF-8"));
    EXPECT_TRUE(raises(Config(""), 0, "Name"));
    std::uint32_t out = 0;
    EXPECT_FALSE(config.GetInt(0, "Nul", out));
    EXPECT_FALSE(config.GetInt(0, "Nul\0after"s, out));
}

TEST_F(RegistryTest, RootsAreKeptApart) {
    config.SetInt(0, "Value", 1);
    if (!OS::IsAdministrator()) {
        EXPECT_THROW(config.SetInt(1, "Value", 2), Config::Err);
        GTEST_SKIP() << "the machine's hive is written by administrators only";
    }
    config.SetInt(1, "Value", 2);
    DWORD type = 0, stored = 0;
    ASSERT_TRUE(GetRaw(HKEY_LOCAL_MACHINE, L"Value", type, stored));
    EXPECT_EQ(stored, 2u);
    std::uint32_t user = 0, machine = 0;
    EXPECT_TRUE(config.GetInt(0, "Value", user));
    EXPECT_TRUE(config.GetInt(1, "Value", machine));
    EXPECT_EQ(user, 1u);
    EXPECT_EQ(machine, 2u);
}

TEST_F(RegistryTest, EitherSeparatorDividesTheKey) {
    Config slashes(m_name.substr(0, m_name.find('\\')) + "//" +
                   m_name.substr(m_name.find('\\') + 1) + "/");
    slashes.SetInt(0, "Value", 3);
    std::uint32_t out = 0;
    EXPECT_TRUE(config.GetInt(0, "Value", out));
    EXPECT_EQ(out, 3u);
}

}  // namespace
#endif
