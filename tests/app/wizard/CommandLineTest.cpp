#include "app/wizard/CommandLine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/File.h"
#include "os/Logger.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TempDir.h"

namespace {

using App::OptionIndex;
using App::PagesValues;
using App::StartMode;
using Args = std::vector<std::string>;

// Every field that differs from a fresh PagesValues, so a row also catches stray effects.
std::string Describe(const PagesValues& v) {
    std::ostringstream out;
    if (v.operation != PagesValues::Operation::None)
        out << (v.operation == PagesValues::Operation::Encrypt ? "enc" : "dec") << ' ';
    if (v.quit)
        out << "quit ";
    if (v.preferencesShown)
        out << "prefs=" << v.preferencesShown << ' ';
    for (const std::string& input : v.pendingInputs)
        out << "in=" << input << ' ';
    if (v.encDeletion)
        out << "encDel=" << static_cast<int>(*v.encDeletion) << ' ';
    if (v.encNoConfirm)
        out << "encNoConfirm ";
    if (v.encOutputFromCommandLine)
        out << "encOut=" << (v.encDefaultOutputWanted ? "<default>" : v.encOutputName) << ' ';
    if (v.encStandAlone)
        out << "exe ";
    if (v.encPlatform)
        out << "on="
            << (*v.encPlatform == App::OperationRunner::Platform::Windows ? "windows" : "linux")
            << ' ';
    if (v.encPasswordFromCommandLine)
        out << "encPw=" << v.EncPasswordText() << ' ';
    if (v.decContainerFromCommandLine)
        out << "decIn=" << v.decContainer << ' ';
    if (v.decDeletion)
        out << "decDel=" << static_cast<int>(*v.decDeletion) << ' ';
    if (v.decNoConfirm)
        out << "decNoConfirm ";
    if (v.decPasswordFromCommandLine)
        out << "decPw=" << v.DecPasswordText() << ' ';
    if (v.decOutputFromCommandLine)
        out << "decOut=" << (v.decOutputFolder.empty() ? "<default>" : v.decOutputFolder) << ' ';
    std::string text = out.str();
    if (!text.empty())
        text.pop_back();
    return text;
}

// Runs each test inside a fresh temporary current folder, with the error log captured.
class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.Path());
        m_cwd = OS::File::GetCurrentPath();
        OS::Logger::Register(OS::LOG_ERROR, &m_log);
    }
    void TearDown() override {
        OS::Logger::Register(0, &m_log);
        std::filesystem::current_path(m_previous);
    }

    StartMode Run(Args args) {
        args.insert(args.begin(), "cryvan");
        return App::ProcessCommandLine(args, m_values, m_boxes);
    }
    StartMode RunText(const std::string& line) {
        return App::ProcessCommandLine(line, m_values, m_boxes);
    }

    void ExpectUsageShownOnce() {
        ASSERT_EQ(m_boxes.shown.size(), 1u);
        const auto& box = m_boxes.shown[0];
        EXPECT_EQ(box.text, App::kUsageText);
        EXPECT_EQ(box.caption, "Cryvan Error");
        EXPECT_EQ(box.icon, App::MessageBoxes::Icon::Error);
        EXPECT_EQ(box.buttons, App::MessageBoxes::Buttons::Ok);
        EXPECT_EQ(m_log.str(), ":ERROR: Invalid command line\n");
    }
    void ExpectNothingReported() {
        EXPECT_TRUE(m_boxes.shown.empty());
        EXPECT_EQ(m_log.str(), "");
    }

    cryvan_test::TempDir m_dir;
    std::filesystem::path m_previous;
    std::string m_cwd;
    std::ostringstream m_log;
    PagesValues m_values;
    cryvan_test::ScriptedMessageBoxes m_boxes;
};

