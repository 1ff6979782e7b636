#include "os/Config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace {

using cryvan_test::ReadText;
using cryvan_test::TempDir;
using cryvan_test::WriteText;
using OS::Config;
using namespace std::string_literals;

const std::string kUser = "[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan]";
const std::string kMachine = "[HKEY_LOCAL_MACHINE\\Software\\Tenvik-Labs\\Cryvan]";

// Sets a variable for one test and puts the old value back.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~EnvVar() { Set(m_old ? m_old->c_str() : nullptr); }
    void Set(const char* value) {
        if (value)
            setenv(m_name, value, 1);
        else
            unsetenv(m_name);
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class ConfigTest : public ::testing::Test {
  protected:
    std::string UserFile() const { return tmp / "user/Tenvik-Labs/Cryvan/settings.reg"; }
    std::string MachineFile() const { return tmp / "machine/Tenvik-Labs/Cryvan/settings.reg"; }

    void WriteUserFile(const std::string& content) const {
        ASSERT_EQ(system(("mkdir -p '" + tmp.Path() + "/user/Tenvik-Labs/Cryvan'").c_str()), 0);
        WriteText(UserFile(), content);
    }

    static std::vector<std::string> Entries(const std::string& folder) {
        std::vector<std::string> names;
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
        }
        return names;
    }

    TempDir tmp;
    EnvVar home{"XDG_CONFIG_HOME", (tmp / "user").c_str()};
    EnvVar dirs{"XDG_CONFIG_DIRS", (tmp / "machine:/nowhere").c_str()};
    Config config{"Tenvik-Labs\\Cryvan"};
};

TEST_F(ConfigTest, FilesFollowTheEnvironment) {
    EXPECT_EQ(config.FilePath(0), UserFile());
    EXPECT_EQ(config.FilePath(1), MachineFile());
    EXPECT_EQ(config.FilePath(2), "");
    EXPECT_EQ(config.FilePath(-1), "");

    EnvVar userHome("HOME", tmp.Path().c_str());
    home.Set("relative/is/ignored");
    dirs.Set(nullptr);
    EXPECT_EQ(config.FilePath(0), tmp / ".config/Tenvik-Labs/Cryvan/settings.reg");
    EXPECT_EQ(config.FilePath(1), "/etc/xdg/Tenvik-Labs/Cryvan/settings.reg");

    // A key name cannot lead out of the configuration folder.
    EXPECT_EQ(Config("..\\..\\etc").FilePath(0), "");
}

struct GetCase {
    const char* what;
    std::string content;
    std::string name;
    std::optional<std::uint32_t> value;
};

