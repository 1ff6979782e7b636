#include <memory>
#include <stdexcept>

#include "app/core/ExitStatus.h"
#include "app/core/Options.h"
#include "app/docs/Docs.h"
#include "app/org/Command.h"
#include "recovery/Organisation.h"

namespace Docs {

namespace {

std::string EscapeBackslashes(std::string_view text) {
    std::string out;
    for (const char c : text)
        out += c == '\\' ? std::string("\\e") : std::string(1, c);
    return out;
}

// Options and paths are typed: their dashes must stay ASCII minus signs.
std::string MinusSigns(std::string_view word) {
    std::string out;
    for (const char c : word)
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

bool IsTyped(std::string_view word) {
    const std::size_t start = word.find_first_not_of("(\"'[");
    return (start != std::string_view::npos && word[start] == '-') ||
           word.find('/') != std::string_view::npos;
}

// Lines of at most 80 bytes, broken at spaces.
std::string Wrapped(const std::string& text) {
    constexpr std::size_t kWidth = 80;
    std::string out;
    std::size_t lineStart = 0;
    std::size_t lastSpace = std::string::npos;
    for (const char c : text) {
        if (c == '\n') {
            out += c;
            lineStart = out.size();
            lastSpace = std::string::npos;
            continue;
        }
        if (c == ' ')
            lastSpace = out.size();
        out += c;
        if (out.size() - lineStart > kWidth && lastSpace != std::string::npos) {
            out[lastSpace] = '\n';
            lineStart = lastSpace + 1;
            lastSpace = std::string::npos;
        }
    }
    return out;
}

// A line that starts with a control character would be taken for a request.
std::string SafeLines(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string Bold(std::string_view literal) {
    return "\\fB" + RoffLiteral(literal) + "\\fR";
}

std::string Italic(std::string_view name) {
    return "\\fI" + RoffLiteral(name) + "\\fR";
}

std::string ValueRoff(const Value& value) {
    std::string text;
    if (value.kind == Kind::Words) {
        for (std::size_t i = 0; i < value.words.size(); ++i)
            text += (i ? "|" : "") + Bold(value.words[i]);
    } else {
        text = Italic(value.name);
    }
    return value.repeats ? text + "..." : text;
}

// "\fB\-c\fR [\fIFILE\fR]"; `space` between the option and its value (a "\ " keeps them on a
// line in the synopsis).
std::string OptionRoff(const std::string& spelling, const std::vector<Value>& values, bool optional,
                       const char* space = " ") {
    std::string text = spelling.empty() ? "" : Bold(spelling);
    std::string value;
    for (std::size_t i = 0; i < values.size(); ++i)
        value += (i ? space : "") + ValueRoff(values[i]);
    if (value.empty())
        return text;
    if (optional)
        value = "[" + value + "]";
    return text.empty() ? value : text + space + value;
}

std::string Tagged(const std::string& tag, std::string_view text) {
    return ".TP\n" + tag + "\n" + RoffText(text) + "\n";
}

std::string Header(const std::string& name, const std::string& version, const std::string& date,
                   const std::string& summary) {
    std::string upper;
    for (const char c : name)
        upper += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    return ".\\\" Made by cryvan-make-docs from the programs' option tables; do not edit.\n"
           ".TH " +
           RoffLiteral(upper) + " 1 \"" + date + "\" \"Cryvan " + version +
           "\" \"User Commands\"\n"
           ".SH NAME\n" +
           RoffLiteral(name) + " \\- " + summary + "\n";
}

std::string ExitStatusSection() {
    std::string text = ".SH EXIT STATUS\n";
    for (const App::ExitStatusRow& row : App::kExitStatuses)
        text += Tagged(".B " + std::to_string(App::Code(row.status)), row.meaning);
    return text;
}

std::string Example(std::string_view what, const std::string& command) {
    return RoffText(what) + "\n.PP\n.RS\n.nf\n" + RoffLiteral(command) + "\n.fi\n.RE\n";
}

// The spelling of a row that the pages' examples need; an example that no longer parses
// stops the build instead of misleading a reader.
std::string Spelling(App::Option option, App::OptionPlace place) {
    const App::OptionRow* row = App::FindOption(option, place);
    if (!row)
        throw std::logic_error("an example uses an option that is no longer there");
    return row->spelling;
}

std::string CryvanOptions(unsigned places, unsigned without) {
    std::string text;
    for (const App::OptionRow& row : App::kOptions) {
        if (!(row.accepts & places) || (row.accepts & without))
            continue;
        Word word = CryvanWord(row);
        // The table's "this text" speaks for --help itself.
        if (row.option == App::Option::Help)
            word.help = "print the usage, the options and the exit statuses";
        std::string tag = OptionRoff(word.spelling, word.values, word.optional);
        if (!word.alias.empty())
            tag += ", " + Bold(word.alias);
        text += Tagged(tag, word.help);
    }
    return text;
}

}  // namespace

std::string RoffLiteral(std::string_view text) {
    return MinusSigns(EscapeBackslashes(text));
}

std::string RoffText(std::string_view text) {
    const std::string escaped = EscapeBackslashes(text);
    std::string out;
    std::size_t at = 0;
    while (at < escaped.size()) {
        std::size_t end = escaped.find(' ', at);
        if (end == std::string::npos)
            end = escaped.size();
        const std::string_view word(escaped.data() + at, end - at);
        // "\%" keeps a typed word from being hyphenated.
        out += IsTyped(word) ? "\\%" + MinusSigns(word) : std::string(word);
        if (end < escaped.size()) {
            // A sentence ends its line.
            const char last = word.empty() ? ' ' : word.back();
            out += last == '.' || last == '?' || last == '!' ? '\n' : ' ';
        }
        at = end + 1;
    }
    return SafeLines(Wrapped(out));
}

std::string CryvanPage(const std::string& version, const std::string& date) {
    using App::Option;
    const std::string e = Spelling(Option::Encrypt, App::kFirstWord);
    const std::string d = Spelling(Option::Decrypt, App::kFirstWord);
    const std::string prefs = Spelling(Option::Preferences, App::kFirstWord);
    const std::string text = Spelling(Option::Text, App::kFrontEnd);
    const std::string front = "[\\fIfront\\-end options\\fR]";

    std::string page = Header("cryvan", version, date,
                              "encrypt files and folders into one container, and decrypt it");
    page += ".SH SYNOPSIS\n" + Bold("cryvan") + " [" + Bold(text) + "] " + front + "\n.br\n" +
            Bold("cryvan") + " " + front + " " + Bold(e) + " [\\fIencryption options\\fR]\n.br\n" +
            Bold("cryvan") + " " + front + " " + Bold(d) + " [\\fIdecryption options\\fR]\n.br\n" +
            Bold("cryvan") + " " + front + " " + Bold(prefs) + "\n";

    page += ".SH DESCRIPTION\n" +
            RoffText(
                "cryvan encrypts files and folders into one container (.aes), or into a "
                "self-decrypting executable (.aes.exe) that opens on a machine without "
                "Cryvan, and decrypts such containers. Every file is compressed where that "
                "pays, then authenticated and encrypted under keys of its own. A container "
                "opens with the password chosen for it, with the user's emergency password, "
                "or with the passwords of K of the organisation's N data-recovery "
                "administrators.") +
            "\n.PP\n" +
            RoffText(
                "It walks through one encryption or decryption as a wizard: in a window "
                "when a display answers (see ENVIRONMENT), otherwise, or with " +
                text +
                ", on the terminal, where each page lists its actions with a letter and "
                "Enter is Next. The words after " +
                e + " (encrypt) or " + d +
                " (decrypt) fill the wizard's pages, and a complete command line runs "
                "without a question. " +
                prefs + " opens the preferences sheet alone.") +
            "\n.PP\n" +
            RoffText(
                "Before an input is recycled, deleted, overwritten or eradicated, the new "
                "container is read back from the disk and checked file by file; only what "
                "was encrypted is destroyed. Input that is not a terminal answers the pages "
                "and questions alike, a line each; when it ends, questions take their safe "
                "answer and a page that needs input ends the program with status 4.") +
            "\n";

    page += ".SH OPTIONS\n.SS Front-end options\n" +
            RoffText("Given before " + e + ", " + d + " or " + prefs + ".") + "\n" +
            CryvanOptions(App::kFrontEnd, 0) + ".PP\n" +
            RoffText(Spelling(Option::PasswordFd, App::kFrontEnd) + " and " +
                     Spelling(Option::PasswordFile, App::kFrontEnd) + " replace " +
                     Spelling(Option::Password, App::kEncryption) +
                     "; without any of the three the password is asked for without echo.") +
            "\n.SS Modes\n" + RoffText("The wizard's first word.") + "\n" +
            CryvanOptions(App::kFirstWord, 0) + ".SS Encryption options\n" +
            RoffText("After " + e + ".") + "\n" + CryvanOptions(App::kEncryption, App::kFirstWord) +
            ".SS Decryption options\n" + RoffText("After " + d + ".") + "\n" +
            CryvanOptions(App::kDecryption, App::kFirstWord);

    page += ExitStatusSection() + ".PP\n" +
            RoffText("With " + prefs + ", 0 means that the sheet closed with OK.") + "\n";

    page += ".SH ENVIRONMENT\n" +
            Tagged(".B WAYLAND_DISPLAY",
                   "When it or DISPLAY is set, " + text +
                       " is not given, the desktop program cryvan-desktop is installed beside "
                       "cryvan and a connection to the display succeeds, the wizard opens in a "
                       "window; otherwise it runs on the terminal. Wayland is tried first.") +
            Tagged(".B DISPLAY", "The X11 display, tried when no Wayland display answers.") +
            Tagged(".B XDG_CONFIG_HOME",
                   "Holds the user's settings, Tenvik-Labs/Cryvan/settings.reg (default "
                   "~/.config), and user-dirs.dirs, whose desktop folder is where new "
                   "containers are proposed.") +
            Tagged(".B XDG_CONFIG_DIRS",
                   "Its first folder (default /etc/xdg) holds the machine's settings and the "
                   "all-users folder Tenvik-Labs/Cryvan/ with the organisation's files.") +
            Tagged(".B XDG_DATA_HOME",
                   "Holds the user's folder Tenvik-Labs/Cryvan/ (default ~/.local/share).") +
            Tagged(".B XDG_STATE_HOME",
                   "Holds the log, Tenvik-Labs/Cryvan/cryvan.log (default ~/.local/state).");

    const std::string allUsers = "/etc/xdg/Tenvik-Labs/Cryvan/";
    page += ".SH FILES\n" +
            Tagged(Italic("~/.config/Tenvik-Labs/Cryvan/settings.reg"),
                   "The user's settings, in the registry's export format; " + allUsers +
                       "settings.reg holds the machine's.") +
            Tagged(Italic("~/.local/share/Tenvik-Labs/Cryvan/Emergency Password.bin"),
                   "The user's emergency password, which opens every container made while it "
                   "is enabled.") +
            Tagged(Italic(allUsers + FCryptEng::Organisation::kFileName),
                   "The organisation record (looked for there, then in the program's folder); "
                   "without one, data recovery does not apply. See cryvan-org(1).") +
            Tagged(Italic(allUsers + "Data Recovery.bin"),
                   "The organisation's data-recovery configuration: its administrators and how "
                   "many of them a container needs. The record says whether it lives there or "
                   "in the program's folder.") +
            Tagged(Italic("~/.local/state/Tenvik-Labs/Cryvan/cryvan.log"),
                   "Warnings and errors of every run; the setting \"LogFile\"=dword:00000000 "
                   "turns it off.");

    const std::string c = Spelling(Option::Container, App::kEncryption);
    page += ".SH EXAMPLES\n" +
            Example(
                "Encrypt a file and a folder into one container; the password is asked for "
                "without echo:",
                "cryvan " + text + " " + e + " " + c + " papers.aes " +
                    Spelling(Option::Inputs, App::kEncryption) + " report.txt photos/ " +
                    Spelling(Option::Quit, App::kEncryption)) +
            ".PP\n" +
            Example(
                "Decrypt every file it holds into the folder restored, the password read "
                "from the first line of a file only you can read:",
                "cryvan " + text + " " + Spelling(Option::PasswordFile, App::kFrontEnd) +
                    " pw.txt " + d + " " + Spelling(Option::Container, App::kDecryption) +
                    " papers.aes " + Spelling(Option::Output, App::kDecryption) + " restored/ " +
                    Spelling(Option::Quit, App::kDecryption));

    page += ".SH SEE ALSO\n.BR cryvan\\-org (1)\n";
    return page;
}

namespace {

const Org::Command& FindCommand(const std::vector<std::unique_ptr<Org::Command>>& commands,
                                const std::string& name) {
    for (const std::unique_ptr<Org::Command>& command : commands)
        if (name == command->Name())
            return *command;
    throw std::logic_error("an example uses a command that is no longer there");
}

std::string OrgSpelling(const Org::Command& command, const std::string& spelling) {
    for (const Org::OrgOption& option : command.Options())
        if (option.spelling && spelling == option.spelling)
            return spelling;
    throw std::logic_error("an example uses an option that is no longer there");
}

std::string OrgOptionRoff(const Org::OrgOption& option, const char* space) {
    return OptionRoff(option.spelling ? option.spelling : "", ValuesOf(option.valueName, false),
                      false, space);
}

}  // namespace

std::string OrgPage(const std::string& version, const std::string& date) {
    const std::vector<std::unique_ptr<Org::Command>> commands = Org::Commands();
    std::string page =
        Header("cryvan-org", version, date, "create and check Cryvan's organisation record");
    // Left-aligned and unhyphenated: a synopsis is read as words to type.
    page += ".SH SYNOPSIS\n.nh\n.ad l\n";
    for (const std::unique_ptr<Org::Command>& command : commands) {
        page += Bold("cryvan-org") + " " + Bold(command->Name());
        const std::vector<Org::OrgOption> options = command->Options();
        for (std::size_t i = 0; i < options.size(); ++i) {
            const bool required = options[i].flags & Org::kRequired;
            std::string group = OrgOptionRoff(options[i], "\\ ");
            while ((options[i].flags & Org::kOrNext) && i + 1 < options.size())
                group += "\\ |\\ " + OrgOptionRoff(options[++i], "\\ ");
            page += " " + (required ? group : "[" + group + "]");
        }
        page += "\n.br\n";
    }
    page += Bold("cryvan-org") + " " + Bold("help") + " | " + Bold("--help") + " | " + Bold("-h") +
            "\n.ad\n.hy\n";

    const std::string record =
        "/etc/xdg/Tenvik-Labs/Cryvan/" + std::string(FCryptEng::Organisation::kFileName);
    page += ".SH DESCRIPTION\n" +
            RoffText(
                "cryvan-org creates and inspects Cryvan's organisation record "
                "(\"Organisation.bin\"), and checks an organisation's data-recovery "
                "configuration (\"Data Recovery.bin\") against it. The record holds the "
                "organisation's name, whether data recovery applies to its users, which "
                "folder holds \"Data Recovery.bin\", and the public key that checks it.") +
            "\n.PP\n" +
            RoffText(
                "The organisation password is typed twice at the terminal without echo, or "
                "read once from the first line of a descriptor, a file or standard input "
                "when that is not a terminal; none there ends the command with status 4. "
                "Prompts go to standard error, results to standard output.") +
            "\n.PP\n" +
            RoffText("PATH defaults to " + record +
                     ", the all-users folder under the first folder of XDG_CONFIG_DIRS. Cryvan "
                     "looks for the record there, then in its program folder; without one, data "
                     "recovery does not apply, and a record that does not open or check makes "
                     "the data-recovery settings invalid.") +
            "\n";

    page += ".SH COMMANDS\n";
    for (const std::unique_ptr<Org::Command>& command : commands) {
        page += ".SS " + RoffLiteral(command->Name()) + "\n" + RoffText(command->Summary()) + "\n";
        for (const Org::OrgOption& option : command->Options())
            page += Tagged(OrgOptionRoff(option, " "), option.help);
    }
    page += ".SS \"help, \\-\\-help, \\-h\"\n" +
            RoffText("Prints the commands, their options and the exit statuses.") + "\n";

    page += ExitStatusSection();
    page += ".SH ENVIRONMENT\n" +
            Tagged(".B XDG_CONFIG_DIRS",
                   "Its first folder (default /etc/xdg) holds the all-users folder "
                   "Tenvik-Labs/Cryvan/.");
    page += ".SH FILES\n" +
            Tagged(Italic(record), "The organisation record, readable by every user.") +
            Tagged(Italic("/etc/xdg/Tenvik-Labs/Cryvan/Organisation Key.bin"),
                   "Its private key, sealed under the organisation password and readable by "
                   "administrators only.") +
            Tagged(Italic("/etc/xdg/Tenvik-Labs/Cryvan/Data Recovery.bin"),
                   "The data-recovery configuration that verify checks, written by the "
                   "preferences of Cryvan.");

    const Org::Command& create = FindCommand(commands, "create");
    page += ".SH EXAMPLES\n" +
            Example("Create the record, the password read from a file only you can read:",
                    "sudo cryvan-org create " + OrgSpelling(create, "--name") +
                        " \"Example Ltd\" " + OrgSpelling(create, "--password-file") + " pw.txt") +
            ".PP\n" +
            Example("Show it, then check a configuration against it:",
                    "cryvan-org " + std::string(FindCommand(commands, "show").Name()) +
                        "\ncryvan-org " + FindCommand(commands, "verify").Name() +
                        " \"/etc/xdg/Tenvik-Labs/Cryvan/Data Recovery.bin\"");
    page += ".SH SEE ALSO\n.BR cryvan (1)\n";
    return page;
}

}  // namespace Docs