TEST(NextTokenTest, SplitsAsSpecified) {
    struct Row {
        std::string text;
        Args tokens;
    };
    const Row rows[] = {
        {"", {}},
        {" \t\r\n ", {}},
        {"abc", {"abc"}},
        {"  abc   def \t", {"abc", "def"}},
        {"a\tb c", {"a\tb", "c"}},  // only a space separates
        {"\"a b\" c", {"a b", "c"}},
        {"\"a b\"c d", {"a b", "d"}},  // the character after the closing quote is dropped
        {"\"a b\"", {"a b"}},
        {"\"\" x", {"", "x"}},
        {"a\"b c\"", {"a\"b", "c\""}},  // a quote counts only at the start of a token
        {"-e \"C:/x y/z.aes\"", {"-e", "C:/x y/z.aes"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string remaining = row.text;
        Args tokens;
        while (std::optional<std::string> token = App::NextToken(remaining))
            tokens.push_back(*token);
        EXPECT_EQ(tokens, row.tokens);
        EXPECT_EQ(remaining, "");
    }
}

TEST(NextTokenTest, LeavesTheRestAfterOneToken) {
    std::string remaining = "  \"a b\"xyz  ";
    EXPECT_EQ(App::NextToken(remaining), "a b");
    EXPECT_EQ(remaining, "yz");
    remaining = "one two  three ";
    EXPECT_EQ(App::NextToken(remaining), "one");
    EXPECT_EQ(remaining, "two  three");
}

TEST(NextTokenTest, UnterminatedQuoteIsAParseError) {
    for (const char* text : {"\"abc", "  \"a b c  ", "\""}) {
        std::string remaining = text;
        try {
            App::NextToken(remaining);
            ADD_FAILURE() << text;
        } catch (const App::WizardParseError& e) {
            EXPECT_STREQ(e.what(), "\"Command line invalid\"");
        }
    }
}

TEST(OptionIndexTest, ClassifiesTokens) {
    const std::pair<const char*, int> rows[] = {
        {"-e", 0}, {"/e", 0},  {"-E", 0},     {"/D", 1},       {"-c", 2},       {"-p", 3},
        {"-o", 4}, {"-i", 5},  {"-x", 6},     {"-q", 7},       {"-prefs", 8},   {"/PreFs", 8},
        {"-r", 9}, {"-F", 10}, {"-pref", 11}, {"-prefsx", 11}, {"e", 11},       {"-", 11},
        {"/", 11}, {"", 11},   {"--e", 11},   {"-ee", 11},     {"/home/a", 11}, {"a.txt", 11},
    };
    for (const auto& [token, index] : rows)
        EXPECT_EQ(OptionIndex(token), index) << token;
}

TEST_F(CommandLineTest, NoArgumentsOpenTheWizard) {
    EXPECT_EQ(App::ProcessCommandLine(Args{}, m_values, m_boxes), StartMode::Wizard);
    EXPECT_EQ(Run({}), StartMode::Wizard);
    EXPECT_EQ(RunText("\"/usr/bin/cryvan\""), StartMode::Wizard);
    EXPECT_EQ(RunText("   "), StartMode::Wizard);
    EXPECT_EQ(Describe(m_values), "");
    ExpectNothingReported();
}

TEST_F(CommandLineTest, OptionsFillThePages) {
    struct Row {
        Args args;
        std::string expected;
    };
    const Row rows[] = {
        {{"-e"}, "enc"},
        {{"/E"}, "enc"},
        {{"-E"}, "enc"},
        {{"-d"}, "dec"},
        {{"-e", "-c", "out.aes"}, "enc encOut=out.aes"},
        {{"-e", "-c"}, "enc encOut=<default>"},
        {{"-e", "-c", "-x"}, "enc encOut=<default> exe"},
        {{"-e", "-c", "-pref"}, "enc encOut=-pref"},
        {{"-e", "-p", "secret1"}, "enc encPw=secret1"},
        {{"-e", "-x", "-x"}, "enc exe"},
        {{"-e", "--sfx-platform", "linux"}, "enc exe on=linux"},
        {{"-e", "-x", "--sfx-platform", "Windows"}, "enc exe on=windows"},
        {{"-e", "/-SFX-PLATFORM", "LINUX", "-x"}, "enc exe on=linux"},
        {{"-e", "-q", "-q"}, "enc quit"},
        {{"-e", "-f", "-f"}, "enc encNoConfirm"},
        {{"-e", "-prefs", "-PREFS"}, "enc"},
        {{"-e", "-r", "K"}, "enc encDel=0"},
        {{"-e", "-r", "r"}, "enc encDel=1"},
        {{"-e", "-r", "D"}, "enc encDel=2"},
        {{"-e", "-r", "o"}, "enc encDel=3"},
        {{"-e", "-r", "E"}, "enc encDel=4"},
        {{"-e", "-r", "e", "-r", "k"}, "enc encDel=0"},
        {{"-d", "-c", "x.aes"}, "dec decIn=x.aes"},
        {{"-d", "-p", "pw"}, "dec decPw=pw"},
        {{"-d", "-o", "out dir"}, "dec decOut=out dir"},
        {{"-d", "-c", "x.aes", "-o"}, "dec decIn=x.aes decOut=<default>"},
        {{"-d", "-o", "", "-q"}, "dec quit decOut=<default>"},
        {{"-d", "-q", "-q"}, "dec quit"},
        {{"-d", "-f", "-f"}, "dec decNoConfirm"},
        {{"-d", "-prefs"}, "dec"},
        {{"-d", "-r", "R", "-r", "o"}, "dec decDel=3"},
        {{"-d", "-c", "x.aes", "-p", "secret1", "-o", "/out", "-r", "e", "-f", "-q"},
         "dec quit decIn=x.aes decDel=4 decNoConfirm decPw=secret1 decOut=/out"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        m_values = PagesValues();
        EXPECT_EQ(Run(row.args), StartMode::Wizard);
        EXPECT_EQ(Describe(m_values), row.expected);
    }
    ExpectNothingReported();
}

TEST_F(CommandLineTest, FullEncryptionLine) {
    EXPECT_EQ(Run({"-e", "-c", "out.aes", "-i", "a.txt", "b.txt", "-p", "secret1"}),
              StartMode::Wizard);
    EXPECT_EQ(Describe(m_values),
              "enc in=" + m_cwd + "/a.txt in=" + m_cwd + "/b.txt encOut=out.aes encPw=secret1");
    ExpectNothingReported();
}

TEST_F(CommandLineTest, InputsAreMadeFullPathsAndAccumulate) {
    EXPECT_EQ(Run({"-e", "-i", "a.txt", "sub/b.txt", "/abs/c.txt", "-x", "-i", "../d.txt"}),
              StartMode::Wizard);
    EXPECT_EQ(m_values.pendingInputs,
              (Args{m_cwd + "/a.txt", m_cwd + "/sub/b.txt", "/abs/c.txt", m_cwd + "/../d.txt"}));
    EXPECT_TRUE(m_values.encStandAlone);
    ExpectNothingReported();
}

TEST_F(CommandLineTest, InvalidLinesShowUsage) {
    const Args rows[] = {
        {"a.aes"},  // a container dropped onto the program
        {"-x"},
        {"-pref"},
        {"-e", "a.txt"},
        {"-e", "-e"},
        {"-e", "-d"},
        {"-e", "-o", "dir"},
        {"-e", "-i"},
        {"-e", "-i", "-x"},
        {"-e", "-i", ""},  // would stand for the whole current folder
        {"-e", "-p"},
        {"-e", "-p", "-q"},
        {"-e", "-c", "a.aes", "-c", "b.aes"},
        {"-e", "-c", "-c"},
        {"-e", "-p", "secret1", "-p", "secret2"},
        {"-e", "-r", "x"},
        {"-e", "-r", "kk"},
        {"-e", "-r", ""},
        {"-e", "-r"},
        {"-e", "-r", "-f"},
        {"-d", "a.aes"},
        {"-d", "-e"},
        {"-d", "-d"},
        {"-d", "-i", "a.txt"},
        {"-d", "-x"},
        {"-d", "-c"},
        {"-d", "-c", "-o"},
        {"-d", "-p"},
        {"-d", "-c", "x.aes", "-c", "y.aes"},
        {"-d", "-p", "one", "-p", "two"},
        {"-d", "-o", "-o"},
        {"-d", "-o", "a", "-o", "b"},
        {"-d", "-r", "q"},
        {"-d", "-r"},
        {"-e", "--sfx-platform"},
        {"-e", "--sfx-platform", "macos"},
        {"-e", "--sfx-platform", ""},
        {"-e", "--sfx-platform", "-x"},
        {"-e", "--sfx-platform", "linux", "--sfx-platform", "linux"},
        {"-d", "--sfx-platform", "linux"},
    };
    for (const Args& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row));
        m_values = PagesValues();
        m_boxes.shown.clear();
        m_log.str("");
        EXPECT_EQ(Run(row), StartMode::Invalid);
        ExpectUsageShownOnce();
        EXPECT_EQ(m_values.preferencesShown, 0);
    }
}

// The refusal names the argument at fault, so that the front end can say which; a password is
// never repeated.
TEST_F(CommandLineTest, InvalidLinesNameTheArgumentAtFault) {
    const struct {
        Args args;
        std::string fault;
    } rows[] = {
        {{"-x"}, "'-x' is not valid there"},
        {{"-e", "-i"}, "'-i' needs a value after it"},
        {{"-e", "-r", "x"}, "'x' is not valid there"},
        {{"-d", "-c", "a.aes", "--password-fd", "3"}, "'--password-fd' is not valid there"},
        {{"-d", "-p"}, "'-p' needs a value after it"},
        {{"-e", "-p", "secret1", "-p", "secret2"}, "the password is not valid there"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        m_values = PagesValues();
        EXPECT_EQ(Run(row.args), StartMode::Invalid);
        EXPECT_EQ(m_values.invalid, row.fault);
    }
    m_values = PagesValues();
    EXPECT_EQ(Run({"-e", "-i", "a.txt"}), StartMode::Wizard);
    EXPECT_EQ(m_values.invalid, "");
}

// The value of -p is kept in the pages' values and overwritten in the process's own argument
// bytes, which the process list shows; the other arguments stay as they were.
TEST_F(CommandLineTest, APasswordIsKeptAndHiddenInTheArguments) {
    const struct {
        Args argv;
        StartMode mode;
        std::string enc, dec;  // what the values hold afterwards
        Args after;
    } cases[] = {
        {{"cryvan", "-e", "-p", "secret1", "-i", "a.txt"},
         StartMode::Wizard,
         "secret1",
         "",
         {"cryvan", "-e", "-p", "xxxxxxx", "-i", "a.txt"}},
        {{"cryvan", "-d", "-c", "x.aes", "-p", "pass word", "-q"},
         StartMode::Wizard,
         "",
         "pass word",
         {"cryvan", "-d", "-c", "x.aes", "-p", "xxxxxxxxx", "-q"}},
        // Refused for the second -p: neither stays readable.
        {{"cryvan", "-e", "-p", "one", "-p", "two"},
         StartMode::Invalid,
         "one",
         "",
         {"cryvan", "-e", "-p", "xxx", "-p", "xxx"}},
        // No value after -p: nothing is a password, nothing is overwritten.
        {{"cryvan", "-d", "-p", "-q"}, StartMode::Invalid, "", "", {"cryvan", "-d", "-p", "-q"}},
        {{"cryvan", "-e", "-p", ""}, StartMode::Wizard, "", "", {"cryvan", "-e", "-p", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argv[c.argv.size() - 1]);
        // Writable bytes, as main() receives them.
        std::vector<std::vector<char>> bytes;
        std::vector<char*> argv;
        for (const std::string& a : c.argv)
            bytes.emplace_back(a.c_str(), a.c_str() + a.size() + 1);
        for (auto& b : bytes)
            argv.push_back(b.data());
        m_values = PagesValues();
        EXPECT_EQ(App::ProcessCommandLine(App::Arguments(int(argv.size()), argv.data()), m_values,
                                          m_boxes),
                  c.mode);
        EXPECT_EQ(m_values.EncPasswordValue(), c.enc);
        EXPECT_EQ(m_values.DecPasswordValue(), c.dec);
        Args after;
        for (const auto& b : bytes)
            after.emplace_back(b.data());
        EXPECT_EQ(after, c.after);

        m_values.WipePasswords();
        EXPECT_TRUE(m_values.EncPasswordValue().AllZero());
        EXPECT_TRUE(m_values.DecPasswordValue().AllZero());
        EXPECT_STREQ(m_values.EncPasswordText(), "");
    }
}

TEST_F(CommandLineTest, PreferencesStopTheParse) {
    EXPECT_EQ(Run({"-prefs", "-e", "-zz"}), StartMode::Preferences);
    EXPECT_EQ(Describe(m_values), "prefs=1");
    // The unterminated quote after it is never read.
    m_values = PagesValues();
    EXPECT_EQ(RunText("cryvan /PREFS -e \"never"), StartMode::Preferences);
    EXPECT_EQ(Describe(m_values), "prefs=1");
    ExpectNothingReported();
}

TEST_F(CommandLineTest, TextFormKeepsQuotedTokensWhole) {
    EXPECT_EQ(RunText("\"/opt/my apps/cryvan\" -e -c \"my out.aes\" -p \"pass word\" -i \"a b.txt\""
                      " c.txt"),
              StartMode::Wizard);
    EXPECT_EQ(Describe(m_values), "enc in=" + m_cwd + "/a b.txt in=" + m_cwd +
                                      "/c.txt encOut=my out.aes encPw=pass word");
    ExpectNothingReported();
}

TEST_F(CommandLineTest, TextFormUnterminatedQuoteShowsUsage) {
    EXPECT_EQ(RunText("cryvan -e -c \"out.aes"), StartMode::Invalid);
    ExpectUsageShownOnce();
}

TEST_F(CommandLineTest, UnquotedProgramPathIsOneToken) {
    EXPECT_EQ(RunText("/usr/bin/cryvan -d -c x.aes"), StartMode::Wizard);
    EXPECT_EQ(Describe(m_values), "dec decIn=x.aes");
}

}  // namespace

namespace {

// A value the row's option takes; -r needs one of its letters.
std::string SampleValue(const App::OptionRow& row) {
    if (row.option == App::Option::Deletion)
        return "k";
    return row.option == App::Option::SfxPlatform ? "linux" : "value.txt";
}

// Every word the table gives a mode parses there with its kind of value, and changes the
// pages; one that needs a value refuses to go without.
TEST_F(CommandLineTest, EveryWordOfTheOptionTableParsesInItsMode) {
    for (const App::OptionPlace place : {App::kEncryption, App::kDecryption}) {
        const std::string mode = place == App::kEncryption ? "-e" : "-d";
        for (const App::OptionRow& row : App::kOptions) {
            if (!(row.accepts & place))
                continue;
            SCOPED_TRACE(mode + " " + row.spelling);
            Args args{mode, row.spelling};
            if (row.value != App::OptionValue::None)
                args.push_back(SampleValue(row));
            m_values = PagesValues();
            EXPECT_EQ(Run(args), StartMode::Wizard);
            const std::string bare = Describe(m_values);
            if (row.option != App::Option::Preferences) {
                EXPECT_NE(bare, mode.substr(1) == "e" ? "enc" : "dec") << "no effect";
            }
            m_values = PagesValues();
            const StartMode alone = Run({mode, row.spelling});
            const bool needsValue =
                row.value == App::OptionValue::Required || row.value == App::OptionValue::OneOrMore;
            EXPECT_EQ(alone, needsValue ? StartMode::Invalid : StartMode::Wizard);
        }
        // The other mode's words are refused.
        for (const App::OptionRow& row : App::kOptions) {
            if ((row.accepts & (App::kEncryption | App::kDecryption)) &&
                !App::FindOption(row.option, place)) {
                m_values = PagesValues();
                EXPECT_EQ(Run({mode, row.spelling, SampleValue(row)}), StartMode::Invalid)
                    << mode << " " << row.spelling;
            }
        }
    }
}

}  // namespace