TEST_F(ConfigTest, GetIntReadsOnlyDwordsOfItsOwnSection) {
    const std::string h = "REGEDIT4\n\n" + kUser + "\n";
    const GetCase cases[] = {
        {"dword", h + "\"Name\"=dword:00000002\n", "Name", 2},
        {"no final line feed", h + "\"Name\"=dword:0000abcd", "Name", 0xabcd},
        {"upper-case type and digits", h + "\"Name\"=DWORD:FFFFFFFE\n", "Name", 0xfffffffe},
        {"crlf and trailing blanks",
         "REGEDIT4\r\n\r\n" + kUser + "\r\n\"Name\"=dword:00000003 \r\n", "Name", 3},
        {"section case",
         "[hkey_current_user\\SOFTWARE\\tenvik-labs\\cryvan]\n\"Name\"=dword:00000004\n", "Name",
         4},
        {"value name case", h + "\"nAME\"=dword:00000005\n", "Name", 5},
        {"escaped quote", h + "\"a\\\"b\"=dword:00000006\n", "a\"b", 6},
        {"escaped backslash", h + "\"c\\\\d\"=dword:00000007\n", "c\\d", 7},
        {"unnamed value", h + "@=dword:00000008\n", "", 8},
        {"sections merge",
         h + "\"Name\"=dword:00000009\n\n[Other]\n\"X\"=dword:1\n\n" + kUser + "\n", "Name", 9},
        {"last line decides", h + "\"Name\"=\"1\"\n\"Name\"=dword:0000000a\n", "Name", 10},
        {"nul elsewhere", h + "\"Z\"=\"a\0b\"\n"s + "\"Name\"=dword:0000000b\n", "Name", 11},
        {"text value", h + "\"Name\"=\"2\"\n", "Name", std::nullopt},
        {"binary value", h + "\"Name\"=hex:02,00,00,00\n", "Name", std::nullopt},
        {"other typed value", h + "\"Name\"=hex(b):02,00,00,00,00,00,00,00\n", "Name",
         std::nullopt},
        {"deleted value", h + "\"Name\"=dword:00000001\n\"Name\"=-\n", "Name", std::nullopt},
        {"later text wins", h + "\"Name\"=dword:00000001\n\"Name\"=\"1\"\n", "Name", std::nullopt},
        {"machine section", "REGEDIT4\n\n" + kMachine + "\n\"Name\"=dword:00000002\n", "Name",
         std::nullopt},
        {"sub-key section",
         "[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan\\Sub]\n"
         "\"Name\"=dword:00000002\n",
         "Name", std::nullopt},
        {"before any section", "\"Name\"=dword:00000002\n" + kUser + "\n", "Name", std::nullopt},
        {"other value", h + "\"Names\"=dword:00000002\n", "Name", std::nullopt},
        {"seven digits", h + "\"Name\"=dword:0000002\n", "Name", std::nullopt},
        {"nine digits", h + "\"Name\"=dword:000000002\n", "Name", std::nullopt},
        {"not hex", h + "\"Name\"=dword:0000000g\n", "Name", std::nullopt},
        {"sign", h + "\"Name\"=dword:-0000001\n", "Name", std::nullopt},
        {"trailing text", h + "\"Name\"=dword:00000002 x\n", "Name", std::nullopt},
        {"nul in digits", h + "\"Name\"=dword:0000\0"s + "002\n", "Name", std::nullopt},
        {"unquoted name", h + "Name=dword:00000002\n", "Name", std::nullopt},
        {"unterminated name", h + "\"Name=dword:00000002\n", "Name", std::nullopt},
        {"unknown escape", h + "\"Na\\me\"=dword:00000002\n", "Name", std::nullopt},
        {"no equals sign", h + "\"Name\" dword:00000002\n", "Name", std::nullopt},
        {"continuation is data", h + "\"Blob\"=hex:00,\\\n\"Name\"=dword:00000002\n", "Name",
         std::nullopt},
        {"commented out", h + ";\"Name\"=dword:00000002\n", "Name", std::nullopt},
        {"empty file", "", "Name", std::nullopt},
    };
    for (const GetCase& c : cases) {
        SCOPED_TRACE(c.what);
        WriteUserFile(c.content);
        std::uint32_t out = 0xdeadbeef;
        EXPECT_EQ(config.GetInt(0, c.name, out), c.value.has_value());
        EXPECT_EQ(out, c.value.value_or(0xdeadbeef));
    }
}

TEST_F(ConfigTest, GetIntFailsQuietlyWithoutAFile) {
    std::uint32_t out = 7;
    EXPECT_FALSE(config.GetInt(0, "Name", out));
    EXPECT_FALSE(config.GetInt(1, "Name", out));
    EXPECT_FALSE(config.GetInt(2, "Name", out));
    // A folder or a pipe where the file should be: no hang, no exception.
    ASSERT_EQ(system(("mkdir -p '" + UserFile() + "'").c_str()), 0);
    EXPECT_FALSE(config.GetInt(0, "Name", out));
    ASSERT_EQ(system(("mkdir -p '" + tmp.Path() + "/machine/Tenvik-Labs/Cryvan'").c_str()), 0);
    ASSERT_EQ(mkfifo(MachineFile().c_str(), 0600), 0);
    EXPECT_FALSE(config.GetInt(1, "Name", out));
    EXPECT_EQ(out, 7u);
}

