// The manual pages and shell completions the build makes: every option of both programs in
// each, pages the roff linters pass, scripts their shells parse, and completion that offers
// each place's words when a shell really runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/Options.h"
#include "app/docs/Docs.h"
#include "app/org/Command.h"
#include "support/SharedFixtures.h"
#include "support/TempDir.h"

namespace {

using cryvan_test::Lines;
using Words = std::vector<std::string>;

const std::string kShare = CRYVAN_DOCS_DIR;

std::string ManPage(const std::string& program) {
    return kShare + "/man/man1/" + program + ".1";
}
std::string BashFile(const std::string& program) {
    return kShare + "/bash-completion/completions/" + program;
}
std::string ZshFile(const std::string& program) {
    return kShare + "/zsh/vendor-completions/_" + program;
}
std::string FishFile(const std::string& program) {
    return kShare + "/fish/vendor_completions.d/" + program + ".fish";
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Quoted(const std::string& word) {
    std::string out = "'";
    for (const char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Outcome {
    int status;
    std::string out;
};

Outcome Shell(const std::string& command) {
    Outcome outcome{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return outcome;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        outcome.out.append(buffer, got);
    outcome.status = pclose(pipe);
    return outcome;
}

bool Have(const std::string& tool) {
    return Shell("command -v " + tool + " >/dev/null 2>&1").status == 0;
}

// A tool the check needs: CI installs it (scripts/install-deps.sh), elsewhere it may be missing.
#define REQUIRE_TOOL(tool)                                                                      \
    do {                                                                                        \
        if (!Have(tool)) {                                                                      \
            if (::cryvan_test::UnderCI())                                                       \
                FAIL() << tool << " is missing (CI=true: scripts/install-deps.sh installs it)"; \
            GTEST_SKIP() << tool << " is missing: install it with scripts/install-deps.sh";     \
        }                                                                                       \
    } while (false)

// cryvan's rows, not the decrypt-only program's.
bool CryvanRow(const App::OptionRow& row) {
    return row.accepts & (App::kFrontEnd | App::kFirstWord | App::kEncryption | App::kDecryption);
}

std::string FishFlag(const std::string& spelling) {
    if (spelling.compare(0, 2, "--") == 0)
        return "-l '" + spelling.substr(2) + "'";
    if (spelling[0] == '-')
        return (spelling.size() == 2 ? "-s '" : "-o '") + spelling.substr(1) + "'";
    return "-a '" + spelling + "'";
}

// The page and the three scripts each name every spelling.
void ExpectEverywhere(const std::string& program, const std::string& spelling) {
    EXPECT_TRUE(Contains(Read(ManPage(program)), "\\fB" + Docs::RoffLiteral(spelling) + "\\fR"))
        << program << " " << spelling;
    EXPECT_TRUE(Contains(Read(BashFile(program)), "'" + spelling + "'"))
        << program << " " << spelling;
    const std::string zsh = Read(ZshFile(program));
    EXPECT_TRUE(Contains(zsh, "'" + spelling + "[") || Contains(zsh, " " + spelling + ")") ||
                Contains(zsh, "(" + spelling + " ") || Contains(zsh, " " + spelling + " "))
        << program << " " << spelling;
    EXPECT_TRUE(Contains(Read(FishFile(program)), FishFlag(spelling)))
        << program << " " << spelling;
}

// The page's text, its lines joined as roff joins them in a paragraph.
std::string Joined(const std::string& page) {
    std::string text = page;
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

TEST(DocsFiles, EveryOptionOfBothProgramsIsInThePageAndEachCompletion) {
    const std::string cryvanPage = Joined(Read(ManPage("cryvan")));
    for (const App::OptionRow& row : App::kOptions) {
        if (!CryvanRow(row))
            continue;
        ExpectEverywhere("cryvan", row.spelling);
        if (row.alias)
            ExpectEverywhere("cryvan", row.alias);
        // --help's "this text" is said otherwise on a page.
        if (row.option != App::Option::Help) {
            EXPECT_TRUE(Contains(cryvanPage, Joined(Docs::RoffText(row.help)))) << row.help;
        }
    }
    const std::string orgPage = Joined(Read(ManPage("cryvan-org")));
    for (const auto& command : Org::Commands()) {
        ExpectEverywhere("cryvan-org", command->Name());
        EXPECT_TRUE(Contains(orgPage, Joined(Docs::RoffText(command->Summary()))))
            << command->Name();
        for (const Org::OrgOption& option : command->Options()) {
            if (option.spelling)
                ExpectEverywhere("cryvan-org", option.spelling);
            EXPECT_TRUE(Contains(orgPage, Joined(Docs::RoffText(option.help)))) << option.help;
        }
    }
}

TEST(DocsFiles, ManPagesPassTheLinters) {
    REQUIRE_TOOL("groff");
    REQUIRE_TOOL("mandoc");
    for (const char* program : {"cryvan", "cryvan-org"}) {
        const std::string page = Quoted(ManPage(program));
        const Outcome groff = Shell("groff -man -ww -z " + page + " 2>&1");
        EXPECT_EQ(groff.status, 0) << program;
        EXPECT_EQ(groff.out, "") << program;
        const Outcome mandoc = Shell("mandoc -T lint " + page + " 2>&1");
        EXPECT_EQ(mandoc.status, 0) << program;
        EXPECT_EQ(mandoc.out, "") << program;
    }
}

TEST(DocsFiles, EachShellParsesItsScripts) {
    struct Check {
        const char* shell;
        std::string (*file)(const std::string&);
        const char* command;
    } const checks[] = {
        {"bash", BashFile, "bash -n "},
        {"zsh", ZshFile, "zsh -n "},
        {"fish", FishFile, "fish --no-execute "},
    };
    for (const Check& check : checks) {
        REQUIRE_TOOL(check.shell);
        for (const char* program : {"cryvan", "cryvan-org"}) {
            const Outcome parsed = Shell(check.command + Quoted(check.file(program)) + " 2>&1");
            EXPECT_EQ(parsed.status, 0) << check.shell << " " << program << ": " << parsed.out;
        }
    }
}

// Runs a shell's completion of `words` (the last one being typed) in `folder`.
using Completer = std::set<std::string> (*)(const std::string& folder, const Words& words);

std::set<std::string> Offered(const std::string& out) {
    std::set<std::string> offered;
    for (std::string line : Lines(out)) {
        line = line.substr(0, line.find('\t'));  // fish adds a description
        if (line.size() > 1 && line.back() == '/')
            line.pop_back();  // and a slash to folders
        offered.insert(line);
    }
    return offered;
}

std::set<std::string> BashCompletes(const std::string& folder, const Words& words) {
    const std::string script = Read(BashFile(words[0]));
    // The function the script binds to the program: "complete -F NAME PROGRAM".
    const std::size_t at = script.rfind("complete -F ");
    std::istringstream bound(script.substr(at + 12));
    std::string function;
    bound >> function;
    std::string command = "cd " + Quoted(folder) + " && bash -c " +
                          Quoted(
                              "source \"$1\"; f=$2; shift 2; COMP_WORDS=(\"$@\"); "
                              "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); \"$f\"; "
                              "((${#COMPREPLY[@]} == 0)) || printf '%s\\n' \"${COMPREPLY[@]}\"") +
                          " _ " + Quoted(BashFile(words[0])) + " " + function;
    for (const std::string& word : words)
        command += " " + Quoted(word);
    return Offered(Shell(command).out);
}

std::set<std::string> FishCompletes(const std::string& folder, const Words& words) {
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + word;
    const std::string command =
        "cd " + Quoted(folder) + " && fish --no-config -c " +
        Quoted("source " + Quoted(FishFile(words[0])) + "; complete -C " + Quoted(line)) +
        " 2>/dev/null";
    return Offered(Shell(command).out);
}

class Completion : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        REQUIRE_TOOL(GetParam());
        complete = std::string(GetParam()) == "bash" ? BashCompletes : FishCompletes;
        ::cryvan_test::WriteText(folder / "report.txt", "r");
        ::cryvan_test::WriteText(folder / "papers.aes", "p");
        std::filesystem::create_directory(folder / "photos");
    }
    std::set<std::string> Complete(const Words& words) { return complete(folder.Path(), words); }

    ::cryvan_test::TempDir folder;
    Completer complete = nullptr;
};

TEST_P(Completion, OffersTheWordsOfThePlaceAndTheKindOfEachValue) {
    struct Case {
        Words words;
        std::set<std::string> offered;  // among what is offered
        std::set<std::string> notOffered;
        bool exactly;  // nothing else is
    } const cases[] = {
        {{"cryvan", "-d", "-"}, {"-c", "-o", "-p", "-q"}, {"-i", "-x", "--text", "-e"}, false},
        {{"cryvan", "-e", "-r", ""}, {"k", "r", "d", "o", "e"}, {}, true},
        {{"cryvan", "-"}, {"-e", "-d", "-prefs", "--text", "--password-file"}, {"-c", "-i"}, false},
        {{"cryvan", "--password-file", "pw", "-e", "-"}, {"-i", "-c"}, {"--text", "-o"}, false},
        {{"cryvan", "--password-file", ""}, {"report.txt", "papers.aes", "photos"}, {}, true},
        {{"cryvan", "-e", "-i", "report.txt", ""}, {"papers.aes", "photos"}, {}, false},
        {{"cryvan", "-e", "-i", "report.txt", "-"}, {"-c", "-x"}, {"report.txt"}, false},
        {{"cryvan", "-d", "-o", ""}, {"photos"}, {"report.txt"}, true},
        {{"cryvan", "-d", "-c", "papers.aes", "-r", ""}, {"k", "r", "d", "o", "e"}, {}, true},
        {{"cryvan-org", ""}, {"create", "show", "protect-key", "verify"}, {"--name"}, false},
        {{"cryvan-org", "create", "--folder", ""}, {"all-users", "program"}, {}, true},
        {{"cryvan-org", "create", "--"},
         {"--name", "--force", "--password-file"},
         {"--org"},
         false},
        {{"cryvan-org", "verify", "--org", "papers.aes", ""}, {"report.txt"}, {"--org"}, false},
    };
    for (const Case& c : cases) {
        const std::set<std::string> offered = Complete(c.words);
        std::string line;
        for (const std::string& word : c.words)
            line += word + " ";
        for (const std::string& word : c.offered)
            EXPECT_EQ(offered.count(word), 1u) << line << "should offer " << word;
        for (const std::string& word : c.notOffered)
            EXPECT_EQ(offered.count(word), 0u) << line << "should not offer " << word;
        if (c.exactly) {
            EXPECT_EQ(offered, c.offered) << line;
        }
    }
}

TEST_P(Completion, OffersEveryRowWhereTheTableAcceptsItAndNowhereElse) {
    struct Place {
        unsigned places;
        Words before;
    } const places[] = {
        {App::kFrontEnd | App::kFirstWord, {"cryvan"}},
        {App::kEncryption, {"cryvan", "-e"}},
        {App::kDecryption, {"cryvan", "-d"}},
    };
    for (const Place& place : places) {
        Words words = place.before;
        words.push_back("-");
        const std::set<std::string> offered = Complete(words);
        std::set<std::string> accepted;
        for (const App::OptionRow& row : App::kOptions)
            if (row.accepts & place.places) {
                accepted.insert(row.spelling);
                if (row.alias)
                    accepted.insert(row.alias);
            }
        EXPECT_EQ(offered, accepted) << words[words.size() - 2];
    }
    for (const auto& command : Org::Commands()) {
        const std::set<std::string> offered = Complete({"cryvan-org", command->Name(), "-"});
        std::set<std::string> accepted;
        for (const Org::OrgOption& option : command->Options())
            if (option.spelling)
                accepted.insert(option.spelling);
        EXPECT_EQ(offered, accepted) << command->Name();
    }
}

INSTANTIATE_TEST_SUITE_P(Shells, Completion, ::testing::Values("bash", "fish"));

TEST(RoffText, EscapesWhatRoffWouldReadOtherwise) {
    struct Case {
        const char* text;
        const char* roff;
    } const cases[] = {
        {"a back\\slash", "a back\\eslash"},
        {"use --password-file or -p", "use \\%\\-\\-password\\-file or \\%\\-p"},
        {"a self-decrypting file", "a self-decrypting file"},
        {"in ~/.local/share now", "in \\%~/.local/share now"},
        {"(-r k) keeps", "\\%(\\-r k) keeps"},
        {"One. Two? Three", "One.\nTwo?\nThree"},
        {"Ends. .hidden 'quoted", "Ends.\n\\&.hidden 'quoted"},
        {"Ends. 'quoted", "Ends.\n\\&'quoted"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Docs::RoffText(c.text), c.roff) << c.text;
    EXPECT_EQ(Docs::RoffLiteral("a-b\\c"), "a\\-b\\ec");

    const std::string wrapped = Docs::RoffText(std::string(30, 'x') + " " + std::string(30, 'y') +
                                               " " + std::string(30, 'z'));
    for (const std::string& line : Lines(wrapped))
        EXPECT_LE(line.size(), 80u) << line;
    EXPECT_EQ(wrapped.find('\n'), 61u);
}

}  // namespace
