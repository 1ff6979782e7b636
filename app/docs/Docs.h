// The manual pages and shell completions of cryvan and cryvan-org, made from the option tables
// the programs themselves parse and print in --help, so that none of them can drift.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace App {
struct OptionRow;
}

namespace Docs {

// What a value of an option is, for completion.
enum class Kind { Nothing, Files, Folders, Words };

struct Value {
    std::string name;  // "FILE", "k|r|d|o|e"
    Kind kind = Kind::Nothing;
    std::vector<std::string> words;  // Kind::Words: the only words taken
    bool repeats = false;            // "FILE...": as many as follow
};

// "encrypt|decrypt FILE..." gives two values; `repeatLast` makes the last one repeat.
std::vector<Value> ValuesOf(std::string_view valueName, bool repeatLast);

// A word the command line takes at some place: an option with its values, or a word that moves
// on to another place (cryvan's -e, cryvan-org's commands).
struct Word {
    std::string spelling;
    std::string alias;  // another spelling, or empty
    std::string help;
    std::vector<Value> values;
    bool optional = false;  // the value may be left out
    bool switches = false;  // the words after it belong to the place `next`
    std::string next;       // empty: nothing is accepted after it
};

struct Place {
    std::string name;  // a plain word, for the shells: "front", "encryption", "create"
    std::vector<Word> words;
    std::vector<Value> operand;  // the values of words that are no option; empty without
};

// A program's command line as completion walks it: places[0] is where it starts.
struct Program {
    std::string name;
    std::vector<Place> places;
};

// A row of cryvan's table as a word.
Word CryvanWord(const App::OptionRow& row);

Program CryvanProgram();
Program OrgProgram();

// The shells' completion scripts.
std::string BashCompletion(const Program& program);
std::string ZshCompletion(const Program& program);
std::string FishCompletion(const Program& program);

// The manual pages; `date` as YYYY-MM-DD.
std::string CryvanPage(const std::string& version, const std::string& date);
std::string OrgPage(const std::string& version, const std::string& date);

// Roff text: backslashes escaped, the dashes of options and paths made minus signs, each
// sentence on a line of its own and no line taken for a request.
std::string RoffText(std::string_view text);
// A literal (a command, a path): every dash a minus sign.
std::string RoffLiteral(std::string_view text);

// The text up to the end of its first clause, for the shells' short descriptions.
std::string ShortHelp(std::string_view help);

}  // namespace Docs
