// The command-line options of cryvan and of the decrypt-only program, as data: the parsers,
// each program's --help and, later, the manual pages and shell completions read this one table.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "app/core/ExitStatus.h"

namespace App {

// The wizard's words keep their order of comparison as their numbers (0 to 10).
enum class Option : int {
    Encrypt = 0,   // -e
    Decrypt,       // -d
    Container,     // -c
    Password,      // -p
    Output,        // -o
    Inputs,        // -i
    StandAlone,    // -x
    Quit,          // -q
    Preferences,   // -prefs
    Deletion,      // -r
    NoConfirm,     // -f
    Text,          // --text
    Help,          // --help, -h
    PasswordFd,    // --password-fd
    PasswordFile,  // --password-file
    Verbose,       // --verbose
    Menu,          // --menu
    List,          // --list
    Test,          // --test
    Info,          // --info
    Json,          // --json
    SfxPlatform,   // --sfx-platform
};

enum class OptionValue {
    None,
    Optional,  // taken when the next argument is a value
    Required,
    OneOrMore,
};

// Where an option is accepted: bits of OptionRow::accepts.
enum OptionPlace : unsigned {
    kFirstWord = 1u << 0,   // cryvan's first wizard word: -e, -d or -prefs
    kEncryption = 1u << 1,  // after -e
    kDecryption = 1u << 2,  // after -d
    kFrontEnd = 1u << 3,    // cryvan's own options, before the wizard's words
    kStandAlone = 1u << 4,  // the decrypt-only program
};

struct OptionRow {
    Option option;
    // As typed. The wizard's words also match with "/" for "-" and in any case.
    const char* spelling;
    const char* alias;  // another spelling, or nullptr
    OptionValue value;
    const char* valueName;  // "FILE", "k|r|d|o|e"; empty without a value
    unsigned accepts;
    const char* help;
};

// An option whose value or meaning differs between places has a row for each.
inline constexpr OptionRow kOptions[] = {
    {Option::Encrypt, "-e", nullptr, OptionValue::None, "", kFirstWord, "encrypt"},
    {Option::Decrypt, "-d", nullptr, OptionValue::None, "", kFirstWord, "decrypt"},
    {Option::Preferences, "-prefs", nullptr, OptionValue::None, "",
     kFirstWord | kEncryption | kDecryption,
     "the preferences sheet alone (ignored after -e or -d)"},
    {Option::Container, "-c", nullptr, OptionValue::Optional, "FILE", kEncryption,
     "the container to create (the default name without a value)"},
    {Option::Inputs, "-i", nullptr, OptionValue::OneOrMore, "FILE", kEncryption,
     "the files and folders to encrypt"},
    {Option::StandAlone, "-x", nullptr, OptionValue::None, "", kEncryption,
     "create a self-decrypting executable (.aes.exe)"},
    {Option::SfxPlatform, "--sfx-platform", nullptr, OptionValue::Required, "windows|linux",
     kEncryption,
     "the system the self-decrypting executable runs on (implies -x; the preferences give the "
     "default, Windows unless changed)"},
    {Option::Container, "-c", nullptr, OptionValue::Required, "FILE", kDecryption,
     "the container to decrypt"},
    {Option::Output, "-o", nullptr, OptionValue::Optional, "FOLDER", kDecryption,
     "where to decrypt all stored files (the container's folder without a value)"},
    {Option::Output, "-o", nullptr, OptionValue::Required, "FOLDER", kStandAlone,
     "the destination folder (created when missing)"},
    {Option::Password, "-p", nullptr, OptionValue::Required, "PASSWORD",
     kEncryption | kDecryption | kStandAlone,
     "the password; other users of the machine can see it, so prefer --password-file, "
     "--password-fd or the prompt, which does not echo"},
    {Option::Quit, "-q", nullptr, OptionValue::None, "", kEncryption | kDecryption | kStandAlone,
     "exit by itself when done"},
    {Option::Deletion, "-r", nullptr, OptionValue::Required, "k|r|d|o|e", kEncryption | kDecryption,
     "keep, recycle, delete, overwrite or eradicate the input afterwards"},
    {Option::Deletion, "-r", nullptr, OptionValue::Required, "k|d", kStandAlone,
     "keep or delete this file once every file it holds is decrypted"},
    {Option::NoConfirm, "-f", nullptr, OptionValue::None, "", kEncryption | kDecryption,
     "do not ask before removing the input (with -r)"},
    {Option::NoConfirm, "-f", nullptr, OptionValue::None, "", kStandAlone,
     "do not ask before deleting this file (with -r d)"},
    {Option::Text, "--text", nullptr, OptionValue::None, "", kFrontEnd,
     "the terminal front end, even where a window could open"},
    {Option::PasswordFd, "--password-fd", nullptr, OptionValue::Required, "N",
     kFrontEnd | kStandAlone, "read the password from descriptor N (its first line)"},
    {Option::PasswordFile, "--password-file", nullptr, OptionValue::Required, "PATH",
     kFrontEnd | kStandAlone, "read the password from the file's first line"},
    {Option::Verbose, "--verbose", nullptr, OptionValue::None, "", kFrontEnd | kStandAlone,
     "every log line (all levels) to standard error"},
    {Option::Menu, "--menu", nullptr, OptionValue::OneOrMore, "encrypt|decrypt|shred|open FILE",
     kFrontEnd,
     "what a file manager's entry asks for the files that follow it (every further argument "
     "is a file): encrypt them into a container beside them, decrypt or open one container, "
     "or shred them as the preferences say"},
    {Option::Info, "--info", nullptr, OptionValue::Required, "FILE", kFrontEnd,
     "what FILE says about its ways in, without a password: its header and size, its password "
     "entries, whether its emergency entry is yours, which administrators can recover it; "
     "unverified, since only a password can check it"},
    {Option::Json, "--json", nullptr, OptionValue::None, "", kFrontEnd,
     "--info's answer as one JSON object, for scripts"},
    {Option::List, "--list", nullptr, OptionValue::Required, "FILE", kFrontEnd,
     "list the files and folders stored in the container, like tar -tv, writing nothing"},
    {Option::Test, "--test", nullptr, OptionValue::Required, "FILE", kFrontEnd,
     "check every stored file of the container (its MAC, and that it inflates to its size), "
     "writing nothing; status 2 names each damaged file"},
    {Option::Help, "--help", "-h", OptionValue::None, "", kFrontEnd | kStandAlone, "this text"},
};

// The row of `word` among those accepted at `place`, compared as typed; nullptr when none.
const OptionRow* FindOption(std::string_view word, OptionPlace place);
// The row of `option` accepted at `place`; nullptr when it is not accepted there.
const OptionRow* FindOption(Option option, OptionPlace place);
// "-c [FILE]", "-i FILE...", "--password-fd N".
std::string OptionSynopsis(const OptionRow& row);
// `head`, then `text` from `column` on, wrapped to `width` columns at spaces; `head` gets a line
// of its own when it reaches the column.
std::string HangingIndent(std::string head, std::string_view text, std::size_t column,
                          std::size_t width = 80);
// "<program>: <why>" and the pointer to --help on `err`; the status of a usage error.
ExitStatus ReportUsage(std::ostream& err, const std::string& program, const std::string& why);
// One line per row accepted at one of `places`, the help text wrapped to `width` columns.
std::string OptionHelp(unsigned places, std::size_t width = 80);

}  // namespace App