TEST_F(ConfigTest, GetIntSurvivesHostileFiles) {
    // A huge line before the value, and a file far beyond any settings file's size.
    WriteUserFile(std::string(3u << 20, '"') + "\n" + kUser + "\n\"Name\"=dword:00000001\n");
    std::uint32_t out = 0;
    EXPECT_TRUE(config.GetInt(0, "Name", out));
    EXPECT_EQ(out, 1u);
    ASSERT_EQ(truncate(UserFile().c_str(), 64 << 20), 0);
    EXPECT_FALSE(config.GetInt(0, "Name", out));

    // Random files made of the format's own characters.
    const std::string alphabet = "\"[]\\=:@;-dwordhex0123456789abcdef \t\r\n\n\0"s + kUser;
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        std::string content = round % 2 ? kUser + "\n" : std::string();
        const std::size_t length = random() % 600;
        for (std::size_t i = 0; i < length; ++i)
            content += alphabet[random() % alphabet.size()];
        WriteUserFile(content);
        std::uint32_t value = 0;
        for (const char* name : {"Name", "", "d", "\\"})
            EXPECT_NO_THROW(config.GetInt(0, name, value));
    }
}

TEST_F(ConfigTest, SetIntCreatesFileAndFolders) {
    config.SetInt(0, "Name", 2);
    EXPECT_EQ(ReadText(UserFile()), "REGEDIT4\n\n" + kUser + "\n\"Name\"=dword:00000002\n");
    config.SetInt(1, "Name", 3);
    EXPECT_EQ(ReadText(MachineFile()), "REGEDIT4\n\n" + kMachine + "\n\"Name\"=dword:00000003\n");

    struct stat st;
    ASSERT_EQ(stat(UserFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the user's settings are private
    ASSERT_EQ(stat(MachineFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // everyone reads the machine's
    // Nothing left behind beside the file.
    EXPECT_EQ(Entries(tmp / "user/Tenvik-Labs/Cryvan"), std::vector<std::string>{"settings.reg"});
}

TEST_F(ConfigTest, SetIntRoundTripsAndKeepsRootsApart) {
    for (std::uint32_t value : {0u, 1u, 0xffffffffu}) {
        config.SetInt(0, "Value", value);
        config.SetInt(1, "Value", ~value);
        std::uint32_t user = 5, machine = 5;
        EXPECT_TRUE(config.GetInt(0, "Value", user));
        EXPECT_TRUE(config.GetInt(1, "Value", machine));
        EXPECT_EQ(user, value);
        EXPECT_EQ(machine, ~value);
    }
    const std::string name = "quote\" back\\slash @=[x]";
    config.SetInt(0, name, 42);
    EXPECT_NE(ReadText(UserFile()).find("\n\"quote\\\" back\\\\slash @=[x]\"=dword:0000002a\n"),
              std::string::npos);
    std::uint32_t out = 0;
    EXPECT_TRUE(config.GetInt(0, name, out));
    EXPECT_EQ(out, 42u);
    config.SetInt(0, "", 43);
    EXPECT_TRUE(config.GetInt(0, "", out));
    EXPECT_EQ(out, 43u);
}

TEST_F(ConfigTest, SetIntKeepsEveryOtherLine) {
    const std::string before =
        "REGEDIT4\n"
        "; kept as written\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n"
        "\"Name\"=dword:00000063\n"
        "\n"
        "[hkey_current_user\\software\\tenvik-labs\\cryvan]\n"
        "\"Text\"=\"some \\\"text\\\"\"\n"
        "\"name\"=dword:00000001\n"
        "\"Blob\"=hex:01,02,\\\n"
        "  03,04\n"
        "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan\\Sub]\n"
        "\"Name\"=dword:00000063";
    WriteUserFile(before);
    ASSERT_EQ(chmod(UserFile().c_str(), 0640), 0);

    config.SetInt(0, "Name", 2);  // in place
    config.SetInt(0, "New", 3);   // after the section's last line
    config.SetInt(0, "Blob", 4);  // a wrapped value becomes one line
    EXPECT_EQ(ReadText(UserFile()),
              "REGEDIT4\n"
              "; kept as written\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Other]\n"
              "\"Name\"=dword:00000063\n"
              "\n"
              "[hkey_current_user\\software\\tenvik-labs\\cryvan]\n"
              "\"Text\"=\"some \\\"text\\\"\"\n"
              "\"Name\"=dword:00000002\n"
              "\"Blob\"=dword:00000004\n"
              "\"Qword\"=hex(b):01,00,00,00,00,00,00,00\n"
              "\"New\"=dword:00000003\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Tenvik-Labs\\Cryvan\\Sub]\n"
              "\"Name\"=dword:00000063");
    struct stat st;
    ASSERT_EQ(stat(UserFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(ConfigTest, SetIntAddsTheSectionInTheFilesOwnLineEnds) {
    WriteUserFile("REGEDIT4\r\n\r\n[Other]\r\n\"A\"=dword:00000001");
    config.SetInt(0, "Name", 1);
    EXPECT_EQ(ReadText(UserFile()), "REGEDIT4\r\n\r\n[Other]\r\n\"A\"=dword:00000001\r\n\r\n" +
                                        kUser + "\r\n\"Name\"=dword:00000001\r\n");
    WriteUserFile(kUser);
    config.SetInt(0, "Name", 1);
    EXPECT_EQ(ReadText(UserFile()), kUser + "\n\"Name\"=dword:00000001\n");
    WriteUserFile(kUser + "\r");
    config.SetInt(0, "Name", 2);
    EXPECT_EQ(ReadText(UserFile()), kUser + "\r\n\"Name\"=dword:00000002\n");
}

TEST_F(ConfigTest, SetIntFailuresRaiseAndKeepTheOldFile) {
    auto raises = [&](int root, const std::string& name) {
        try {
            config.SetInt(root, name, 1);
        } catch (const Config::Err& e) {
            EXPECT_STREQ(e.what(), "\"Config error\"");
            return true;
        }
        return false;
    };
    EXPECT_TRUE(raises(2, "Name"));
    EXPECT_TRUE(raises(-1, "Name"));

    const std::string old = "REGEDIT4\n\n" + kUser + "\n\"Name\"=dword:00000005\n";
    WriteUserFile(old);
    EXPECT_TRUE(raises(0, "Line\nbreak"));
    EXPECT_TRUE(raises(0, "Nul\0"s));
    EXPECT_EQ(ReadText(UserFile()), old);

    // A folder in the file's place stays as it is.
    ASSERT_EQ(system(("mkdir -p '" + MachineFile() + "/inside'").c_str()), 0);
    EXPECT_TRUE(raises(1, "Name"));
    EXPECT_EQ(Entries(MachineFile()), std::vector<std::string>{"inside"});

    // A file where a folder should be.
    WriteText(tmp / "plain", "plain");
    home.Set((tmp / "plain").c_str());
    EXPECT_TRUE(raises(0, "Name"));
    EXPECT_EQ(ReadText(tmp / "plain"), "plain");
}

TEST_F(ConfigTest, SetIntInAReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permission bits do not bind root";
    const std::string old = "REGEDIT4\n\n" + kUser + "\n\"Name\"=dword:00000005\n";
    WriteUserFile(old);
    ASSERT_EQ(chmod((tmp / "user/Tenvik-Labs/Cryvan").c_str(), 0500), 0);
    EXPECT_THROW(config.SetInt(0, "Name", 6), Config::Err);
    EXPECT_EQ(ReadText(UserFile()), old);
    EXPECT_EQ(Entries(tmp / "user/Tenvik-Labs/Cryvan"), std::vector<std::string>{"settings.reg"});
}

TEST_F(ConfigTest, ConcurrentWritersLoseNoValue) {
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([this, w] {
            for (int i = 0; i < 10; ++i)
                config.SetInt(0, "V" + std::to_string(w * 10 + i), w);
        });
    }
    for (std::thread& t : writers)
        t.join();
    for (int n = 0; n < 40; ++n) {
        std::uint32_t out = 99;
        EXPECT_TRUE(config.GetInt(0, "V" + std::to_string(n), out)) << n;
        EXPECT_EQ(out, static_cast<std::uint32_t>(n / 10));
    }
}

}  // namespace
